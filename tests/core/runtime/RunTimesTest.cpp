// Run-time arithmetic and the run queue, on a simulated clock.
#include "core/runtime/RunQueue.h"
#include "core/runtime/RunTimes.h"
#include "core/timing/Clock.h"
#include "core/timing/TimeScale.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace mv {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return EncodeDateTime(y, mo, d, h, mi, s, 0); }
std::string Text(TDateTime t) { return FormatDateTime("mm/dd/yyyy hh:nn:ss", t); }

class RunTimes : public ::testing::Test {
protected:
    TSimulatedClock FClock;
    TScopedClock FScope{FClock};
};

// Daily at 06:00 from "Today", evaluated on 10 March at 14:00, caught up at
// 11 March 06:00: two periods, then the next start is 12 March.
TEST_F(RunTimes, DailyWorkedExample) {
    FClock.Set(At(2024, 3, 10, 14));
    TVidUduzadevGroupItem g;
    g.BaseTime = EncodeTime(6, 0, 0, 0);
    g.IntType = 3;
    g.StartFrom = "Today";
    EvaluateStartFrom(g);
    EXPECT_EQ(Text(g.PeriodStart), "03/10/2024 00:00:00");
    EXPECT_DOUBLE_EQ(g.Period, 1.0);
    EXPECT_EQ(Text(g.NextRun), "03/10/2024 06:00:00");
    EXPECT_EQ(Text(g.CatchUpRun), "03/11/2024 06:00:00");
    EXPECT_EQ(Text(DueTime(g)), "03/11/2024 06:00:00");

    FClock.Set(At(2024, 3, 11, 6));
    const TDateTime runStart = Now();
    std::vector<std::string> reported;
    while (g.PeriodStart <= runStart && g.Period > 0) {
        reported.push_back(Text(g.PeriodStart));
        ASSERT_TRUE(AdvancePeriod(g));
    }
    EXPECT_EQ(reported, (std::vector<std::string>{"03/10/2024 00:00:00", "03/11/2024 00:00:00"}));
    EXPECT_EQ(g.StartFrom, "03/12/2024 00:00:00");

    FClock.AdvanceSeconds(5);
    EvaluateStartFrom(g);
    EXPECT_EQ(Text(g.NextRun), "03/12/2024 06:00:00");
    EXPECT_EQ(Text(g.CatchUpRun), "03/12/2024 06:00:00");
}

TEST_F(RunTimes, GridCases) {
    struct Case {
        const char* name;
        int intType;
        TDateTime interval, baseTime, periodStart, now;
        const char* nextRun;
        double period;
    };
    const Case cases[] = {
        {"hourly at :20 from 13:05", 0, 0, EncodeTime(0, 20, 0, 0), At(2024, 3, 10, 13, 5), At(2024, 3, 10, 14),
         "03/10/2024 13:20:00", 1.0 / 24},
        {"hourly at :20 from exactly 13:20", 0, 0, EncodeTime(0, 20, 0, 0), At(2024, 3, 10, 13, 20),
         At(2024, 3, 10, 14), "03/10/2024 13:20:00", 1.0 / 24},
        {"6-hourly at 01:00", 1, 0, EncodeTime(1, 0, 0, 0), At(2024, 3, 10, 8), At(2024, 3, 10, 9),
         "03/10/2024 13:00:00", 0.25},
        {"12-hourly, base time carrying a date", 2, 0, At(2020, 5, 5, 3), At(2024, 3, 10, 16), At(2024, 3, 10, 17),
         "03/11/2024 03:00:00", 0.5},
        // The 7-minute grid is counted from 12/31/1984 00:00:00: 86400 s is
        // no multiple of 420 s, so midnight is not on it.
        {"7 minutes, first day", 6, EncodeTime(0, 7, 0, 0), 0, At(1985, 1, 1), At(1985, 1, 2),
         "01/01/1985 00:02:00", 7.0 / 1440},
        {"7 minutes, second day", 6, EncodeTime(0, 7, 0, 0), 0, At(1985, 1, 2), At(1985, 1, 3),
         "01/02/1985 00:04:00", 7.0 / 1440},
        // Before the scale's zero the grid point at or after the start, not one interval later.
        {"7 minutes before 1985", 6, EncodeTime(0, 7, 0, 0), 0, At(1984, 12, 30, 23, 51, 40), At(1985, 1, 3),
         "12/30/1984 23:53:00", 7.0 / 1440},
        // Weekly from a Wednesday: the coming Sunday, or the one before while that is still ahead of now.
        {"weekly, now after the Sunday before", 4, 0, EncodeTime(8, 0, 0, 0), At(2024, 3, 13, 10),
         At(2024, 3, 13, 12), "03/17/2024 08:00:00", 7},
        {"weekly, now before the Sunday before", 4, 0, EncodeTime(8, 0, 0, 0), At(2024, 3, 13, 10),
         At(2024, 3, 1), "03/10/2024 08:00:00", 7},
        {"monthly in February of a common year", 5, 0, EncodeTime(7, 0, 0, 0), At(2023, 2, 15), At(2023, 2, 20),
         "03/01/2023 07:00:00", 28},
        {"monthly in February of a leap year", 5, 0, 0, At(2024, 2, 15), At(2024, 2, 20), "03/01/2024 00:00:00", 29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FClock.Set(c.now);
        TVidUduzadevGroupItem g;
        g.IntType = static_cast<std::int8_t>(c.intType);
        g.Interval = c.interval;
        g.BaseTime = c.baseTime;
        g.PeriodStart = c.periodStart;
        ComputeRunTimes(g, true);
        EXPECT_EQ(Text(g.NextRun), c.nextRun);
        EXPECT_NEAR(g.Period, c.period, 1e-12);
        EXPECT_GE(g.CatchUpRun, Now());
        EXPECT_LE(g.CatchUpRun - g.Period, Now() + 1e-9);
    }
}

// Restarted in the night of a month's first day, a group that owes the
// month before is due at BaseTime that same day, whatever the lengths of
// the two months.
TEST_F(RunTimes, CatchUpIsTheFirstGridPointFromNow) {
    struct Case {
        const char* startFrom;
        int intType;
        TDateTime now;
        const char* due;
    };
    const Case cases[] = {
        {"01/01/2024 00:00:00", 5, At(2024, 2, 1, 2), "02/01/2024 06:00:00"},   // 31-day month, then 29
        {"03/01/2024 00:00:00", 5, At(2024, 4, 1, 2), "04/01/2024 06:00:00"},   // 31, then 30
        {"02/01/2024 00:00:00", 5, At(2024, 3, 1, 2), "03/01/2024 06:00:00"},   // 29, then 31
        {"01/01/2024 00:00:00", 5, At(2024, 2, 1, 7), "03/01/2024 06:00:00"},   // after BaseTime: next month
        {"03/03/2024 00:00:00", 4, At(2024, 3, 10, 2), "03/10/2024 06:00:00"},  // weekly: this Sunday
        {"03/03/2024 00:00:00", 4, At(2024, 3, 10, 7), "03/17/2024 06:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.startFrom) + " at " + Text(c.now));
        FClock.Set(c.now);
        TVidUduzadevGroupItem g;
        g.IntType = static_cast<std::int8_t>(c.intType);
        g.BaseTime = EncodeTime(6, 0, 0, 0);
        g.StartFrom = c.startFrom;
        EvaluateStartFrom(g);
        EXPECT_EQ(Text(DueTime(g)), c.due);
    }
}

TEST_F(RunTimes, MonthlyAdvanceTakesTheNextMonthsLength) {
    FClock.Set(At(2023, 6, 1));
    TVidUduzadevGroupItem g;
    g.IntType = 5;
    g.StartFrom = "02/15/2023 00:00:00";
    EvaluateStartFrom(g);
    EXPECT_DOUBLE_EQ(g.Period, 28);
    ASSERT_TRUE(AdvancePeriod(g));
    EXPECT_EQ(g.StartFrom, "03/15/2023 00:00:00");
    EXPECT_DOUBLE_EQ(g.Period, 31);
}

TEST_F(RunTimes, AdvanceOnlyWhenThePeriodHasBegun) {
    FClock.Set(At(2024, 3, 10, 12));
    TVidUduzadevGroupItem g;
    g.IntType = 0;
    g.StartFrom = "03/10/2024 13:00:00";
    EvaluateStartFrom(g);
    EXPECT_FALSE(AdvancePeriod(g));
    EXPECT_EQ(g.StartFrom, "03/10/2024 13:00:00");
    // A day of hourly steps keeps landing on whole seconds.
    FClock.Set(At(2024, 3, 12));
    for (int i = 0; i < 24; ++i) ASSERT_TRUE(AdvancePeriod(g));
    EXPECT_EQ(g.StartFrom, "03/11/2024 13:00:00");
}

TEST_F(RunTimes, NoGridNeverFires) {
    FClock.Set(At(2024, 3, 10, 12));
    TVidUduzadevGroupItem g;
    g.IntType = 6;
    g.Interval = 0;
    g.CatchUpRun = 123;
    EvaluateStartFrom(g);
    EXPECT_EQ(g.NextRun, -1);
    EXPECT_EQ(g.CatchUpRun, 123);  // kept
    EXPECT_FALSE(AdvancePeriod(g));
    g.Interval = 0.1 / 86400;  // no whole-second step
    EvaluateStartFrom(g);
    EXPECT_EQ(g.NextRun, -1);
}

TEST_F(RunTimes, StartFromTexts) {
    const TDateTime now = At(2024, 3, 10, 14, 30, 15);
    FClock.Set(now);
    struct Case {
        const char* text;
        TDateTime periodStart;
    };
    const Case cases[] = {
        {"", now},
        {"Today", At(2024, 3, 10)},
        {"yesterday", At(2024, 3, 9)},
        {"NEXT HOUR", At(2024, 3, 10, 15)},
        {" Today", now},  // blanks make it no keyword, and no date either
        {"Today + 01:00:00", now},
        {"03/12/2024 06:30:00", At(2024, 3, 12, 6, 30)},
        {"03/12/2024", At(2024, 3, 12)},
        {"3/2/2024 7:05:09", At(2024, 3, 2, 7, 5, 9)},
        {"12/31/1899 10:00:00", now},  // before 1900
        {"13/45/2024", now},
        {"garbage", now},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TVidUduzadevGroupItem g;
        g.StartFrom = c.text;
        EvaluateStartFrom(g);
        EXPECT_EQ(Text(g.PeriodStart), Text(c.periodStart));
    }
}

// Instants the 32-bit scale cannot hold raise an error; they never wrap
// into another time.
TEST_F(RunTimes, OutsideTheTimeScaleRaises) {
    FClock.Set(At(2024, 3, 10));
    TVidUduzadevGroupItem g;
    g.StartFrom = "01/01/1910 00:00:00";
    EXPECT_THROW(EvaluateStartFrom(g), EConvertError);

    g.StartFrom = "01/18/2053 03:14:00";  // the next daily grid point is past the scale's end
    g.IntType = 3;
    g.NextRun = 5;
    EXPECT_THROW(EvaluateStartFrom(g), EConvertError);
    EXPECT_EQ(g.NextRun, 5);  // unchanged

    FClock.Set(At(2053, 1, 18, 12));
    g.StartFrom = "01/17/2053 00:00:00";
    EXPECT_THROW(EvaluateStartFrom(g), EConvertError);  // "now" itself is past the end
}

TEST(RunQueue, OrderDuplicatesAndRemoval) {
    TVidUduzadevGroupItem never, zero, late, early, alsoEarly;
    never.NextRun = -1;
    zero.NextRun = 0;
    late.NextRun = 10, late.CatchUpRun = 300;
    early.NextRun = 200, early.CatchUpRun = 100;
    alsoEarly.NextRun = 150, alsoEarly.CatchUpRun = 250;
    EXPECT_EQ(CompareDueTimes(early, late), -1);
    EXPECT_EQ(CompareDueTimes(late, never), -1);
    EXPECT_EQ(CompareDueTimes(never, zero), 1);
    EXPECT_EQ(CompareDueTimes(zero, late), 1);
    EXPECT_EQ(CompareDueTimes(never, never), 0);

    TRunQueue q;
    for (auto* g : {&never, &late, &zero, &alsoEarly, &early}) EXPECT_TRUE(q.Insert(*g));
    EXPECT_FALSE(q.Insert(late));
    EXPECT_EQ(q.Count(), 5);
    EXPECT_TRUE(q.Remove(alsoEarly));
    EXPECT_FALSE(q.Remove(alsoEarly));
    std::vector<TVidUduzadevGroupItem*> order;
    while (auto* g = q.DeleteMin()) order.push_back(g);
    EXPECT_EQ(order, (std::vector<TVidUduzadevGroupItem*>{&early, &late, &zero, &never}));
    EXPECT_EQ(q.DeleteMin(), nullptr);

    // Grows past its first room for 16.
    std::vector<std::unique_ptr<TVidUduzadevGroupItem>> many;
    for (int i = 0; i < 40; ++i) {
        many.push_back(std::make_unique<TVidUduzadevGroupItem>());
        many.back()->NextRun = 1000 - i;
        q.Insert(*many.back());
    }
    EXPECT_EQ(q.DeleteMin(), many.back().get());
    q.Clear();
    EXPECT_EQ(q.Count(), 0);
}

}  // namespace
}  // namespace mv
