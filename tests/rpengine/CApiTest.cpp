// The engine's C interface without a data source: sessions, jobs, errors,
// texts, records, tables, sections, parameters, query text, summary and
// output choices.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include <unistd.h>

#include "EngineApi.h"

using namespace rpetest;

namespace {

TEST(EngineSession, JobsNeedTheEngineOpenInTheirThread) {
  EXPECT_EQ(REOpenPrintJob((kGood + "readings.xml").c_str()), 0);
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_NOTOPEN);
  EXPECT_EQ(ErrorText(0), "the engine is not open in this thread; call REOpenEngine first");

  ASSERT_TRUE(REOpenEngine());
  ASSERT_TRUE(REOpenEngine());  // nests
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  ASSERT_GT(job, 0) << Error(0);
  RECloseEngine();
  EXPECT_EQ(REGetNTables(job), 2) << "one close of two keeps the engine and its jobs";
  RECloseEngine();
  // The last close closed the job.
  EXPECT_EQ(REGetErrorCode(job), -1);
  EXPECT_EQ(REGetNTables(job), -1);
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_NOTOPEN);
}

TEST(EngineSession, OpeningAMissingOrFaultyFileSaysWhy) {
  TEngineScope engine;
  EXPECT_EQ(REOpenPrintJob((kGood + "missing.xml").c_str()), 0);
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_FILEOPEN);
  EXPECT_EQ(ErrorText(0), "cannot open the report definition \"" + kGood + "missing.xml\": No such file or directory");

  std::string bad = std::string(MV_TEST_DATA_DIR) + "/rpengine/bad/param_unknown_type.xml";
  EXPECT_EQ(REOpenPrintJob(bad.c_str()), 0);
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_DEFINITION);
  EXPECT_EQ(ErrorText(0).rfind(bad + ":4: parameter \"StartTime\" has unknown type", 0), 0u) << ErrorText(0);

  EXPECT_EQ(REOpenPrintJob(nullptr), 0);
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_BADARGUMENT);
}

TEST(EngineSession, AJobBelongsToTheThreadThatOpenedIt) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  ASSERT_GT(job, 0);
  int16_t otherCode = 0, otherTables = 0, otherError = 0;
  std::thread other([&] {
    TEngineScope otherEngine;
    otherCode = REGetErrorCode(job);
    otherTables = REGetNTables(job);
    otherError = REGetErrorCode(0);
  });
  other.join();
  EXPECT_EQ(otherCode, -1);
  EXPECT_EQ(otherTables, -1);
  EXPECT_EQ(otherError, RE_ERR_BADJOB);
  EXPECT_EQ(REGetNTables(job), 2) << "still usable by its own thread";
  EXPECT_TRUE(REClosePrintJob(job));
  EXPECT_FALSE(REClosePrintJob(job));
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_BADJOB);
}

TEST(EngineSession, ATextHandleIsReadOnce) {
  TEngineScope engine;
  REOpenPrintJob("/nonexistent/report.xml");
  RE_HANDLE h = 0;
  int32_t len = 0;
  ASSERT_TRUE(REGetErrorText(0, &h, &len));
  std::string full = "cannot open the report definition \"/nonexistent/report.xml\": No such file or directory";
  EXPECT_EQ(len, static_cast<int32_t>(full.size()));
  char small[11];
  ASSERT_TRUE(REGetHandleString(h, small, sizeof small));
  EXPECT_STREQ(small, "cannot ope");
  EXPECT_FALSE(REGetHandleString(h, small, sizeof small)) << "released by the first read";
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_BADHANDLE);
}

TEST(EngineSession, ErrorsStayOnTheirJobUntilTheNextFailure) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  ASSERT_GT(job, 0);
  EXPECT_EQ(REGetErrorCode(job), 0);
  RELogOnInfo l = Record<RELogOnInfo>();
  EXPECT_FALSE(REGetNthTableLogOnInfo(job, 7, &l));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADINDEX);
  EXPECT_EQ(ErrorText(job), "there is no table 7; the report has 2 (counted from 0)");
  EXPECT_TRUE(REGetNthTableLogOnInfo(job, 0, &l));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADINDEX) << "a success leaves the last error";
  l.StructSize = 3;
  EXPECT_FALSE(REGetNthTableLogOnInfo(job, 0, &l));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADSTRUCTSIZE);
  EXPECT_EQ(ErrorText(job), "RELogOnInfo.StructSize is 3; this engine knows " + std::to_string(sizeof(RELogOnInfo)));
}

TEST(TablesAndLogon, PropagateSetsEveryTableOfTheReport) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  ASSERT_EQ(REGetNTables(job), 2);
  RELogOnInfo l = Record<RELogOnInfo>();
  ASSERT_TRUE(REGetNthTableLogOnInfo(job, 1, &l));
  EXPECT_STREQ(l.ServerName, "MVDEMO");
  EXPECT_STREQ(l.Password, "");

  std::strcpy(l.ServerName, "OTHER");
  std::strcpy(l.UserID, "u");
  std::strcpy(l.Password, "p;w");
  ASSERT_TRUE(RESetNthTableLogOnInfo(job, 0, &l, 0));
  RELogOnInfo t1 = Record<RELogOnInfo>();
  REGetNthTableLogOnInfo(job, 1, &t1);
  EXPECT_STREQ(t1.ServerName, "MVDEMO") << "without propagate only table 0 changes";

  ASSERT_TRUE(RESetNthTableLogOnInfo(job, 0, &l, 1));
  REGetNthTableLogOnInfo(job, 1, &t1);
  EXPECT_STREQ(t1.ServerName, "OTHER");
  EXPECT_STREQ(t1.UserID, "u");
  EXPECT_STREQ(t1.Password, "p;w");
}

TEST(SectionsAndSubreports, ListsSectionsAndFindsSubreports) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "stations_with_sensors.xml").c_str());
  ASSERT_GT(job, 0) << Error(0);
  std::vector<int> codes;
  for (int i = 0; i < REGetNSections(job); ++i) codes.push_back(REGetSectionCode(job, static_cast<int16_t>(i)));
  EXPECT_EQ(codes, (std::vector<int>{1000, 2000, 4000, 7000, 8000}));
  EXPECT_EQ(REGetSectionCode(job, 9), 0);
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADINDEX);

  EXPECT_EQ(REGetNSubreportsInSection(job, 1000), 0);
  ASSERT_EQ(REGetNSubreportsInSection(job, 4000), 1);
  uint32_t h = REGetNthSubreportInSection(job, 4000, 0);
  ASSERT_NE(h, 0u);
  RESubreportInfo info = Record<RESubreportInfo>();
  ASSERT_TRUE(REGetSubreportInfo(job, h, &info));
  EXPECT_STREQ(info.Name, "Sensors");
  EXPECT_EQ(info.NLinks, 1);
  ASSERT_TRUE(REGetSubreportInfo(job, REGetNthSubreportInSection(job, 8000, 0), &info));
  EXPECT_STREQ(info.Name, "Basins");
  EXPECT_EQ(info.NLinks, 0);
  EXPECT_EQ(REGetNSubreportsInSection(job, 3000), -1) << "no group header in this report";
}

TEST(SectionsAndSubreports, ASubreportJobSeesItsOwnTablesAndParameters) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "stations_with_sensors.xml").c_str());
  RE_JOB sensors = REOpenSubreport(job, "Sensors");
  ASSERT_GT(sensors, 0) << Error(job);
  RE_JOB basins = REOpenSubreport(job, "Basins");
  ASSERT_GT(basins, 0) << Error(job);
  EXPECT_EQ(REOpenSubreport(job, "Nothing"), 0);
  EXPECT_EQ(ErrorText(job), "the report has no subreport named \"Nothing\"");
  EXPECT_EQ(REGetNTables(job), 1);
  EXPECT_EQ(REGetNTables(sensors), 1);
  EXPECT_EQ(REGetNTables(basins), 0);
  EXPECT_EQ(REGetNParameterFields(job), 3) << "the main job lists every report's parameters";
  EXPECT_EQ(REGetNParameterFields(sensors), 1);
  RELogOnInfo l = Record<RELogOnInfo>();
  ASSERT_TRUE(REGetNthTableLogOnInfo(sensors, 0, &l));
  EXPECT_STREQ(l.ServerName, "MVDEMO");
  std::strcpy(l.ServerName, "SUBSOURCE");
  ASSERT_TRUE(RESetNthTableLogOnInfo(sensors, 0, &l, 1));
  RELogOnInfo mainLogon = Record<RELogOnInfo>();
  REGetNthTableLogOnInfo(job, 0, &mainLogon);
  EXPECT_STREQ(mainLogon.ServerName, "MVDEMO") << "a subreport's logon is its own";

  EXPECT_TRUE(RECloseSubreport(sensors));
  EXPECT_EQ(REGetNTables(sensors), -1);
  EXPECT_FALSE(RECloseSubreport(job)) << "the main job is not a subreport";
  // Closing the main job closes its subreports.
  EXPECT_TRUE(REClosePrintJob(job));
  EXPECT_EQ(REGetErrorCode(basins), -1);
}

TEST(Parameters, DescribesEachParameter) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "stations_with_sensors.xml").c_str());
  ASSERT_EQ(REGetNParameterFields(job), 3);
  REParameterFieldInfo p = Record<REParameterFieldInfo>();
  ASSERT_TRUE(REGetNthParameterField(job, 1, &p));
  EXPECT_STREQ(p.Name, "pStation");
  EXPECT_STREQ(p.ReportName, "Sensors");
  EXPECT_EQ(p.IsLinked, 1);
  EXPECT_EQ(p.ValueType, RE_PF_STRING);
  ASSERT_TRUE(REGetNthParameterField(job, 2, &p));
  EXPECT_STREQ(p.Name, "pState");
  EXPECT_EQ(p.IsLinked, 0);
  EXPECT_EQ(p.DefaultValueSet, 1);
  EXPECT_STREQ(p.DefaultValue, "Kansas");
  EXPECT_EQ(p.CurrentValueSet, 0);
  EXPECT_FALSE(REGetNthParameterField(job, 3, &p));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADINDEX);
  EXPECT_EQ(REGetNthParameterType(job, 0), RE_PT_REPORTPARAMETER);

  RE_JOB kinds = REOpenPrintJob((kGood + "param_kinds.xml").c_str());
  ASSERT_GT(kinds, 0) << Error(0);
  constexpr struct {
    const char* Name;
    uint16_t Type, Kind, Multiple, Nullable, NoEdit, Limits;
    const char* Default;
    const char* Browse;
  } kCases[] = {
      {"ShowMissing", RE_PF_BOOLEAN, RE_DR_DISCRETE, 0, 0, 0, 0, "False", ""},
      {"Window", RE_PF_DATETIME, RE_DR_RANGE, 0, 0, 0, 0, "", ""},
      {"Threshold", RE_PF_NUMBER, RE_DR_DISCRETE, 0, 1, 0, 1, "50", ""},
      {"Station", RE_PF_STRING, RE_DR_DISCRETEANDRANGE, 0, 0, 1, 0, "", "MV_SITES.STATION_ID"},
      {"Day", RE_PF_DATE, RE_DR_DISCRETE, 1, 0, 0, 0, "2024,03,01", ""},
  };
  for (int i = 0; i < 5; ++i) {
    const auto& c = kCases[i];
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(REGetNthParameterField(kinds, static_cast<int16_t>(i), &p));
    EXPECT_STREQ(p.Name, c.Name);
    EXPECT_EQ(p.ValueType, c.Type);
    EXPECT_EQ(p.DiscreteOrRangeKind, c.Kind);
    EXPECT_EQ(p.AllowMultipleValues, c.Multiple);
    EXPECT_STREQ(p.DefaultValue, c.Default);
    REParameterValueInfo vi = Record<REParameterValueInfo>();
    ASSERT_TRUE(REGetParameterValueInfo(kinds, c.Name, "", &vi));
    EXPECT_EQ(vi.IsNullable, c.Nullable);
    EXPECT_EQ(vi.DisallowEditing, c.NoEdit);
    EXPECT_EQ(vi.HasLimits, c.Limits);
    EXPECT_EQ(vi.AllowMultipleValues, c.Multiple);
    char browse[64];
    ASSERT_TRUE(REGetParameterBrowseField(kinds, c.Name, nullptr, browse, sizeof browse));
    EXPECT_STREQ(browse, c.Browse);
  }
  REValueInfo lo = Record<REValueInfo>(), hi = Record<REValueInfo>();
  ASSERT_TRUE(REGetParameterMinMaxValue(kinds, "Threshold", "", &lo, &hi));
  EXPECT_EQ(lo.viNumber, 0);
  EXPECT_EQ(hi.viNumber, 100);
  ASSERT_TRUE(REGetParameterMinMaxValue(kinds, "Station", "", &lo, &hi));
  EXPECT_EQ(lo.ValueType, RE_PF_NOVALUE) << "no limits";
  EXPECT_FALSE(REGetParameterValueInfo(kinds, "Nothing", "", nullptr));
  EXPECT_EQ(REGetErrorCode(kinds), RE_ERR_BADARGUMENT);
  REParameterValueInfo vi = Record<REParameterValueInfo>();
  EXPECT_FALSE(REGetParameterValueInfo(kinds, "Nothing", "", &vi));
  EXPECT_EQ(REGetErrorCode(kinds), RE_ERR_PARAMUNKNOWN);
  EXPECT_EQ(ErrorText(kinds), "there is no parameter \"Nothing\" in the main report");
  EXPECT_FALSE(REGetParameterValueInfo(kinds, "Threshold", "Sub", &vi));
  EXPECT_EQ(ErrorText(kinds), "there is no parameter \"Threshold\" in subreport \"Sub\"");
}

TEST(Parameters, CurrentValuesOfListsAndSingleValues) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  ASSERT_GT(job, 0);
  EXPECT_EQ(REGetNParameterCurrentValues(job, "SiteList", ""), 0);
  for (const char* s : {"FTC01", "LGM01", "TOP01"}) {
    REValueInfo v = ValueOf(s, RE_PF_STRING);
    ASSERT_TRUE(REAddParameterCurrentValue(job, "SiteList", "", &v)) << Error(job);
  }
  ASSERT_EQ(REGetNParameterCurrentValues(job, "SiteList", ""), 3);
  REValueInfo got = Record<REValueInfo>();
  ASSERT_TRUE(REGetNthParameterCurrentValue(job, "SiteList", "", 2, &got));
  EXPECT_STREQ(got.viString, "TOP01");
  EXPECT_FALSE(REGetNthParameterCurrentValue(job, "SiteList", "", 3, &got));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADINDEX);
  REParameterFieldInfo p = Record<REParameterFieldInfo>();
  REGetNthParameterField(job, 2, &p);
  EXPECT_EQ(p.CurrentValueSet, 1);
  EXPECT_STREQ(p.CurrentValue, "FTC01");
  ASSERT_TRUE(REClearParameterCurrentValuesAndRanges(job, "SiteList", ""));
  EXPECT_EQ(REGetNParameterCurrentValues(job, "SiteList", ""), 0);

  // A single value: a second one is refused rather than silently replacing it.
  REValueInfo t = ValueOf("2024,03,01 00:00:00", RE_PF_DATETIME);
  ASSERT_TRUE(REAddParameterCurrentValue(job, "StartTime", "", &t));
  EXPECT_FALSE(REAddParameterCurrentValue(job, "StartTime", "", &t));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_PARAMVALUE);
  ASSERT_TRUE(REClearParameterCurrentValuesAndRanges(job, "StartTime", ""));
  // A date is taken as the date-time at its midnight; a text is not.
  REValueInfo d = ValueOf("2024,03,02", RE_PF_DATE);
  ASSERT_TRUE(REAddParameterCurrentValue(job, "StartTime", "", &d)) << Error(job);
  ASSERT_TRUE(REGetNthParameterCurrentValue(job, "StartTime", "", 0, &got));
  EXPECT_EQ(got.ValueType, RE_PF_DATETIME);
  EXPECT_EQ(got.viDateTime[2], 2);
  REValueInfo s = ValueOf("yesterday", RE_PF_STRING);
  EXPECT_FALSE(REAddParameterCurrentValue(job, "EndTime", "", &s));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_PARAMTYPE);
  EXPECT_EQ(ErrorText(job), "parameter \"EndTime\" takes datetime values; a string value was given");
  // Limits: MinQuality is 0 to 9.
  REValueInfo q = ValueOf("12", RE_PF_INTEGER);
  EXPECT_FALSE(REAddParameterCurrentValue(job, "MinQuality", "", &q));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_PARAMVALUE);
}

TEST(Parameters, LinkedParametersHaveNoCurrentValues) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "stations_with_sensors.xml").c_str());
  REValueInfo v = ValueOf("FTC01", RE_PF_STRING);
  EXPECT_EQ(REGetNParameterCurrentValues(job, "pStation", "Sensors"), -1);
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_NOTCURRENTVALUES);
  EXPECT_FALSE(REClearParameterCurrentValuesAndRanges(job, "pStation", "Sensors"));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_NOTCURRENTVALUES);
  EXPECT_FALSE(REAddParameterCurrentValue(job, "pStation", "Sensors", &v));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_NOTCURRENTVALUES);
  EXPECT_EQ(ErrorText(job), "parameter \"pStation\" is linked: each row of the main report gives its value from "
                            "field \"STATION_ID\", so it has no current values to read or set");
  EXPECT_FALSE(REAddParameterCurrentValue(job, "pStation", "", &v));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_PARAMUNKNOWN) << "it belongs to the subreport";
}

TEST(Parameters, SetNthParameterFieldSetsTheCurrentValue) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "param_kinds.xml").c_str());
  REParameterFieldInfo p = Record<REParameterFieldInfo>();
  ASSERT_TRUE(REGetNthParameterField(job, 0, &p));
  p.CurrentValueSet = 1;
  std::strcpy(p.CurrentValue, "True");
  ASSERT_TRUE(RESetNthParameterField(job, 0, &p)) << Error(job);
  REParameterFieldInfo back = Record<REParameterFieldInfo>();
  REGetNthParameterField(job, 0, &back);
  EXPECT_EQ(back.CurrentValueSet, 1);
  EXPECT_STREQ(back.CurrentValue, "True");
  std::strcpy(p.CurrentValue, "perhaps");
  EXPECT_FALSE(RESetNthParameterField(job, 0, &p));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_PARAMTYPE);
  p.CurrentValueSet = 0;
  ASSERT_TRUE(RESetNthParameterField(job, 0, &p));
  REGetNthParameterField(job, 0, &back);
  EXPECT_EQ(back.CurrentValueSet, 0);

  EXPECT_EQ(REGetAllowPromptDialog(job), 1);
  ASSERT_TRUE(RESetAllowPromptDialog(job, 0));
  EXPECT_EQ(REGetAllowPromptDialog(job), 0);
}

TEST(Parameters, ConvertsValueTextsBothWays) {
  TEngineScope engine;
  REValueInfo v = Record<REValueInfo>();
  ASSERT_TRUE(REConvertPFInfoToVInfo("2024,02,29 23:59:59", RE_PF_DATETIME, &v));
  EXPECT_EQ(v.viDateTime[0], 2024);
  EXPECT_EQ(v.viDateTime[5], 59);
  char text[RE_TEXT_LEN];
  uint16_t type = 99;
  ASSERT_TRUE(REConvertVInfoToPFInfo(&v, &type, text));
  EXPECT_EQ(type, RE_PF_DATETIME);
  EXPECT_STREQ(text, "2024,02,29 23:59:59");
  EXPECT_FALSE(REConvertPFInfoToVInfo("2024,02,30", RE_PF_DATE, &v));
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_PARAMTYPE);
  EXPECT_EQ(ErrorText(0), "\"2024,02,30\" is not a date value");
  EXPECT_FALSE(REConvertPFInfoToVInfo("1", 13, &v));
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_BADARGUMENT);
}

TEST(QueryAndSummary, GivesQueryTextOr515) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "stations_with_sensors.xml").c_str());
  RE_HANDLE h = 0;
  int32_t len = 0;
  ASSERT_TRUE(REGetSQLQuery(job, &h, &len));
  std::string sql = HandleText(h, len);
  EXPECT_EQ(sql, "SELECT STATION_ID, CITY, STATE FROM MV_SITES\nWHERE (:SiteList.count = 0 OR STATION_ID IN "
                 "(:SiteList))\nORDER BY STATION_ID");
  RE_JOB sub = REOpenSubreport(job, "Sensors");
  ASSERT_TRUE(REGetSQLQuery(sub, &h, &len));
  EXPECT_NE(HandleText(h, len).find("STE_STATION_ID = :pStation"), std::string::npos);

  RE_JOB notice = REOpenPrintJob((kGood + "no_query.xml").c_str());
  ASSERT_GT(notice, 0) << Error(0);
  EXPECT_FALSE(REGetSQLQuery(notice, &h, &len));
  EXPECT_EQ(REGetErrorCode(notice), RE_ERR_NOSQL);
  EXPECT_EQ(REGetNTables(notice), 0);
}

TEST(QueryAndSummary, SummaryInformation) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  RESummaryInfo s = Record<RESummaryInfo>();
  ASSERT_TRUE(REGetReportSummaryInfo(job, &s));
  EXPECT_STREQ(s.Title, "Readings");
  EXPECT_STREQ(s.Subject, "Test report: readings in a range");
  EXPECT_STREQ(s.Author, "Engine tests");
  EXPECT_STREQ(s.Keywords, "readings");
  EXPECT_STREQ(s.Comments, "First line.\n  Indented second line.");
}

REExportOptions Export(const char* dll, uint32_t type, const void* formatOptions, const REDiskOptions* disk) {
  REExportOptions e = Record<REExportOptions>();
  std::strcpy(e.FormatDLLName, dll);
  e.FormatType = type;
  e.FormatOptions = formatOptions;
  std::strcpy(e.DestinationDLLName, RE_DEST_DISK);
  e.DestinationOptions = disk;
  return e;
}

TEST(Output, RefusesUnknownOrUnavailableOutputsClearly) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  EXPECT_FALSE(REStartPrintJob(job, 1));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_NOOUTPUT);

  REDiskOptions disk = Record<REDiskOptions>();
  std::strcpy(disk.FileName, "/tmp/never-written.out");
  constexpr struct {
    const char* Dll;
    uint32_t Type;
    int Code;
  } kCases[] = {
      {"rxf_nothing.dll", 0, RE_ERR_EXPORTFORMAT}, {RE_FMT_SEPV, 7, RE_ERR_EXPORTFORMAT},
      {RE_FMT_PDF, 1, RE_ERR_EXPORTFORMAT},        {RE_FMT_XLS, 3, RE_ERR_EXPORTFORMAT},
      {RE_FMT_WORD, 1, RE_ERR_EXPORTFORMAT},       {RE_FMT_RTF, 2, RE_ERR_EXPORTFORMAT},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.Dll) + " " + std::to_string(c.Type));
    REExportOptions e = Export(c.Dll, c.Type, nullptr, &disk);
    EXPECT_FALSE(REExportTo(job, &e));
    EXPECT_EQ(REGetErrorCode(job), c.Code);
  }
  EXPECT_EQ(ErrorText(job).rfind("unknown export format \"rxf_rtf.dll\" type 2; known: ", 0), 0u) << ErrorText(job);
  REDiskOptions noName = Record<REDiskOptions>();
  REExportOptions e = Export(RE_FMT_XML, 0, nullptr, &noName);
  EXPECT_FALSE(REExportTo(job, &e));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_EXPORTDEST);
  e = Export(RE_FMT_XML, 0, nullptr, &disk);
  std::strcpy(e.DestinationDLLName, "rxd_mapi.dll");
  EXPECT_FALSE(REExportTo(job, &e));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_EXPORTDEST);

  EXPECT_FALSE(REOutputToPrinter(job, -1));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADARGUMENT);
}

// A page range is honoured by PDF and printing; the other formats refuse
// one rather than write the whole report as if it had been.
TEST(Output, PageRangesAreForPdfAndPrintingOnly) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  REDiskOptions disk = Record<REDiskOptions>();
  std::strcpy(disk.FileName, "/tmp/never-written.out");
  REPdfOptions pdf = Record<REPdfOptions>();
  REExcelOptions xls = Record<REExcelOptions>();
  REHtmlOptions html = Record<REHtmlOptions>();
  REWordOptions word = Record<REWordOptions>();
  pdf.UsePageRange = xls.UsePageRange = html.UsePageRange = word.UsePageRange = 1;
  pdf.FirstPageNo = xls.FirstPageNo = html.FirstPageNo = word.FirstPageNo = 2;
  pdf.LastPageNo = xls.LastPageNo = html.LastPageNo = word.LastPageNo = 3;
  REExportOptions e = Export(RE_FMT_PDF, 0, &pdf, &disk);
  EXPECT_TRUE(REExportTo(job, &e)) << Error(job);
  const struct {
    const char* Dll;
    uint32_t Type;
    const void* Options;
    const char* Named;
  } kRefused[] = {{RE_FMT_XLS, 9, &xls, "workbook"}, {RE_FMT_HTML, 3, &html, "HTML"}, {RE_FMT_WORD, 0, &word, "Word"}};
  for (const auto& c : kRefused) {
    SCOPED_TRACE(c.Dll);
    e = Export(c.Dll, c.Type, c.Options, &disk);
    EXPECT_FALSE(REExportTo(job, &e));
    EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADARGUMENT);
    EXPECT_NE(ErrorText(job).find(std::string(c.Named) + " exports take the whole report"), std::string::npos)
        << ErrorText(job);
  }
  pdf.FirstPageNo = 4;
  e = Export(RE_FMT_PDF, 0, &pdf, &disk);
  EXPECT_FALSE(REExportTo(job, &e));
  EXPECT_EQ(ErrorText(job), "the page range ends at page 3, before its first page 4");
  REPrintOptions o = Record<REPrintOptions>();
  o.StartPageN = 4;
  o.StopPageN = 3;
  EXPECT_FALSE(RESetPrintOptions(job, &o));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADARGUMENT);
}

TEST(Output, AParameterWithoutValueStopsTheRunBeforeAnythingIsWritten) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  REDiskOptions disk = Record<REDiskOptions>();
  std::string out = std::string(MV_BINARY_DIR) + "/rpeng-missing-param.csv";
  std::remove(out.c_str());
  std::strcpy(disk.FileName, out.c_str());
  RESepValOptions sep = Record<RESepValOptions>();
  sep.StringDelimiter = '"';
  std::strcpy(sep.FieldDelimiter, ",");
  REExportOptions e = Export(RE_FMT_SEPV, 3, &sep, &disk);
  ASSERT_TRUE(REExportTo(job, &e)) << Error(job);
  EXPECT_FALSE(REStartPrintJob(job, 1));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_PARAMMISSING);
  EXPECT_EQ(ErrorText(job), "parameter \"StartTime\" of the report has no value and no default, and the engine does "
                            "not prompt for values; give it a value (REAddParameterCurrentValue) or a default in the "
                            "definition");
  EXPECT_NE(access(out.c_str(), F_OK), 0);
}

TEST(Output, PrinterChoiceAndPrintOptionsAreKept) {
  TEngineScope engine;
  RE_JOB job = REOpenPrintJob((kGood + "readings.xml").c_str());
  REPrintOptions o = Record<REPrintOptions>();
  ASSERT_TRUE(REGetPrintOptions(job, &o));
  EXPECT_EQ(o.nReportCopies, 1);
  o.nReportCopies = 3;
  ASSERT_TRUE(RESetPrintOptions(job, &o));
  REPrintOptions back = Record<REPrintOptions>();
  REGetPrintOptions(job, &back);
  EXPECT_EQ(back.nReportCopies, 3);
  REDeviceSettings d = Record<REDeviceSettings>();
  d.Orientation = 2;
  EXPECT_TRUE(RESelectPrinter(job, "Generic PDF", "FilePDF", "file:///tmp/x.pdf", &d));
  d.Orientation = 5;
  EXPECT_FALSE(RESelectPrinter(job, "", "FilePDF", "", &d));
  EXPECT_EQ(REGetErrorCode(job), RE_ERR_BADARGUMENT);
  EXPECT_TRUE(REEnableProgressDialog(job, 0));
}

TEST(EngineSession, TempFolderMustExist) {
  TEngineScope engine;
  EXPECT_FALSE(RESetTempFilePath("/no/such/folder"));
  EXPECT_EQ(REGetErrorCode(0), RE_ERR_BADARGUMENT);
  EXPECT_TRUE(RESetTempFilePath("/tmp"));
}

}  // namespace
