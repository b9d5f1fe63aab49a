// Report definition files: what a good one reads as, and the message a
// faulty one is refused with.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DefinitionReader.h"

using namespace mv::rpe;

namespace {

const std::string kBad = std::string(MV_TEST_DATA_DIR) + "/rpengine/bad/";
const std::string kGood = std::string(MV_TEST_DATA_DIR) + "/rpengine/good/";
const std::string kDemo = std::string(MV_SOURCE_DIR) + "/rpengine/demo/";

std::vector<std::string> XmlFiles(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.substr(n.size() - 4) == ".xml") out.push_back(dir + n);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(DefinitionReader, RefusesFaultsNamingFileLineAndFault) {
  constexpr struct {
    const char* File;
    int Line;
    const char* Reason;
  } kCases[] = {
      {"report_not_well_formed.xml", 5, "not well-formed XML: Start-end tags mismatch"},
      {"report_wrong_root.xml", 2, "the root element must be <report>, not <rapport>"},
      {"report_without_version.xml", 2, "<report> has no version attribute; write version=\"1\""},
      {"report_newer_version.xml", 2, "format version 2 is newer than this engine reads (up to 1)"},
      {"report_misspelt_element.xml", 4,
       "unknown element <layuot> inside <report>; expected one of: summary, options, page, tables, parameters, "
       "query, layout"},
      {"field_misspelt_attribute.xml", 7,
       "unknown attribute \"nme\" on <field>; known attributes: name, caption, type, format, width, align"},
      {"param_unknown_type.xml", 4,
       "parameter \"StartTime\" has unknown type \"datetim\"; known: number, currency, boolean, date, string, "
       "datetime, time, integer, color, char, long, stringhandle, novalue"},
      {"param_bad_default.xml", 5,
       "default \"yesterday\" of parameter \"StartTime\" is not a datetime value (write yyyy-mm-dd hh:nn:ss)"},
      {"param_declared_twice.xml", 5, "parameter \"SiteList\" is declared twice"},
      {"param_two_defaults_one_value.xml", 4,
       "parameter \"Region\" has 2 defaults but takes one value; add multiple=\"true\" or keep one default"},
      {"param_bad_name.xml", 4,
       "parameter name \"Start Time\" must start with a letter or _ and hold only letters, digits and _"},
      {"query_undeclared_placeholder.xml", 10,
       "the query uses :StartTme, which is not a declared parameter of the report"},
      {"query_unterminated_string.xml", 6, "the query has an unterminated string literal ('...')"},
      {"query_without_tables.xml", 3,
       "the report has a query but no <tables>; name at least one table, whose logon the query runs with"},
      {"text_unclosed_brace.xml", 6,
       "the { at position 11 of \"Data from {StartTime to the end\" is not closed; write {{ for a brace"},
      {"text_page_number_in_report_header.xml", 5,
       "{PageNumber} can only stand in the page header or the page footer"},
      {"text_field_in_page_footer.xml", 7,
       "{STATION_ID} is not a parameter; a page header or footer has no row, so it can show parameters, "
       "PageNumber, PageCount, PrintTime and ReportTitle only"},
      {"total_in_group_header.xml", 8,
       "{sum(VALUE)}: totals can only stand in a group footer or the report footer, where their rows are complete"},
      {"total_unknown_function.xml", 11, "function=\"median\" is unknown; known: count, sum, avg, min, max"},
      {"total_not_under_detail_field.xml", 11, "a total stands under a detail field, and \"QUALITY\" is not one"},
      {"format_two_decimal_points.xml", 7, "the number format \"0.0.0\" has two decimal points"},
      {"group_on_same_field_twice.xml", 7, "the report is grouped on field \"STATION_ID\" twice"},
      {"subreport_inside_subreport.xml", 11, "a subreport cannot hold another subreport"},
      {"subreport_link_in_report_header.xml", 7,
       "linked parameter \"pStation\" of subreport \"Sensors\" is fed from the main report's row, and the report "
       "header has none; place the subreport in a group section or the detail"},
      {"subreport_twice_same_name.xml", 10, "there are two subreports named \"Sensors\""},
      {"link_on_main_report_parameter.xml", 4,
       "parameter \"pStation\" has link=, which only a subreport's parameter can have"},
      {"page_margin_without_unit.xml", 3,
       "attribute margins=\"wide\" is not a length; write a number with mm, cm, in or pt (\"15mm\")"},
  };
  std::vector<std::string> covered;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.File);
    covered.push_back(kBad + c.File);
    try {
      ReadDefinitionFile(kBad + c.File);
      ADD_FAILURE() << "accepted";
    } catch (const EDefinitionError& e) {
      EXPECT_EQ(e.Reason(), c.Reason);
      EXPECT_EQ(e.Line(), c.Line);
      EXPECT_EQ(std::string(e.what()), kBad + c.File + ":" + std::to_string(c.Line) + ": " + c.Reason);
    }
  }
  // Every fixture of the folder has its row here.
  std::sort(covered.begin(), covered.end());
  EXPECT_EQ(covered, XmlFiles(kBad));
}

TEST(DefinitionReader, MissingOrUnreadableFileIsAFileError) {
  try {
    ReadDefinitionFile(kGood + "no_such_report.xml");
    FAIL() << "accepted";
  } catch (const EDefinitionFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "cannot open the report definition \"" + kGood + "no_such_report.xml\": No such file or directory");
  }
  EXPECT_THROW(ReadDefinitionFile(kGood), EDefinitionFileError);  // a folder
}

TEST(DefinitionReader, ReadsTheWholeModel) {
  TReportFile f = ReadDefinitionFile(kGood + "readings.xml");
  EXPECT_EQ(f.Summary.Title, "Readings");
  EXPECT_EQ(f.Summary.Author, "Engine tests");
  // Comments keep their lines, without the indentation they share.
  EXPECT_EQ(f.Summary.Comments, "First line.\n  Indented second line.");
  EXPECT_EQ(f.Page.PaperName, "A4");
  EXPECT_DOUBLE_EQ(f.Page.WidthMm, 210);
  EXPECT_EQ(f.Main.Name, "readings");
  ASSERT_EQ(f.Main.Tables.size(), 2u);
  EXPECT_EQ(f.Main.Tables[1].Name, "MV_SITES");
  EXPECT_EQ(f.Main.Tables[1].DataSource, "MVDEMO");

  ASSERT_EQ(f.Main.Params.size(), 5u);
  const TParamDef& sites = f.Main.Params[2];
  EXPECT_EQ(sites.Name, "SiteList");
  EXPECT_EQ(sites.Type, TParamType::String);
  EXPECT_TRUE(sites.Multiple);
  EXPECT_EQ(sites.BrowseField, "MV_SITES.STATION_ID");
  const TParamDef& q = f.Main.Params[4];
  ASSERT_EQ(q.Defaults.size(), 1u);
  EXPECT_EQ(q.Defaults[0].Integer, 0);
  ASSERT_TRUE(q.Min && q.Max);
  EXPECT_EQ(q.Max->Integer, 9);

  // Placeholders in order, mapped to their parameters.
  std::vector<std::string> names;
  for (const auto& p : f.Main.Query.Placeholders()) names.push_back(p.Name + (p.Count ? ".count" : ""));
  EXPECT_EQ(names, (std::vector<std::string>{"StartTime", "EndTime", "SiteList.count", "SiteList", "SensorList.count",
                                             "SensorList", "MinQuality"}));
  EXPECT_EQ(f.Main.PlaceholderParams, (std::vector<int>{0, 1, 2, 2, 3, 3, 4}));
  EXPECT_EQ(f.Main.Query.Text().substr(0, 17), "SELECT d.STATION_");  // dedented

  ASSERT_EQ(f.Main.Groups.size(), 2u);
  EXPECT_EQ(f.Main.Groups[0].Field, "STATION_ID");
  EXPECT_EQ(f.Main.Groups[1].Field, "SENSORNAME");
  // The sensor footer's totals and texts share slots for the same aggregate.
  std::vector<std::string> slots;
  for (const TAggregateDef& a : f.Main.Groups[1].Aggregates)
    slots.push_back(std::string(AggFunctionName(a.Function)) + "(" + a.Field + ")");
  EXPECT_EQ(slots, (std::vector<std::string>{"sum(VALUE)", "count(READING_TIME)", "count()", "count(VALUE)",
                                             "min(VALUE)", "max(VALUE)", "avg(VALUE)"}));
  ASSERT_EQ(f.Main.Fields.size(), 5u);
  EXPECT_EQ(f.Main.Fields[2].Type, TFieldType::DateTime);
  EXPECT_EQ(f.Main.Fields[2].Format.Date.Format({2024, 3, 1, 7, 5, 9}), "2024-03-01 07:05");
  EXPECT_EQ(f.Main.Fields[3].Align, TAlign::Left);
  EXPECT_FALSE(f.Main.Fields[3].AlignSet);

  std::vector<int> codes;
  for (const auto& s : f.Main.Sections()) codes.push_back(s.first);
  EXPECT_EQ(codes, (std::vector<int>{1000, 2000, 3000, 3001, 4000, 5001, 5000, 7000, 8000}));
  ASSERT_EQ(f.Main.PageFooter.Items.size(), 2u);
  EXPECT_TRUE(f.Main.PageFooter.Items[1].Text.UsesPageNumbers());
}

TEST(DefinitionReader, ReadsSubreportsWithTheirPlaceAndLinks) {
  TReportFile f = ReadDefinitionFile(kGood + "stations_with_sensors.xml");
  ASSERT_EQ(f.Subreports.size(), 2u);
  const TReportDef& sensors = f.Subreports[0];
  EXPECT_EQ(sensors.Name, "Sensors");
  EXPECT_EQ(sensors.PlacedInSection, 4000);
  ASSERT_EQ(sensors.Params.size(), 1u);
  EXPECT_EQ(sensors.Params[0].LinkField, "STATION_ID");
  EXPECT_EQ(f.Subreports[1].Name, "Basins");
  EXPECT_EQ(f.Subreports[1].PlacedInSection, 8000);
  EXPECT_TRUE(f.Subreports[1].Tables.empty());
  // A subreport has no page sections.
  std::vector<int> codes;
  for (const auto& s : sensors.Sections()) codes.push_back(s.first);
  EXPECT_EQ(codes, (std::vector<int>{1000, 4000, 8000}));
  ASSERT_EQ(f.Main.Detail.Items.size(), 1u);
  EXPECT_EQ(f.Main.Detail.Items[0].Subreport, 0);
}

TEST(DefinitionReader, PageSetupTurnsForLandscapeAndTakesUnits) {
  TReportFile f = ParseDefinition(
      "<report version='1'><page paper='letter' orientation='landscape' margins='0.5in' margin-top='36pt'/></report>",
      "inline.xml");
  EXPECT_EQ(f.Page.PaperName, "Letter");
  EXPECT_DOUBLE_EQ(f.Page.WidthMm, 279.4);
  EXPECT_DOUBLE_EQ(f.Page.HeightMm, 215.9);
  EXPECT_DOUBLE_EQ(f.Page.MarginLeftMm, 12.7);
  EXPECT_DOUBLE_EQ(f.Page.MarginTopMm, 12.7);
}

TEST(DefinitionReader, BracesAndFormatsInTexts) {
  TReportFile f = ParseDefinition(
      "<report version='1'><parameters><parameter name='pReportTime' type='date'/></parameters><layout>"
      "<report-header><text>{{literal}} for {pReportTime:dd mmm yyyy} at {PrintTime:hh:nn}</text></report-header>"
      "</layout></report>",
      "inline.xml");
  const TTextTemplate& t = f.Main.ReportHeader.Items.at(0).Text;
  ASSERT_EQ(t.Parts.size(), 4u);
  EXPECT_EQ(t.Parts[0].Text, "{literal} for ");
  EXPECT_EQ(t.Parts[1].Kind, TTextPart::TKind::Param);
  EXPECT_EQ(t.Parts[1].Format.Date.Format({2024, 2, 29, 0, 0, 0}), "29 Feb 2024");
  EXPECT_EQ(t.Parts[3].Kind, TTextPart::TKind::PrintTime);
  EXPECT_EQ(t.Parts[3].Format.Date.Format({2024, 2, 29, 6, 5, 0}), "06:05");
}

// The reports shipped for operators: each reads, and its report header shows
// the data range it covers (the reserved StartTime and EndTime), so a reader
// of a caught-up report sees which period it is about.
TEST(DefinitionReader, DemoReportsReadAndShowTheirDataRange) {
  std::vector<std::string> demos = XmlFiles(kDemo);
  ASSERT_GE(demos.size(), 4u);
  ASSERT_LE(demos.size(), 6u);
  for (const std::string& path : demos) {
    SCOPED_TRACE(path);
    TReportFile f = ReadDefinitionFile(path);
    EXPECT_FALSE(f.Summary.Title.empty());
    bool from = false, to = false;
    for (const TSectionItem& item : f.Main.ReportHeader.Items)
      for (const TTextPart& p : item.Text.Parts)
        if (p.Kind == TTextPart::TKind::Param) {
          from |= p.Text == "StartTime";
          to |= p.Text == "EndTime";
        }
    EXPECT_TRUE(from && to) << "the report header must show {StartTime} and {EndTime}";
    EXPECT_GE(f.Main.FindParam("pReportTime"), 0);
  }
}

}  // namespace
