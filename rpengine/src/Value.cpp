#include "Value.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "TextUtil.h"
#include "rpeng.h"

namespace mv::rpe {
namespace {

constexpr std::array<std::string_view, kParamTypeCount> kTypeNames = {
    "number", "currency", "boolean", "date", "string", "datetime", "time",
    "integer", "color", "char", "long", "stringhandle", "novalue"};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Reads 1..maxDigits decimal digits at s[pos]; advances pos.
bool ReadInt(std::string_view s, std::size_t& pos, int maxDigits, int& out) {
  std::size_t start = pos;
  int v = 0;
  while (pos < s.size() && pos - start < static_cast<std::size_t>(maxDigits) &&
         std::isdigit(static_cast<unsigned char>(s[pos]))) {
    v = v * 10 + (s[pos] - '0');
    ++pos;
  }
  if (pos == start) return false;
  out = v;
  return true;
}

bool ReadTimeOfDay(std::string_view s, std::size_t& pos, TCivilTime& t) {
  if (!ReadInt(s, pos, 2, t.Hour)) return false;
  if (pos >= s.size() || s[pos] != ':') return false;
  ++pos;
  if (!ReadInt(s, pos, 2, t.Minute)) return false;
  t.Second = 0;
  if (pos < s.size() && s[pos] == ':') {
    ++pos;
    if (!ReadInt(s, pos, 2, t.Second)) return false;
    if (pos < s.size() && s[pos] == '.') {  // fraction of a second: ignored
      ++pos;
      while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) ++pos;
    }
  }
  return t.Hour <= 23 && t.Minute <= 59 && t.Second <= 59;
}

bool ReadDate(std::string_view s, std::size_t& pos, TCivilTime& t) {
  if (!ReadInt(s, pos, 4, t.Year)) return false;
  if (pos >= s.size()) return false;
  char sep = s[pos];
  if (sep != ',' && sep != '-' && sep != '/') return false;
  ++pos;
  if (!ReadInt(s, pos, 2, t.Month)) return false;
  if (pos >= s.size() || s[pos] != sep) return false;
  ++pos;
  if (!ReadInt(s, pos, 2, t.Day)) return false;
  return IsValidDate(t.Year, t.Month, t.Day);
}

char* Put2(char* p, int v) {
  *p++ = static_cast<char>('0' + v / 10 % 10);
  *p++ = static_cast<char>('0' + v % 10);
  return p;
}

char* Put4(char* p, int v) {
  p = Put2(p, v / 100);
  return Put2(p, v % 100);
}

std::size_t Utf8CharLength(std::string_view s) {
  if (s.empty()) return 0;
  unsigned char c = static_cast<unsigned char>(s[0]);
  std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  return n <= s.size() ? n : 1;
}

}  // namespace

std::string_view ParamTypeName(TParamType type) {
  auto i = static_cast<std::size_t>(type);
  return i < kTypeNames.size() ? kTypeNames[i] : std::string_view("?");
}

std::optional<TParamType> ParamTypeFromName(std::string_view name) {
  for (std::size_t i = 0; i < kTypeNames.size(); ++i)
    if (kTypeNames[i] == name) return static_cast<TParamType>(i);
  return std::nullopt;
}

bool IsValidDate(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int dim = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= dim;
}

std::optional<TCivilTime> ParseCivilTime(std::string_view text, bool requireTime) {
  std::string_view s = Trim(text);
  TCivilTime t;
  std::size_t pos = 0;
  if (!ReadDate(s, pos, t)) return std::nullopt;
  if (pos == s.size()) {
    if (requireTime) return std::nullopt;
    return t;
  }
  if (s[pos] == 'T') {
    ++pos;
  } else if (s[pos] == ' ') {
    while (pos < s.size() && s[pos] == ' ') ++pos;
  } else {
    return std::nullopt;
  }
  if (!ReadTimeOfDay(s, pos, t) || pos != s.size()) return std::nullopt;
  return t;
}

std::optional<double> ParseDouble(std::string_view text) {
  std::string_view s = Trim(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<std::int64_t> ParseInt64(std::string_view text) {
  std::string_view s = Trim(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  std::int64_t v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::string FormatDouble(double value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

std::string IsoDateTime(const TCivilTime& t) {
  char buf[19];
  char* p = Put4(buf, t.Year);
  *p++ = '-';
  p = Put2(p, t.Month);
  *p++ = '-';
  p = Put2(p, t.Day);
  *p++ = ' ';
  p = Put2(p, t.Hour);
  *p++ = ':';
  p = Put2(p, t.Minute);
  *p++ = ':';
  p = Put2(p, t.Second);
  return std::string(buf, p);
}

std::string IsoDate(const TCivilTime& t) { return IsoDateTime(t).substr(0, 10); }
std::string IsoTime(const TCivilTime& t) { return IsoDateTime(t).substr(11); }

std::optional<TValue> ParseValueText(std::string_view text, TParamType type) {
  TValue v;
  v.Type = type;
  switch (type) {
    case TParamType::Number:
    case TParamType::Currency: {
      auto d = ParseDouble(text);
      if (!d) return std::nullopt;
      v.Number = *d;
      return v;
    }
    case TParamType::Integer:
    case TParamType::Long:
    case TParamType::Color: {
      auto i = ParseInt64(text);
      if (!i || *i < INT32_MIN || *i > INT32_MAX) return std::nullopt;
      v.Integer = *i;
      return v;
    }
    case TParamType::Boolean: {
      std::string_view s = Trim(text);
      if (s.empty()) return std::nullopt;
      std::string u;
      for (char c : s) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (u == "TRUE" || u == "T" || u == "YES" || u == "Y" || u == "1") {
        v.Integer = 1;
      } else if (u == "FALSE" || u == "F" || u == "NO" || u == "N" || u == "0") {
        v.Integer = 0;
      } else {
        return std::nullopt;
      }
      return v;
    }
    case TParamType::Date: {
      // Whatever follows a blank after the day (a time) is ignored, so a
      // date-time text also gives a date.
      std::string_view s = Trim(text);
      std::size_t pos = 0;
      if (!ReadDate(s, pos, v.Time)) return std::nullopt;
      if (pos != s.size() && s[pos] != ' ' && s[pos] != 'T') return std::nullopt;
      return v;
    }
    case TParamType::DateTime: {
      auto t = ParseCivilTime(text, false);
      if (!t) return std::nullopt;
      v.Time = *t;
      return v;
    }
    case TParamType::Time: {
      std::string_view s = Trim(text);
      std::size_t pos = 0;
      if (!ReadTimeOfDay(s, pos, v.Time) || pos != s.size()) return std::nullopt;
      return v;
    }
    case TParamType::Char: {
      std::size_t n = Utf8CharLength(text);
      if (n == 0) return std::nullopt;
      v.Text = std::string(text.substr(0, n));
      return v;
    }
    case TParamType::String:
    case TParamType::StringHandle:
      v.Text = std::string(text);
      return v;
    case TParamType::NoValue:
      return std::nullopt;
  }
  return std::nullopt;
}

std::string FormatValueText(const TValue& v) {
  char buf[32];
  switch (v.Type) {
    case TParamType::Number:
    case TParamType::Currency:
      return FormatDouble(v.Number);
    case TParamType::Integer:
    case TParamType::Long:
    case TParamType::Color:
      return std::to_string(v.Integer);
    case TParamType::Boolean:
      return v.Integer ? "True" : "False";
    case TParamType::Date:
      std::snprintf(buf, sizeof buf, "%04d,%02d,%02d", v.Time.Year, v.Time.Month, v.Time.Day);
      return buf;
    case TParamType::DateTime:
      std::snprintf(buf, sizeof buf, "%04d,%02d,%02d %02d:%02d:%02d", v.Time.Year, v.Time.Month,
                    v.Time.Day, v.Time.Hour, v.Time.Minute, v.Time.Second);
      return buf;
    case TParamType::Time:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", v.Time.Hour, v.Time.Minute, v.Time.Second);
      return buf;
    case TParamType::Char:
    case TParamType::String:
    case TParamType::StringHandle:
      return v.Text;
    case TParamType::NoValue:
      return {};
  }
  return {};
}

int CompareValues(const TValue& a, const TValue& b) {
  switch (a.Type) {
    case TParamType::Number:
    case TParamType::Currency:
      return a.Number < b.Number ? -1 : a.Number > b.Number ? 1 : 0;
    case TParamType::Integer:
    case TParamType::Long:
    case TParamType::Color:
    case TParamType::Boolean:
      return a.Integer < b.Integer ? -1 : a.Integer > b.Integer ? 1 : 0;
    case TParamType::Date: {
      TCivilTime x = a.Time, y = b.Time;
      x.Hour = x.Minute = x.Second = y.Hour = y.Minute = y.Second = 0;
      auto c = x <=> y;
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    case TParamType::Time: {
      TCivilTime x = a.Time, y = b.Time;
      x.Year = x.Month = x.Day = y.Year = y.Month = y.Day = 0;
      auto c = x <=> y;
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    case TParamType::DateTime: {
      auto c = a.Time <=> b.Time;
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    default: {
      int c = a.Text.compare(b.Text);
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
  }
}

bool SameValue(const TValue& a, const TValue& b) { return a.Type == b.Type && CompareValues(a, b) == 0; }

void ToValueInfo(const TValue& v, REValueInfo& info) {
  std::uint16_t size = info.StructSize;
  std::memset(&info, 0, sizeof info);
  info.StructSize = size;
  info.ValueType = static_cast<std::uint16_t>(v.Type);
  switch (v.Type) {
    case TParamType::Number:
    case TParamType::Currency:
      info.viNumber = v.Number;
      break;
    case TParamType::Integer:
    case TParamType::Long:
    case TParamType::Color:
      info.viInteger = static_cast<std::int32_t>(v.Integer);
      break;
    case TParamType::Boolean:
      info.viBoolean = v.Integer ? 1 : 0;
      break;
    case TParamType::Date:
      info.viDate[0] = static_cast<std::int16_t>(v.Time.Year);
      info.viDate[1] = static_cast<std::int16_t>(v.Time.Month);
      info.viDate[2] = static_cast<std::int16_t>(v.Time.Day);
      break;
    case TParamType::DateTime:
      info.viDateTime[0] = static_cast<std::int16_t>(v.Time.Year);
      info.viDateTime[1] = static_cast<std::int16_t>(v.Time.Month);
      info.viDateTime[2] = static_cast<std::int16_t>(v.Time.Day);
      info.viDateTime[3] = static_cast<std::int16_t>(v.Time.Hour);
      info.viDateTime[4] = static_cast<std::int16_t>(v.Time.Minute);
      info.viDateTime[5] = static_cast<std::int16_t>(v.Time.Second);
      break;
    case TParamType::Time:
      info.viTime[0] = static_cast<std::int16_t>(v.Time.Hour);
      info.viTime[1] = static_cast<std::int16_t>(v.Time.Minute);
      info.viTime[2] = static_cast<std::int16_t>(v.Time.Second);
      break;
    case TParamType::Char:
      info.viChar = v.Text.empty() ? '\0' : v.Text[0];
      CopyCText(info.viString, sizeof info.viString, v.Text);
      break;
    case TParamType::String:
    case TParamType::StringHandle:
      CopyCText(info.viString, sizeof info.viString, v.Text);
      break;
    case TParamType::NoValue:
      break;
  }
}

std::optional<TValue> FromValueInfo(const REValueInfo& info) {
  if (info.ValueType >= kParamTypeCount) return std::nullopt;
  TValue v;
  v.Type = static_cast<TParamType>(info.ValueType);
  switch (v.Type) {
    case TParamType::Number:
    case TParamType::Currency:
      if (!std::isfinite(info.viNumber)) return std::nullopt;
      v.Number = info.viNumber;
      return v;
    case TParamType::Integer:
    case TParamType::Long:
    case TParamType::Color:
      v.Integer = info.viInteger;
      return v;
    case TParamType::Boolean:
      v.Integer = info.viBoolean ? 1 : 0;
      return v;
    case TParamType::Date:
      v.Time.Year = info.viDate[0];
      v.Time.Month = info.viDate[1];
      v.Time.Day = info.viDate[2];
      if (!IsValidDate(v.Time.Year, v.Time.Month, v.Time.Day)) return std::nullopt;
      return v;
    case TParamType::DateTime:
      v.Time = {info.viDateTime[0], info.viDateTime[1], info.viDateTime[2],
                info.viDateTime[3], info.viDateTime[4], info.viDateTime[5]};
      if (!IsValidDate(v.Time.Year, v.Time.Month, v.Time.Day) || v.Time.Hour < 0 ||
          v.Time.Hour > 23 || v.Time.Minute < 0 || v.Time.Minute > 59 || v.Time.Second < 0 ||
          v.Time.Second > 59)
        return std::nullopt;
      return v;
    case TParamType::Time:
      v.Time.Hour = info.viTime[0];
      v.Time.Minute = info.viTime[1];
      v.Time.Second = info.viTime[2];
      if (v.Time.Hour < 0 || v.Time.Hour > 23 || v.Time.Minute < 0 || v.Time.Minute > 59 ||
          v.Time.Second < 0 || v.Time.Second > 59)
        return std::nullopt;
      return v;
    case TParamType::Char: {
      // viString carries a character that needs more than one byte.
      const void* nul = std::memchr(info.viString, '\0', sizeof info.viString);
      if (nul && info.viString[0] != '\0') {
        std::string_view s(info.viString);
        v.Text = std::string(s.substr(0, Utf8CharLength(s)));
        return v;
      }
      if (info.viChar == '\0') return std::nullopt;
      v.Text = std::string(1, info.viChar);
      return v;
    }
    case TParamType::String:
    case TParamType::StringHandle: {
      const void* nul = std::memchr(info.viString, '\0', sizeof info.viString);
      if (!nul) return std::nullopt;
      v.Text = std::string(info.viString);
      return v;
    }
    case TParamType::NoValue:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace mv::rpe
