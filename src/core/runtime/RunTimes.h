#pragma once
// Run-time arithmetic of a schedule group: where its next period starts, how
// long a period is, when its run grid next fires, and how groups are ordered
// by due time.
//
// All "now" reads go through CurrentClock(). Grid arithmetic is done in whole
// seconds on the 32-bit time scale (TimeScale.h); an instant that does not
// fit the scale throws EConvertError instead of wrapping into another time.

#include "core/schedule/ScheduleDataDef.h"
#include "core/timing/DateTime.h"

#include <string>
#include <string_view>

namespace mv {

// The text form of a rewritten period start and of the "Next Time" label.
inline constexpr std::string_view kStartFromPattern = "mm/dd/yyyy hh:nn:ss";

// Whether `text` is one of the twenty keywords a StartFrom may be (exact
// after upper-casing: blanks or an offset make it a date text).
bool IsStartFromKeyword(std::string_view text);

// The period start a StartFrom text names, for `now`: empty text, text that
// does not read as "mm/dd/yyyy[ hh:nn:ss]" and dates before 01/01/1900 give
// `now`. Uses only the explicit pattern, never any process-wide setting.
TDateTime StartFromToDateTime(std::string_view startFrom, TDateTime now);

// PeriodStart from StartFrom, then ComputeRunTimes(group, true). Throws
// EConvertError when the period start lies outside the time scale (the
// group's PeriodStart is set, its run times are left as they were).
void EvaluateStartFrom(TVidUduzadevGroupItem& group);

// Sets Period and NextRun and, with `full`, CatchUpRun from PeriodStart,
// BaseTime, IntType and Interval. Throws EConvertError when a time falls
// outside the time scale; nothing is changed then.
void ComputeRunTimes(TVidUduzadevGroupItem& group, bool full);

// After a report: PeriodStart moves on by Period (when Period > 0 and now is
// not before PeriodStart), StartFrom is rewritten as "mm/dd/yyyy hh:nn:ss",
// run times recomputed (not CatchUpRun). Returns whether it moved. Throws
// EConvertError, leaving the group unchanged, when the new start does not
// fit the time scale.
bool AdvancePeriod(TVidUduzadevGroupItem& group);

// The later of NextRun and CatchUpRun.
inline TDateTime DueTime(const TVidUduzadevGroupItem& group) {
    return group.NextRun > group.CatchUpRun ? group.NextRun : group.CatchUpRun;
}

// -1, 0 or 1: groups with a positive NextRun by due time first, then those
// whose NextRun is 0, then those with a negative NextRun (never due). A
// total preorder, so a heap ordered by it stays valid.
int CompareDueTimes(const TVidUduzadevGroupItem& a, const TVidUduzadevGroupItem& b);

}  // namespace mv
