#pragma once
// The scheduler's private time scale: whole seconds since 12/31/1984 00:00:00
// local time, in a signed 32-bit value.
//
// Range: -2147483648 (12/12/1916 20:45:52) ... 2147483647 (01/18/2053 03:14:07).
// Nothing ever wraps around: a conversion whose result falls outside that range
// throws EConvertError naming the value (callers already handle conversion
// errors), instead of silently turning into an unrelated instant.
// Negative values are instants before the scale's zero and split into their
// true calendar date.

#include "core/timing/DateTime.h"

#include <compare>
#include <cstdint>
#include <limits>

namespace mv {

// Whole seconds since 12/31/1984 00:00:00 local time.
struct EpochSeconds {
    std::int32_t Value = 0;

    constexpr EpochSeconds() = default;
    constexpr explicit EpochSeconds(std::int32_t value) : Value(value) {}
    friend constexpr auto operator<=>(EpochSeconds, EpochSeconds) = default;
};

inline constexpr EpochSeconds kMinEpochSeconds{std::numeric_limits<std::int32_t>::min()};
inline constexpr EpochSeconds kMaxEpochSeconds{std::numeric_limits<std::int32_t>::max()};

// The scale's zero, 12/31/1984 00:00:00, as a date-time.
inline constexpr TDateTime D84 = 31047.0;

// The value as epoch seconds; throws EConvertError when it lies outside the
// 32-bit range (the message names the value and the range).
EpochSeconds MakeEpochSeconds(std::int64_t seconds);

// Whole days since 12/31/1984; 01/01/1985 is day 1.
using TDayNumber = std::uint16_t;

// Day number of (year, month, day):
//  - months above 13 carry into the year (13 stays 13 = January of the next
//    year; 0 counts like January; a negative month throws EConvertError);
//  - year, month and day all 0, or a year before 1985, give day 0;
//  - the day is added linearly, so day 0, a negative day or a day past the
//    month's end land before or after the month; a sum before day 1 is day 0
//    (every date before 01/01/1985 is day 0).
// A day past 65535 (in the year 2164) throws EConvertError instead of wrapping.
TDayNumber DayNumber(std::int32_t year, std::int32_t month, std::int32_t day);

// Calendar parts of an instant; signed 32-bit each, as the evaluator
// computes with them.
struct TTimeParts {
    std::int32_t Year = 0;
    std::int32_t Month = 0;
    std::int32_t Day = 0;
    std::int32_t Hour = 0;
    std::int32_t Minute = 0;
    std::int32_t Second = 0;
    friend bool operator==(const TTimeParts&, const TTimeParts&) = default;
};

// Date and time of day of s (floor division, so -1 is 12/30/1984 23:59:59).
TTimeParts SplitEpochSeconds(EpochSeconds s);

// The current local time (CurrentClock()) on the scale: day number of today
// times 86400 plus the time of day, the fraction of a second dropped. Dates
// before 1985 give day 0 plus the time of day; throws EConvertError after
// 01/18/2053 03:14:07.
EpochSeconds NowEpochSeconds();

// (t - D84) * 86400 rounded to the nearest second (ties to even); throws
// EConvertError outside the scale (t before 12/12/1916 20:45:52 or after
// 01/18/2053 03:14:07, rounded) and for a non-finite t.
EpochSeconds DateTimeToEpochSeconds(TDateTime t);

// D84 + s / 86400, exact to far below a millisecond; never fails.
TDateTime EpochSecondsToDateTime(EpochSeconds s);

}  // namespace mv
