#include "core/timing/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>

namespace mv {
namespace {

TEST(Clock, ScopedClocksNestAndRestore) {
    TClock* const system = &CurrentClock();
    TSimulatedClock a(EncodeDate(2024, 1, 31));
    TSimulatedClock b(EncodeDate(2030, 6, 1));
    {
        TScopedClock useA(a);
        EXPECT_EQ(&CurrentClock(), &a);
        EXPECT_EQ(Now(), EncodeDate(2024, 1, 31));
        {
            TScopedClock useB(b);
            EXPECT_EQ(Now(), EncodeDate(2030, 6, 1));
        }
        EXPECT_EQ(&CurrentClock(), &a);
    }
    EXPECT_EQ(&CurrentClock(), system);
}

TEST(Clock, SimulatedClockStepsAreExact) {
    TSimulatedClock clock(EncodeDateTime(2024, 1, 31, 23, 59, 59, 0));
    clock.AdvanceSeconds(1);
    EXPECT_EQ(clock.Now(), EncodeDate(2024, 2, 1));
    // A day in one-second steps lands exactly on the next day.
    for (int i = 0; i < 86400; ++i) clock.AdvanceSeconds(1);
    EXPECT_EQ(clock.Now(), EncodeDate(2024, 2, 2));
    clock.Advance(-1.5);
    EXPECT_EQ(clock.Now(), EncodeDateTime(2024, 1, 31, 12, 0, 0, 0));
    clock.Set(EncodeDate(1990, 7, 4));
    EXPECT_EQ(clock.Now(), EncodeDate(1990, 7, 4));
}

TEST(Clock, SimulatedClockReadsWhileAnotherThreadAdvances) {
    TSimulatedClock clock(EncodeDate(2024, 1, 1));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 100000; ++i) clock.AdvanceSeconds(1);
        done = true;
    });
    TDateTime previous = clock.Now();
    while (!done) {
        const TDateTime t = clock.Now();
        ASSERT_GE(t, previous);
        previous = t;
    }
    writer.join();
    EXPECT_EQ(clock.Now(), EncodeDate(2024, 1, 1) + 100000 / 86400.0);
}

TEST(Clock, SystemClockIsLocalWallClockTime) {
    const std::time_t before = std::time(nullptr);
    const TDateTime now = TSystemClock().Now();
    const std::time_t after = std::time(nullptr);
    std::tm lo{}, hi{};
    localtime_r(&before, &lo);
    localtime_r(&after, &hi);
    const TDateTime low = EncodeDateTime(lo.tm_year + 1900, lo.tm_mon + 1, lo.tm_mday, lo.tm_hour,
                                         lo.tm_min, std::min(lo.tm_sec, 59), 0);
    const TDateTime high = EncodeDateTime(hi.tm_year + 1900, hi.tm_mon + 1, hi.tm_mday, hi.tm_hour,
                                          hi.tm_min, std::min(hi.tm_sec, 59), 999);
    EXPECT_GE(now, low);
    EXPECT_LE(now, high);
}

}  // namespace
}  // namespace mv
