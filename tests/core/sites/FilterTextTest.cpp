// Filter texts, comparisons and filter files, without a database.
#include "core/sites/FilterFile.h"
#include "core/sites/SiteQuery.h"

#include "platform/odbc/TestServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace mv {
namespace {

constexpr int kVarchar = 12, kLongVarchar = -1, kInteger = 4, kDouble = 8, kTimestamp = 93, kDate = 91;

std::string Slurp(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SiteQuery, BaseQueryEndsWithOneBlankAndFiltersGoInParentheses)
{
    EXPECT_EQ(kSiteBaseQuery.back(), ' ');
    EXPECT_EQ(kSiteBaseQuery.substr(kSiteBaseQuery.size() - 2), ") ");
    EXPECT_EQ(SiteQuery(""), kSiteBaseQuery);
    EXPECT_EQ(SiteQuery(" \n\t\n"), kSiteBaseQuery);
    EXPECT_EQ(SiteQuery("MV_SITES.BASIN = 'A' OR\nMV_SITES.BASIN = 'B'\n"),
              std::string(kSiteBaseQuery) + " AND (MV_SITES.BASIN = 'A' OR\nMV_SITES.BASIN = 'B'\n)");
    // A last line without a break, or ending in a comment, cannot swallow the ")".
    EXPECT_EQ(SiteQuery("X = 1 -- one"), std::string(kSiteBaseQuery) + " AND (X = 1 -- one\n)");
}

TEST(SiteQuery, OnlyConditionsAreAccepted)
{
    constexpr struct { const char* Text; bool Ok; } kCases[] = {
        {"MV_SITES.CITY = 'Fort Collins'", true},
        {"MV_SITES.CITY = 'a;b'", true},                    // inside a literal
        {"MV_SITES.CITY = 'O''Brien; Creek'", true},        // doubled quote keeps the literal open
        {"\"odd;name\" = 1", true},                         // quoted identifier
        {"(A = 1 OR B = 2) AND (C = 3)", true},
        {"A = 1 -- (not counted)", true},
        {"A = 1 /* ) */", true},
        {"A = 1; DELETE FROM MV_SITES", false},
        {"A = 1;", false},
        {"A = 1 -- ; DELETE", false},                       // refused even in a comment
        {"A = 'x", false},                                  // unterminated literal
        {"A = 1 /* open", false},
        {"A = 1) OR (1 = 1", false},                        // would close the filter's parentheses
        {"(A = 1", false},
        {"A = E'\\'' ; DELETE FROM MV_SITES --'", false},   // PostgreSQL escape string
        {"A = $$'$$; DELETE FROM MV_SITES; '", false},      // PostgreSQL dollar quotes
        {"A = 'C:\\' AND B = 1", true},                     // a backslash is an ordinary character
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(IsFilterCondition(c.Text), c.Ok);
        if (!c.Ok) {
            EXPECT_THROW(SiteQuery(c.Text), EFilterError);
        }
    }
}

TEST(FilterComparison, QuotesTextAndDateColumnsAndDoublesTheirQuotes)
{
    constexpr struct { const char* Condition; const char* Value; int Type; const char* Expected; } kCases[] = {
        {"  = ", "Fort Collins", kVarchar, "MV_SITES.X   =  'Fort Collins'"},
        {" LIKE ", "Up%", kLongVarchar, "MV_SITES.X  LIKE  'Up%'"},
        {"  >= ", "10", kInteger, "MV_SITES.X   >=  10"},
        {"  < ", "2.5", kDouble, "MV_SITES.X   <  2.5"},
        {"  > ", "2024-03-01 10:00:00", kTimestamp, "MV_SITES.X   >  '2024-03-01 10:00:00'"},
        {"  = ", "2024-03-01", kDate, "MV_SITES.X   =  '2024-03-01'"},
        {"  = ", "O'Brien Creek", kVarchar, "MV_SITES.X   =  'O''Brien Creek'"},
        {"  = ", "' OR ''='", kVarchar, "MV_SITES.X   =  ''' OR ''''='''"},
        {"  = ", " padded ", kVarchar, "MV_SITES.X   =  ' padded '"},  // used as typed
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Value);
        const std::string cmp = FilterComparison("MV_SITES.X", c.Condition, c.Value, c.Type);
        EXPECT_EQ(cmp, c.Expected);
        EXPECT_TRUE(IsFilterCondition(cmp));
    }
}

TEST(FilterComparison, AppendedLinesEndWithAnd)
{
    std::string text = AppendComparison("", "A = 'x'");
    EXPECT_EQ(text, "A = 'x'");
    text = AppendComparison(text, "B = 2");
    EXPECT_EQ(text, "A = 'x' AND \nB = 2");
    EXPECT_EQ(AppendComparison("A = 1\n", "B = 2"), "A = 1 AND \nB = 2");
    EXPECT_EQ(AppendComparison("  \n \n", "B = 2"), "B = 2");  // blank text is replaced
}

TEST(FilterFile, WrittenWithCrLfAndReadBackExactly)
{
    mv::test::TScratchDir dir;
    const std::string file = dir.File("f.flt");
    const std::vector<std::string> lines = {"A = 1 AND ", "", "  B = 'x'  "};
    WriteTextLines(file, lines);
    EXPECT_EQ(Slurp(file), "A = 1 AND \r\n\r\n  B = 'x'  \r\n");
    std::vector<std::string> back = {"stale"};
    ReadTextLines(file, back);
    EXPECT_EQ(back, lines);
    EXPECT_EQ(SplitTextLines(JoinTextLines(lines)), lines);
    EXPECT_EQ(SplitTextLines("A\r\nB\n"), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(SplitTextLines("").empty());

    // A file written elsewhere with LF only and no last line break.
    std::ofstream(dir.File("lf.flt"), std::ios::binary) << "X = 1\nY = 2";
    ReadTextLines(dir.File("lf.flt"), back);
    EXPECT_EQ(back, (std::vector<std::string>{"X = 1", "Y = 2"}));
}

TEST(FilterFile, FailuresNameTheFile)
{
    mv::test::TScratchDir dir;
    std::vector<std::string> lines;
    try {
        ReadTextLines(dir.File("missing.flt"), lines);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("missing.flt"), std::string::npos);
    }
    EXPECT_THROW(WriteTextLines(dir.File("no/such/dir/f.flt"), {"A"}), std::runtime_error);
    EXPECT_THROW(WriteTextLines("/dev/full", {"A"}), std::runtime_error);
}

}  // namespace
}  // namespace mv
