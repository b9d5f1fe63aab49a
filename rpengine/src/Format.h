// Number and date formats of report fields.
//
// Number patterns: optional literal prefix, a numeric part made of "0", "#",
// "," and one ".", optional literal suffix ("0.00", "#,##0.0", "0.0 mm").
// "," in the numeric part groups thousands; each "0" after "." is a decimal
// that is always written, each "#" after it one written only when not zero.
// Literal text may be quoted with '"'.
//
// Date patterns (letters in either case): yyyy yy, mmmm (January) mmm (Jan)
// mm m, dddd (Monday) ddd (Mon) dd d, hh h (24-hour), nn n (minutes), ss s;
// text in '"' or "'" and every other character are copied.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Value.h"

namespace mv::rpe {

class EFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TNumberFormat {
 public:
  TNumberFormat() = default;  // shortest round-trip text
  // Throws EFormatError naming what is wrong with the pattern.
  explicit TNumberFormat(std::string_view pattern);

  bool IsDefault() const { return FDefault; }
  void Append(std::string& out, double value) const;
  std::string Format(double value) const {
    std::string s;
    Append(s, value);
    return s;
  }

 private:
  bool FDefault = true;
  std::string FPrefix, FSuffix;
  bool FGrouping = false;
  int FMinDecimals = 0, FMaxDecimals = 0;
  int FMinIntDigits = 1;
};

class TDateFormat {
 public:
  TDateFormat() = default;  // "yyyy-mm-dd hh:nn:ss"
  explicit TDateFormat(std::string_view pattern);

  bool IsDefault() const { return FParts.empty(); }
  void Append(std::string& out, const TCivilTime& t) const;
  std::string Format(const TCivilTime& t) const {
    std::string s;
    Append(s, t);
    return s;
  }
  // Whether the pattern shows any part of a date or time at all.
  bool HasFields() const {
    for (const TItem& i : FParts)
      if (i.Part != TPart::Literal) return true;
    return false;
  }
  // Whether the pattern shows any part of the time of day.
  bool HasTime() const { return FHasTime; }

 private:
  enum class TPart { Literal, Year4, Year2, MonthName, MonthAbbr, Month2, Month1, DayName, DayAbbr,
                     Day2, Day1, Hour2, Hour1, Minute2, Minute1, Second2, Second1 };
  struct TItem {
    TPart Part;
    std::string Text;
  };
  std::vector<TItem> FParts;
  bool FHasTime = false;
};

// 0 = Sunday .. 6 = Saturday.
int DayOfWeek(int year, int month, int day);

}  // namespace mv::rpe
