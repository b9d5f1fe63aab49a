// Whole runs over ODBC against the demo data (SQLite "MVDEMO" and the same
// data in PostgreSQL "MVDEMO_PG"), checked against the rows the data source
// gives for the same conditions written out by hand.
#include "support/TestFiles.h"
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <barrier>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <pugixml.hpp>

#include "EngineApi.h"
#include "platform/odbc/Odbc.h"

using namespace rpetest;

namespace {

using mv::test::ReadFile;

std::map<std::string, std::string> ServicesEnv() {
  std::map<std::string, std::string> env;
  const char* dir = std::getenv("MV_SERVICES_DIR");
  std::ifstream in(std::string(dir ? dir : "") + "/services.env");
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq == std::string::npos || line[0] == '#') continue;
    std::string v = line.substr(eq + 1);
    if (v.size() >= 2 && v.front() == '\'') v = v.substr(1, v.size() - 2);
    env[line.substr(0, eq)] = v;
  }
  return env;
}

// RFC 4180: fields split by `sep`, quoted fields may hold anything, "" is a
// quote, records end with CR LF.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text, char sep = ',') {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, inQuotes = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inQuotes) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        inQuotes = false;
      } else {
        field += c;
      }
    } else if (c == '"' && field.empty() && !quoted) {
      inQuotes = quoted = true;
    } else if (c == sep) {
      row.push_back(field);
      field.clear();
      quoted = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row.push_back(field);
      rows.push_back(row);
      row.clear();
      field.clear();
      quoted = false;
      ++i;
    } else {
      EXPECT_NE(c, '\n') << "a bare line feed outside quotes";
      field += c;
    }
  }
  EXPECT_TRUE(row.empty() && field.empty() && !inQuotes) << "the file does not end with a whole record";
  return rows;
}

// The rows of a query written out by hand, as text, straight from ODBC.
std::vector<std::vector<std::string>> Oracle(const std::string& dsn, const std::string& sql, const std::string& user = "",
                                             const std::string& password = "") {
  mv::odbc::TConnection con({dsn, user, password, ""});
  mv::odbc::TStatement st(con);
  st.ExecuteDirect(sql);
  std::vector<std::vector<std::string>> out;
  while (st.Fetch()) {
    std::vector<std::string> row;
    for (std::size_t i = 0; i < st.ColumnCount(); ++i) row.emplace_back(st.Text(i));
    out.push_back(std::move(row));
  }
  return out;
}

std::string OutDir() {
  std::string d = std::string(MV_BINARY_DIR) + "/rpeng-run-tests";
  ::mkdir(d.c_str(), 0755);
  return d;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) out.push_back(e->d_name);
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// A report opened, given a logon and values, and exported.
class TRun {
 public:
  explicit TRun(const std::string& report) {
    FJob = REOpenPrintJob((kGood + report).c_str());
    EXPECT_GT(FJob, 0) << Error(0);
  }
  ~TRun() { REClosePrintJob(FJob); }
  RE_JOB Job() const { return FJob; }

  TRun& Logon(const std::string& dsn, const std::string& user = "", const std::string& password = "") {
    RELogOnInfo l = Record<RELogOnInfo>();
    std::snprintf(l.ServerName, sizeof l.ServerName, "%s", dsn.c_str());
    std::snprintf(l.UserID, sizeof l.UserID, "%s", user.c_str());
    std::snprintf(l.Password, sizeof l.Password, "%s", password.c_str());
    if (REGetNTables(FJob) > 0) {
      EXPECT_TRUE(RESetNthTableLogOnInfo(FJob, 0, &l, 1)) << Error(FJob);
    }
    if (RE_JOB sj = REOpenSubreport(FJob, "Sensors")) {
      if (REGetNTables(sj) > 0) {
        EXPECT_TRUE(RESetNthTableLogOnInfo(sj, 0, &l, 1));
      }
      RECloseSubreport(sj);
    }
    return *this;
  }

  TRun& Param(const char* name, std::vector<std::string> values, uint16_t type = RE_PF_STRING) {
    EXPECT_TRUE(REClearParameterCurrentValuesAndRanges(FJob, name, "")) << Error(FJob);
    for (const std::string& v : values) {
      REValueInfo vi = Record<REValueInfo>();
      EXPECT_TRUE(REConvertPFInfoToVInfo(v.c_str(), type, &vi)) << v;
      EXPECT_TRUE(REAddParameterCurrentValue(FJob, name, "", &vi)) << Error(FJob);
    }
    return *this;
  }

  TRun& Range(const char* from, const char* to) {
    Param("StartTime", {from}, RE_PF_DATETIME);
    return Param("EndTime", {to}, RE_PF_DATETIME);
  }

  // Runs to a file; returns the error code (0 on success).
  int Export(const char* dll, uint32_t type, const std::string& file, const void* options = nullptr) {
    REExportOptions e = Record<REExportOptions>();
    std::snprintf(e.FormatDLLName, sizeof e.FormatDLLName, "%s", dll);
    e.FormatType = type;
    e.FormatOptions = options;
    std::snprintf(e.DestinationDLLName, sizeof e.DestinationDLLName, "%s", RE_DEST_DISK);
    REDiskOptions disk = Record<REDiskOptions>();
    std::snprintf(disk.FileName, sizeof disk.FileName, "%s", file.c_str());
    e.DestinationOptions = &disk;
    if (!REExportTo(FJob, &e)) return REGetErrorCode(FJob);
    if (!REStartPrintJob(FJob, 1)) return REGetErrorCode(FJob);
    return 0;
  }

  int Csv(const std::string& file, bool formats = false, const char* sep = ",") {
    RESepValOptions o = Record<RESepValOptions>();
    o.StringDelimiter = '"';
    std::snprintf(o.FieldDelimiter, sizeof o.FieldDelimiter, "%s", sep);
    o.UseReportNumberFormat = formats;
    o.UseReportDateFormat = formats;
    return Export(RE_FMT_SEPV, 3, file, &o);
  }

 private:
  RE_JOB FJob = 0;
};

class EngineRun : public ::testing::Test {
 protected:
  TEngineScope FEngine;
  std::string FDir = OutDir();
  std::string Out(const std::string& name) { return FDir + "/" + name; }
};

const char* kReadingsOracle =
    "SELECT STATION_ID, SENSORNAME, READING_TIME, VALUE, QUALITY FROM MV_DATA1 "
    "WHERE READING_TIME >= '2024-03-01 00:00:00' AND READING_TIME < '2024-03-01 06:00:00' "
    "AND STATION_ID IN ('FTC01', 'LGM01') AND SENSORNAME IN ('RAIN') ORDER BY STATION_ID, SENSORNAME, READING_TIME";

TEST_F(EngineRun, CsvHoldsTheRowsOfTheRangeWithItsLowerBoundary) {
  TRun r("readings.xml");
  r.Logon("MVDEMO").Range("2024,03,01 00:00:00", "2024,03,01 06:00:00").Param("SiteList", {"FTC01", "LGM01"}).Param(
      "SensorList", {"RAIN"});
  ASSERT_EQ(r.Csv(Out("readings.csv")), 0) << Error(r.Job());
  auto rows = ParseCsv(ReadFile(Out("readings.csv")));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Station", "Sensor", "Time", "Value", "Q"}));
  rows.erase(rows.begin());
  auto expected = Oracle("MVDEMO", kReadingsOracle);
  ASSERT_EQ(expected.size(), 48u);  // two stations, one sensor, 24 quarter hours
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(rows.front()[2], "2024-03-01 00:00:00") << "a reading on the start is in the range";
  EXPECT_EQ(rows.back()[2], "2024-03-01 05:45:00") << "a reading on the end is not";
}

TEST_F(EngineRun, AnEmptyListMeansAllAndListsBindOneValueEach) {
  TRun r("readings.xml");
  r.Logon("MVDEMO").Range("2024,03,01 00:00:00", "2024,03,01 01:00:00").Param("SiteList", {}).Param(
      "SensorList", {"RAIN", "STAGE"});
  ASSERT_EQ(r.Csv(Out("all-sites.csv")), 0) << Error(r.Job());
  auto rows = ParseCsv(ReadFile(Out("all-sites.csv")));
  EXPECT_EQ(rows.size(), 1u + 20 * 2 * 4);
  // A value with SQL in it is a value, never SQL.
  r.Param("SiteList", {"FTC01') OR ('1'='1"});
  ASSERT_EQ(r.Csv(Out("injection.csv")), 0) << Error(r.Job());
  EXPECT_EQ(ParseCsv(ReadFile(Out("injection.csv"))).size(), 1u);
}

TEST_F(EngineRun, CsvQuotesWhatNeedsItAndFollowsItsOptions) {
  TRun r("awkward_values.xml");
  r.Logon("MVDEMO");
  ASSERT_EQ(r.Csv(Out("awkward.csv")), 0) << Error(r.Job());
  std::string text = ReadFile(Out("awkward.csv"));
  EXPECT_EQ(text,
            "COMMA,QUOTE,BREAK,MARKUP,UNICODE,NO_VALUE,NUM\r\n"
            "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",<b> & 'x',Zürich – 25 °C,,12.5\r\n");
  auto rows = ParseCsv(text);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][2], "two\nlines");

  ASSERT_EQ(r.Csv(Out("awkward-semicolon.csv"), false, ";"), 0) << Error(r.Job());
  auto semi = ParseCsv(ReadFile(Out("awkward-semicolon.csv")), ';');
  ASSERT_EQ(semi.size(), 2u);
  EXPECT_EQ(semi[1][0], "a,b");

  TRun fmt("readings.xml");
  fmt.Logon("MVDEMO").Range("2024,03,01 00:00:00", "2024,03,01 00:15:00").Param("SiteList", {"FTC01"}).Param(
      "SensorList", {"STAGE"});
  ASSERT_EQ(fmt.Csv(Out("formatted.csv"), true), 0) << Error(fmt.Job());
  auto f = ParseCsv(ReadFile(Out("formatted.csv")));
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[1][2], "2024-03-01 00:00");  // the report's date format
  EXPECT_EQ(f[1][3].size() - f[1][3].find('.'), 3u) << f[1][3];  // "0.00"
}

TEST_F(EngineRun, TabSeparatedTextUsesTheReportFormats) {
  TRun r("awkward_values.xml");
  r.Logon("MVDEMO");
  ASSERT_EQ(r.Export(RE_FMT_SEPV, 4, Out("awkward.tsv")), 0) << Error(r.Job());
  EXPECT_EQ(ReadFile(Out("awkward.tsv")),
            "COMMA\tQUOTE\tBREAK\tMARKUP\tUNICODE\tNO_VALUE\tNUM\r\n"
            "a,b\tsay \"hi\"\ttwo lines\t<b> & 'x'\tZürich – 25 °C\t\t12.5\r\n");
}

TEST_F(EngineRun, XmlIsWellFormedWithGroupsRowsAndTotals) {
  TRun r("readings.xml");
  r.Logon("MVDEMO").Range("2024,03,01 00:00:00", "2024,03,01 06:00:00").Param("SiteList", {"FTC01", "LGM01"}).Param(
      "SensorList", {"RAIN"});
  ASSERT_EQ(r.Export(RE_FMT_XML, 0, Out("readings.xml")), 0) << Error(r.Job());
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(Out("readings.xml").c_str()));
  pugi::xml_node report = doc.child("report");
  EXPECT_STREQ(report.attribute("title").value(), "Readings");
  EXPECT_STREQ(report.select_node("parameters/parameter[@name='StartTime']/value").node().text().get(),
               "2024-03-01 00:00:00");
  EXPECT_EQ(report.select_nodes("parameters/parameter[@name='SiteList']/value").size(), 2u);
  EXPECT_STREQ(report.select_node("report-header/text[@style='title']").node().text().get(), "Readings");
  auto stations = report.select_nodes("group[@level='0']");
  ASSERT_EQ(stations.size(), 2u);
  EXPECT_STREQ(stations[0].node().attribute("value").value(), "FTC01");
  auto expected = Oracle("MVDEMO", kReadingsOracle);
  std::size_t next = 0;
  for (const auto& g : stations) {
    pugi::xml_node sensor = g.node().child("group");
    EXPECT_STREQ(sensor.attribute("field").value(), "SENSORNAME");
    double sum = 0;
    int count = 0;
    for (pugi::xml_node row : sensor.children("row")) {
      ASSERT_LT(next, expected.size());
      EXPECT_STREQ(row.select_node("field[@name='READING_TIME']").node().text().get(), expected[next][2].c_str());
      if (!expected[next][3].empty()) sum += std::stod(expected[next][3]);
      ++count;
      ++next;
    }
    pugi::xml_node totals = sensor.child("group-footer").child("totals");
    EXPECT_STREQ(totals.attribute("label").value(), "Sum");
    EXPECT_NEAR(totals.select_node("total[@function='sum']").node().text().as_double(), sum, 1e-9);
    EXPECT_EQ(totals.select_node("total[@function='count']").node().text().as_int(), count);
    EXPECT_NE(std::string(sensor.child("group-footer").child("text").text().get()).find("RAIN: 24 readings"),
              std::string::npos);
  }
  EXPECT_EQ(next, expected.size());
  EXPECT_EQ(report.select_node("report-footer/totals/total[@function='count']").node().text().as_int(), 48);
}

TEST_F(EngineRun, XmlAndHtmlEscapeEveryValue) {
  TRun r("awkward_values.xml");
  r.Logon("MVDEMO");
  ASSERT_EQ(r.Export(RE_FMT_XML, 0, Out("awkward.xml")), 0) << Error(r.Job());
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(Out("awkward.xml").c_str()));
  pugi::xml_node row = doc.select_node("/report/row").node();
  EXPECT_STREQ(row.select_node("field[@name='QUOTE']").node().text().get(), "say \"hi\"");
  EXPECT_STREQ(row.select_node("field[@name='MARKUP']").node().text().get(), "<b> & 'x'");
  EXPECT_STREQ(row.select_node("field[@name='UNICODE']").node().text().get(), "Zürich – 25 °C");
  EXPECT_STREQ(row.select_node("field[@name='NO_VALUE']").node().attribute("null").value(), "true");
  EXPECT_STREQ(doc.select_node("/report/report-header/text").node().text().get(), "Markup <b> & \"quotes\" in a text");

  ASSERT_EQ(r.Export(RE_FMT_HTML, 3, Out("awkward.html")), 0) << Error(r.Job());
  pugi::xml_document html;
  ASSERT_TRUE(html.load_file(Out("awkward.html").c_str()));
  auto cells = html.select_nodes("//table[@class='report']/tbody/tr/td");
  ASSERT_EQ(cells.size(), 7u);
  EXPECT_STREQ(cells[3].node().text().get(), "<b> & 'x'");
  EXPECT_STREQ(html.select_node("//p").node().text().get(), "Markup <b> & \"quotes\" in a text");
}

TEST_F(EngineRun, HtmlIsOneFileOfPagesWithNavigation) {
  TRun r("readings.xml");
  r.Logon("MVDEMO").Range("2024,03,01 00:00:00", "2024,03,02 00:00:00").Param("SiteList", {"FTC01", "LGM01"}).Param(
      "SensorList", {"RAIN"});
  REHtmlOptions o = Record<REHtmlOptions>();
  o.PageNavigator = 1;
  o.SeparatePages = 1;
  ASSERT_EQ(r.Export(RE_FMT_HTML, 3, Out("readings.html"), &o), 0) << Error(r.Job());
  pugi::xml_document doc;
  pugi::xml_parse_result ok = doc.load_file(Out("readings.html").c_str());
  ASSERT_TRUE(ok) << ok.description();
  auto pages = doc.select_nodes("//div[@class='page']");
  ASSERT_GT(pages.size(), 3u);
  const std::size_t m = pages.size();
  for (std::size_t i = 0; i < m; ++i) {
    SCOPED_TRACE(i + 1);
    pugi::xml_node page = pages[i].node();
    EXPECT_EQ(std::string(page.attribute("id").value()), "p" + std::to_string(i + 1));
    pugi::xml_node nav = page.child("div");
    EXPECT_STREQ(nav.attribute("class").value(), "nav");
    EXPECT_EQ(std::string(nav.last_child().text().get()),
              "Page " + std::to_string(i + 1) + " of " + std::to_string(m));
    // Links go to pages that exist.
    for (pugi::xml_node a : nav.children("a")) {
      std::string target = std::string(a.attribute("href").value()).substr(2);
      EXPECT_GE(std::stoul(target), 1u);
      EXPECT_LE(std::stoul(target), m);
    }
    EXPECT_EQ(std::string(page.select_node("div[@class='pf']/p[2]").node().text().get()),
              "Page " + std::to_string(i + 1) + " of " + std::to_string(m));
    EXPECT_EQ(page.select_node("table/thead/tr/th[3]").node().text().get(), std::string("Time"));
  }
  // Every detail row is there once: rows without a class.
  EXPECT_EQ(doc.select_nodes("//table[@class='report']/tbody/tr[not(@class)]").size(), 2u * 96);

  // Without separate pages: one page, no navigation.
  o.SeparatePages = 0;
  ASSERT_EQ(r.Export(RE_FMT_HTML, 3, Out("readings-one-page.html"), &o), 0) << Error(r.Job());
  pugi::xml_document one;
  ASSERT_TRUE(one.load_file(Out("readings-one-page.html").c_str()));
  EXPECT_EQ(one.select_nodes("//div[@class='page']").size(), 1u);
  EXPECT_EQ(one.select_nodes("//div[@class='nav']").size(), 0u);
  EXPECT_EQ(one.select_nodes("//table[@class='report']/tbody/tr[not(@class)]").size(), 2u * 96);
}

TEST_F(EngineRun, TextIsCutIntoPagesOfTheReportsLength) {
  TRun r("readings.xml");
  r.Logon("MVDEMO").Range("2024,03,01 00:00:00", "2024,03,02 00:00:00").Param("SiteList", {"FTC01"}).Param(
      "SensorList", {"RAIN", "STAGE"});
  ASSERT_EQ(r.Export(RE_FMT_TEXT, 0, Out("readings.txt")), 0) << Error(r.Job());
  std::string text = ReadFile(Out("readings.txt"));
  std::vector<std::string> pages;
  std::size_t pos = 0;
  while (true) {
    std::size_t ff = text.find('\f', pos);
    pages.push_back(text.substr(pos, ff == std::string::npos ? std::string::npos : ff - pos));
    if (ff == std::string::npos) break;
    pos = ff + 1;
  }
  ASSERT_GT(pages.size(), 2u);
  const std::size_t m = pages.size();
  int rows = 0;
  for (std::size_t i = 0; i < m; ++i) {
    SCOPED_TRACE(i + 1);
    std::size_t lines = static_cast<std::size_t>(std::count(pages[i].begin(), pages[i].end(), '\n'));
    EXPECT_LE(lines, 63u) << "A4 less 15 mm margins holds 63 lines";
    std::string footer = "Page " + std::to_string(i + 1) + " of " + std::to_string(m);
    EXPECT_NE(pages[i].find(footer + "\n"), std::string::npos);
    EXPECT_NE(pages[i].find("Station  Sensor    Time"), std::string::npos) << "captions on every page";
    std::istringstream in(pages[i]);
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("FTC01    ", 0) == 0) ++rows;
  }
  EXPECT_EQ(rows, 2 * 96);
  EXPECT_EQ(pages[0].find("Readings\n========"), pages[0].find("Readings\n")) << "title first";
}

TEST_F(EngineRun, SubreportsRunForEachLinkedRow) {
  TRun r("stations_with_sensors.xml");
  r.Logon("MVDEMO").Param("SiteList", {"FTC01", "TOP01"});
  ASSERT_EQ(r.Export(RE_FMT_XML, 0, Out("stations.xml")), 0) << Error(r.Job());
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(Out("stations.xml").c_str()));
  auto rows = doc.select_nodes("/report/row");
  auto details = doc.select_nodes("/report/detail");
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(details.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    std::string station = rows[i].node().select_node("field[@name='STATION_ID']").node().text().get();
    pugi::xml_node sub = details[i].node().child("subreport");
    EXPECT_STREQ(sub.attribute("name").value(), "Sensors");
    auto expected = Oracle("MVDEMO", "SELECT SENSORNAME FROM MV_SITESENSORS WHERE STE_STATION_ID = '" + station +
                                         "' ORDER BY SENSORNAME");
    auto got = sub.select_nodes("row/field");
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_STREQ(got[k].node().text().get(), expected[k][0].c_str());
    EXPECT_EQ(std::string(sub.select_node("report-footer/text").node().text().get()),
              std::to_string(expected.size()) + " sensors at " + station);
  }
  pugi::xml_node basins = doc.select_node("/report/report-footer/subreport[@name='Basins']").node();
  EXPECT_EQ(basins.select_nodes("row").size(),
            Oracle("MVDEMO", "SELECT DISTINCT BASIN FROM MV_SITES WHERE STATE = 'Kansas' AND BASIN IS NOT NULL").size());
}

TEST_F(EngineRun, AnEmptyReportThatSuppressesItselfWritesNothing) {
  std::string out = Out("suppressed.csv");
  { std::ofstream(out) << "yesterday's report\n"; }
  TRun r("empty_suppressed.xml");
  r.Logon("MVDEMO");
  EXPECT_EQ(r.Csv(out), RE_ERR_EMPTYSUPPRESSED);
  EXPECT_EQ(ReadFile(out), "yesterday's report\n") << "nothing produced, nothing replaced";
}

TEST_F(EngineRun, AnExistingFileIsReplacedAndAFailedRunKeepsIt) {
  std::string dir = Out("replace");
  ::mkdir(dir.c_str(), 0755);
  std::string out = dir + "/report.csv";
  { std::ofstream(out) << "old\n"; }
  TRun good("readings.xml");
  good.Logon("MVDEMO").Range("2024,03,01 00:00:00", "2024,03,01 00:15:00").Param("SiteList", {"FTC01"}).Param(
      "SensorList", {"RAIN"});
  ASSERT_EQ(good.Csv(out), 0) << Error(good.Job());
  EXPECT_EQ(ParseCsv(ReadFile(out)).size(), 2u);
  struct stat st {};
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~[] { mode_t m = umask(0); umask(m); return m; }());
  { std::ofstream(out) << "old\n"; }
  TRun bad("bad_sql.xml");
  bad.Logon("MVDEMO");
  EXPECT_EQ(bad.Csv(out), RE_ERR_DBQUERY);
  EXPECT_NE(ErrorText(bad.Job()).find("NO_SUCH_TABLE"), std::string::npos) << ErrorText(bad.Job());
  EXPECT_EQ(ReadFile(out), "old\n");
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"report.csv"})) << "no temporary file left behind";
}

TEST_F(EngineRun, FailuresOfLogonDefinitionAndDiskAreNamed) {
  TRun r("readings.xml");
  r.Range("2024,03,01 00:00:00", "2024,03,01 00:15:00").Logon("NO_SUCH_DSN");
  EXPECT_EQ(r.Csv(Out("x.csv")), RE_ERR_DBLOGON);
  EXPECT_NE(ErrorText(r.Job()).find("cannot connect to the data source \"NO_SUCH_DSN\" for the report: "),
            std::string::npos)
      << ErrorText(r.Job());

  TRun f("bad_field.xml");
  f.Logon("MVDEMO");
  EXPECT_EQ(f.Csv(Out("y.csv")), RE_ERR_DEFINITION);
  EXPECT_EQ(ErrorText(f.Job()), kGood + "bad_field.xml:8: detail field \"STATION_NAME\" is not a column of the "
                                        "query's result of the report (its columns: STATION_ID)");

}

TEST_F(EngineRun, AReadOnlyFolderIsAWriteError) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TRun r("readings.xml");
  r.Logon("MVDEMO").Range("2024,03,01 00:00:00", "2024,03,01 00:15:00");
  std::string dir = Out("read-only");
  ::mkdir(dir.c_str(), 0555);
  ::chmod(dir.c_str(), 0555);
  EXPECT_EQ(r.Csv(dir + "/z.csv"), RE_ERR_EXPORTWRITE);
  EXPECT_NE(ErrorText(r.Job()).find("Permission denied"), std::string::npos);
}

TEST_F(EngineRun, AMissingFolderIsAWriteError) {
  TRun r("readings.xml");
  r.Logon("MVDEMO").Range("2024,03,01 00:00:00", "2024,03,01 00:15:00");
  EXPECT_EQ(r.Csv(Out("no/such/folder/z.csv")), RE_ERR_EXPORTWRITE);
  EXPECT_EQ(ErrorText(r.Job()), "cannot create a file in the folder of the export file \"" + Out("no/such/folder/z.csv") +
                                    "\": No such file or directory");
}

TEST_F(EngineRun, AReportWithoutQueryNeedsNoDataSource) {
  TRun r("no_query.xml");
  r.Param("pReportTime", {"2024,02,29"}, RE_PF_DATE);
  ASSERT_EQ(r.Export(RE_FMT_TEXT, 0, Out("notice.txt")), 0) << Error(r.Job());
  EXPECT_EQ(ReadFile(Out("notice.txt")), "Notice for 29 Feb 2024\n");
}

TEST_F(EngineRun, OneJobRunsPeriodAfterPeriod) {
  TRun r("readings.xml");
  r.Logon("MVDEMO").Param("SiteList", {"FTC01"}).Param("SensorList", {"RAIN"});
  for (int day = 1; day <= 3; ++day) {
    SCOPED_TRACE(day);
    std::string from = "2024,03,0" + std::to_string(day) + " 00:00:00";
    std::string to = "2024,03,0" + std::to_string(day) + " 01:00:00";
    r.Range(from.c_str(), to.c_str());
    std::string out = Out("period" + std::to_string(day) + ".csv");
    ASSERT_EQ(r.Csv(out), 0) << Error(r.Job());
    auto rows = ParseCsv(ReadFile(out));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[1][2], "2024-03-0" + std::to_string(day) + " 00:00:00");
  }
}

// The same report on the embedded SQLite data and on PostgreSQL: the same
// rows, including readings exactly on both ends of the range (the SQLite
// driver would send a bound time stamp as "...00.000", which text
// comparison puts after the row stored on the boundary).
TEST_F(EngineRun, SqliteAndPostgresGiveTheSameRows) {
  auto env = ServicesEnv();
  ASSERT_FALSE(env["MV_PG_USER"].empty()) << "services.env not found";
  std::vector<std::vector<std::string>> results[2];
  const char* dsns[] = {"MVDEMO", "MVDEMO_PG"};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(dsns[i]);
    TRun r("readings.xml");
    if (i == 0)
      r.Logon("MVDEMO");
    else
      r.Logon("MVDEMO_PG", env["MV_PG_USER"], env["MV_PG_PASSWORD"]);
    r.Range("2024,02,29 12:00:00", "2024,03,01 12:00:00").Param("SiteList", {"FTC01", "TOP01", "LGM01"}).Param(
        "SensorList", {"RAIN", "AIRTEMP"});
    std::string out = Out(std::string("same-") + dsns[i] + ".csv");
    ASSERT_EQ(r.Csv(out), 0) << Error(r.Job());
    results[i] = ParseCsv(ReadFile(out));
  }
  ASSERT_EQ(results[0].size(), 1u + 3 * 2 * 96);
  ASSERT_EQ(results[1].size(), results[0].size());
  EXPECT_EQ(results[0][0], results[1][0]);
  for (std::size_t k = 1; k < results[0].size(); ++k) {
    SCOPED_TRACE(k);
    const auto& a = results[0][k];
    const auto& b = results[1][k];
    ASSERT_EQ(a.size(), 5u);
    ASSERT_EQ(b.size(), 5u);
    EXPECT_EQ(a[0], b[0]);
    EXPECT_EQ(a[1], b[1]);
    EXPECT_EQ(a[2], b[2]);
    if (a[3].empty() || b[3].empty())
      EXPECT_EQ(a[3], b[3]);
    else
      EXPECT_NEAR(std::stod(a[3]), std::stod(b[3]), 1e-9);
    EXPECT_EQ(a[4], b[4]);
  }
  EXPECT_EQ(results[0][1][2], "2024-02-29 12:00:00");
  EXPECT_EQ(results[1][1][2], "2024-02-29 12:00:00");
  EXPECT_EQ(results[1].back()[2], "2024-03-01 11:45:00");
}

// The demo reports run on both data sources and show rows.
TEST_F(EngineRun, DemoReportsRunOnSqliteAndPostgres) {
  auto env = ServicesEnv();
  const std::string demo = std::string(MV_SOURCE_DIR) + "/rpengine/demo/";
  for (const char* name : {"daily_summary", "hourly_readings", "monthly_rainfall", "station_inventory", "data_quality"}) {
    for (const char* dsn : {"MVDEMO", "MVDEMO_PG"}) {
      SCOPED_TRACE(std::string(name) + " on " + dsn);
      RE_JOB job = REOpenPrintJob((demo + name + ".xml").c_str());
      ASSERT_GT(job, 0) << Error(0);
      RELogOnInfo l = Record<RELogOnInfo>();
      std::snprintf(l.ServerName, sizeof l.ServerName, "%s", dsn);
      if (std::string(dsn) == "MVDEMO_PG") {
        std::snprintf(l.UserID, sizeof l.UserID, "%s", env["MV_PG_USER"].c_str());
        std::snprintf(l.Password, sizeof l.Password, "%s", env["MV_PG_PASSWORD"].c_str());
      }
      ASSERT_TRUE(RESetNthTableLogOnInfo(job, 0, &l, 1));
      if (RE_JOB sub = REOpenSubreport(job, "Sensors")) {
        ASSERT_TRUE(RESetNthTableLogOnInfo(sub, 0, &l, 1));
        RECloseSubreport(sub);
      }
      for (auto [param, value] : {std::pair{"StartTime", "2024,03,01 00:00:00"}, {"EndTime", "2024,03,02 00:00:00"},
                                  {"pReportTime", "2024,03,01 00:00:00"}}) {
        REValueInfo v = ValueOf(value, RE_PF_DATETIME);
        ASSERT_TRUE(REAddParameterCurrentValue(job, param, "", &v)) << Error(job);
      }
      REExportOptions e = Record<REExportOptions>();
      std::strcpy(e.FormatDLLName, RE_FMT_XML);
      std::strcpy(e.DestinationDLLName, RE_DEST_DISK);
      REDiskOptions disk = Record<REDiskOptions>();
      std::string out = Out(std::string("demo-") + name + "-" + dsn + ".xml");
      std::snprintf(disk.FileName, sizeof disk.FileName, "%s", out.c_str());
      e.DestinationOptions = &disk;
      ASSERT_TRUE(REExportTo(job, &e)) << Error(job);
      ASSERT_TRUE(REStartPrintJob(job, 1)) << Error(job);
      pugi::xml_document doc;
      ASSERT_TRUE(doc.load_file(out.c_str()));
      EXPECT_GT(doc.select_nodes("//row").size(), 0u);
      EXPECT_NE(std::string(doc.select_node("/report/report-header").node().child_value("text")).size(), 0u);
      REClosePrintJob(job);
    }
  }
}

// Two report jobs on two threads at the same time, each with its own engine
// session: each gives what it gives alone.
TEST(EngineThreads, TwoEnginesRunAtOnce) {
  std::string dir = OutDir();
  auto runOne = [&](const std::string& station, const std::string& file, const char* format) {
    TEngineScope engine;
    TRun r("readings.xml");
    r.Logon("MVDEMO").Range("2024,02,23 00:00:00", "2024,03,08 00:00:00").Param("SiteList", {station}).Param(
        "SensorList", {"RAIN"});
    return std::string(format) == "csv" ? r.Csv(file) : r.Export(RE_FMT_XML, 0, file);
  };
  ASSERT_EQ(runOne("FTC01", dir + "/alone-a.csv", "csv"), 0);
  ASSERT_EQ(runOne("TOP01", dir + "/alone-b.xml", "xml"), 0);
  std::barrier start(2);
  int rcA = -1, rcB = -1;
  std::thread a([&] {
    start.arrive_and_wait();
    rcA = runOne("FTC01", dir + "/together-a.csv", "csv");
  });
  std::thread b([&] {
    start.arrive_and_wait();
    rcB = runOne("TOP01", dir + "/together-b.xml", "xml");
  });
  a.join();
  b.join();
  EXPECT_EQ(rcA, 0);
  EXPECT_EQ(rcB, 0);
  EXPECT_EQ(ReadFile(dir + "/together-a.csv"), ReadFile(dir + "/alone-a.csv"));
  // The XML differs only in its print time.
  auto body = [](std::string s) { return s.substr(s.find("\n<parameters>")); };
  EXPECT_EQ(body(ReadFile(dir + "/together-b.xml")), body(ReadFile(dir + "/alone-b.xml")));
  EXPECT_EQ(ParseCsv(ReadFile(dir + "/together-a.csv")).size(), 1u + 14 * 96);
}

}  // namespace
