#include "core/timing/Clock.h"
#include "core/timing/TimeScale.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace mv {
namespace {

namespace chr = std::chrono;

constexpr chr::sys_days kScaleZero = chr::sys_days{chr::year{1984} / 12 / 31};

TTimeParts PartsOf(chr::sys_seconds t) {
    const chr::sys_days day = chr::floor<chr::days>(t);
    const chr::year_month_day ymd{day};
    const chr::hh_mm_ss hms{t - day};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(hms.hours().count()),
            static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count())};
}

TEST(TimeScale, ScaleZeroIsTheLastDayOf1984) {
    EXPECT_EQ(D84, EncodeDate(1984, 12, 31));
    EXPECT_EQ(EpochSecondsToDateTime(EpochSeconds(0)), D84);
    EXPECT_EQ(DateTimeToEpochSeconds(D84), EpochSeconds(0));
}

// Every day of the 16-bit day scale, 1985 up to its last day, against std::chrono.
TEST(TimeScale, DayNumberMatchesChronoOnEveryDay) {
    const chr::sys_days last = kScaleZero + chr::days{65535};
    for (chr::sys_days day = kScaleZero + chr::days{1}; day <= last; day += chr::days{1}) {
        const chr::year_month_day ymd{day};
        ASSERT_EQ(DayNumber(static_cast<int>(ymd.year()),
                            static_cast<int>(static_cast<unsigned>(ymd.month())),
                            static_cast<int>(static_cast<unsigned>(ymd.day()))),
                  (day - kScaleZero).count())
            << static_cast<int>(ymd.year()) << "-" << static_cast<unsigned>(ymd.month()) << "-"
            << static_cast<unsigned>(ymd.day());
    }
}

TEST(TimeScale, DayNumberRules) {
    constexpr struct { const char* Label; int Y, M, D; int Expected; } kCases[] = {
        {"first day", 1985, 1, 1, 1},
        {"all zero", 0, 0, 0, 0},
        {"before 1985", 1984, 12, 31, 0},
        {"year 1", 1, 6, 15, 0},
        {"month 0 counts like January", 1985, 0, 5, 5},
        {"month 13 is January of the next year", 1985, 13, 1, 366},
        {"month 14 carries into the year", 1985, 14, 1, 365 + 32},
        {"month 25 carries once", 1985, 25, 1, 365 + 366},
        {"day 0 is the last day of the month before", 1985, 3, 0, 59},
        {"day past the month's end runs on", 1985, 2, 30, 61},
        {"negative day lands before the month", 1986, 1, -1, 364},
        {"leap day counted after February", 1988, 3, 1, 365 * 3 + 31 + 29 + 1},
        {"no leap day in 2100", 2100, 3, 1, 42063},
        {"sum before day 1 is day 0", 1985, 1, -40, 0},
        {"last day number", 2164, 6, 5, 65535},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(DayNumber(c.Y, c.M, c.D), c.Expected);
    }
}

TEST(TimeScale, DayNumberNeverWrapsPastItsLastDay) {
    EXPECT_THROW(DayNumber(2164, 6, 6), EConvertError);
    EXPECT_THROW(DayNumber(2200, 1, 1), EConvertError);
    EXPECT_THROW(DayNumber(10000, 1, 1), EConvertError);
    EXPECT_THROW(DayNumber(1985, 1, 70000), EConvertError);
    EXPECT_THROW(DayNumber(2000, -1, 1), EConvertError);
}

// Every day from 1985 to the end of the scale, at a time of day that varies,
// plus every day before the zero down to the scale's start.
TEST(TimeScale, SplitAndConvertMatchChronoOverTheWholeScale) {
    for (std::int64_t day = -24855; day <= 24855; ++day) {
        const std::int64_t seconds = std::min<std::int64_t>(
            day * 86400 + (day * 7919 % 86400 + 86400) % 86400, kMaxEpochSeconds.Value);
        const EpochSeconds s(static_cast<std::int32_t>(seconds));
        const auto t = chr::sys_seconds{kScaleZero} + chr::seconds{seconds};
        ASSERT_EQ(SplitEpochSeconds(s), PartsOf(t)) << seconds;
        const TDateTime dt = EpochSecondsToDateTime(s);
        ASSERT_EQ(DateTimeToEpochSeconds(dt), s) << seconds;
        int y, m, d, h, n, sec, ms;
        DecodeDateTime(dt, y, m, d, h, n, sec, ms);
        ASSERT_EQ((TTimeParts{y, m, d, h, n, sec}), PartsOf(t)) << seconds;
        ASSERT_EQ(ms, 0);
    }
}

TEST(TimeScale, BothEndsOfTheScale) {
    EXPECT_EQ(SplitEpochSeconds(kMaxEpochSeconds), (TTimeParts{2053, 1, 18, 3, 14, 7}));
    EXPECT_EQ(SplitEpochSeconds(kMinEpochSeconds), (TTimeParts{1916, 12, 12, 20, 45, 52}));
    EXPECT_EQ(SplitEpochSeconds(EpochSeconds(-1)), (TTimeParts{1984, 12, 30, 23, 59, 59}));

    const TDateTime top = EncodeDateTime(2053, 1, 18, 3, 14, 7, 0);
    const TDateTime bottom = EncodeDateTime(1916, 12, 12, 20, 45, 52, 0);
    EXPECT_EQ(DateTimeToEpochSeconds(top), kMaxEpochSeconds);
    EXPECT_EQ(DateTimeToEpochSeconds(bottom), kMinEpochSeconds);
    EXPECT_NEAR(EpochSecondsToDateTime(kMaxEpochSeconds), top, 1e-9);  // ~0.1 ms
    EXPECT_NEAR(EpochSecondsToDateTime(kMinEpochSeconds), bottom, 1e-9);
    EXPECT_EQ(DateTimeToEpochSeconds(top + 0.4 / 86400), kMaxEpochSeconds);  // rounds back in
    EXPECT_THROW(DateTimeToEpochSeconds(top + 1.0 / 86400), EConvertError);
    EXPECT_THROW(DateTimeToEpochSeconds(bottom - 1.0 / 86400), EConvertError);
    EXPECT_THROW(DateTimeToEpochSeconds(0.0), EConvertError);  // 12/30/1899
    EXPECT_THROW(DateTimeToEpochSeconds(EncodeDate(2100, 1, 1)), EConvertError);
    EXPECT_THROW(DateTimeToEpochSeconds(std::nan("")), EConvertError);
    EXPECT_THROW(DateTimeToEpochSeconds(INFINITY), EConvertError);
    EXPECT_THROW(MakeEpochSeconds(std::int64_t{1} << 31), EConvertError);
    EXPECT_THROW(MakeEpochSeconds(-(std::int64_t{1} << 31) - 1), EConvertError);
    try {
        DateTimeToEpochSeconds(EncodeDate(2060, 1, 1));
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_NE(std::string(e.what()).find("'01/01/2060'"), std::string::npos) << e.what();
    }
}

TEST(TimeScale, DateTimeToEpochSecondsRoundsToTheNearestSecond) {
    const TDateTime base = EncodeDateTime(2024, 3, 1, 10, 0, 0, 0);
    const std::int32_t s = DateTimeToEpochSeconds(base).Value;
    EXPECT_EQ(DateTimeToEpochSeconds(base + 0.4 / 86400).Value, s);
    EXPECT_EQ(DateTimeToEpochSeconds(base + 0.6 / 86400).Value, s + 1);
    EXPECT_EQ(DateTimeToEpochSeconds(base - 0.6 / 86400).Value, s - 1);
}

TEST(TimeScale, NowEpochSecondsDropsTheFractionAndReadsTheClock) {
    TSimulatedClock clock(EncodeDateTime(1985, 1, 1, 10, 0, 0, 999));
    TScopedClock scoped(clock);
    EXPECT_EQ(NowEpochSeconds(), EpochSeconds(86400 + 36000));

    clock.Set(EncodeDateTime(1970, 6, 1, 1, 2, 3, 0));  // before 1985: day 0 plus time
    EXPECT_EQ(NowEpochSeconds(), EpochSeconds(3723));

    clock.Set(EncodeDateTime(2053, 1, 18, 3, 14, 7, 500));
    EXPECT_EQ(NowEpochSeconds(), kMaxEpochSeconds);
    clock.AdvanceSeconds(1);
    EXPECT_THROW(NowEpochSeconds(), EConvertError);
}

}  // namespace
}  // namespace mv
