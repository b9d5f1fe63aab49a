#pragma once
// The one source of "now" for the scheduler's logic.
//
// Code that needs the current time reads CurrentClock().Now(); it never asks
// the system directly. Tests install a TSimulatedClock with TScopedClock and
// set or advance it, so that days of scheduling run in milliseconds without
// sleeping.

#include "core/timing/DateTime.h"

#include <atomic>
#include <cstdint>

namespace mv {

class TClock {
public:
    virtual ~TClock();
    // The current local wall-clock date-time.
    virtual TDateTime Now() const = 0;
};

// The system's local wall-clock time, to the millisecond.
class TSystemClock final : public TClock {
public:
    TDateTime Now() const override;
};

// A clock that stands still until it is set or advanced. Reads and changes
// may come from different threads. It keeps whole milliseconds, so that a
// million one-second steps land exactly where one big step would.
class TSimulatedClock final : public TClock {
public:
    explicit TSimulatedClock(TDateTime start = 0);
    TDateTime Now() const override;
    void Set(TDateTime t);                     // rounded to the millisecond
    void Advance(TDateTime days);              // may be negative
    void AdvanceSeconds(double seconds);       // may be negative

private:
    std::atomic<std::int64_t> FMSecs;          // milliseconds since 12/30/1899
};

// The process-wide clock: a TSystemClock unless a TScopedClock has installed
// another one. The returned reference stays valid while the installing scope
// lives.
TClock& CurrentClock();

// Installs a clock for the lifetime of this object and restores the previous
// one afterwards. Scopes must nest (destroy in reverse order of creation).
class TScopedClock {
public:
    explicit TScopedClock(TClock& clock);
    ~TScopedClock();
    TScopedClock(const TScopedClock&) = delete;
    TScopedClock& operator=(const TScopedClock&) = delete;

private:
    TClock* FPrevious;
};

// The current date-time from CurrentClock().
inline TDateTime Now() { return CurrentClock().Now(); }

}  // namespace mv
