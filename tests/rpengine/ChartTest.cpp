// Charts: the <chart> element read and refused, points collected within a
// bounded size, and the chart drawn into PDF (text checked with poppler)
// and into HTML as inline SVG (parsed back as XML).
#include "support/TestFiles.h"
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Chart.h"
#include "DefinitionReader.h"
#include "PdfWriter.h"
#include "Writers.h"

using namespace mv::rpe;

namespace {

using mv::test::ReadFile;
using mv::test::Shell;

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

std::string Report(const std::string& footer) {
  return "<report version='1'><tables><table name='MV_DATA1' data-source='MVDEMO'/></tables>"
         "<query>SELECT * FROM MV_DATA1</query>\n<layout><group field='STATION_ID'><footer>\n" + footer +
         "\n</footer></group></layout></report>";
}

// ---- The definition ----------------------------------------------------------

TEST(ChartDefinition, ReadsEveryAttribute) {
  TReportFile f = ParseDefinition(
      Report("<chart type='bar' time='READING_TIME' value='VALUE' series='STATION_ID, SENSORNAME' bars='max' "
             "height='6cm' title='Rain at {STATION_ID}' value-label='Rain (mm)'/>"),
      "chart.xml");
  const TSectionItem& item = f.Main.Groups.at(0).Footer.Items.at(0);
  ASSERT_EQ(item.Kind, TSectionItem::TKind::Chart);
  const TChartDef& c = item.Chart;
  EXPECT_EQ(c.Type, TChartType::Bar);
  EXPECT_EQ(c.Merge, TChartMerge::Max);
  EXPECT_EQ(c.TimeField, "READING_TIME");
  EXPECT_EQ(c.ValueField, "VALUE");
  EXPECT_EQ(c.SeriesFields, (std::vector<std::string>{"STATION_ID", "SENSORNAME"}));
  EXPECT_DOUBLE_EQ(c.HeightMm, 60);
  EXPECT_EQ(c.ValueLabel, "Rain (mm)");
  ASSERT_EQ(c.Title.Parts.size(), 2u);
  EXPECT_EQ(c.Title.Parts[1].Kind, TTextPart::TKind::Field);
  EXPECT_EQ(item.Line, 3);

  TReportFile plain = ParseDefinition(Report("<chart time='T' value='V'/>"), "plain.xml");
  const TChartDef& p = plain.Main.Groups.at(0).Footer.Items.at(0).Chart;
  EXPECT_EQ(p.Type, TChartType::Line);
  EXPECT_TRUE(p.SeriesFields.empty());
  EXPECT_DOUBLE_EQ(p.HeightMm, 80);
}

TEST(ChartDefinition, RefusesBadChartsWithFileAndLine) {
  struct TCase {
    std::string Xml, Message;
  };
  const std::vector<TCase> cases = {
      {Report("<chart type='pie' time='T' value='V'/>"), "chart.xml:3: type=\"pie\" must be line or bar"},
      {Report("<chart value='V'/>"), "chart.xml:3: <chart> needs a time attribute"},
      {Report("<chart time='T'/>"), "chart.xml:3: <chart> needs a value attribute"},
      {Report("<chart time='T' value='V' height='5mm'/>"), "chart.xml:3: height=\"5mm\" must be between 30mm and 250mm"},
      {Report("<chart time='T' value='V' height='tall'/>"), "chart.xml:3: attribute height=\"tall\" is not a length"},
      {Report("<chart type='bar' time='T' value='V' bars='avg'/>"), "chart.xml:3: bars=\"avg\" must be sum or max"},
      {Report("<chart time='T' value='V' bars='sum'/>"), "chart.xml:3: bars=\"...\" belongs to a bar chart"},
      {Report("<chart time='T' value='V' colour='red'/>"), "chart.xml:3: unknown attribute \"colour\" on <chart>"},
      {Report("<chart time='T' value='V' series='A B-C'/>"), "chart.xml:3: series=\"A B-C\": \"B-C\" is not a field name"},
      {Report("<chart time='T' value='V'><text>x</text></chart>"), "chart.xml:3: unknown element <text> inside <chart>"},
      {Report("<chart time='T' value='V' title='{sum(V}'/>"), "chart.xml:3: {sum(V} is missing its closing )"},
      {"<report version='1'><tables><table name='D' data-source='X'/></tables><query>SELECT 1</query><layout><group field='S'><header>\n<chart time='T' value='V'/>\n</header></group></layout></report>",
       "chart.xml:2: unknown element <chart> inside <header>"},
      {"<report version='1'><tables><table name='D' data-source='X'/></tables><query>SELECT 1</query><layout><detail>\n<subreport name='Sub'><layout><report-footer>\n"
       "<chart time='T' value='V'/></report-footer></layout></subreport></detail></layout></report>",
       "chart.xml:3: a chart can stand in the main report's footers only"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Xml);
    try {
      ParseDefinition(c.Xml, "chart.xml");
      ADD_FAILURE() << "accepted";
    } catch (const EDefinitionError& e) {
      EXPECT_TRUE(Has(e.what(), c.Message)) << e.what();
    }
  }
}

// ---- Collecting ----------------------------------------------------------------

std::string Stamp(int minutes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "2024-03-%02d %02d:%02d:00", 1 + minutes / 1440, minutes / 60 % 24, minutes % 60);
  return buf;
}

TEST(ChartCollector, KeepsPointsBoundedWithExtremesAndSums) {
  TChartCollector c;
  TChartDef def;
  // Four weeks of one-minute readings: a slow wave with one spike up and one down.
  const int n = 28 * 1440;
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    double v = (i % 600) / 100.0;
    if (i == 12345) v = 99;
    if (i == 23456) v = -7;
    sum += v;
    c.Add("S1", Stamp(i), std::to_string(v), false);
  }
  c.Add("S1", "not a time", "1", false);
  c.Add("S1", Stamp(n), "", true);  // a missing reading is not a point
  TChartData d = c.Take(def, "t");
  ASSERT_EQ(d.Series.size(), 1u);
  const auto& pts = d.Series[0].Points;
  EXPECT_LE(pts.size(), TChartCollector::kMaxPoints);
  EXPECT_GT(pts.size(), TChartCollector::kMaxPoints / 2);
  double lo = 1e9, hi = -1e9, total = 0;
  std::uint64_t count = 0;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    lo = std::min(lo, pts[i].Min);
    hi = std::max(hi, pts[i].Max);
    total += pts[i].Sum;
    count += pts[i].Count;
    if (i) {
      EXPECT_GE(pts[i].T0, pts[i - 1].T1);
    }
  }
  EXPECT_EQ(lo, -7);
  EXPECT_EQ(hi, 99);
  EXPECT_EQ(count, std::uint64_t(n));
  EXPECT_NEAR(total, sum, 1e-6 * std::abs(sum));
  EXPECT_EQ(d.SkippedValues, 1u);
  // Taken: the collector starts again empty.
  EXPECT_TRUE(c.Take(def, "t").Series.empty());
}

TEST(ChartCollector, CountsSeriesPastTheMostAChartShows) {
  TChartCollector c;
  for (int s = 0; s < 14; ++s)
    for (int i = 0; i < 3; ++i) c.Add("S" + std::to_string(s), Stamp(i * 15), "1", false);
  TChartData d = c.Take(TChartDef{}, "");
  EXPECT_EQ(d.Series.size(), TChartCollector::kMaxSeries);
  EXPECT_EQ(d.OmittedSeries, 14 - TChartCollector::kMaxSeries);
  EXPECT_EQ(d.Series[0].Name, "S0");
  EXPECT_EQ(d.Series[0].Points.size(), 3u);
}

// ---- Drawing -----------------------------------------------------------------

TChartData Hydrograph(const std::string& title, std::vector<std::string> names, TChartType type = TChartType::Line) {
  TChartCollector c;
  TChartDef def;
  def.Type = type;
  def.ValueLabel = "Stage (m)";
  def.HeightMm = 120;
  for (std::size_t s = 0; s < names.size(); ++s)
    for (int i = 0; i < 3 * 96; ++i)
      c.Add(names[s], Stamp(i * 15), std::to_string(0.5 + s * 0.2 + (i % 96) / 200.0), false);
  return c.Take(def, title);
}

class ChartOutput : public ::testing::Test {
 protected:
  TReportFile FFile = ParseDefinition("<report version='1'><page paper='A5' margins='10mm'/></report>", "charts.xml");
  TReportInfo FInfo;
  void SetUp() override {
    FInfo.File = &FFile;
    FInfo.Title = "Charts";
    TPageLine footer;
    footer.Parts = {{TPageLine::TPart::TKind::Literal, "Page "}, {TPageLine::TPart::TKind::PageNumber, ""},
                    {TPageLine::TPart::TKind::Literal, " of "}, {TPageLine::TPart::TKind::PageCount, ""}};
    FInfo.PageFooter = {footer};
  }
  std::string Out(const std::string& ext) {
    return std::string(MV_BINARY_DIR) + "/rpeng-chart-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ext;
  }
  // A report header, then three basins each closed by a chart of its stations.
  void Feed(TReportSink& w) {
    w.Begin(FInfo);
    Section(w, TSectionKind::ReportHeader, "River stage & rain <test>");
    Section(w, TSectionKind::GroupFooter, "", Hydrograph("Basin <North> & co", {"FTC01 STAGE", "LOV01 STAGE"}));
    Section(w, TSectionKind::GroupFooter, "", Hydrograph("Basin South", {"GRE01 STAGE"}));
    Section(w, TSectionKind::GroupFooter, "", Hydrograph("Rain, basin East", {"KRN01 RAIN", "SLN01 RAIN"}, TChartType::Bar));
    w.End();
  }
  static void Section(TReportSink& w, TSectionKind kind, const std::string& text, const TChartData* chart = nullptr) {
    TSectionEvent e;
    e.Kind = kind;
    w.BeginSection(e);
    if (!text.empty()) w.Text({TTextStyle::Normal, TAlign::Left, text});
    if (chart) w.Chart(*chart);
    w.EndSection();
  }
  static void Section(TReportSink& w, TSectionKind kind, const std::string& text, const TChartData& chart) {
    Section(w, kind, text, &chart);
  }
};

TEST_F(ChartOutput, PdfDrawsEachChartWithItsLegendOnPagesOfItsOwn) {
  std::string pdf = Out(".pdf");
  auto w = MakePdfWriter(pdf, "/tmp");
  Feed(*w);
  // 120 mm charts on A5: one per page.
  std::smatch m;
  std::string info = Shell("pdfinfo '" + pdf + "'");
  ASSERT_TRUE(std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")));
  ASSERT_EQ(std::stoi(m[1]), 3);
  struct TPage {
    std::vector<std::string> Has, HasNot;
  };
  const std::vector<TPage> pages = {
      {{"River stage & rain <test>", "Basin <North> & co", "FTC01 STAGE", "LOV01 STAGE", "Stage (m)", "1 Mar", "Page 1 of 3"},
       {"GRE01"}},
      {{"Basin South", "GRE01 STAGE", "12:00", "Page 2 of 3"}, {"FTC01"}},
      {{"Rain, basin East", "KRN01 RAIN", "SLN01 RAIN", "Page 3 of 3"}, {"GRE01"}},
  };
  for (std::size_t p = 0; p < pages.size(); ++p) {
    SCOPED_TRACE("page " + std::to_string(p + 1));
    std::string text = Shell("pdftotext -f " + std::to_string(p + 1) + " -l " + std::to_string(p + 1) + " '" + pdf + "' -");
    for (const std::string& s : pages[p].Has) EXPECT_TRUE(Has(text, s)) << s << "\n" << text;
    for (const std::string& s : pages[p].HasNot) EXPECT_FALSE(Has(text, s)) << s;
  }
}

TEST_F(ChartOutput, HtmlHoldsEachChartAsInlineSvgWithEscapedTexts) {
  std::string html = Out(".html");
  auto w = MakeHtmlWriter(html, "/tmp", THtmlOptions{});
  Feed(*w);
  pugi::xml_document doc;
  pugi::xml_parse_result r = doc.load_file(html.c_str());
  ASSERT_TRUE(r) << r.description() << " at " << r.offset;
  pugi::xpath_node_set svgs = doc.select_nodes("//*[local-name()='svg']");
  ASSERT_EQ(svgs.size(), 3u);
  std::vector<std::vector<std::string>> expected = {{"Basin <North> & co", "FTC01 STAGE", "LOV01 STAGE", "Stage (m)"},
                                                    {"Basin South", "GRE01 STAGE"},
                                                    {"Rain, basin East", "KRN01 RAIN", "SLN01 RAIN", "(bars: 2-hour totals)"}};
  for (std::size_t i = 0; i < svgs.size(); ++i) {
    SCOPED_TRACE("chart " + std::to_string(i));
    pugi::xml_node svg = svgs[i].node();
    EXPECT_STREQ(svg.attribute("xmlns").value(), "http://www.w3.org/2000/svg");
    std::vector<std::string> texts;
    for (pugi::xml_node t : svg.children("text")) texts.push_back(t.text().get());
    for (const std::string& s : expected[i]) EXPECT_NE(std::find(texts.begin(), texts.end(), s), texts.end()) << s;
    // Lines draw polylines, bars rectangles beyond the plot's background and the legend's swatches.
    if (i < 2)
      EXPECT_EQ(std::distance(svg.children("polyline").begin(), svg.children("polyline").end()),
                static_cast<std::ptrdiff_t>(expected[i].size() - (i == 0 ? 2 : 1)));
    else  // three days of 15-minute rain in 2-hour totals: 36 bars a series, 2 swatches, the background
      EXPECT_EQ(std::distance(svg.children("rect").begin(), svg.children("rect").end()), 2 * 36 + 2 + 1);
  }
  // The escaped title is in the file as an entity, never as markup.
  EXPECT_FALSE(Has(ReadFile(html), "<North>"));
}

TEST(ChartLayout, SpacesDateLabelsAndBreaksLinesAtGaps) {
  TChartCollector c;
  // Two weeks of hourly readings with a day missing in the middle.
  for (int h = 0; h < 14 * 24; ++h)
    if (h / 24 != 6) c.Add("S", Stamp(h * 60), "1." + std::to_string(h % 10), false);
  TChartScene sc = LayoutChart(c.Take(TChartDef{}, "Two weeks"), 480, 220);
  EXPECT_EQ(sc.Polylines.size(), 2u);
  // Tick labels under the plot never overlap: left to right with room between.
  std::vector<const TChartScene::TText*> under;
  double plotBottom = 0;
  for (const auto& l : sc.Lines) plotBottom = std::max(plotBottom, std::max(l.Y0, l.Y1));
  for (const auto& t : sc.Texts)
    if (t.Y > plotBottom - 3 && t.Y < plotBottom + 15 && t.Anchor == TChartScene::TAnchor::Middle) under.push_back(&t);
  ASSERT_GE(under.size(), 4u);
  EXPECT_LE(under.size(), 16u);
  for (std::size_t i = 1; i < under.size(); ++i)
    EXPECT_GT(under[i]->X - under[i - 1]->X, 7 * 0.56 * (under[i]->Text.size() + under[i - 1]->Text.size()) / 2)
        << under[i - 1]->Text << " / " << under[i]->Text;
}

}  // namespace
