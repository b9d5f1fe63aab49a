#include "core/timing/TimeExpression.h"

#include "core/timing/Clock.h"
#include "core/timing/TimeScaleDetail.h"

#include <charconv>
#include <cstdint>

namespace mv {

namespace {

constexpr char kDateSeparator = '/';
constexpr char kTimeSeparator = ':';

// Walks a text field by field; each field ends at its terminator character.
class TFieldReader {
public:
    explicit TFieldReader(std::string_view text) : FText(text) {}

    // The next field as a signed 32-bit decimal integer; anything else
    // (empty, a blank inside or after the digits, letters, out of range) is 0.
    // Once the text is used up, every field is 0.
    std::int64_t Next(char terminator) {
        if (FExhausted) return 0;
        while (FPos < FText.size() && FText[FPos] == ' ') ++FPos;
        std::string_view field;
        const std::size_t end = FText.find(terminator, FPos);
        if (end == std::string_view::npos) {
            field = FText.substr(std::min(FPos, FText.size()));
            FExhausted = true;
        } else {
            field = FText.substr(FPos, end - FPos);
            FPos = end + 1;
        }
        return ToInt(field);
    }

private:
    static std::int64_t ToInt(std::string_view field) {
        if (!field.empty() && field.front() == '+') {
            field.remove_prefix(1);
            if (!field.empty() && (field.front() == '-' || field.front() == '+')) return 0;
        }
        std::int32_t value = 0;
        const char* first = field.data();
        const char* last = field.data() + field.size();
        const auto [ptr, ec] = std::from_chars(first, last, value);
        if (ec != std::errc() || ptr != last || field.empty()) return 0;
        return value;
    }

    std::string_view FText;
    std::size_t FPos = 0;
    bool FExhausted = false;
};

// Six numbers in reading order: month, day, year, hour, minute, second.
struct TSixFields {
    std::int64_t Month = 0, Day = 0, Year = 0, Hour = 0, Minute = 0, Second = 0;
};

// "m/d/y h:n:s"; the date part exists only when the text holds a "/".
TSixFields ReadSixFields(std::string_view text) {
    TFieldReader reader(text);
    TSixFields f;
    if (text.find(kDateSeparator) != std::string_view::npos) {
        f.Month = reader.Next(kDateSeparator);
        f.Day = reader.Next(kDateSeparator);
        f.Year = reader.Next(' ');
    }
    f.Hour = reader.Next(kTimeSeparator);
    f.Minute = reader.Next(kTimeSeparator);
    f.Second = reader.Next(' ');
    return f;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Time parts plus offset on the scale. Month overflow carries into the year
// first; then the days are added linearly through the day number.
EpochSeconds Compose(const TSixFields& parts, const TSixFields& offset) {
    const std::int64_t t = parts.Month + offset.Month;
    const std::int64_t year = parts.Year + offset.Year + FloorDiv(t - 1, 12);
    const std::int64_t month = (t - 1) - FloorDiv(t - 1, 12) * 12 + 1;  // [1, 12]
    const std::int64_t n = detail::DayNumberWide(year, month, parts.Day + offset.Day);
    return MakeEpochSeconds(n * 86400 + parts.Hour * 3600 + parts.Minute * 60 + parts.Second +
                            offset.Hour * 3600 + offset.Minute * 60 + offset.Second);
}

std::string UpperTrimmedRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

void ApplyKeyword(const std::string& keyword, TSixFields& p, TSixFields& o) {
    if (keyword == "NOW") return;
    p.Minute = 0;
    p.Second = 0;
    const std::int64_t d = DayOfWeek(static_cast<int>(p.Year), static_cast<int>(p.Month),
                                     static_cast<int>(p.Day));  // ISO, Monday = 1
    struct TRule {
        const char* Word;
        bool Midnight;
        bool FirstOfMonth;
        bool FirstOfYear;
        std::int64_t Years, Months, Days, Hours;
        std::int64_t WeekdayFactor;  // days += WeekdayFactor * d
    };
    static constexpr TRule kRules[] = {
        {"NEXT YEAR", true, true, true, 1, 0, 0, 0, 0},
        {"NEXT MONTH", true, true, false, 0, 1, 0, 0, 0},
        {"NEXT WEEK", true, false, false, 0, 0, 7, 0, -1},
        {"TOMORROW", true, false, false, 0, 0, 1, 0, 0},
        {"NEXT HOUR", false, false, false, 0, 0, 0, 1, 0},
        {"LAST 2 HOURS", false, false, false, 0, 0, 0, -2, 0},
        {"LAST 3 HOURS", false, false, false, 0, 0, 0, -3, 0},
        {"LAST 6 HOURS", false, false, false, 0, 0, 0, -6, 0},
        {"LAST 12 HOURS", false, false, false, 0, 0, 0, -12, 0},
        {"LAST HOUR", false, false, false, 0, 0, 0, -1, 0},
        {"TODAY", true, false, false, 0, 0, 0, 0, 0},
        {"YESTERDAY", true, false, false, 0, 0, -1, 0, 0},
        {"LAST 2 DAYS", true, false, false, 0, 0, -2, 0, 0},
        {"LAST 3 DAYS", true, false, false, 0, 0, -3, 0, 0},
        {"LAST 5 DAYS", true, false, false, 0, 0, -5, 0, 0},
        {"THIS WEEK", true, false, false, 0, 0, 0, 0, -1},
        {"LAST WEEK", true, false, false, 0, 0, -7, 0, -1},
        {"THIS MONTH", true, true, false, 0, 0, 0, 0, 0},
        {"LAST MONTH", true, true, false, 0, -1, 0, 0, 0},
        {"THIS YEAR", true, true, true, 0, 0, 0, 0, 0},
        {"LAST YEAR", true, true, true, -1, 0, 0, 0, 0},
    };
    for (const TRule& r : kRules) {
        if (keyword != r.Word) continue;
        if (r.Midnight) p.Hour = 0;
        if (r.FirstOfMonth) p.Day = 1;
        if (r.FirstOfYear) p.Month = 1;
        o.Year += r.Years;
        o.Month += r.Months;
        o.Day += r.Days + r.WeekdayFactor * d;
        o.Hour += r.Hours;
        return;
    }
    // Any other word, the empty word and "THIS HOUR": the start of the current hour.
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

EpochSeconds EvalTimeExpression(std::string_view text, EpochSeconds reference) {
    const std::size_t start = text.find_first_not_of(' ');
    const std::string_view expr = start == std::string_view::npos ? std::string_view{}
                                                                  : text.substr(start);
    std::size_t signPos = expr.find('+');
    if (signPos == std::string_view::npos) signPos = expr.find('-');

    TSixFields offset;
    std::string_view keywordPart = expr;
    if (signPos != std::string_view::npos) {
        offset = ReadSixFields(expr.substr(signPos + 1));
        keywordPart = expr.substr(0, signPos);
        if (expr[signPos] == '-') {
            for (std::int64_t* f : {&offset.Month, &offset.Day, &offset.Year, &offset.Hour,
                                    &offset.Minute, &offset.Second})
                *f = -*f;
        }
    }

    TSixFields parts;
    if (!keywordPart.empty() && keywordPart.front() >= '0' && keywordPart.front() <= '9') {
        parts = ReadSixFields(keywordPart);
    } else {
        const std::string keyword = UpperTrimmedRight(keywordPart);
        if (reference.Value == 0) reference = NowEpochSeconds();
        const TTimeParts r = SplitEpochSeconds(reference);
        parts = {r.Month, r.Day, r.Year, r.Hour, r.Minute, r.Second};
        ApplyKeyword(keyword, parts, offset);
    }
    return Compose(parts, offset);
}

TReportTimeRange GetReportTimeRange(const TReportTimeRangeSpec& group) {
    try {
        auto evaluate = [&](const std::string& text, TDateTime absolute) {
            if (EqualsNoCase(text, kAsEnteredBelow)) return absolute;
            return EpochSecondsToDateTime(
                EvalTimeExpression(text, DateTimeToEpochSeconds(group.PeriodStart)));
        };
        TReportTimeRange range;
        range.From = evaluate(group.TimeFrom, group.AbsTimeFrom);
        range.To = evaluate(group.TimeTo, group.AbsTimeTo);
        return range;
    } catch (const std::exception&) {
        const TDateTime now = CurrentClock().Now();
        return {DateOf(now), now};
    }
}

}  // namespace mv
