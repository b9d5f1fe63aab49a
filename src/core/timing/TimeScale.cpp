#include "core/timing/TimeScale.h"

#include "core/timing/Clock.h"
#include "core/timing/TimeScaleDetail.h"

#include <cmath>
#include <string>

namespace mv {

namespace {

// Days before the first of month 0..13 in a common year; 13 is January of the
// following year and 0 counts like January.
constexpr std::int64_t kCumulativeDays[14] = {0,   0,   31,  59,  90,  120, 151,
                                              181, 212, 243, 273, 304, 334, 365};

// Leap years in 1 ... y (y >= 0).
std::int64_t LeapYearsThrough(std::int64_t y) { return y / 4 - y / 100 + y / 400; }

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

namespace detail {

std::int64_t DayNumberWide(std::int64_t year, std::int64_t month, std::int64_t day) {
    if (month < 0)
        throw EConvertError("Invalid month " + std::to_string(month));
    if (month > 13) {
        const std::int64_t carry = (month - 2) / 12;  // leaves month in 2..13
        month -= carry * 12;
        year += carry;
    }
    if ((year == 0 && month == 0 && day == 0) || year < 1985) return 0;
    if (year > 9999)
        throw EConvertError("The year " + std::to_string(year) +
                            " is beyond the calendar (at most 9999)");
    std::int64_t n = kCumulativeDays[month];
    if (month > 2 && IsLeapYear(static_cast<int>(year))) ++n;
    n += 365 * (year - 1985) + LeapYearsThrough(year - 1) - LeapYearsThrough(1984);
    n += day;
    return n < 0 ? 0 : n;
}

}  // namespace detail

EpochSeconds MakeEpochSeconds(std::int64_t seconds) {
    if (seconds < kMinEpochSeconds.Value || seconds > kMaxEpochSeconds.Value)
        throw EConvertError("The instant " + std::to_string(seconds) +
                            " s after 12/31/1984 00:00:00 is outside the time scale "
                            "(12/12/1916 20:45:52 to 01/18/2053 03:14:07)");
    return EpochSeconds(static_cast<std::int32_t>(seconds));
}

TDayNumber DayNumber(std::int32_t year, std::int32_t month, std::int32_t day) {
    const std::int64_t n = detail::DayNumberWide(year, month, day);
    if (n > 65535)
        throw EConvertError("The date " + std::to_string(month) + "/" + std::to_string(day) + "/" +
                            std::to_string(year) + " is beyond the last day number (65535)");
    return static_cast<TDayNumber>(n);
}

TTimeParts SplitEpochSeconds(EpochSeconds s) {
    const std::int64_t d = FloorDiv(s.Value, 86400);
    const std::int64_t r = s.Value - d * 86400;  // [0, 86399]
    TTimeParts p;
    int y = 0, m = 0, day = 0;
    DecodeDate(D84 + static_cast<double>(d), y, m, day);
    p.Year = y;
    p.Month = m;
    p.Day = day;
    p.Hour = static_cast<std::int32_t>(r / 3600);
    p.Minute = static_cast<std::int32_t>(r % 3600 / 60);
    p.Second = static_cast<std::int32_t>(r % 60);
    return p;
}

EpochSeconds NowEpochSeconds() {
    int y, m, d, h, n, s, ms;
    DecodeDateTime(CurrentClock().Now(), y, m, d, h, n, s, ms);
    return MakeEpochSeconds(detail::DayNumberWide(y, m, d) * 86400 + h * 3600 + n * 60 + s);
}

EpochSeconds DateTimeToEpochSeconds(TDateTime t) {
    const double seconds = std::nearbyint((t - D84) * kSecsPerDay);
    if (!(seconds >= kMinEpochSeconds.Value && seconds <= kMaxEpochSeconds.Value)) {
        std::string shown = std::isfinite(t) && std::fabs(t) < 2958466.0
                                ? "'" + DateTimeToStr(t) + "'"
                                : std::to_string(t);
        throw EConvertError("The date-time " + shown +
                            " is outside the time scale (12/12/1916 20:45:52 to "
                            "01/18/2053 03:14:07)");
    }
    return EpochSeconds(static_cast<std::int32_t>(seconds));
}

TDateTime EpochSecondsToDateTime(EpochSeconds s) { return D84 + s.Value / kSecsPerDay; }

}  // namespace mv
