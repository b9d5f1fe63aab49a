#include "Format.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace mv::rpe {
namespace {

constexpr const char* kMonthNames[] = {"January", "February", "March", "April", "May", "June", "July",
                                       "August", "September", "October", "November", "December"};
constexpr const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
                                     "Saturday"};

void Put(std::string& out, int v, int width) {
  char buf[16];
  int n = std::snprintf(buf, sizeof buf, "%0*d", width, v);
  out.append(buf, static_cast<std::size_t>(n));
}

// Reads a quoted literal starting at pattern[i] (the quote); appends its
// text to out and returns the index after the closing quote.
std::size_t ReadQuoted(std::string_view pattern, std::size_t i, std::string& out) {
  char q = pattern[i];
  std::size_t end = pattern.find(q, i + 1);
  if (end == std::string_view::npos)
    throw EFormatError("the quote at position " + std::to_string(i + 1) + " of the format \"" +
                       std::string(pattern) + "\" is not closed");
  out.append(pattern.substr(i + 1, end - i - 1));
  return end + 1;
}

}  // namespace

int DayOfWeek(int year, int month, int day) {
  // Days from civil (Howard Hinnant's algorithm); 1970-01-01 was a Thursday.
  year -= month <= 2;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * static_cast<unsigned>(month + (month > 2 ? -3 : 9)) + 2) / 5 +
                       static_cast<unsigned>(day) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = static_cast<long>(era) * 146097 + static_cast<long>(doe) - 719468;
  long w = (days + 4) % 7;
  return static_cast<int>(w < 0 ? w + 7 : w);
}

TNumberFormat::TNumberFormat(std::string_view pattern) {
  FDefault = false;
  std::size_t i = 0;
  auto isCore = [](char c) { return c == '0' || c == '#' || c == ',' || c == '.'; };
  while (i < pattern.size() && !isCore(pattern[i])) {
    if (pattern[i] == '"')
      i = ReadQuoted(pattern, i, FPrefix);
    else
      FPrefix += pattern[i++];
  }
  if (i == pattern.size())
    throw EFormatError("the number format \"" + std::string(pattern) +
                       "\" has no digit placeholder (0 or #)");
  bool afterPoint = false;
  int intZeros = 0;
  bool sawDigit = false;
  while (i < pattern.size() && isCore(pattern[i])) {
    char c = pattern[i++];
    if (c == '.') {
      if (afterPoint)
        throw EFormatError("the number format \"" + std::string(pattern) + "\" has two decimal points");
      afterPoint = true;
    } else if (c == ',') {
      if (afterPoint)
        throw EFormatError("the number format \"" + std::string(pattern) +
                           "\" has a thousands separator after the decimal point");
      FGrouping = true;
    } else if (afterPoint) {
      if (c == '0') {
        if (FMaxDecimals != FMinDecimals)
          throw EFormatError("the number format \"" + std::string(pattern) +
                             "\" has a 0 after a # among its decimals");
        ++FMinDecimals;
      }
      ++FMaxDecimals;
      sawDigit = true;
    } else {
      if (c == '0') ++intZeros;
      sawDigit = true;
    }
  }
  if (!sawDigit)
    throw EFormatError("the number format \"" + std::string(pattern) +
                       "\" has no digit placeholder (0 or #)");
  FMinIntDigits = intZeros;
  while (i < pattern.size()) {
    if (pattern[i] == '"')
      i = ReadQuoted(pattern, i, FSuffix);
    else
      FSuffix += pattern[i++];
  }
  if (FMaxDecimals > 15)
    throw EFormatError("the number format \"" + std::string(pattern) + "\" asks for more than 15 decimals");
}

void TNumberFormat::Append(std::string& out, double value) const {
  if (FDefault) {
    out += FormatDouble(value);
    return;
  }
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%.*f", FMaxDecimals, std::fabs(value));
  if (n < 0 || n >= static_cast<int>(sizeof buf)) {
    out += FormatDouble(value);
    return;
  }
  std::string_view s(buf, static_cast<std::size_t>(n));
  std::size_t point = s.find('.');
  std::string_view intPart = s.substr(0, point);
  std::string_view frac = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
  while (frac.size() > static_cast<std::size_t>(FMinDecimals) && frac.back() == '0') frac.remove_suffix(1);
  if (intPart == "0" && FMinIntDigits == 0) intPart = {};
  bool zero = intPart.find_first_not_of('0') == std::string_view::npos &&
              frac.find_first_not_of('0') == std::string_view::npos;
  if (value < 0 && !zero) out += '-';
  out += FPrefix;
  std::string digits(intPart);
  if (static_cast<int>(digits.size()) < FMinIntDigits)
    digits.insert(0, static_cast<std::size_t>(FMinIntDigits) - digits.size(), '0');
  if (FGrouping && digits.size() > 3) {
    std::size_t first = digits.size() % 3;
    if (first == 0) first = 3;
    out.append(digits, 0, first);
    for (std::size_t k = first; k < digits.size(); k += 3) {
      out += ',';
      out.append(digits, k, 3);
    }
  } else {
    out += digits;
  }
  if (!frac.empty()) {
    out += '.';
    out += frac;
  }
  if (digits.empty() && frac.empty()) out += '0';
  out += FSuffix;
}

TDateFormat::TDateFormat(std::string_view pattern) {
  std::size_t i = 0;
  auto run = [&](char c) {
    std::size_t n = 0;
    while (i + n < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + n])) == c) ++n;
    return n;
  };
  auto literal = [&](std::string text) {
    if (!FParts.empty() && FParts.back().Part == TPart::Literal)
      FParts.back().Text += text;
    else
      FParts.push_back({TPart::Literal, std::move(text)});
  };
  while (i < pattern.size()) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    std::size_t n = 0;
    switch (c) {
      case 'y':
        n = run('y');
        if (n != 2 && n != 4)
          throw EFormatError("the date format \"" + std::string(pattern) + "\" has " + std::to_string(n) +
                             " y's; write yyyy or yy");
        FParts.push_back({n == 4 ? TPart::Year4 : TPart::Year2, {}});
        break;
      case 'm':
        n = run('m');
        if (n > 4) n = 4;
        FParts.push_back({n == 4 ? TPart::MonthName : n == 3 ? TPart::MonthAbbr : n == 2 ? TPart::Month2
                                                                                       : TPart::Month1,
                          {}});
        break;
      case 'd':
        n = run('d');
        if (n > 4) n = 4;
        FParts.push_back({n == 4 ? TPart::DayName : n == 3 ? TPart::DayAbbr : n == 2 ? TPart::Day2
                                                                                   : TPart::Day1,
                          {}});
        break;
      case 'h':
        n = std::min<std::size_t>(run('h'), 2);
        FParts.push_back({n == 2 ? TPart::Hour2 : TPart::Hour1, {}});
        FHasTime = true;
        break;
      case 'n':
        n = std::min<std::size_t>(run('n'), 2);
        FParts.push_back({n == 2 ? TPart::Minute2 : TPart::Minute1, {}});
        FHasTime = true;
        break;
      case 's':
        n = std::min<std::size_t>(run('s'), 2);
        FParts.push_back({n == 2 ? TPart::Second2 : TPart::Second1, {}});
        FHasTime = true;
        break;
      case '"':
      case '\'': {
        std::string text;
        i = ReadQuoted(pattern, i, text);
        literal(std::move(text));
        continue;
      }
      default:
        literal(std::string(1, pattern[i]));
        n = 1;
        break;
    }
    i += n;
  }
}

void TDateFormat::Append(std::string& out, const TCivilTime& t) const {
  if (FParts.empty()) {
    out += IsoDateTime(t);
    return;
  }
  for (const TItem& item : FParts) {
    switch (item.Part) {
      case TPart::Literal: out += item.Text; break;
      case TPart::Year4: Put(out, t.Year, 4); break;
      case TPart::Year2: Put(out, t.Year % 100, 2); break;
      case TPart::MonthName: out += kMonthNames[(t.Month + 11) % 12]; break;
      case TPart::MonthAbbr: out.append(kMonthNames[(t.Month + 11) % 12], 3); break;
      case TPart::Month2: Put(out, t.Month, 2); break;
      case TPart::Month1: Put(out, t.Month, 1); break;
      case TPart::DayName: out += kDayNames[DayOfWeek(t.Year, t.Month, t.Day)]; break;
      case TPart::DayAbbr: out.append(kDayNames[DayOfWeek(t.Year, t.Month, t.Day)], 3); break;
      case TPart::Day2: Put(out, t.Day, 2); break;
      case TPart::Day1: Put(out, t.Day, 1); break;
      case TPart::Hour2: Put(out, t.Hour, 2); break;
      case TPart::Hour1: Put(out, t.Hour, 1); break;
      case TPart::Minute2: Put(out, t.Minute, 2); break;
      case TPart::Minute1: Put(out, t.Minute, 1); break;
      case TPart::Second2: Put(out, t.Second, 2); break;
      case TPart::Second1: Put(out, t.Second, 1); break;
    }
  }
}

}  // namespace mv::rpe
