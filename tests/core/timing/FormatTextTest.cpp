#include "core/timing/FormatText.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

TEST(FormatText, TextDirective) {
    constexpr struct { const char* Format; const char* Arg; const char* Expected; } kCases[] = {
        {"Connected to database %p.", "WX_DATA", "Connected to database WX_DATA."},
        {"Disconnected from database %p.", "50%p%%", "Disconnected from database 50%p%%."},
        {"Error 1706: Run file %p does not exist.", "/usr/bin/x", "Error 1706: Run file /usr/bin/x does not exist."},
        {"Error 1214: Unable to add report file <%p> into list view.", "a.rpt",
         "Error 1214: Unable to add report file <a.rpt> into list view."},
        {"100%% sure: %p", "yes", "100% sure: yes"},
        {"%10.3p|", "wide", "wide|"},  // width and precision are ignored
        {"%05p|", "zero", "zero|"},
        {"%d %s %p", "x", "%d %s x"},  // other letters are copied and take no argument
        {"trailing %", "x", "trailing %"},
        {"%", "x", "%"},
        {"", "x", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Format);
        EXPECT_EQ(FormatText(c.Format, {c.Arg}), c.Expected);
    }
}

TEST(FormatText, ArgumentsAreTakenInOrderAndNeverReadPastTheEnd) {
    EXPECT_EQ(FormatText("%p-%p-%p", {"a", "b"}), "a-b-");
    EXPECT_EQ(FormatText("%p %j", std::span<const TFormatArg>{}), " ");
    EXPECT_EQ(FormatText("[%p]", {std::int32_t{42}}), "[]");  // a number gives no text
    EXPECT_EQ(FormatText("[%j]", {"text"}), "[]");
    EXPECT_EQ(FormatText("%p at %j", {"x", EpochSeconds(86400)}), "x at 01/01/1985 00:00:00");
}

TEST(FormatText, TimeStampDirective) {
    constexpr struct { std::int32_t Seconds; const char* Expected; } kCases[] = {
        {0, "12/31/1984 00:00:00"},
        {86399, "12/31/1984 23:59:59"},
        {86400, "01/01/1985 00:00:00"},
        {2147483647, "01/18/2053 03:14:07"},
        {-1, "12/30/1984 23:59:59"},
        {-2147483647 - 1, "12/12/1916 20:45:52"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Seconds);
        EXPECT_EQ(FormatText("%j", {EpochSeconds(c.Seconds)}), c.Expected);
    }
    const EpochSeconds march = DateTimeToEpochSeconds(EncodeDateTime(2024, 3, 5, 7, 8, 9, 0));
    EXPECT_EQ(FormatText("%j", {march}), "03/05/2024 07:08:09");
}

}  // namespace
}  // namespace mv
