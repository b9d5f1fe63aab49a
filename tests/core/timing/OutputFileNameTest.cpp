#include "core/timing/OutputFileName.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

constexpr const char* kAppDir = "/opt/mv/";

TEST(OutputFileName, Examples) {
    const TDateTime periodStart = EncodeDateTime(2024, 5, 17, 6, 0, 0, 0);
    constexpr struct { const char* Dir; const char* Name; int Format; const char* Expected; }
        kCases[] = {
            {"", "Daily yyyy-mm-dd", 0, "/opt/mv/Daily 2024-05-17.PDF"},
            // "mm" inside a word is a token too (the editor's default pattern).
            {"", "Daily Summary yy-mm-dd", 0, "/opt/mv/Daily Su05ary 24-05-17.PDF"},
            // The pattern's directory is dropped; its own extension wins, in its own case.
            {"/data", "out/report_hhmi.csv", 1, "/data/report_0600.csv"},
            {"/data/", "Level MM-DD", 4, "/data/Level MM-DD.CSV"},  // upper case is no token
            {"/data", "report.", 2, "/data/report."},               // a trailing dot is the extension
            {"/data", "", 3, "/data/.DOC"},
            {"/data", "Flow", 7, "/data/Flow.PDF"},
            {"/data", "Flow", -1, "/data/Flow.PDF"},
            {"/data", "Flow", 1, "/data/Flow.XLS"},
            {"/data", "Flow", 2, "/data/Flow.HTM"},
            {"/data", "Flow", 5, "/data/Flow.XML"},
            {"  /data/sub  ", " Flow ", 4, "/data/sub/ Flow .CSV"},  // dir trimmed, name not
            {"   ", "Flow", 0, "/opt/mv/Flow.PDF"},                   // blank dir: program's dir
            {"/data", "a.b.yyyy", 0, "/data/a.b.yyyy"},              // extension from the last dot
            {"/data", "x/y.z/Flow", 0, "/data/Flow.PDF"},            // dot in the directory part
            {"/data", "out\\report_hh", 0, "/data/out\\report_06.PDF"},  // "\" is no separator here
        };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.Dir) + " | " + c.Name);
        EXPECT_EQ(BuildOutputFileName({c.Dir, c.Name, c.Format, periodStart}, kAppDir), c.Expected);
    }
}

TEST(OutputFileName, SuccessivePeriodsGetSuccessiveNames) {
    TOutputFileSpec spec{"/data", "Hourly yyyymmdd_hhmi", 0, EncodeDateTime(2024, 12, 31, 22, 0, 0, 0)};
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        names.push_back(BuildOutputFileName(spec, kAppDir));
        spec.PeriodStart += 1.0 / 24;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"/data/Hourly 20241231_2200.PDF",
                                               "/data/Hourly 20241231_2300.PDF",
                                               "/data/Hourly 20250101_0000.PDF"}));
}

TEST(OutputFileName, ReplaceDateTokens) {
    const TDateTime t = EncodeDateTime(2009, 1, 2, 13, 4, 0, 0);
    constexpr struct { const char* Text; const char* Expected; } kCases[] = {
        {"yyyy yy mm dd hh mi", "2009 09 01 02 13 04"},
        {"yyyyy", "2009y"},             // the four-letter token first
        {"yyy", "09y"},
        {"mmm", "01m"},
        {"admin", "ad04n"},             // "mi" inside a word
        {"YYYY MM DD HH MI", "YYYY MM DD HH MI"},
        {"no tokens", "no tokens"},
        {"", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(ReplaceDateTokens(c.Text, t), c.Expected);
    }
    // Seconds that round up carry into the minute, as the date-time decodes.
    EXPECT_EQ(ReplaceDateTokens("hhmi", EncodeDateTime(2024, 1, 1, 6, 59, 59, 999) + 0.0006 / 86400),
              "0700");
}

}  // namespace
}  // namespace mv
