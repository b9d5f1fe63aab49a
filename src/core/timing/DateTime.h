#pragma once
// Calendar date-times as the scheduler stores and shows them.
//
// A TDateTime counts days since 30 December 1899 00:00:00; its fraction is the
// time of day. All values are local wall-clock times: there is no time zone
// and no daylight-saving handling anywhere in the program. The scale is taken
// as linear (floor of the value is the day, the rest the time of day); the
// program never handles dates before 1900.
//
// Texts use one fixed locale everywhere, for writing and for reading:
// date separator "/", time separator ":", short date "mm/dd/yyyy",
// long time "hh:nn:ss" (24-hour). Nothing here reads or changes process-wide
// state (no setlocale, no global format settings), so every function may be
// called from any thread.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace mv {

using TDateTime = double;  // days since 12/30/1899 00:00:00, fraction = time of day

// A text or a calendar value that does not convert. The message names the
// offending value, e.g. "'25:00' is not a valid time".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr double kSecsPerDay = 86400.0;
inline constexpr double kMSecsPerDay = 86400000.0;

bool IsLeapYear(int year);                  // Gregorian rule
int DaysInMonth(int year, int month);       // month 1..12; 28..31

// Throw EConvertError unless year 1..9999, month 1..12, day 1..DaysInMonth.
TDateTime EncodeDate(int year, int month, int day);
// Throw EConvertError unless hour 0..23, minute 0..59, second 0..59, ms 0..999.
TDateTime EncodeTime(int hour, int minute, int second, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int msec);

// Decoding rounds the value to the nearest millisecond first, so 23:59:59.9999
// decodes as 00:00:00 of the next day, never as an hour 24.
void DecodeDate(TDateTime t, int& year, int& month, int& day);
void DecodeTime(TDateTime t, int& hour, int& minute, int& second, int& msec);
void DecodeDateTime(TDateTime t, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec);

// ISO weekday: Monday = 1 ... Sunday = 7 (the numbering the time keywords use;
// note that it is NOT the Sunday = 1 numbering of some libraries).
int DayOfWeek(TDateTime t);
int DayOfWeek(int year, int month, int day);

TDateTime DateOf(TDateTime t);  // 00:00:00 of t's day
TDateTime TimeOf(TDateTime t);  // time of day only, 0 <= result < 1

// Delphi-style format patterns, letters case-insensitive:
//   y/yy two-digit year, yyy/yyyy four-digit year; m/mm month (minute when it
//   follows an h specifier), mmm/mmmm month name; d/dd day, ddd/dddd day name,
//   ddddd short date; h/hh hour (12-hour when an am/pm specifier follows);
//   n/nn minute; s/ss second; z/zzz millisecond; t short time "hh:nn",
//   tt long time; c short date plus long time (time left out at 00:00:00);
//   am/pm, a/p, ampm; "/" date separator, ":" time separator;
//   '...' and "..." literal text. Any other character is copied.
// Examples: "mm/dd/yyyy hh:nn:ss", "hh:nn:ss", "yyyy,mm,dd hh:nn:ss", "yy-mm-dd".
std::string FormatDateTime(std::string_view pattern, TDateTime t);

// "mm/dd/yyyy hh:nn:ss"; the time is left out when it reads 00:00:00 (a
// fraction of a second alone does not bring it in).
std::string DateTimeToStr(TDateTime t);
std::string DateToStr(TDateTime t);  // "mm/dd/yyyy"
std::string TimeToStr(TDateTime t);  // "hh:nn:ss"

// Reads what DateTimeToStr writes: a date "m/d/y" (month, day, year; a year of
// one or two digits lies within 50 years before or after the current year),
// optionally followed by a time; or a time alone (date part 0). Blanks around
// the text are allowed. std::nullopt when the text does not convert.
std::optional<TDateTime> TryStrToDateTime(std::string_view text);

// Reads a date and time in the order of the date fields of `pattern`
// (e.g. "mm/dd/yyyy hh:nn:ss" or "yyyy-mm-dd hh:nn:ss"): the three date
// numbers separated by the pattern's date separator, then optionally a time.
// Throws EConvertError "'<text>' is not a valid date and time".
TDateTime StrToDateTimeFmt(std::string_view text, std::string_view pattern);

// A time of day: hours ":" minutes [":" seconds ["." milliseconds]], with an
// optional AM/PM marker before or after (then hours 1..12). Blanks around the
// text are allowed. Throws EConvertError "'<text>' is not a valid time".
TDateTime StrToTime(std::string_view text);
std::optional<TDateTime> TryStrToTime(std::string_view text);

}  // namespace mv
