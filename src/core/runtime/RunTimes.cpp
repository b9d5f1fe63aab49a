#include "core/runtime/RunTimes.h"

#include "core/timing/Clock.h"
#include "core/timing/TimeExpression.h"
#include "core/timing/TimeScale.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>

namespace mv {

namespace {

constexpr std::array<std::string_view, 20> kStartFromKeywords = {
    "YESTERDAY",  "LAST WEEK",  "LAST MONTH", "LAST YEAR",  "NOW",       "LAST 12 HOURS", "LAST 6 HOURS",
    "LAST 3 HOURS", "LAST 2 HOURS", "LAST HOUR", "TODAY",    "NEXT HOUR", "THIS WEEK",     "THIS MONTH",
    "THIS YEAR",  "TOMORROW",   "NEXT WEEK",  "NEXT MONTH", "NEXT YEAR", "THIS HOUR"};

// 01/01/1900 00:00:00: an earlier StartFrom is taken as unreadable.
constexpr TDateTime kEarliestStartFrom = 2.0;

std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// The smallest multiple of c at or above v. Floor-based, so that instants
// before the scale's zero (negative v) align to the grid point at or after
// them, not to one a whole interval later.
std::int64_t AlignUp(std::int64_t v, std::int64_t c) {
    std::int64_t q = v / c;
    if (q * c < v) ++q;
    return q * c;
}

TDateTime GridAtOrAfter(TDateTime t, TDateTime baseTime, std::int64_t c) {
    const std::int64_t v = DateTimeToEpochSeconds(t - baseTime).Value;
    return EpochSecondsToDateTime(MakeEpochSeconds(AlignUp(v, c))) + baseTime;
}

TDateTime Eval(std::string_view keyword, TDateTime t) {
    return EpochSecondsToDateTime(EvalTimeExpression(keyword, DateTimeToEpochSeconds(t)));
}

// A period start kept to the millisecond, so that repeated additions of a
// fractional period do not drift below a whole second.
TDateTime RoundToMillisecond(TDateTime t) { return std::round(t * 86400000.0) / 86400000.0; }

}  // namespace

bool IsStartFromKeyword(std::string_view text) {
    const std::string u = Upper(text);
    return std::find(kStartFromKeywords.begin(), kStartFromKeywords.end(), u) != kStartFromKeywords.end();
}

TDateTime StartFromToDateTime(std::string_view startFrom, TDateTime now) {
    if (startFrom.empty()) return now;
    try {
        const TDateTime t = StrToDateTimeFmt(startFrom, kStartFromPattern);
        return t < kEarliestStartFrom ? now : t;
    } catch (const EConvertError&) {
        return now;
    }
}

void EvaluateStartFrom(TVidUduzadevGroupItem& group) {
    const std::string& s = group.StartFrom;
    if (!s.empty() && IsStartFromKeyword(s))
        group.PeriodStart = EpochSecondsToDateTime(EvalTimeExpression(s, NowEpochSeconds()));
    else
        group.PeriodStart = StartFromToDateTime(s, Now());
    group.EvaluatedFrom = s;
    ComputeRunTimes(group, true);
}

void ComputeRunTimes(TVidUduzadevGroupItem& group, bool full) {
    const TDateTime now = Now();
    // Only the time of day of BaseTime counts: a new group's BaseTime still
    // carries the date it was created on.
    const TDateTime baseTime = TimeOf(group.BaseTime);

    switch (group.IntType) {
    case 0: case 1: case 2: case 3: case 6: {
        static constexpr TDateTime kFixed[] = {1.0 / 24, 0.25, 0.5, 1.0};
        const TDateTime period = group.IntType == 6 ? group.Interval : kFixed[group.IntType];
        const std::int64_t c = std::llround(period * 86400.0);
        if (period <= 0 || c <= 0) {
            // No grid (also an interval below half a second, which has no
            // whole-second step): the group never fires.
            group.Period = period;
            group.NextRun = -1;
            return;
        }
        const TDateTime nextRun = GridAtOrAfter(group.PeriodStart, baseTime, c);
        TDateTime catchUp = group.CatchUpRun;
        if (full) {
            catchUp = GridAtOrAfter(now, baseTime, c);
            if (catchUp < now) catchUp += period;
        }
        group.Period = period;
        group.NextRun = nextRun;
        group.CatchUpRun = catchUp;
        return;
    }
    case 4: case 5: {
        const std::string_view next = group.IntType == 4 ? "NEXT WEEK" : "NEXT MONTH";
        const std::string_view self = group.IntType == 4 ? "THIS WEEK" : "THIS MONTH";
        const TDateTime a = Eval(next, group.PeriodStart);
        const TDateTime b = Eval(self, group.PeriodStart);
        const TDateTime period = a - b;
        TDateTime nextRun = a + baseTime;
        if (nextRun - period > now) nextRun -= period;
        TDateTime catchUp = group.CatchUpRun;
        if (full) {
            // The first grid point at or after now. Stepping back from the
            // next one by this group's period is wrong when the current
            // month is longer than PeriodStart's: restarted on 1 February
            // before BaseTime, a January period would wait until 1 March.
            // (On a Sunday "THIS WEEK" is the Sunday before, hence steps.)
            catchUp = Eval(self, now) + baseTime;
            for (int step = 0; step < 3 && catchUp < now; ++step) catchUp = Eval(next, catchUp - baseTime + 1) + baseTime;
        }
        group.Period = period;
        group.NextRun = nextRun;
        group.CatchUpRun = catchUp;
        return;
    }
    default:
        return;
    }
}

bool AdvancePeriod(TVidUduzadevGroupItem& group) {
    if (!(group.Period > 0) || Now() < group.PeriodStart) return false;
    const TDateTime oldStart = group.PeriodStart, oldPeriod = group.Period, oldNext = group.NextRun;
    const std::string oldText = group.StartFrom;
    try {
        group.PeriodStart = RoundToMillisecond(group.PeriodStart + group.Period);
        group.StartFrom = FormatDateTime(kStartFromPattern, group.PeriodStart);
        ComputeRunTimes(group, false);
    } catch (...) {
        group.PeriodStart = oldStart;
        group.Period = oldPeriod;
        group.NextRun = oldNext;
        group.StartFrom = oldText;
        throw;
    }
    return true;
}

int CompareDueTimes(const TVidUduzadevGroupItem& a, const TVidUduzadevGroupItem& b) {
    auto rank = [](const TVidUduzadevGroupItem& g) { return g.NextRun > 0 ? 0 : (g.NextRun == 0 ? 1 : 2); };
    const int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra != 0) return 0;
    const TDateTime da = DueTime(a), db = DueTime(b);
    return da < db ? -1 : (da > db ? 1 : 0);
}

}  // namespace mv
