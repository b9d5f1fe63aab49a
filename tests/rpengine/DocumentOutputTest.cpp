// The document writers (PDF, workbook, RTF) fed with events directly, and
// their files read back with the tools a reader would use: poppler for
// PDF, the workbook's sheet XML, the RTF text.
#include "support/TestFiles.h"
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "DefinitionReader.h"
#include "Errors.h"
#include "PdfWriter.h"
#include "RtfWriter.h"
#include "XlsxWriter.h"
#include "Writers.h"

using namespace mv::rpe;

namespace {

using mv::test::ReadFile;
using mv::test::Shell;

int PdfPages(const std::string& pdf) {
  std::smatch m;
  std::string info = Shell("pdfinfo '" + pdf + "'");
  if (!std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)"))) return -1;
  return std::stoi(m[1]);
}

std::string PdfPageText(const std::string& pdf, int page) {
  return Shell("pdftotext -layout -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + pdf + "' -");
}

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// Feeds writers a report of groups with rows and totals.
class TFeeder {
 public:
  TFeeder() {
    TColumn name;
    name.Name = name.Caption = "Station";
    name.Width = 10;
    TColumn time;
    time.Name = "T";
    time.Caption = "Time";
    time.Type = TFieldType::DateTime;
    time.Width = 16;
    time.Source = 1;
    TColumn value;
    value.Name = value.Caption = "Value";
    value.Type = TFieldType::Number;
    value.Width = 12;
    value.Align = TAlign::Right;
    value.Source = 2;
    FInfo.Columns = {name, time, value};
    FInfo.Title = "Feed test";
    TPageLine header;
    header.Align = TAlign::Right;
    header.Parts = {{TPageLine::TPart::TKind::Literal, "Feed test header"}};
    TPageLine footer;
    footer.Align = TAlign::Right;
    footer.Parts = {{TPageLine::TPart::TKind::Literal, "Page "}, {TPageLine::TPart::TKind::PageNumber, ""},
                    {TPageLine::TPart::TKind::Literal, " of "}, {TPageLine::TPart::TKind::PageCount, ""}};
    FInfo.PageHeader = {header};
    FInfo.PageFooter = {footer};
    FInfo.PrintTime = {2024, 3, 1, 6, 0, 0};
  }

  TReportInfo& Info(const TReportFile& file) {
    FInfo.File = &file;
    return FInfo;
  }

  static void Section(TReportSink& s, TSectionKind kind, std::vector<TTextLine> lines, std::vector<TTotalsLine> totals = {}) {
    TSectionEvent e;
    e.Kind = kind;
    e.Group = kind == TSectionKind::GroupHeader || kind == TSectionKind::GroupFooter ? 0 : -1;
    s.BeginSection(e);
    for (const auto& l : lines) s.Text(l);
    for (const auto& t : totals) s.Totals(t);
    s.EndSection();
  }

  void Row(TReportSink& s, std::string_view name, std::string_view time, std::string_view value) {
    FValues = {name, time, value};
    s.Row(TRowView(FValues.data(), FNulls.data(), 3));
  }

  // Groups "G<i>" with rowsOf(i) rows named "g<i>-<n>", values i*n/4.
  template <class F>
  void Groups(TReportSink& s, int count, F rowsOf) {
    Section(s, TSectionKind::ReportHeader, {{TTextStyle::Title, TAlign::Left, "Feed test"},
                                             {TTextStyle::Normal, TAlign::Left, "Zürich – 25 °C, Δ Жук"}});
    for (int g = 0; g < count; ++g) {
      Section(s, TSectionKind::GroupHeader, {{TTextStyle::Heading, TAlign::Left, "Group G" + std::to_string(g)}});
      int rows = rowsOf(g);
      for (int n = 0; n < rows; ++n) {
        std::string value = std::to_string(g * n / 4.0);
        value.resize(value.find('.') + 3);
        Row(s, "g" + std::to_string(g) + "-" + std::to_string(n), "2024-03-01 06:15:00", value);
      }
      Section(s, TSectionKind::GroupFooter, {}, {{"Sum", {{2, TAggFunction::Sum, "123456.25", "123456.25"}}}});
    }
    Section(s, TSectionKind::ReportFooter, {}, {{"All readings", {{2, TAggFunction::Count, "777", "777"}}}});
  }

 private:
  TReportInfo FInfo;
  std::vector<std::string_view> FValues{"", "", ""};
  std::vector<char> FNulls{0, 0, 0};
};

class DocumentOutput : public ::testing::Test {
 protected:
  TReportFile FFile = ParseDefinition(
      "<report version='1'><summary><title>Feed test</title><author>Tests</author></summary>"
      "<page paper='A5' margins='10mm'/></report>", "feed.xml");
  TFeeder FFeed;
  std::string Out(const std::string& ext) {
    return std::string(MV_BINARY_DIR) + "/rpeng-doc-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ext;
  }
};

// ---- PDF ------------------------------------------------------------------

TEST_F(DocumentOutput, PdfPagesCarryHeaderCaptionsAndPageNofM) {
  const int kGroups = 40;
  std::string pdf = Out(".pdf");
  auto w = MakePdfWriter(pdf, "/tmp");
  w->Begin(FFeed.Info(FFile));
  // Groups of varying length, so that headings fall at every height of a page.
  FFeed.Groups(*w, kGroups, [](int g) { return 1 + g * 7 % 23; });
  w->End();
  int pages = PdfPages(pdf);
  ASSERT_GT(pages, 8);
  std::map<int, int> headingPage, firstRowPage;
  for (int p = 1; p <= pages; ++p) {
    SCOPED_TRACE("page " + std::to_string(p));
    std::string text = PdfPageText(pdf, p);
    EXPECT_TRUE(Has(text, "Page " + std::to_string(p) + " of " + std::to_string(pages)));
    EXPECT_TRUE(Has(text, "Feed test header"));
    EXPECT_TRUE(std::regex_search(text, std::regex("Station\\s+Time\\s+Value"))) << text;
    for (int g = 0; g < kGroups; ++g) {
      if (Has(text, "Group G" + std::to_string(g) + "\n")) headingPage[g] = p;
      if (Has(text, "g" + std::to_string(g) + "-0 ")) firstRowPage[g] = p;
    }
  }
  // Every heading stands on the page of its group's first row.
  ASSERT_EQ(headingPage.size(), std::size_t(kGroups));
  EXPECT_EQ(headingPage, firstRowPage);
  std::string last = PdfPageText(pdf, pages);
  EXPECT_TRUE(std::regex_search(last, std::regex("All readings\\s+777")));
  EXPECT_TRUE(Has(PdfPageText(pdf, 1), "Zürich – 25 °C, Δ Жук"));
}

TEST_F(DocumentOutput, PdfNumbersAlignRightAndFontsAreEmbedded) {
  std::string pdf = Out(".pdf");
  auto w = MakePdfWriter(pdf, "/tmp");
  w->Begin(FFeed.Info(FFile));
  FFeed.Groups(*w, 1, [](int) { return 12; });
  w->End();
  // Right edges of the numbers in the value column: one edge for all.
  std::string bbox = Shell("pdftotext -bbox -f 1 -l 1 '" + pdf + "' -");
  std::regex word("xMax=\"([0-9.]+)\"[^>]*>([0-9]+\\.[0-9]+)</word>");
  std::vector<double> edges;
  for (auto it = std::sregex_iterator(bbox.begin(), bbox.end(), word); it != std::sregex_iterator(); ++it)
    edges.push_back(std::stod((*it)[1]));
  ASSERT_GE(edges.size(), 12u) << bbox;
  for (double e : edges) EXPECT_NEAR(e, edges.front(), 0.5);

  std::string fonts = Shell("pdffonts '" + pdf + "'");
  std::istringstream lines(fonts);
  std::string line;
  int listed = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line.rfind("name", 0) == 0 || line.rfind("---", 0) == 0) continue;
    ++listed;
    EXPECT_TRUE(std::regex_search(line, std::regex("\\s+yes\\s+yes\\s+yes\\s+"))) << "not embedded: " << line;
  }
  EXPECT_GE(listed, 2);  // regular and bold
}

TEST_F(DocumentOutput, PdfWithAFixedDateIsTheSameEveryRun) {
  ::setenv("SOURCE_DATE_EPOCH", "1709272800", 1);  // 2024-03-01 06:00 UTC
  std::string a = Out("-a.pdf"), b = Out("-b.pdf");
  for (const std::string& path : {a, b}) {
    auto w = MakePdfWriter(path, "/tmp");
    w->Begin(FFeed.Info(FFile));
    FFeed.Groups(*w, 2, [](int) { return 5; });
    w->End();
  }
  ::unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_EQ(ReadFile(a), ReadFile(b));
  EXPECT_TRUE(std::regex_search(Shell("pdfinfo '" + a + "'"), std::regex("CreationDate:.*Mar\\s+1 06:00:00 2024")));
}

TEST_F(DocumentOutput, PdfOfAnEmptyReportIsOnePage) {
  std::string pdf = Out(".pdf");
  auto w = MakePdfWriter(pdf, "/tmp");
  w->Begin(FFeed.Info(FFile));
  w->End();
  EXPECT_EQ(PdfPages(pdf), 1);
  EXPECT_TRUE(Has(PdfPageText(pdf, 1), "Page 1 of 1"));
}

// A page range draws those pages only, each as it stands in the whole
// report (its rows and its "Page N of M"); a range past the last page
// writes nothing and says how many pages there are.
TEST_F(DocumentOutput, PdfPageRangeKeepsThosePagesAsInTheWholeReport) {
  auto write = [&](const std::string& path, long first, long last) {
    TPdfOptions o;
    o.FirstPage = first;
    o.LastPage = last;
    auto w = MakePdfWriter(path, "/tmp", o);
    w->Begin(FFeed.Info(FFile));
    FFeed.Groups(*w, 12, [](int g) { return 3 + g * 5 % 17; });
    w->End();
  };
  std::string whole = Out("-whole.pdf");
  write(whole, 0, 0);
  const int pages = PdfPages(whole);
  ASSERT_GE(pages, 4);
  struct TCase {
    long First, Last;
    int From, To;  // the pages of the whole report expected
  };
  for (const TCase& c : {TCase{2, 3, 2, 3}, TCase{3, 0, 3, pages}, TCase{0, 1, 1, 1}, TCase{pages, pages + 5, pages, pages}}) {
    SCOPED_TRACE(std::to_string(c.First) + "-" + std::to_string(c.Last));
    std::string part = Out("-part.pdf");
    write(part, c.First, c.Last);
    ASSERT_EQ(PdfPages(part), c.To - c.From + 1);
    for (int p = c.From; p <= c.To; ++p) EXPECT_EQ(PdfPageText(part, p - c.From + 1), PdfPageText(whole, p));
  }
  std::string none = Out("-none.pdf");
  std::remove(none.c_str());
  try {
    write(none, pages + 1, 0);
    ADD_FAILURE() << "a range past the last page was written";
  } catch (const ERpeError& e) {
    EXPECT_EQ(e.Code(), RE_ERR_BADARGUMENT);
    EXPECT_TRUE(Has(e.what(), "the report has " + std::to_string(pages) + " pages")) << e.what();
  }
  EXPECT_NE(access(none.c_str(), F_OK), 0);
}

// ---- Workbook -------------------------------------------------------------

std::string Part(const std::string& zip, const std::string& part) { return Shell("unzip -p '" + zip + "' '" + part + "'"); }

// The cells of sheet XML as "A1" -> the cell's whole element.
std::map<std::string, std::string> Cells(const std::string& sheet) {
  std::map<std::string, std::string> cells;
  std::regex cell("<c r=\"([A-Z]+[0-9]+)\"[^>]*?(/>|>.*?</c>)");
  for (auto it = std::sregex_iterator(sheet.begin(), sheet.end(), cell); it != std::sregex_iterator(); ++it)
    cells[(*it)[1]] = (*it)[0];
  return cells;
}

// The number format code of a cell's style ("" for none).
std::string NumberFormatOf(const std::string& styles, const std::string& cell) {
  std::smatch m;
  if (!std::regex_search(cell, m, std::regex(" s=\"([0-9]+)\""))) return "";
  std::size_t xfs = styles.find("<cellXfs");
  std::regex xf("<xf [^>]*?numFmtId=\"([0-9]+)\"");
  auto it = std::sregex_iterator(styles.begin() + static_cast<long>(xfs), styles.end(), xf);
  for (int i = std::stoi(m[1]); i > 0 && it != std::sregex_iterator(); --i) ++it;
  if (it == std::sregex_iterator()) return "?";
  std::string id = (*it)[1];
  if (std::regex_search(styles, m, std::regex("numFmtId=\"" + id + "\" formatCode=\"([^\"]*)\""))) return m[1];
  return "builtin " + id;
}

bool IsBold(const std::string& styles, int xfIndex) {
  std::size_t xfs = styles.find("<cellXfs");
  std::regex xf("<xf [^>]*?fontId=\"([0-9]+)\"");
  auto it = std::sregex_iterator(styles.begin() + static_cast<long>(xfs), styles.end(), xf);
  for (int i = xfIndex; i > 0 && it != std::sregex_iterator(); --i) ++it;
  if (it == std::sregex_iterator()) return false;
  int font = std::stoi((*it)[1]);
  std::regex fontEl("<font>.*?</font>");
  auto f = std::sregex_iterator(styles.begin(), styles.end(), fontEl);
  for (int i = font; i > 0 && f != std::sregex_iterator(); --i) ++f;
  return f != std::sregex_iterator() && Has((*f)[0], "<b/>");
}

TEST_F(DocumentOutput, WorkbookHoldsNumbersDatesBoldFrozenCaptionsAndTotals) {
  ::setenv("SOURCE_DATE_EPOCH", "1709272800", 1);
  std::string xls = Out(".XLS");
  auto w = MakeXlsxWriter(xls, "/tmp");
  w->Begin(FFeed.Info(FFile));
  FFeed.Groups(*w, 2, [](int) { return 3; });
  w->End();
  ::unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_TRUE(Has(Shell("unzip -t '" + xls + "'"), "No errors detected"));
  std::string sheet = Part(xls, "xl/worksheets/sheet1.xml"), styles = Part(xls, "xl/styles.xml");
  auto cells = Cells(sheet);
  // Rows 1-2 the report header, 3 the captions, frozen below them.
  EXPECT_TRUE(Has(cells["A1"], "<t>Feed test</t>"));
  EXPECT_TRUE(Has(cells["A2"], "Zürich – 25 °C, Δ Жук"));
  EXPECT_TRUE(Has(cells["C3"], "<t>Value</t>"));
  EXPECT_TRUE(Has(sheet, "<pane ySplit=\"3\" topLeftCell=\"A4\" activePane=\"bottomLeft\" state=\"frozen\"/>")) << sheet;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(cells["C3"], m, std::regex(" s=\"([0-9]+)\"")));
  EXPECT_TRUE(IsBold(styles, std::stoi(m[1])));
  // Row 4 the first heading, 5 the first row: text, date, number.
  EXPECT_TRUE(Has(cells["A4"], "<t>Group G0</t>"));
  EXPECT_TRUE(Has(cells["A5"], "<t>g0-0</t>"));
  EXPECT_TRUE(Has(cells["B5"], "<v>45352.26041") && !Has(cells["B5"], "t=\"")) << cells["B5"];
  EXPECT_EQ(NumberFormatOf(styles, cells["B5"]), "yyyy-mm-dd hh:mm:ss");
  EXPECT_TRUE(Has(cells["C7"], "<v>0</v>") && !Has(cells["C7"], "t=\"")) << cells["C7"];
  // The group's totals: label and number on one bold row.
  EXPECT_TRUE(Has(cells["A8"], "<t>Sum</t>"));
  EXPECT_TRUE(Has(cells["C8"], "<v>123456.25</v>"));
  EXPECT_TRUE(Has(cells["C12"], "<v>0.5</v>"));
  EXPECT_TRUE(Has(cells["A14"], "<t>All readings</t>"));
  EXPECT_TRUE(Has(cells["C14"], "<v>777</v>"));
  EXPECT_TRUE(Has(Part(xls, "docProps/core.xml"), "<dcterms:created xsi:type=\"dcterms:W3CDTF\">2024-03-01T06:00:00Z"));
  EXPECT_TRUE(Has(sheet, "<oddFooter>&amp;RPage &amp;P of &amp;N</oddFooter>")) << sheet;
}

// A text too long for a cell keeps its first 32,767 characters (the cell
// was left empty), and bytes that are no UTF-8 no longer make the sheet
// unreadable.
TEST_F(DocumentOutput, WorkbookCellsTakeAnyTextTheDriverGives) {
  std::string xls = Out(".XLS");
  auto w = MakeXlsxWriter(xls, "/tmp");
  w->Begin(FFeed.Info(FFile));
  FFeed.Row(*w, std::string(40000, 'x'), "2024-03-01 06:15:00", "1");
  FFeed.Row(*w, "A\xFF" "B\xEF\xBF\xBE", "2024-03-01 06:15:00", "2");
  w->End();
  // Plain searches: std::regex recurses per character and overflows the
  // stack on a cell this long.
  const std::string sheet = Part(xls, "xl/worksheets/sheet1.xml");
  auto text = [&](const std::string& cell) {
    std::size_t at = sheet.find("<c r=\"" + cell + "\""), from = sheet.find("<t>", at), to = sheet.find("</t>", from);
    return at == std::string::npos || from == std::string::npos || to == std::string::npos
               ? std::string("(none)")
               : sheet.substr(from + 3, to - from - 3);
  };
  EXPECT_EQ(text("A2"), std::string(32767, 'x'));
  EXPECT_EQ(text("A3"), "A\xEF\xBF\xBD" "B\xEF\xBF\xBD");
  EXPECT_EQ(Shell("python3 -c \"import sys,zipfile,xml.dom.minidom as m; "
                  "m.parseString(zipfile.ZipFile(sys.argv[1]).read('xl/worksheets/sheet1.xml')); print('ok')\" '" +
                  xls + "'"),
            "ok\n");
}

// ---- RTF ------------------------------------------------------------------

// The text a reader sees: groups and control words dropped, \uN? decoded,
// \cell as "|", \par and \row as line ends. Destinations such as the font
// table and the document info are skipped; fields keep their result.
std::string RtfText(const std::string& rtf, int* depthOut = nullptr) {
  std::string out;
  int depth = 0, skipBelow = -1;
  std::vector<char16_t> units;
  auto flushUnits = [&] {
    for (std::size_t i = 0; i < units.size(); ++i) {
      char32_t cp = units[i];
      if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size()) cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
      if (cp < 0x80) out += static_cast<char>(cp);
      else if (cp < 0x800) out += {char(0xC0 | cp >> 6), char(0x80 | (cp & 0x3F))};
      else if (cp < 0x10000) out += {char(0xE0 | cp >> 12), char(0x80 | ((cp >> 6) & 0x3F)), char(0x80 | (cp & 0x3F))};
      else out += {char(0xF0 | cp >> 18), char(0x80 | ((cp >> 12) & 0x3F)), char(0x80 | ((cp >> 6) & 0x3F)), char(0x80 | (cp & 0x3F))};
    }
    units.clear();
  };
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    char c = rtf[i];
    bool skipping = skipBelow >= 0 && depth >= skipBelow;
    if (c == '{') { ++depth; continue; }
    if (c == '}') { --depth; if (skipBelow > depth) skipBelow = -1; continue; }
    if (c == '\\') {
      char n = rtf[i + 1];
      if (n == '\\' || n == '{' || n == '}') { if (!skipping) { flushUnits(); out += n; } ++i; continue; }
      if (n == '*') { if (skipBelow < 0) skipBelow = depth; ++i; continue; }
      std::size_t j = i + 1;
      while (j < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
      std::string word = rtf.substr(i + 1, j - i - 1);
      std::size_t k = j;
      if (k < rtf.size() && (rtf[k] == '-' || std::isdigit(static_cast<unsigned char>(rtf[k])))) ++k;
      while (k < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[k]))) ++k;
      std::string arg = rtf.substr(j, k - j);
      if (k < rtf.size() && rtf[k] == ' ') ++k;
      i = k - 1;
      if (word == "fonttbl" || word == "colortbl" || word == "info") skipBelow = depth;
      if (skipBelow >= 0 && depth >= skipBelow) continue;
      if (word == "u") {
        units.push_back(static_cast<char16_t>(std::stoi(arg)));
        if (i + 1 < rtf.size() && rtf[i + 1] == '?') ++i;
        continue;
      }
      flushUnits();
      if (word == "par" || word == "row") out += '\n';
      else if (word == "cell") out += '|';
      else if (word == "line") out += '\n';
      continue;
    }
    if (c == '\n' || c == '\r' || skipping) continue;
    flushUnits();
    out += c;
  }
  flushUnits();
  if (depthOut) *depthOut = depth;
  return out;
}

TEST_F(DocumentOutput, RtfHoldsTheReportAsTablesWithPageNumberFields) {
  std::string path = Out(".rtf");
  auto w = MakeRtfWriter(path);
  w->Begin(FFeed.Info(FFile));
  FFeed.Groups(*w, 2, [](int) { return 2; });
  FFeed.Row(*w, "{brace} back\\slash", "", "1");
  w->End();
  std::string rtf = ReadFile(path);
  int depth = -1;
  std::string text = RtfText(rtf, &depth);
  EXPECT_EQ(depth, 0) << "unbalanced braces";
  EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
  // A5 with 10 mm margins.
  EXPECT_TRUE(Has(rtf, "\\paperw8391\\paperh11906\\margl567\\margr567"));
  EXPECT_TRUE(Has(text, "Feed test header\nPage 1 of 1\n")) << text;
  EXPECT_TRUE(Has(rtf, "{\\field{\\*\\fldinst PAGE}{\\fldrslt 1}} of {\\field{\\*\\fldinst NUMPAGES}"));
  EXPECT_TRUE(Has(text, "Zürich – 25 °C, Δ Жук\n"));
  EXPECT_TRUE(Has(text, "Group G1\nStation|Time|Value|\ng1-0|2024-03-01 06:15:00|0.00|\ng1-1|2024-03-01 06:15:00|0.25|\n"
                        "Sum||123456.25|\n")) << text;
  EXPECT_TRUE(Has(text, "All readings||777|\n"));
  EXPECT_TRUE(Has(text, "{brace} back\\slash||1|"));
  // The caption row repeats on every page; headings keep with the table.
  EXPECT_TRUE(Has(rtf, "\\trhdr"));
  EXPECT_TRUE(Has(rtf, "\\keepn Group G1\\par"));
}

TEST(RtfText, EscapesControlCharactersAndEncodesUnicode) {
  const struct {
    const char* In;
    const char* Out;
  } kCases[] = {
      {"a{b}c\\d", "a\\{b\\}c\\\\d"},
      {"°C", "\\u176?C"},
      {"€", "\\u8364?"},
      {"\xF0\x9F\x8C\xA7", "\\u-10180?\\u-8409?"},  // a rain cloud: two UTF-16 units
      {"x\ny\tz", "x\\line y\\tab z"},
      {"bad\xC3", "bad\\u-3?"},  // a cut sequence becomes U+FFFD
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.In);
    std::string out;
    AppendRtfText(out, c.In);
    EXPECT_EQ(out, c.Out);
  }
}

}  // namespace
