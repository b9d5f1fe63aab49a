#include "engine/RpeValueText.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace mv::rpe {

namespace {

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1..maxDigits digits at s[pos].
bool ReadNumber(std::string_view s, size_t& pos, size_t maxDigits, int& value)
{
    size_t start = pos;
    value = 0;
    while (pos < s.size() && IsDigit(s[pos]) && pos - start < maxDigits)
        value = value * 10 + (s[pos++] - '0');
    return pos > start && (pos >= s.size() || !IsDigit(s[pos]));
}

bool Expect(std::string_view s, size_t& pos, char c)
{
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

bool ValidDate(int y, int m, int d)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

bool ValidTime(int h, int n, int s) { return h <= 23 && n <= 59 && s <= 59; }

bool ParseDate(std::string_view s, size_t& pos, int16_t out[3])
{
    int y, m, d;
    if (!ReadNumber(s, pos, 4, y) || !Expect(s, pos, ',') || !ReadNumber(s, pos, 2, m) ||
        !Expect(s, pos, ',') || !ReadNumber(s, pos, 2, d) || !ValidDate(y, m, d))
        return false;
    out[0] = static_cast<int16_t>(y), out[1] = static_cast<int16_t>(m), out[2] = static_cast<int16_t>(d);
    return true;
}

bool ParseTime(std::string_view s, size_t& pos, int16_t out[3])
{
    int h, n, sec;
    if (!ReadNumber(s, pos, 2, h) || !Expect(s, pos, ':') || !ReadNumber(s, pos, 2, n) ||
        !Expect(s, pos, ':') || !ReadNumber(s, pos, 2, sec) || !ValidTime(h, n, sec))
        return false;
    out[0] = static_cast<int16_t>(h), out[1] = static_cast<int16_t>(n), out[2] = static_cast<int16_t>(sec);
    return true;
}

std::optional<double> ParseNumber(std::string_view text)
{
    text = TrimBlanks(text);
    bool digit = false, negative = false;
    int dots = 0;
    std::string plain;
    for (char c : text) {
        if (IsDigit(c)) digit = true;
        else if (c == '.') ++dots;
        else if (c == '$') continue;
        else if (c == '(' || c == ')') {
            if (c == '(') negative = !negative;
            continue;
        } else if (c != '-') return std::nullopt;
        plain += c;
    }
    if (!digit || dots > 1) return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    if (ec != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
    return negative ? -v : v;
}

std::optional<int32_t> ParseWhole(std::string_view text)
{
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int32_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}

size_t Utf8Length(unsigned char lead)
{
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;  // a stray byte counts as one character
}

REValueInfo EmptyValue(uint16_t valueType)
{
    REValueInfo v{};
    v.StructSize = sizeof(REValueInfo);
    v.ValueType = valueType;
    return v;
}

}  // namespace

std::optional<REValueInfo> TextToValue(std::string_view text, uint16_t valueType)
{
    REValueInfo v = EmptyValue(valueType);
    switch (valueType) {
    case RE_PF_NUMBER:
    case RE_PF_CURRENCY: {
        std::optional<double> n = ParseNumber(text);
        if (!n) return std::nullopt;
        v.viNumber = *n;
        return v;
    }
    case RE_PF_BOOLEAN: {
        std::string_view t = TrimBlanks(text);
        if (t.empty()) return std::nullopt;
        char c = t.front();
        v.viBoolean = (c == '1' || c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
        return v;
    }
    case RE_PF_DATE: {
        std::string_view t = TrimBlanks(text);
        size_t pos = 0;
        if (!ParseDate(t, pos, v.viDate)) return std::nullopt;
        if (pos < t.size() && t[pos] != ' ') return std::nullopt;
        return v;
    }
    case RE_PF_DATETIME: {
        std::string_view t = TrimBlanks(text);
        size_t pos = 0;
        if (!ParseDate(t, pos, v.viDateTime)) return std::nullopt;
        if (pos >= t.size() || t[pos] != ' ') return std::nullopt;
        while (pos < t.size() && t[pos] == ' ') ++pos;
        if (!ParseTime(t, pos, v.viDateTime + 3)) return std::nullopt;
        if (pos < t.size() && t[pos] == '.') {
            ++pos;
            while (pos < t.size() && IsDigit(t[pos])) ++pos;
        }
        if (pos != t.size()) return std::nullopt;
        return v;
    }
    case RE_PF_TIME: {
        std::string_view t = TrimBlanks(text);
        size_t pos = 0;
        if (!ParseTime(t, pos, v.viTime) || pos != t.size()) return std::nullopt;
        return v;
    }
    case RE_PF_INTEGER:
    case RE_PF_LONG:
    case RE_PF_COLOR: {
        std::optional<int32_t> n = ParseWhole(text);
        if (!n) return std::nullopt;
        v.viInteger = *n;
        return v;
    }
    case RE_PF_CHAR:
        // The engine holds one byte: a character outside ASCII does not fit.
        if (text.empty() || static_cast<unsigned char>(text.front()) >= 0x80) return std::nullopt;
        v.viChar = text.front();
        return v;
    case RE_PF_STRING:
    case RE_PF_STRINGHANDLE:
        CopyText(v.viString, sizeof v.viString, text);
        return v;
    default:
        return std::nullopt;
    }
}

std::string ValueToText(const REValueInfo& v)
{
    char buf[64];
    switch (v.ValueType) {
    case RE_PF_NUMBER:
    case RE_PF_CURRENCY: {
        auto r = std::to_chars(buf, buf + sizeof buf, v.viNumber);
        return std::string(buf, r.ptr);
    }
    case RE_PF_BOOLEAN: return v.viBoolean ? "True" : "False";
    case RE_PF_DATE:
        std::snprintf(buf, sizeof buf, "%04d,%02d,%02d", v.viDate[0], v.viDate[1], v.viDate[2]);
        return buf;
    case RE_PF_DATETIME:
        return EngineDateTimeText(v.viDateTime[0], v.viDateTime[1], v.viDateTime[2], v.viDateTime[3],
                                  v.viDateTime[4], v.viDateTime[5]);
    case RE_PF_TIME:
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", v.viTime[0], v.viTime[1], v.viTime[2]);
        return buf;
    case RE_PF_INTEGER:
    case RE_PF_LONG:
    case RE_PF_COLOR: return std::to_string(v.viInteger);
    case RE_PF_CHAR: return v.viChar != '\0' ? std::string(1, v.viChar) : std::string();
    case RE_PF_STRING:
    case RE_PF_STRINGHANDLE: return FieldText(v.viString, sizeof v.viString);
    default: return std::string();
    }
}

bool SameValue(uint16_t valueType, std::string_view present, std::string_view text)
{
    if (present.empty()) return false;
    switch (valueType) {
    case RE_PF_DATE:
    case RE_PF_DATETIME:
    case RE_PF_TIME:
    case RE_PF_BOOLEAN: {
        std::optional<REValueInfo> a = TextToValue(present, valueType);
        std::optional<REValueInfo> b = TextToValue(text, valueType);
        if (!a || !b) return false;
        if (valueType == RE_PF_DATE) return std::memcmp(a->viDate, b->viDate, sizeof a->viDate) == 0;
        if (valueType == RE_PF_DATETIME)
            return std::memcmp(a->viDateTime, b->viDateTime, sizeof a->viDateTime) == 0;
        if (valueType == RE_PF_TIME) return std::memcmp(a->viTime, b->viTime, sizeof a->viTime) == 0;
        return (a->viBoolean != 0) == (b->viBoolean != 0);
    }
    default: return present == text;
    }
}

int ConversionErrorNumber(uint16_t valueType)
{
    switch (valueType) {
    case RE_PF_NUMBER:
    case RE_PF_INTEGER:
    case RE_PF_LONG:
    case RE_PF_COLOR: return 292;
    case RE_PF_CURRENCY: return 293;
    case RE_PF_BOOLEAN: return 294;
    case RE_PF_DATE: return 296;
    case RE_PF_DATETIME: return 298;
    case RE_PF_TIME: return 299;
    default: return 297;
    }
}

std::string ConversionErrorText(int number)
{
    switch (number) {
    case 292: return "Invalid Number Value";
    case 293: return "Invalid Currency Value";
    case 294: return "Invalid Boolean Value (Proper format: True/False)";
    case 296: return "Invalid Date Value (Proper format: YYYY,MM,DD)";
    case 298: return "Invalid DateTime Value (Proper format: YYYY,MM,DD HH:MM:SS)";
    case 299: return "Invalid Time Value (Proper format: HH:MM:SS)";
    default: return "Invalid String Value";
    }
}

std::string CutToCharacters(std::string_view text, size_t maxChars)
{
    size_t pos = 0;
    for (size_t n = 0; n < maxChars && pos < text.size(); ++n)
        pos += Utf8Length(static_cast<unsigned char>(text[pos]));
    return std::string(text.substr(0, std::min(pos, text.size())));
}

void CopyText(char* dest, size_t size, std::string_view text)
{
    if (size == 0) return;
    size_t n = std::min(text.size(), size - 1);
    if (n < text.size()) {
        // Step back over continuation bytes so no character is split.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(dest, text.data(), n);
    std::memset(dest + n, 0, size - n);
}

std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

std::string EngineDateTimeText(int year, int month, int day, int hour, int minute, int second)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d,%02d,%02d %02d:%02d:%02d", year, month, day, hour, minute,
                  second);
    return buf;
}

}  // namespace mv::rpe
