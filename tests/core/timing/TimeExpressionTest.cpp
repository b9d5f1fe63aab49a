#include "core/timing/Clock.h"
#include "core/timing/TimeExpression.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

namespace mv {
namespace {

namespace chr = std::chrono;

constexpr chr::sys_days kScaleZero = chr::sys_days{chr::year{1984} / 12 / 31};

EpochSeconds At(const char* text) {
    return DateTimeToEpochSeconds(StrToDateTimeFmt(text, "mm/dd/yyyy hh:nn:ss"));
}

std::string Show(EpochSeconds s) {
    return FormatDateTime("mm/dd/yyyy hh:nn:ss", EpochSecondsToDateTime(s));
}

struct TCase {
    const char* Expr;
    const char* Ref;
    const char* Expected;
};

void RunCases(std::initializer_list<TCase> cases) {
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.Expr + "\" at " + c.Ref);
        EXPECT_EQ(Show(EvalTimeExpression(c.Expr, At(c.Ref))), c.Expected);
    }
}

constexpr const char* kWednesday = "05/15/2024 10:35:20";
constexpr const char* kSunday = "05/19/2024 10:35:20";

TEST(TimeExpression, EveryKeywordOnAWednesday) {
    RunCases({
        {"NOW", kWednesday, "05/15/2024 10:35:20"},
        {"NEXT YEAR", kWednesday, "01/01/2025 00:00:00"},
        {"NEXT MONTH", kWednesday, "06/01/2024 00:00:00"},
        {"NEXT WEEK", kWednesday, "05/19/2024 00:00:00"},  // the coming Sunday
        {"TOMORROW", kWednesday, "05/16/2024 00:00:00"},
        {"NEXT HOUR", kWednesday, "05/15/2024 11:00:00"},
        {"LAST 2 HOURS", kWednesday, "05/15/2024 08:00:00"},
        {"LAST 3 HOURS", kWednesday, "05/15/2024 07:00:00"},
        {"LAST 6 HOURS", kWednesday, "05/15/2024 04:00:00"},
        {"LAST 12 HOURS", kWednesday, "05/14/2024 22:00:00"},
        {"LAST HOUR", kWednesday, "05/15/2024 09:00:00"},
        {"TODAY", kWednesday, "05/15/2024 00:00:00"},
        {"YESTERDAY", kWednesday, "05/14/2024 00:00:00"},
        {"LAST 2 DAYS", kWednesday, "05/13/2024 00:00:00"},
        {"LAST 3 DAYS", kWednesday, "05/12/2024 00:00:00"},
        {"LAST 5 DAYS", kWednesday, "05/10/2024 00:00:00"},
        {"THIS WEEK", kWednesday, "05/12/2024 00:00:00"},  // the preceding Sunday
        {"LAST WEEK", kWednesday, "05/05/2024 00:00:00"},
        {"THIS MONTH", kWednesday, "05/01/2024 00:00:00"},
        {"LAST MONTH", kWednesday, "04/01/2024 00:00:00"},
        {"THIS YEAR", kWednesday, "01/01/2024 00:00:00"},
        {"LAST YEAR", kWednesday, "01/01/2023 00:00:00"},
        {"THIS HOUR", kWednesday, "05/15/2024 10:00:00"},
        {"SOMETIME", kWednesday, "05/15/2024 10:00:00"},  // unknown word: start of the hour
        {"", kWednesday, "05/15/2024 10:00:00"},
        {"   ", kWednesday, "05/15/2024 10:00:00"},
    });
}

TEST(TimeExpression, WeeksOnASundayAndCalendarWraps) {
    RunCases({
        {"THIS WEEK", kSunday, "05/12/2024 00:00:00"},  // a full week back
        {"NEXT WEEK", kSunday, "05/19/2024 00:00:00"},  // the reference day itself
        {"LAST WEEK", kSunday, "05/05/2024 00:00:00"},
        {"NEXT WEEK", "05/18/2024 23:59:59", "05/19/2024 00:00:00"},  // Saturday
        {"YESTERDAY", "03/01/2024 00:00:00", "02/29/2024 00:00:00"},  // leap day
        {"YESTERDAY", "03/01/2023 12:00:00", "02/28/2023 00:00:00"},
        {"LAST MONTH", "01/15/2024 10:00:00", "12/01/2023 00:00:00"},
        {"NEXT MONTH", "12/15/2024 10:00:00", "01/01/2025 00:00:00"},
        {"TOMORROW", "12/31/2024 23:59:59", "01/01/2025 00:00:00"},
        {"NEXT HOUR", "12/31/2024 23:10:00", "01/01/2025 00:00:00"},
        {"LAST 12 HOURS", "01/01/2025 05:00:00", "12/31/2024 17:00:00"},
    });
}

TEST(TimeExpression, KeywordsIgnoreCaseAndSurroundingBlanks) {
    for (const char* expr : {"LAST WEEK", "Last Week", "last week", "  LAST WEEK  ", "lAsT wEeK "}) {
        SCOPED_TRACE(expr);
        EXPECT_EQ(Show(EvalTimeExpression(expr, At(kWednesday))), "05/05/2024 00:00:00");
    }
    // Blanks inside the words are not ignored.
    EXPECT_EQ(Show(EvalTimeExpression("LAST  WEEK", At(kWednesday))), "05/15/2024 10:00:00");
}

TEST(TimeExpression, Offsets) {
    RunCases({
        {"TODAY+6:00:00", kWednesday, "05/15/2024 06:00:00"},
        {"TODAY + 6:00:00", kWednesday, "05/15/2024 06:00:00"},
        {"YESTERDAY+6:00:00", kWednesday, "05/14/2024 06:00:00"},
        {"TODAY-0/1/0", kWednesday, "05/14/2024 00:00:00"},  // month/day/year order
        {"TODAY+1", kWednesday, "05/15/2024 01:00:00"},      // a bare number is hours
        {"TODAY-1:30", kWednesday, "05/14/2024 22:30:00"},
        {"NOW+0/0/1", kWednesday, "05/15/2025 10:35:20"},
        {"NOW+0:0:45", kWednesday, "05/15/2024 10:36:05"},
        {"NOW+13/0/0", kWednesday, "06/15/2025 10:35:20"},   // months carry into years
        {"LAST MONTH-1/0/0", "01/15/2024 10:00:00", "11/01/2023 00:00:00"},
        {"NEXT MONTH-0/1/0", kWednesday, "05/31/2024 00:00:00"},
        {"THIS MONTH+0/0/0 12:00", kWednesday, "05/01/2024 12:00:00"},
        {"NOW+1/0/0", "01/31/2024 08:00:00", "03/02/2024 08:00:00"},  // Feb 31 runs on
        {"TODAY+-6:00", kWednesday, "05/14/2024 18:00:00"},  // "+" found first
        {"TODAY-", kWednesday, "05/15/2024 00:00:00"},
        {"+2", kWednesday, "05/15/2024 12:00:00"},  // empty word: start of the hour
    });
}

TEST(TimeExpression, UnreadableFieldsCountAsZero) {
    RunCases({
        {"TODAY+6x:30", kWednesday, "05/15/2024 00:30:00"},
        {"TODAY+6 :30", kWednesday, "05/15/2024 00:30:00"},  // trailing blank
        {"TODAY+ 6:30", kWednesday, "05/15/2024 06:30:00"},  // leading blank skipped
        {"TODAY+6:+30", kWednesday, "05/15/2024 06:30:00"},
        {"TODAY+6:++30", kWednesday, "05/15/2024 06:00:00"},
        {"TODAY+99999999999:00", kWednesday, "05/15/2024 00:00:00"},  // beyond 32 bits
        {"TODAY+:::", kWednesday, "05/15/2024 00:00:00"},
        {"TODAY+abc", kWednesday, "05/15/2024 00:00:00"},
    });
}

TEST(TimeExpression, AbsoluteDatesIgnoreTheReference) {
    for (const char* ref : {kWednesday, "01/01/1990 00:00:00"}) {
        RunCases({
            {"01/15/2024 06:30:00", ref, "01/15/2024 06:30:00"},
            {"1/15/2024", ref, "01/15/2024 00:00:00"},
            {"01/15/2024 06:30:00+1:00", ref, "01/15/2024 07:30:00"},
            {"02/30/2024", ref, "03/01/2024 00:00:00"},
            {"10:30", ref, "12/31/1984 10:30:00"},     // no date part: day 0
            {"01/15/24", ref, "12/31/1984 00:00:00"},  // year 24 is before 1985
            {"01/15/24 08:00", ref, "12/31/1984 08:00:00"},
        });
    }
}

TEST(TimeExpression, ReferenceZeroMeansNow) {
    TSimulatedClock clock(EncodeDateTime(2024, 3, 1, 12, 34, 56, 700));
    TScopedClock scoped(clock);
    EXPECT_EQ(Show(EvalTimeExpression("NOW", EpochSeconds(0))), "03/01/2024 12:34:56");
    EXPECT_EQ(Show(EvalTimeExpression("YESTERDAY", EpochSeconds(0))), "02/29/2024 00:00:00");
    // The absolute form never reads the clock.
    EXPECT_EQ(Show(EvalTimeExpression("10:30", EpochSeconds(0))), "12/31/1984 10:30:00");
}

TEST(TimeExpression, ResultsBeyondTheScaleRaiseInsteadOfWrapping) {
    const EpochSeconds ref = At(kWednesday);
    EXPECT_EQ(EvalTimeExpression("01/18/2053 03:14:07", ref), kMaxEpochSeconds);
    for (const char* expr : {
             "01/18/2053 03:14:08",
             "01/01/2054",
             "NOW+0/0/100",
             "NOW+0/0/8000",                  // year above 9999
             "12/31/9999 23:59:59",
             "TODAY+0/30000/0",               // day number fits 16 bits, seconds do not
             "TODAY+0/60000/0",               // day number past 65535
             "NOW+2147483647:2147483647:2147483647",
             "NOW+2147483647/2147483647/2147483647",
             "TODAY-999999:00",               // before 12/12/1916
         }) {
        SCOPED_TRACE(expr);
        EXPECT_THROW(EvalTimeExpression(expr, ref), EConvertError);
    }
}

TEST(TimeExpression, InstantsBefore1985CollapseToDayZero) {
    RunCases({
        {"NOW-0/0/100", kWednesday, "12/31/1984 10:35:20"},
        {"TODAY-0/20000/0", kWednesday, "12/31/1984 00:00:00"},
        {"THIS WEEK", "01/02/1985 09:00:00", "12/31/1984 00:00:00"},
        {"LAST MONTH", "01/20/1985 09:00:00", "12/31/1984 00:00:00"},
        {"TODAY-2:00", "01/01/1985 09:00:00", "12/31/1984 22:00:00"},
        {"10:30-11:00", kWednesday, "12/30/1984 23:30:00"},
    });
    // References before the scale's zero split into their true date and
    // collapse the same way; they never wrap into the 2160s.
    EXPECT_EQ(EvalTimeExpression("NOW", EpochSeconds(-1000)), EpochSeconds(86400 - 1000));
    EXPECT_EQ(EvalTimeExpression("TODAY", kMinEpochSeconds), EpochSeconds(0));
    EXPECT_EQ(EvalTimeExpression("NEXT YEAR", At("06/01/1960 00:00:00")), EpochSeconds(0));
}

// The calendar keywords against std::chrono on every day the scale holds
// whole, at a time of day with minutes and seconds.
TEST(TimeExpression, CalendarKeywordsMatchChronoEveryDay1985To2052) {
    const chr::sys_days first{chr::year{1985} / 1 / 1};
    const chr::sys_days last{chr::year{2052} / 12 / 31};
    const chr::seconds timeOfDay = chr::hours{10} + chr::minutes{35} + chr::seconds{20};
    auto expect = [](chr::sys_days day) {
        return EpochSeconds(static_cast<std::int32_t>(
            std::max<std::int64_t>(0, (day - kScaleZero).count()) * 86400));
    };
    for (chr::sys_days day = first; day <= last; day += chr::days{1}) {
        const chr::year_month_day ymd{day};
        const int iso = static_cast<int>(chr::weekday{day}.iso_encoding());
        const EpochSeconds ref(static_cast<std::int32_t>(
            chr::duration_cast<chr::seconds>(day - kScaleZero + timeOfDay).count()));
        const chr::year_month firstOfMonth = ymd.year() / ymd.month();
        const struct { const char* Word; chr::sys_days Expected; } kKeywords[] = {
            {"TODAY", day},
            {"YESTERDAY", day - chr::days{1}},
            {"TOMORROW", day + chr::days{1}},
            {"LAST 5 DAYS", day - chr::days{5}},
            {"THIS WEEK", day - chr::days{iso}},
            {"NEXT WEEK", day + chr::days{7 - iso}},
            {"LAST WEEK", day - chr::days{iso + 7}},
            {"THIS MONTH", chr::sys_days{firstOfMonth / 1}},
            {"NEXT MONTH", chr::sys_days{(firstOfMonth + chr::months{1}) / 1}},
            {"LAST MONTH", chr::sys_days{(firstOfMonth - chr::months{1}) / 1}},
            {"THIS YEAR", chr::sys_days{ymd.year() / 1 / 1}},
            {"NEXT YEAR", chr::sys_days{(ymd.year() + chr::years{1}) / 1 / 1}},
            {"LAST YEAR", chr::sys_days{(ymd.year() - chr::years{1}) / 1 / 1}},
        };
        for (const auto& k : kKeywords)
            ASSERT_EQ(EvalTimeExpression(k.Word, ref), expect(k.Expected))
                << k.Word << " at " << Show(ref);
        ASSERT_EQ(EvalTimeExpression("NOW", ref), ref);
        ASSERT_EQ(EvalTimeExpression("LAST 2 HOURS", ref).Value,
                  expect(day).Value + 8 * 3600);
    }
}

TEST(ReportTimeRange, KeywordsAreAnchoredToThePeriodStart) {
    TReportTimeRangeSpec g;
    g.TimeFrom = "Yesterday";
    g.TimeTo = "Today";
    g.PeriodStart = EncodeDateTime(2024, 3, 1, 6, 0, 0, 0);
    const TReportTimeRange r = GetReportTimeRange(g);
    EXPECT_EQ(r.From, EncodeDate(2024, 2, 29));
    EXPECT_EQ(r.To, EncodeDate(2024, 3, 1));
}

TEST(ReportTimeRange, AsEnteredBelowInAnyCaseSelectsTheAbsoluteValues) {
    for (const char* text : {"As Entered Below:", "AS ENTERED BELOW:", "as entered below:"}) {
        SCOPED_TRACE(text);
        TReportTimeRangeSpec g;
        g.TimeFrom = text;
        g.TimeTo = text;
        g.AbsTimeFrom = EncodeDateTime(2020, 1, 1, 1, 2, 3, 0);
        g.AbsTimeTo = EncodeDateTime(2020, 2, 1, 4, 5, 6, 0);
        g.PeriodStart = 0;  // not used by absolute values
        const TReportTimeRange r = GetReportTimeRange(g);
        EXPECT_EQ(r.From, g.AbsTimeFrom);
        EXPECT_EQ(r.To, g.AbsTimeTo);
    }
    TReportTimeRangeSpec mixed;
    mixed.TimeFrom = "As Entered Below:";
    mixed.AbsTimeFrom = EncodeDate(2019, 5, 5);
    mixed.TimeTo = "Last Hour";
    mixed.PeriodStart = EncodeDateTime(2024, 3, 1, 6, 30, 0, 0);
    const TReportTimeRange r = GetReportTimeRange(mixed);
    EXPECT_EQ(r.From, EncodeDate(2019, 5, 5));
    EXPECT_EQ(r.To, EncodeDateTime(2024, 3, 1, 5, 0, 0, 0));
}

TEST(ReportTimeRange, FailureGivesTodayUntilNow) {
    TSimulatedClock clock(EncodeDateTime(2024, 7, 4, 15, 16, 17, 0));
    TScopedClock scoped(clock);
    constexpr struct { const char* Label; const char* From; const char* To; double PeriodStart; }
        kCases[] = {
            {"period start 0 is outside the scale", "Yesterday", "Today", 0.0},
            {"period start after 2053", "Yesterday", "Today", 60000.0},
            {"only the end fails", "As Entered Below:", "NOW+0/0/200", 45000.0},
        };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        TReportTimeRangeSpec g;
        g.TimeFrom = c.From;
        g.TimeTo = c.To;
        g.AbsTimeFrom = EncodeDate(2000, 1, 1);
        g.PeriodStart = c.PeriodStart;
        const TReportTimeRange r = GetReportTimeRange(g);
        EXPECT_EQ(r.From, EncodeDate(2024, 7, 4));
        EXPECT_EQ(r.To, EncodeDateTime(2024, 7, 4, 15, 16, 17, 0));
    }
}

TEST(ReportTimeRange, PeriodStartAtTheScaleZeroMeansNow) {
    TSimulatedClock clock(EncodeDateTime(2024, 7, 4, 15, 16, 17, 0));
    TScopedClock scoped(clock);
    TReportTimeRangeSpec g;
    g.TimeFrom = "Yesterday";
    g.TimeTo = "Now";
    g.PeriodStart = D84;
    const TReportTimeRange r = GetReportTimeRange(g);
    EXPECT_EQ(r.From, EncodeDate(2024, 7, 3));
    EXPECT_EQ(r.To, EncodeDateTime(2024, 7, 4, 15, 16, 17, 0));
}

}  // namespace
}  // namespace mv
