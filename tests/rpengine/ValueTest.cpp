// Parameter values and their texts, display formats, and query placeholders.
#include <gtest/gtest.h>

#include <cstring>

#include "Format.h"
#include "SqlTemplate.h"
#include "Value.h"
#include "rpeng.h"

using namespace mv::rpe;

namespace {

TEST(ValueText, ParsesAndWritesEachType) {
  constexpr struct {
    TParamType Type;
    const char* Text;
    const char* Written;  // nullptr: refused
  } kCases[] = {
      {TParamType::Number, "12.5", "12.5"},
      {TParamType::Number, " -0.25 ", "-0.25"},
      {TParamType::Number, "1e3", "1000"},
      {TParamType::Number, "12,5", nullptr},
      {TParamType::Number, "", nullptr},
      {TParamType::Currency, "19.99", "19.99"},
      {TParamType::Boolean, "true", "True"},
      {TParamType::Boolean, " Y", "True"},
      {TParamType::Boolean, "0", "False"},
      {TParamType::Boolean, "maybe", nullptr},
      {TParamType::Boolean, "", nullptr},
      {TParamType::Date, "2024,02,29", "2024,02,29"},
      {TParamType::Date, "2024-02-29", "2024,02,29"},
      {TParamType::Date, "2024,03,01 06:30:00", "2024,03,01"},  // a date-time text gives its date
      {TParamType::Date, "2023,02,29", nullptr},                 // no leap day in 2023
      {TParamType::Date, "2024/13/01", nullptr},
      {TParamType::DateTime, "2024,03,01 06:30:15", "2024,03,01 06:30:15"},
      {TParamType::DateTime, "2024-03-01T06:30", "2024,03,01 06:30:00"},
      {TParamType::DateTime, "2024-03-01 06:30:15.250", "2024,03,01 06:30:15"},
      {TParamType::DateTime, "2024-03-01", "2024,03,01 00:00:00"},
      {TParamType::DateTime, "2024-03-01 24:00:00", nullptr},
      {TParamType::DateTime, "2024-03-01 06:30:15 x", nullptr},
      {TParamType::Time, "23:59:59", "23:59:59"},
      {TParamType::Time, "7:05", "07:05:00"},
      {TParamType::Time, "23:60:00", nullptr},
      {TParamType::String, " as is ", " as is "},
      {TParamType::StringHandle, "", ""},
      {TParamType::Integer, "-42", "-42"},
      {TParamType::Integer, "4.2", nullptr},
      {TParamType::Long, "2147483647", "2147483647"},
      {TParamType::Long, "2147483648", nullptr},
      {TParamType::Color, "16711680", "16711680"},
      {TParamType::Char, "Ärger", "Ä"},
      {TParamType::Char, "", nullptr},
      {TParamType::NoValue, "x", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(ParamTypeName(c.Type)) + " \"" + c.Text + "\"");
    auto v = ParseValueText(c.Text, c.Type);
    if (!c.Written) {
      EXPECT_FALSE(v.has_value());
      continue;
    }
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(FormatValueText(*v), c.Written);
    // What is written reads back as the same value.
    auto again = ParseValueText(FormatValueText(*v), c.Type);
    ASSERT_TRUE(again.has_value());
    EXPECT_TRUE(SameValue(*v, *again));
  }
}

TEST(ValueText, TypeNamesRoundTrip) {
  for (int i = 0; i < kParamTypeCount; ++i) {
    auto t = static_cast<TParamType>(i);
    EXPECT_EQ(ParamTypeFromName(ParamTypeName(t)), t);
  }
  EXPECT_FALSE(ParamTypeFromName("DateTime").has_value());  // names are exact
}

TEST(ValueInfo, RoundTripsEveryTypeAndRefusesImpossibleValues) {
  const char* texts[] = {"12.5", "19.99", "True", "2024,02,29", "text", "2024,03,01 06:30:15", "06:30:15",
                         "-7", "255", "c", "123456", "handle", nullptr};
  for (int i = 0; i < kParamTypeCount - 1; ++i) {
    SCOPED_TRACE(i);
    auto v = ParseValueText(texts[i], static_cast<TParamType>(i));
    ASSERT_TRUE(v.has_value());
    REValueInfo info{};
    info.StructSize = sizeof info;
    ToValueInfo(*v, info);
    EXPECT_EQ(info.StructSize, sizeof info);
    EXPECT_EQ(info.ValueType, i);
    auto back = FromValueInfo(info);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(FormatValueText(*back), texts[i]);
  }
  // A character of more than one byte survives the record.
  auto umlaut = ParseValueText("ä", TParamType::Char);
  REValueInfo c{};
  c.StructSize = sizeof c;
  ToValueInfo(*umlaut, c);
  EXPECT_EQ(FormatValueText(*FromValueInfo(c)), "ä");

  REValueInfo bad{};
  bad.StructSize = sizeof bad;
  bad.ValueType = RE_PF_DATETIME;
  bad.viDateTime[0] = 2024;
  bad.viDateTime[1] = 13;
  bad.viDateTime[2] = 1;
  EXPECT_FALSE(FromValueInfo(bad).has_value());
  bad.ValueType = RE_PF_STRING;
  std::memset(bad.viString, 'x', sizeof bad.viString);  // no terminating NUL
  EXPECT_FALSE(FromValueInfo(bad).has_value());
  bad.ValueType = 13;
  EXPECT_FALSE(FromValueInfo(bad).has_value());
}

TEST(ValueInfo, LongStringsAreCutAtACharacterBoundary) {
  TValue v;
  v.Type = TParamType::String;
  for (int i = 0; i < 200; ++i) v.Text += "ü";  // 400 bytes
  REValueInfo info{};
  info.StructSize = sizeof info;
  ToValueInfo(v, info);
  std::size_t n = std::strlen(info.viString);
  EXPECT_EQ(n, 254u);  // 127 whole characters fit in 255 bytes
  EXPECT_NE(static_cast<unsigned char>(info.viString[n - 1]), 0xC3);
}

TEST(NumberFormat, AppliesPatterns) {
  constexpr struct {
    const char* Pattern;
    double Value;
    const char* Expected;
  } kCases[] = {
      {"0.00", 12.345, "12.35"},     {"0.00", -0.001, "0.00"},     {"0.00", -1.5, "-1.50"},
      {"#,##0.0", 1234567.89, "1,234,567.9"}, {"#,##0", 999, "999"}, {"#,##0", -1234, "-1,234"},
      {"0", 2.6, "3"},               {"0.0#", 1.5, "1.5"},         {"0.0#", 1.256, "1.26"},
      {"#.##", 0.5, ".5"},           {"0.0 mm", 12.34, "12.3 mm"}, {"\"$\"#,##0.00", 1234.5, "$1,234.50"},
      {"000", 7, "007"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Pattern);
    EXPECT_EQ(TNumberFormat(c.Pattern).Format(c.Value), c.Expected);
  }
  EXPECT_EQ(TNumberFormat().Format(0.1), "0.1");  // no pattern: shortest exact text
  for (const char* bad : {"abc", "0.0.0", "0.#0", "\"open"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(TNumberFormat{bad}, EFormatError);
  }
}

TEST(DateFormat, AppliesPatterns) {
  const TCivilTime t{2024, 2, 29, 7, 5, 9};  // a Thursday
  constexpr struct {
    const char* Pattern;
    const char* Expected;
  } kCases[] = {
      {"yyyy-mm-dd hh:nn:ss", "2024-02-29 07:05:09"},
      {"dd/mm/yy", "29/02/24"},
      {"d mmm yyyy", "29 Feb 2024"},
      {"dddd d mmmm", "Thursday 29 February"},
      {"ddd h:n:s", "Thu 7:5:9"},
      {"YYYY-MM-DD", "2024-02-29"},
      {"\"week of\" dd.mm.", "week of 29.02."},
      {"hh'h'nn", "07h05"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Pattern);
    EXPECT_EQ(TDateFormat(c.Pattern).Format(t), c.Expected);
  }
  EXPECT_EQ(TDateFormat().Format(t), "2024-02-29 07:05:09");
  EXPECT_THROW(TDateFormat("yyy"), EFormatError);
}

TEST(DateFormat, WeekdaysAcrossCenturies) {
  EXPECT_EQ(DayOfWeek(1970, 1, 1), 4);
  EXPECT_EQ(DayOfWeek(1899, 12, 30), 6);
  EXPECT_EQ(DayOfWeek(2000, 2, 29), 2);
  EXPECT_EQ(DayOfWeek(2100, 3, 1), 1);
}

TEST(SqlTemplate, FindsPlaceholdersOutsideQuotesCommentsAndCasts) {
  TSqlTemplate t(
      "SELECT ':NotOne', \"col:x\", a::text -- :NotTwo\n"
      "FROM T /* :NotThree\n */ WHERE a = :One AND b IN (:List) AND :List.count > 0\n"
      "AND c = 'it''s :NotFour' AND d=:Two");
  std::vector<std::string> names;
  std::vector<int> lines;
  for (const auto& p : t.Placeholders()) {
    names.push_back(p.Name + (p.Count ? ".count" : ""));
    lines.push_back(p.LineOffset);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"One", "List", "List.count", "Two"}));
  EXPECT_EQ(lines, (std::vector<int>{2, 2, 2, 3}));
}

TEST(SqlTemplate, ExpandsListsToOneMarkerPerValue) {
  TSqlTemplate t("WHERE a = :One AND (:List.count = 0 OR b IN (:List))");
  std::vector<TSqlTemplate::TBinding> b;
  EXPECT_EQ(t.Expand({1, 3, 3}, {false, true, true}, b), "WHERE a = ? AND (? = 0 OR b IN (?, ?, ?))");
  ASSERT_EQ(b.size(), 5u);
  EXPECT_EQ(b[0].ValueIndex, 0);
  EXPECT_EQ(b[1].ValueIndex, -1);  // the count
  EXPECT_EQ(b[4].ValueIndex, 2);
  b.clear();
  // No values: the list matches nothing and the count says so.
  EXPECT_EQ(t.Expand({1, 0, 0}, {false, true, true}, b), "WHERE a = ? AND (? = 0 OR b IN (NULL))");
  EXPECT_EQ(b.size(), 2u);
}

TEST(SqlTemplate, RefusesUnterminatedText) {
  for (const char* sql : {"SELECT 'open", "SELECT \"open", "SELECT 1 /* open"}) {
    SCOPED_TRACE(sql);
    EXPECT_THROW(TSqlTemplate{sql}, ESqlTemplateError);
  }
}

}  // namespace
