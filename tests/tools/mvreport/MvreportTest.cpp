// The mvreport command, run as a user or a script would run it.
#include "support/TestFiles.h"
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using mv::test::ReadFile;

const std::string kGood = std::string(MV_TEST_DATA_DIR) + "/rpengine/good/";
const std::string kDemo = std::string(MV_SOURCE_DIR) + "/rpengine/demo/";

struct TResult {
  int Exit = -1;
  std::string Output;  // standard output and error together
};

TResult Mvreport(const std::string& args) {
  TResult r;
  FILE* p = popen((std::string(MVREPORT) + " " + args + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.Output.append(buf, n);
  int status = pclose(p);
  r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string Out(const std::string& name) { return std::string(MV_BINARY_DIR) + "/mvreport-test-" + name; }

TEST(Mvreport, DescribesAReport) {
  TResult info = Mvreport("info " + kGood + "stations_with_sensors.xml");
  ASSERT_EQ(info.Exit, 0) << info.Output;
  EXPECT_NE(info.Output.find("Title:     Stations and sensors\n"), std::string::npos) << info.Output;
  EXPECT_NE(info.Output.find("Tables:    1\n  0: data source \"MVDEMO\"\n"), std::string::npos);
  EXPECT_NE(info.Output.find("Subreport: \"Sensors\" in the detail, 1 linked parameter\n"), std::string::npos);
  EXPECT_NE(info.Output.find("Subreport: \"Basins\" in the report footer, 0 linked parameters\n"), std::string::npos);

  TResult params = Mvreport("params " + kDemo + "daily_summary.xml");
  ASSERT_EQ(params.Exit, 0) << params.Output;
  EXPECT_NE(params.Output.find("SiteList  string, discrete, several values\n    Stations (none: all)\n"),
            std::string::npos)
      << params.Output;
  TResult linked = Mvreport("params " + kGood + "stations_with_sensors.xml");
  EXPECT_NE(linked.Output.find("pStation (subreport Sensors)  string, discrete, linked from the main report\n"),
            std::string::npos)
      << linked.Output;

  TResult sql = Mvreport("sql " + kGood + "stations_with_sensors.xml --subreport Sensors");
  ASSERT_EQ(sql.Exit, 0) << sql.Output;
  EXPECT_EQ(sql.Output,
            "SELECT SENSORNAME FROM MV_SITESENSORS WHERE STE_STATION_ID = :pStation ORDER BY SENSORNAME\n");
}

TEST(Mvreport, FailuresGiveTheEngineErrorAndAnExitCode) {
  constexpr struct {
    const char* Args;
    int Exit;
    const char* Says;
  } kCases[] = {
      {"", 2, "usage: mvreport info REPORT"},
      {"show x.xml", 2, "unknown command \"show\""},
      {"info /no/such/report.xml", 1,
       "mvreport: opening the report failed: error 503: cannot open the report definition \"/no/such/report.xml\""},
      {"run @good@readings.xml --format csv", 2, "run needs --format and --out"},
      {"run @good@readings.xml --format pdf --out @out@missing.pdf", 1,
       "REStartPrintJob failed: error 653: parameter \"StartTime\" of the report has no value"},
      {"run @good@readings.xml --format csv --out @out@missing.csv", 1,
       "REStartPrintJob failed: error 653: parameter \"StartTime\" of the report has no value"},
      {"run @good@readings.xml --param StartTime=soon --format csv --out @out@x.csv", 2,
       "--param StartTime=soon: error 651: \"soon\" is not a datetime value"},
      {"run @good@readings.xml --param Nothing=1 --format csv --out @out@x.csv", 2,
       "the report has no parameter \"Nothing\" that takes values"},
      {"run @good@readings.xml --dsn NO_SUCH_DSN --param StartTime=2024-03-01 --param EndTime=2024-03-02 "
       "--format csv --out @out@x.csv",
       1, "REStartPrintJob failed: error 530: cannot connect to the data source \"NO_SUCH_DSN\""},
      {"run @good@readings.xml --format pdf --out @out@x.pdf --pages 3-2", 2,
       "--pages takes FIRST-LAST, FIRST- or one page number from 1, not \"3-2\""},
      {"run @good@readings.xml --format xls --out @out@x.xls --pages 2", 2, "--pages is for --format pdf only"},
      {"run @good@readings.xml --dsn MVDEMO --param StartTime=2024-03-01 --param EndTime=2024-03-02 --param SiteList= "
       "--param SensorList= --format pdf --out @out@x.pdf --pages 900-",
       1, "REStartPrintJob failed: error 509: the pages asked for start at page 900, but the report has "},
      {"run @good@empty_suppressed.xml --dsn MVDEMO --format csv --out @out@empty.csv", 3,
       "REStartPrintJob failed: error 505: the query returned no rows"},
  };
  for (const auto& c : kCases) {
    std::string args = c.Args;
    for (auto [key, value] : {std::pair<std::string, std::string>{"@good@", kGood}, {"@out@", Out("")}}) {
      for (std::size_t at; (at = args.find(key)) != std::string::npos;) args.replace(at, key.size(), value);
    }
    SCOPED_TRACE(args);
    TResult r = Mvreport(args);
    EXPECT_EQ(r.Exit, c.Exit) << r.Output;
    EXPECT_NE(r.Output.find(c.Says), std::string::npos) << r.Output;
  }
}

TEST(Mvreport, RunsAReportWithListsToAFile) {
  std::string out = Out("run.csv");
  std::remove(out.c_str());
  TResult r = Mvreport("run " + kGood + "readings.xml --dsn MVDEMO --param 'StartTime=2024-03-01 00:00:00' "
                       "--param 'EndTime=2024-03-01 01:00:00' --param SiteList=FTC01 --param SiteList=TOP01 "
                       "--param SensorList=STAGE --format csv --out " + out);
  ASSERT_EQ(r.Exit, 0) << r.Output;
  EXPECT_EQ(r.Output, "");
  std::string csv = ReadFile(out);
  std::size_t lines = 0, pos = 0;
  while ((pos = csv.find("\r\n", pos)) != std::string::npos) {
    ++lines;
    pos += 2;
  }
  EXPECT_EQ(lines, 1u + 2 * 4);
  EXPECT_EQ(csv.rfind("Station,Sensor,Time,Value,Q\r\nFTC01,STAGE,2024-03-01 00:00:00,", 0), 0u) << csv;
  EXPECT_NE(csv.find("\r\nTOP01,STAGE,2024-03-01 00:45:00,"), std::string::npos);

  // An empty value gives a list no values: every station.
  TResult all = Mvreport("run " + kGood + "readings.xml --dsn MVDEMO --param 'StartTime=2024-03-01 00:00:00' "
                         "--param 'EndTime=2024-03-01 00:15:00' --param SiteList= --param SensorList=RAIN "
                         "--format tsv --out " + out);
  ASSERT_EQ(all.Exit, 0) << all.Output;
  std::string tsv = ReadFile(out);
  EXPECT_EQ(std::count(tsv.begin(), tsv.end(), '\n'), 21);

  // A subreport's own parameter, found by its name.
  std::string xml = Out("basins.xml");
  TResult sub = Mvreport("run " + kGood + "stations_with_sensors.xml --dsn MVDEMO --param SiteList=FTC01 "
                         "--param pState=Nowhere --format xml --out " + xml);
  ASSERT_EQ(sub.Exit, 0) << sub.Output;
  std::string text = ReadFile(xml);
  EXPECT_NE(text.find("<subreport name=\"Basins\">"), std::string::npos);
  EXPECT_EQ(text.find("<field name=\"BASIN\">"), std::string::npos) << "no basin in a state called Nowhere";
}

}  // namespace
