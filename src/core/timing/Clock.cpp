#include "core/timing/Clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace mv {

namespace {

TSystemClock& SystemClock() {
    static TSystemClock clock;
    return clock;
}

std::atomic<TClock*>& CurrentClockSlot() {
    static std::atomic<TClock*> slot{&SystemClock()};
    return slot;
}

}  // namespace

TClock::~TClock() = default;

TDateTime TSystemClock::Now() const {
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        now.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&secs, &local);
    const int msec = static_cast<int>(ms.count() < 0 ? ms.count() + 1000 : ms.count());
    // A leap second (tm_sec 60) counts as the last second of its minute.
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, msec);
}

TSimulatedClock::TSimulatedClock(TDateTime start) : FMSecs(std::llround(start * kMSecsPerDay)) {}

TDateTime TSimulatedClock::Now() const {
    return static_cast<double>(FMSecs.load()) / kMSecsPerDay;
}

void TSimulatedClock::Set(TDateTime t) { FMSecs.store(std::llround(t * kMSecsPerDay)); }

void TSimulatedClock::Advance(TDateTime days) { FMSecs.fetch_add(std::llround(days * kMSecsPerDay)); }

void TSimulatedClock::AdvanceSeconds(double seconds) {
    FMSecs.fetch_add(std::llround(seconds * 1000.0));
}

TClock& CurrentClock() { return *CurrentClockSlot().load(); }

TScopedClock::TScopedClock(TClock& clock) : FPrevious(CurrentClockSlot().exchange(&clock)) {}

TScopedClock::~TScopedClock() { CurrentClockSlot().store(FPrevious); }

}  // namespace mv
