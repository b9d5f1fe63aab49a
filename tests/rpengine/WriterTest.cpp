// The paginating text writer fed with events directly: page cuts, group
// headers kept with their first row, totals under their columns, cut
// values and "Page N of M".
#include "support/TestFiles.h"
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DefinitionReader.h"
#include "TextUtil.h"
#include "Writers.h"

using namespace mv::rpe;

namespace {

using mv::test::ReadFile;

std::vector<std::string> Pages(const std::string& text) {
  std::vector<std::string> pages;
  std::size_t pos = 0;
  while (true) {
    std::size_t ff = text.find('\f', pos);
    pages.push_back(text.substr(pos, ff == std::string::npos ? std::string::npos : ff - pos));
    if (ff == std::string::npos) return pages;
    pos = ff + 1;
  }
}

std::vector<std::string> Lines(const std::string& page) {
  std::vector<std::string> lines;
  std::istringstream in(page);
  std::string l;
  while (std::getline(in, l)) lines.push_back(l);
  return lines;
}

class TextWriterTest : public ::testing::Test {
 protected:
  // A5 portrait, 10 mm margins: 190 mm / 25.4 * 6 = 44 lines of 50 characters.
  TReportFile FFile = ParseDefinition("<report version='1'><page paper='A5' margins='10mm'/></report>", "w.xml");
  // One file per test: ctest runs tests side by side.
  std::string FPath = std::string(MV_BINARY_DIR) + "/rpeng-writer-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
  std::unique_ptr<TReportSink> FSink = MakeTextWriter(FPath, "/tmp");
  std::vector<std::string_view> FValues{"", ""};
  std::vector<char> FNulls{0, 0};

  void Begin() {
    TReportInfo info;
    info.File = &FFile;
    info.Title = "T";
    TColumn name;
    name.Name = name.Caption = "Name";
    name.Width = 6;
    TColumn value;
    value.Name = value.Caption = "Value";
    value.Type = TFieldType::Number;
    value.Width = 8;
    value.Align = TAlign::Right;
    value.Source = 1;
    info.Columns = {name, value};
    TPageLine footer;
    footer.Align = TAlign::Right;
    footer.Parts = {{TPageLine::TPart::TKind::Literal, "Page "}, {TPageLine::TPart::TKind::PageNumber, ""},
                    {TPageLine::TPart::TKind::Literal, " of "}, {TPageLine::TPart::TKind::PageCount, ""}};
    info.PageFooter = {footer};
    FSink->Begin(info);
  }

  void Row(std::string_view name, std::string_view value) {
    FValues = {name, value};
    FSink->Row(TRowView(FValues.data(), FNulls.data(), 2));
  }

  void GroupHeader(const std::string& text) {
    TSectionEvent e;
    e.Kind = TSectionKind::GroupHeader;
    e.Group = 0;
    FSink->BeginSection(e);
    FSink->Text({TTextStyle::Heading, TAlign::Left, text});
    FSink->EndSection();
  }
};

// Whatever bytes a driver hands over, XML and HTML text stays well-formed
// and reads back as it was where it can: markup and line ends escaped,
// bytes that are no UTF-8 (and the characters XML forbids) as U+FFFD.
TEST(XmlText, AnyValueKeepsTheDocumentWellFormed) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    const char* Name;
    std::string In, Out;
  } kCases[] = {
      {"markup", "a<b>&\"c\"", "a&lt;b&gt;&amp;&quot;c&quot;"},
      {"line ends and tab", "two\r\nlines\tand\rcr", "two&#13;&#10;lines&#9;and&#13;cr"},
      {"other control character", std::string("a\x01" "b"), "a" + fffd + "b"},
      {"valid characters kept", "Z\xC3\xBCrich \xE2\x80\x93 \xF0\x9F\x8C\xA7", "Z\xC3\xBCrich \xE2\x80\x93 \xF0\x9F\x8C\xA7"},
      {"stray bytes", "A\xFF" "B\xC3", "A" + fffd + "B" + fffd},
      {"overlong and surrogate", "\xC0\x80|\xED\xA0\x80", fffd + fffd + "|" + fffd + fffd + fffd},
      {"noncharacters", "x\xEF\xBF\xBEy\xEF\xBF\xBF", "x" + fffd + "y" + fffd},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Name);
    std::string out;
    AppendXmlEscaped(out, c.In);
    EXPECT_EQ(out, c.Out);
  }
  std::string cut;
  AppendValidUtf8(cut, "\xC3\xA4\xFF\xEF\xBF\xBE" "bc", 4);
  EXPECT_EQ(cut, "\xC3\xA4" + fffd + fffd + "b");
}

TEST_F(TextWriterTest, KeepsAGroupHeaderWithItsFirstRow) {
  Begin();
  GroupHeader("Group A");
  // Page capacity: 44 lines less 2 for the footer. Heading 3 + captions 2 + rows.
  for (int i = 0; i < 35; ++i) Row("a" + std::to_string(i), "1");
  GroupHeader("Group B");  // 3 lines + captions 2 + 1 row do not fit in the 2 left
  Row("b0", "2");
  FSink->End();
  auto pages = Pages(ReadFile(FPath));
  ASSERT_EQ(pages.size(), 2u);
  auto first = Lines(pages[0]);
  auto second = Lines(pages[1]);
  EXPECT_EQ(first.back(), std::string(39, ' ') + "Page 1 of 2");
  EXPECT_EQ(second[1], "Group B");
  EXPECT_EQ(second[3], "Name       Value");
  EXPECT_EQ(second[5], "b0             2");
  EXPECT_EQ(second.back(), std::string(39, ' ') + "Page 2 of 2");
  for (const auto& p : pages) EXPECT_LE(Lines(p).size(), 44u);
}

TEST_F(TextWriterTest, CutsLongValuesAndPutsTotalsUnderTheirColumns) {
  Begin();
  Row("Sandy Creek", "12.5");
  TSectionEvent e;
  e.Kind = TSectionKind::ReportFooter;
  FSink->BeginSection(e);
  FSink->Totals({"Sum", {{1, TAggFunction::Sum, "12.50", "12.5"}}});
  FSink->Totals({"A label too long", {{0, TAggFunction::Count, "1", "1"}}});
  FSink->EndSection();
  FSink->End();
  auto lines = Lines(Pages(ReadFile(FPath))[0]);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Name       Value");
  EXPECT_EQ(lines[1], "----------------");
  EXPECT_EQ(lines[2], "Sandy\xE2\x80\xA6      12.5");  // six characters: five and "…"
  EXPECT_EQ(lines[3], "Sum        12.50");
  EXPECT_EQ(lines[4], "A label too long") << "a label with no room of its own goes on a line before";
  EXPECT_EQ(lines[5], "1");
}

}  // namespace
