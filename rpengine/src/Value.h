// Typed parameter values and their text forms.
//
// The engine's value text (what REParameterFieldInfo carries and what
// REConvertPFInfoToVInfo reads) is, by type:
//   number, currency   shortest decimal that reads back to the same double ("12.5")
//   boolean            "True" / "False"
//   date               "yyyy,mm,dd"
//   date-time          "yyyy,mm,dd hh:nn:ss"
//   time               "hh:nn:ss"
//   integer, long, color  decimal
//   char               one character
//   string, string handle  the text itself
// Reading is lenient where a hand-written definition benefits: dates also
// take "-" or "/" between their parts, a date-time also takes a "T" between
// date and time, seconds may be left out, and a fraction of a second is
// ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct REValueInfo;

namespace mv::rpe {

enum class TParamType : std::uint16_t {
  Number = 0,
  Currency = 1,
  Boolean = 2,
  Date = 3,
  String = 4,
  DateTime = 5,
  Time = 6,
  Integer = 7,
  Color = 8,
  Char = 9,
  Long = 10,
  StringHandle = 11,
  NoValue = 12
};
inline constexpr int kParamTypeCount = 13;

// The definition's name of a type ("number", "datetime", ...) and back.
std::string_view ParamTypeName(TParamType type);
std::optional<TParamType> ParamTypeFromName(std::string_view name);

struct TCivilTime {
  int Year = 0, Month = 0, Day = 0;     // 1..9999, 1..12, 1..31
  int Hour = 0, Minute = 0, Second = 0; // 0..23, 0..59, 0..59
  friend auto operator<=>(const TCivilTime&, const TCivilTime&) = default;
};

bool IsValidDate(int year, int month, int day);

// A value of one parameter type. Only the members for Type are meaningful:
// Number (number, currency), Integer (integer, long, color; boolean as 0/1),
// Time (date, date-time, time), Text (string, string handle, char).
struct TValue {
  TParamType Type = TParamType::String;
  double Number = 0;
  std::int64_t Integer = 0;
  TCivilTime Time;
  std::string Text;
};

// Parses a value text of `type`; nullopt when it does not convert (or when
// the type takes no value).
std::optional<TValue> ParseValueText(std::string_view text, TParamType type);
// The engine's value text of a value.
std::string FormatValueText(const TValue& value);

// Orders two values of the same type; text compares bytewise.
int CompareValues(const TValue& a, const TValue& b);
bool SameValue(const TValue& a, const TValue& b);

// Between the C record and a value. FromValueInfo refuses a record whose
// member for its type holds an impossible value (month 13, an
// unterminated string), returning nullopt.
void ToValueInfo(const TValue& value, REValueInfo& info);
std::optional<TValue> FromValueInfo(const REValueInfo& info);

// Text forms used in outputs: "yyyy-mm-dd hh:nn:ss", "yyyy-mm-dd", "hh:nn:ss".
std::string IsoDateTime(const TCivilTime& t);
std::string IsoDate(const TCivilTime& t);
std::string IsoTime(const TCivilTime& t);

// Shortest text that reads back to the same double; integers without ".0".
std::string FormatDouble(double value);
// Reads a whole decimal number (blanks around allowed); nullopt otherwise.
std::optional<double> ParseDouble(std::string_view text);
std::optional<std::int64_t> ParseInt64(std::string_view text);
// Reads "yyyy-mm-dd[ hh:nn[:ss[.fff]]]" (also "T", "," and "/" forms).
std::optional<TCivilTime> ParseCivilTime(std::string_view text, bool requireTime);

}  // namespace mv::rpe
