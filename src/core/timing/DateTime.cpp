#include "core/timing/DateTime.h"

#include "core/timing/Clock.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace mv {

namespace {

constexpr std::int64_t kDaysFrom1970To1899 = 25569;  // TDateTime of 01/01/1970
constexpr std::int64_t kMsPerDay = 86400000;

constexpr std::array<const char*, 12> kShortMonthNames = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 12> kLongMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
// Indexed by ISO weekday - 1.
constexpr std::array<const char*, 7> kShortDayNames = {"Mon", "Tue", "Wed", "Thu",
                                                       "Fri", "Sat", "Sun"};
constexpr std::array<const char*, 7> kLongDayNames = {
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

constexpr char kDateSeparator = '/';
constexpr char kTimeSeparator = ':';

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Days since 01/01/1970 of a proleptic Gregorian date (civil-from-days
// arithmetic on 400-year eras).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = FloorDiv(y, 400);
    const unsigned yoe = static_cast<unsigned>(y - era * 400);                  // [0, 399]
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;       // [0, 365]
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;                 // [0, 146096]
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const unsigned doe = static_cast<unsigned>(z - era * 146097);                // [0, 146096]
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
    const unsigned mp = (5 * doy + 2) / 153;                                     // [0, 11]
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

struct TDecoded {
    std::int64_t Year;
    int Month, Day, Hour, Minute, Second, MSec;
    int IsoWeekday;
};

TDecoded Decode(TDateTime t) {
    if (!std::isfinite(t) || std::fabs(t) > 1e9)
        throw EConvertError("Invalid date-time value " + std::to_string(t));
    const auto ms = static_cast<std::int64_t>(std::llround(t * kMSecsPerDay));
    const std::int64_t day = FloorDiv(ms, kMsPerDay);
    const std::int64_t msOfDay = ms - day * kMsPerDay;
    TDecoded r{};
    CivilFromDays(day - kDaysFrom1970To1899, r.Year, r.Month, r.Day);
    r.Hour = static_cast<int>(msOfDay / 3600000);
    r.Minute = static_cast<int>(msOfDay / 60000 % 60);
    r.Second = static_cast<int>(msOfDay / 1000 % 60);
    r.MSec = static_cast<int>(msOfDay % 1000);
    // 01/01/1970 was a Thursday (ISO 4).
    r.IsoWeekday = static_cast<int>((day - kDaysFrom1970To1899 + 3) % 7 + 7) % 7 + 1;
    return r;
}

void AppendNumber(std::string& out, std::int64_t value, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", digits, static_cast<long long>(value));
    out += buf;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view prefix) {
    if (text.size() - pos < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[pos + i]) != Lower(prefix[i])) return false;
    return true;
}

// Counts how many times the letter at pos repeats (case-insensitive).
std::size_t RunLength(std::string_view p, std::size_t pos) {
    const char c = Lower(p[pos]);
    std::size_t n = 1;
    while (pos + n < p.size() && Lower(p[pos + n]) == c) ++n;
    return n;
}

// True when an am/pm specifier appears in the pattern at or after pos (outside quotes).
bool HasAmPmAfter(std::string_view p, std::size_t pos) {
    char quote = 0;
    for (std::size_t i = pos; i < p.size(); ++i) {
        const char c = p[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            continue;
        }
        if (StartsWithNoCase(p, i, "am/pm") || StartsWithNoCase(p, i, "a/p") ||
            StartsWithNoCase(p, i, "ampm"))
            return true;
    }
    return false;
}

void FormatInto(std::string& out, std::string_view p, const TDecoded& v, int depth) {
    if (depth > 2) return;  // "c", "ddddd" and "t" expand to fixed patterns only
    bool lastWasHour = false;
    std::size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        const char lc = Lower(c);
        if (c == '"' || c == '\'') {
            const std::size_t end = p.find(c, i + 1);
            const std::size_t stop = end == std::string_view::npos ? p.size() : end;
            out.append(p.substr(i + 1, stop - i - 1));
            i = end == std::string_view::npos ? p.size() : end + 1;
            continue;
        }
        if (StartsWithNoCase(p, i, "am/pm")) {
            out += v.Hour < 12 ? "AM" : "PM";
            i += 5;
            continue;
        }
        if (StartsWithNoCase(p, i, "a/p")) {
            out += v.Hour < 12 ? "A" : "P";
            i += 3;
            continue;
        }
        if (StartsWithNoCase(p, i, "ampm")) {
            out += v.Hour < 12 ? "AM" : "PM";
            i += 4;
            continue;
        }
        std::size_t n = 1;
        switch (lc) {
        case 'y':
            n = RunLength(p, i);
            if (n <= 2)
                AppendNumber(out, ((v.Year % 100) + 100) % 100, 2);
            else
                AppendNumber(out, v.Year, 4);
            lastWasHour = false;
            break;
        case 'm':
            n = RunLength(p, i);
            if (lastWasHour && n <= 2) {
                AppendNumber(out, v.Minute, static_cast<int>(n));
            } else if (n <= 2) {
                AppendNumber(out, v.Month, static_cast<int>(n));
            } else if (n == 3) {
                out += kShortMonthNames[v.Month - 1];
            } else {
                out += kLongMonthNames[v.Month - 1];
                n = 4;
            }
            lastWasHour = false;
            break;
        case 'd':
            n = RunLength(p, i);
            if (n <= 2) {
                AppendNumber(out, v.Day, static_cast<int>(n));
            } else if (n == 3) {
                out += kShortDayNames[v.IsoWeekday - 1];
            } else if (n == 4) {
                out += kLongDayNames[v.IsoWeekday - 1];
            } else if (n == 5) {
                FormatInto(out, "mm/dd/yyyy", v, depth + 1);
            } else {
                FormatInto(out, "dddd, mmmm dd, yyyy", v, depth + 1);
                n = 6;
            }
            lastWasHour = false;
            break;
        case 'h': {
            n = std::min<std::size_t>(RunLength(p, i), 2);
            int h = v.Hour;
            if (HasAmPmAfter(p, i)) {
                h %= 12;
                if (h == 0) h = 12;
            }
            AppendNumber(out, h, static_cast<int>(n));
            lastWasHour = true;
            break;
        }
        case 'n':
            n = std::min<std::size_t>(RunLength(p, i), 2);
            AppendNumber(out, v.Minute, static_cast<int>(n));
            lastWasHour = false;
            break;
        case 's':
            n = std::min<std::size_t>(RunLength(p, i), 2);
            AppendNumber(out, v.Second, static_cast<int>(n));
            lastWasHour = false;
            break;
        case 'z':
            n = RunLength(p, i);
            if (n >= 3) {
                n = 3;
                AppendNumber(out, v.MSec, 3);
            } else {
                n = 1;
                AppendNumber(out, v.MSec, 1);
            }
            lastWasHour = false;
            break;
        case 't':
            n = std::min<std::size_t>(RunLength(p, i), 2);
            FormatInto(out, n == 1 ? "hh:nn" : "hh:nn:ss", v, depth + 1);
            lastWasHour = false;
            break;
        case 'c':
            FormatInto(out, "mm/dd/yyyy", v, depth + 1);
            // Milliseconds do not count: the time shown would read 00:00:00.
            if (v.Hour != 0 || v.Minute != 0 || v.Second != 0) {
                out += ' ';
                FormatInto(out, "hh:nn:ss", v, depth + 1);
            }
            lastWasHour = false;
            break;
        case '/':
            out += kDateSeparator;
            break;
        case ':':
            out += kTimeSeparator;
            break;
        default:
            out += c;
            break;
        }
        i += n;
    }
}

// ---- reading ------------------------------------------------------------

class TScanner {
public:
    explicit TScanner(std::string_view text) : FText(text) {}

    void SkipBlanks() {
        while (FPos < FText.size() && FText[FPos] == ' ') ++FPos;
    }
    bool AtEnd() const { return FPos >= FText.size(); }
    std::size_t Pos() const { return FPos; }
    void Seek(std::size_t pos) { FPos = pos; }

    // Unsigned decimal number of at most 9 digits; `digits` gets how many were read.
    bool Number(int& value, int& digits) {
        value = 0;
        digits = 0;
        while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9') {
            if (digits == 9) return false;
            value = value * 10 + (FText[FPos] - '0');
            ++digits;
            ++FPos;
        }
        return digits > 0;
    }
    bool Char(char c) {
        if (FPos < FText.size() && FText[FPos] == c) {
            ++FPos;
            return true;
        }
        return false;
    }
    // "AM"/"PM"/"A"/"P" (any case); -1 when none, else 0 (AM) or 12 (PM).
    int AmPm() {
        const std::size_t save = FPos;
        SkipBlanks();
        for (const auto& [word, base] : {std::pair{"am", 0}, std::pair{"pm", 12}, std::pair{"a", 0},
                                         std::pair{"p", 12}}) {
            if (StartsWithNoCase(FText, FPos, word)) {
                FPos += std::string_view(word).size();
                return base;
            }
        }
        FPos = save;
        return -1;
    }

private:
    std::string_view FText;
    std::size_t FPos = 0;
};

// Hours ":" minutes [":" seconds ["." ms]] with an optional AM/PM marker before
// or after. Leaves the scanner after the time.
bool ScanTime(TScanner& s, TDateTime& result) {
    s.SkipBlanks();
    int ampm = s.AmPm();
    s.SkipBlanks();
    int hour = 0, minute = 0, second = 0, msec = 0, digits = 0;
    if (!s.Number(hour, digits)) return false;
    if (!s.Char(kTimeSeparator)) return false;
    if (!s.Number(minute, digits)) return false;
    if (s.Char(kTimeSeparator)) {
        if (!s.Number(second, digits)) return false;
        if (s.Char('.')) {
            if (!s.Number(msec, digits) || digits > 3) return false;
            for (; digits < 3; ++digits) msec *= 10;
        }
    }
    if (ampm < 0) ampm = s.AmPm();
    if (ampm >= 0) {
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + ampm;
    }
    if (hour > 23 || minute > 59 || second > 59) return false;
    result = EncodeTime(hour, minute, second, msec);
    return true;
}

// The order of the day, month and year fields in a date pattern, as the
// letters 'd', 'm', 'y', and the separator between them.
struct TDateOrder {
    char Fields[3] = {'m', 'd', 'y'};
    char Separator = kDateSeparator;
};

TDateOrder DateOrderOf(std::string_view pattern) {
    TDateOrder order;
    int found = 0;
    bool separatorSeen = false;
    for (std::size_t i = 0; i < pattern.size() && found < 3;) {
        const char lc = Lower(pattern[i]);
        if (lc == 'h' || lc == 'n' || lc == 's') break;
        if (lc == 'd' || lc == 'm' || lc == 'y') {
            order.Fields[found++] = lc;
            i += RunLength(pattern, i);
            continue;
        }
        if (found > 0 && !separatorSeen && pattern[i] != ' ') {
            order.Separator = pattern[i];
            separatorSeen = true;
        }
        ++i;
    }
    if (found < 3) return TDateOrder{};
    return order;
}

// A year written with one or two digits lies within 50 years of the current year.
int ExpandTwoDigitYear(int year) {
    int y, m, d;
    DecodeDate(CurrentClock().Now(), y, m, d);
    const int windowStart = y - 50;
    int result = year + windowStart / 100 * 100;
    if (result < windowStart) result += 100;
    return result;
}

bool ScanDate(TScanner& s, const TDateOrder& order, TDateTime& result) {
    s.SkipBlanks();
    int values[3] = {0, 0, 0};
    int yearDigits = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && !s.Char(order.Separator)) return false;
        int digits = 0;
        if (!s.Number(values[i], digits)) return false;
        if (order.Fields[i] == 'y') yearDigits = digits;
    }
    int year = 0, month = 0, day = 0;
    for (int i = 0; i < 3; ++i) {
        switch (order.Fields[i]) {
        case 'y': year = values[i]; break;
        case 'm': month = values[i]; break;
        default: day = values[i]; break;
        }
    }
    if (yearDigits <= 2) year = ExpandTwoDigitYear(year);
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return false;
    result = EncodeDate(year, month, day);
    return true;
}

std::optional<TDateTime> ScanDateTime(std::string_view text, const TDateOrder& order) {
    TScanner s(text);
    TDateTime date = 0;
    if (ScanDate(s, order, date)) {
        s.SkipBlanks();
        if (s.AtEnd()) return date;
        TDateTime time = 0;
        if (!ScanTime(s, time)) return std::nullopt;
        s.SkipBlanks();
        if (!s.AtEnd()) return std::nullopt;
        return date + time;
    }
    return std::nullopt;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) throw EConvertError("Invalid month " + std::to_string(month));
    return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

TDateTime EncodeDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        throw EConvertError("Invalid date " + std::to_string(month) + "/" + std::to_string(day) +
                            "/" + std::to_string(year));
    return static_cast<TDateTime>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kDaysFrom1970To1899);
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        throw EConvertError("Invalid time " + std::to_string(hour) + ":" + std::to_string(minute) +
                            ":" + std::to_string(second) + "." + std::to_string(msec));
    return (((hour * 60 + minute) * 60 + second) * 1000 + msec) / kMSecsPerDay;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int msec) {
    return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, msec);
}

void DecodeDate(TDateTime t, int& year, int& month, int& day) {
    const TDecoded v = Decode(t);
    year = static_cast<int>(v.Year);
    month = v.Month;
    day = v.Day;
}

void DecodeTime(TDateTime t, int& hour, int& minute, int& second, int& msec) {
    const TDecoded v = Decode(t);
    hour = v.Hour;
    minute = v.Minute;
    second = v.Second;
    msec = v.MSec;
}

void DecodeDateTime(TDateTime t, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec) {
    const TDecoded v = Decode(t);
    year = static_cast<int>(v.Year);
    month = v.Month;
    day = v.Day;
    hour = v.Hour;
    minute = v.Minute;
    second = v.Second;
    msec = v.MSec;
}

int DayOfWeek(TDateTime t) { return Decode(t).IsoWeekday; }

int DayOfWeek(int year, int month, int day) {
    const std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<int>(((days + 3) % 7 + 7) % 7) + 1;
}

TDateTime DateOf(TDateTime t) { return std::floor(t); }
TDateTime TimeOf(TDateTime t) { return t - std::floor(t); }

std::string FormatDateTime(std::string_view pattern, TDateTime t) {
    const TDecoded v = Decode(t);
    std::string out;
    FormatInto(out, pattern, v, 0);
    return out;
}

std::string DateTimeToStr(TDateTime t) { return FormatDateTime("c", t); }
std::string DateToStr(TDateTime t) { return FormatDateTime("mm/dd/yyyy", t); }
std::string TimeToStr(TDateTime t) { return FormatDateTime("hh:nn:ss", t); }

std::optional<TDateTime> TryStrToDateTime(std::string_view text) {
    if (auto dt = ScanDateTime(text, TDateOrder{})) return dt;
    return TryStrToTime(text);
}

TDateTime StrToDateTimeFmt(std::string_view text, std::string_view pattern) {
    if (auto dt = ScanDateTime(text, DateOrderOf(pattern))) return *dt;
    throw EConvertError(Quoted(text) + " is not a valid date and time");
}

std::optional<TDateTime> TryStrToTime(std::string_view text) {
    TScanner s(text);
    TDateTime t = 0;
    if (!ScanTime(s, t)) return std::nullopt;
    s.SkipBlanks();
    if (!s.AtEnd()) return std::nullopt;
    return t;
}

TDateTime StrToTime(std::string_view text) {
    if (auto t = TryStrToTime(text)) return *t;
    throw EConvertError(Quoted(text) + " is not a valid time");
}

}  // namespace mv
