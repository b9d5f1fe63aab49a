#pragma once
// Time expressions: an instant relative to a reference time.
//
// Forms: a keyword ("YESTERDAY", "LAST WEEK", "NOW", ...; case and blanks
// around it do not matter), optionally followed by "+" or "-" and an offset
// "m/d/y h:n:s" (date part only when the offset contains "/"), or an absolute
// "m/d/y h:n:s" that starts with a digit. Unreadable numbers count as 0; an
// unknown keyword means the start of the current hour.

#include "core/timing/DateTime.h"
#include "core/timing/TimeScale.h"

#include <string>
#include <string_view>

namespace mv {

// Evaluates `text` against `reference` (EpochSeconds(0) means now, read
// through CurrentClock()). Keywords work on the reference's calendar parts;
// weeks start on Sunday. A result before 01/01/1985 collapses to
// 12/31/1984 plus its time of day.
// Throws EConvertError when the result has no place on the time scale: a year
// above 9999 after adding the offset, or an instant after 01/18/2053 03:14:07
// (or before 12/12/1916 20:45:52); never for unreadable text.
EpochSeconds EvalTimeExpression(std::string_view text, EpochSeconds reference);

// The values of a schedule group that decide the data range of one run.
struct TReportTimeRangeSpec {
    std::string TimeFrom;        // time expression or "As Entered Below:"
    std::string TimeTo;          // likewise
    TDateTime AbsTimeFrom = 0;   // used when TimeFrom is "As Entered Below:"
    TDateTime AbsTimeTo = 0;     // used when TimeTo is "As Entered Below:"
    TDateTime PeriodStart = 0;   // start of the period being reported
};

struct TReportTimeRange {
    TDateTime From = 0;
    TDateTime To = 0;
};

// The text that selects the absolute value instead of an expression (any case).
inline constexpr std::string_view kAsEnteredBelow = "As Entered Below:";

// The data range of one run: each end is its absolute value when its text is
// "As Entered Below:" (any case), else its expression evaluated against
// PeriodStart. When either end fails (e.g. a PeriodStart outside the time
// scale), the range is today 00:00:00 ... now. Never throws.
TReportTimeRange GetReportTimeRange(const TReportTimeRangeSpec& group);

}  // namespace mv
