// scripts/make-demo: the demo database it writes, read back through its own
// data source "MVDEMO" with the ODBC layer.
#include "support/TestFiles.h"
#include "platform/odbc/Odbc.h"

#include "TestServices.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace mv::odbc {
namespace {

using mv::test::ReadFile;

int MakeDemo(const std::string& args) {
  std::string cmd = std::string(MV_SOURCE_DIR) + "/scripts/make-demo " + args + " >/dev/null 2>&1";
  return std::system(cmd.c_str());
}

std::vector<std::string> ColumnNames(const TConnection& c, const char* table) {
  std::vector<std::string> names;
  for (const auto& col : c.TableColumns(table)) names.push_back(col.Name);
  return names;
}

std::string One(TConnection& c, const std::string& sql) {
  TStatement st(c);
  st.ExecuteDirect(sql);
  if (!st.Fetch()) return "<no row>";
  return std::string(st.Text(0));
}

TEST(MakeDemo, WritesTablesDataSourceAndReadings) {
  mv::test::TScratchDir dir;
  ASSERT_EQ(MakeDemo(dir.Path().string() + " --end 2024-03-07 --days 2 --stations 6"), 0);

  std::string ini = ReadFile(dir.File("odbc.ini"));
  EXPECT_NE(ini.find("[MVDEMO]"), std::string::npos);
  EXPECT_NE(ini.find("StepAPI=1"), std::string::npos);  // streams rows instead of loading them all
  EXPECT_NE(ini.find("Database=" + dir.File("mvdemo.db")), std::string::npos);
  EXPECT_NE(ReadFile(dir.File("odbcinst.ini")).find("Driver=/"), std::string::npos);

  // This process reads only the data sources of the new folder.
  setenv("ODBCSYSINI", dir.Path().c_str(), 1);
  setenv("ODBCINI", dir.File("odbc.ini").c_str(), 1);
  TConnection c({"MVDEMO", "", "", ""});

  using V = std::vector<std::string>;
  EXPECT_EQ(ColumnNames(c, "MV_SITES"), (V{"STATION_ID", "REPORTING_TIME", "REPORTING_INTERVAL", "BASIN", "DISTRICT",
                                          "CITY", "COUNTRY", "STATE", "COUNTY", "PRIMARY_CHANNEL", "RANDOM_CHANNEL"}));
  EXPECT_EQ(ColumnNames(c, "MV_SITESENSORS"), (V{"STE_STATION_ID", "SENSORNAME"}));
  for (const char* t : {"MV_DATA1", "MV_PPDATA1"})
    EXPECT_EQ(ColumnNames(c, t), (V{"STATION_ID", "SENSORNAME", "READING_TIME", "VALUE", "QUALITY"})) << t;

  const struct {
    const char* Sql;
    const char* Expected;
  } kFacts[] = {
      {"SELECT COUNT(*) FROM MV_SITES", "6"},
      {"SELECT COUNT(*) FROM MV_SITESENSORS", "24"},
      {"SELECT COUNT(*) FROM MV_DATA1", "4608"},   // 6 stations x 4 sensors x 2 days x 96
      {"SELECT COUNT(*) FROM MV_PPDATA1", "1152"}, // hourly
      {"SELECT MIN(READING_TIME) FROM MV_DATA1", "2024-03-06 00:00:00"},
      {"SELECT MAX(READING_TIME) FROM MV_DATA1", "2024-03-07 23:45:00"},
      {"SELECT COUNT(*) FROM MV_DATA1 WHERE typeof(READING_TIME) <> 'text'", "0"},
      {"SELECT GROUP_CONCAT(DISTINCT SENSORNAME) FROM (SELECT SENSORNAME FROM MV_SITESENSORS ORDER BY 1)",
       "AIRTEMP,BATTERY,RAIN,STAGE"},
      // every sensor of a station has readings, and nothing else has
      {"SELECT COUNT(*) FROM (SELECT DISTINCT STATION_ID, SENSORNAME FROM MV_DATA1) D "
       "JOIN MV_SITESENSORS S ON S.STE_STATION_ID = D.STATION_ID AND S.SENSORNAME = D.SENSORNAME", "24"},
      // gaps real networks have: a station without basin, one without random channel
      {"SELECT COUNT(*) FROM MV_SITES WHERE BASIN IS NULL", "1"},
      {"SELECT COUNT(*) FROM MV_SITES WHERE RANDOM_CHANNEL IS NULL", "1"},
      {"SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = 'MV_DATA1_STATION_TIME'", "1"},
      // plausible values
      {"SELECT COUNT(*) FROM MV_DATA1 WHERE SENSORNAME = 'RAIN' AND VALUE < 0", "0"},
      {"SELECT COUNT(*) FROM MV_DATA1 WHERE SENSORNAME = 'BATTERY' AND (VALUE < 10.5 OR VALUE > 15)", "0"},
      {"SELECT COUNT(*) FROM MV_DATA1 WHERE SENSORNAME = 'AIRTEMP' AND QUALITY <> 2 AND (VALUE < -40 OR VALUE > 45)",
       "0"},
      {"SELECT COUNT(*) FROM MV_DATA1 WHERE SENSORNAME = 'STAGE' AND VALUE <= 0", "0"},
      {"SELECT COUNT(*) FROM MV_DATA1 WHERE VALUE IS NULL AND QUALITY <> 9", "0"},
  };
  for (const auto& f : kFacts) {
    SCOPED_TRACE(f.Sql);
    EXPECT_EQ(One(c, f.Sql), f.Expected);
  }
  // Rain sums up in the hourly table.
  EXPECT_EQ(One(c, "SELECT ROUND(SUM(VALUE), 1) FROM MV_DATA1 WHERE SENSORNAME = 'RAIN'"),
            One(c, "SELECT ROUND(SUM(VALUE), 1) FROM MV_PPDATA1 WHERE SENSORNAME = 'RAIN'"));
}

TEST(MakeDemo, SameOptionsGiveTheSameDatabase) {
  mv::test::TScratchDir a, b;
  ASSERT_EQ(MakeDemo(a.Path().string() + " --end 2024-03-07 --days 1 --stations 8"), 0);
  ASSERT_EQ(MakeDemo(b.Path().string() + " --end 2024-03-07 --days 1 --stations 8"), 0);
  std::string da = ReadFile(a.File("mvdemo.db")), db = ReadFile(b.File("mvdemo.db"));
  EXPECT_GT(da.size(), 100000u);
  EXPECT_TRUE(da == db);
  // Run again over an existing database: replaced, not appended to.
  ASSERT_EQ(MakeDemo(b.Path().string() + " --end 2024-03-07 --days 1 --stations 8"), 0);
  EXPECT_TRUE(ReadFile(b.File("mvdemo.db")) == da);
}

TEST(MakeDemo, RefusesABadDate) {
  mv::test::TScratchDir dir;
  EXPECT_NE(MakeDemo(dir.Path().string() + " --end 2024-13-07"), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("mvdemo.db")));
}

}  // namespace
}  // namespace mv::odbc
