#include "core/timing/Clock.h"
#include "core/timing/DateTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace mv {
namespace {

namespace chr = std::chrono;

// TDateTime day 0 is 12/30/1899.
constexpr chr::sys_days kDay0 = chr::sys_days{chr::year{1899} / 12 / 30};

// Every day from 1900 to 2100 against std::chrono: encoding, decoding,
// weekday, leap years and month lengths.
TEST(DateTime, CalendarMatchesChronoEveryDay1900To2100) {
    const chr::sys_days first{chr::year{1900} / 1 / 1};
    const chr::sys_days last{chr::year{2100} / 12 / 31};
    for (chr::sys_days day = first; day <= last; day += chr::days{1}) {
        const chr::year_month_day ymd{day};
        const int y = static_cast<int>(ymd.year());
        const int m = static_cast<int>(static_cast<unsigned>(ymd.month()));
        const int d = static_cast<int>(static_cast<unsigned>(ymd.day()));
        const double expected = static_cast<double>((day - kDay0).count());
        ASSERT_EQ(EncodeDate(y, m, d), expected) << y << "-" << m << "-" << d;
        int yy, mm, dd;
        DecodeDate(expected + 0.75, yy, mm, dd);
        ASSERT_EQ(yy, y);
        ASSERT_EQ(mm, m);
        ASSERT_EQ(dd, d);
        ASSERT_EQ(DayOfWeek(expected + 0.5),
                  static_cast<int>(chr::weekday{day}.iso_encoding()));
        ASSERT_EQ(DayOfWeek(y, m, d), static_cast<int>(chr::weekday{day}.iso_encoding()));
        ASSERT_EQ(IsLeapYear(y), ymd.year().is_leap());
        ASSERT_EQ(DaysInMonth(y, m),
                  static_cast<int>(static_cast<unsigned>(
                      chr::year_month_day_last{ymd.year() / ymd.month() / chr::last}.day())));
    }
}

TEST(DateTime, EncodeRejectsInvalidParts) {
    constexpr struct { const char* Label; int Y, M, D; } kDates[] = {
        {"Feb 29 common year", 2023, 2, 29}, {"month 13", 2024, 13, 1}, {"day 0", 2024, 1, 0},
        {"year 0", 0, 1, 1},                 {"year 10000", 10000, 1, 1}, {"April 31", 2024, 4, 31},
    };
    for (const auto& c : kDates) {
        SCOPED_TRACE(c.Label);
        EXPECT_THROW(EncodeDate(c.Y, c.M, c.D), EConvertError);
    }
    EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 60, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
}

TEST(DateTime, DecodeRoundsToTheMillisecondAndCarriesIntoTheNextDay) {
    const TDateTime almostMidnight = EncodeDate(2024, 2, 29) + (86400.0 - 0.0004) / 86400.0;
    int y, m, d, h, n, s, ms;
    DecodeDateTime(almostMidnight, y, m, d, h, n, s, ms);
    EXPECT_EQ(y, 2024);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(ms, 0);
    EXPECT_THROW(DecodeDate(std::nan(""), y, m, d), EConvertError);
}

TEST(DateTime, FormatPatterns) {
    const TDateTime t = EncodeDateTime(2024, 5, 7, 6, 5, 4, 321);
    const TDateTime pm = EncodeDateTime(2024, 12, 25, 15, 30, 0, 0);
    constexpr struct { const char* Pattern; bool Pm; const char* Expected; } kCases[] = {
        {"mm/dd/yyyy hh:nn:ss", false, "05/07/2024 06:05:04"},
        {"hh:nn:ss", false, "06:05:04"},
        {"yyyy,mm,dd hh:nn:ss", false, "2024,05,07 06:05:04"},
        {"yy-mm-dd", false, "24-05-07"},
        {"m/d/yy h:n:s", false, "5/7/24 6:5:4"},
        {"hh:mm", false, "06:05"},  // mm after an hour is the minute
        {"hh:nn:ss.zzz", false, "06:05:04.321"},
        {"ddd dddd mmm mmmm", false, "Tue Tuesday May May"},
        {"h:nn am/pm", true, "3:30 PM"},
        {"hh:nn a/p", false, "06:05 A"},
        {"'yyyy' \"mm\" yyyy", false, "yyyy mm 2024"},
        {"c", false, "05/07/2024 06:05:04"},
        {"ddddd t", true, "12/25/2024 15:30"},
        {"YYYY-MM-DD HH:NN", true, "2024-12-25 15:30"},  // specifiers ignore case
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Pattern);
        EXPECT_EQ(FormatDateTime(c.Pattern, c.Pm ? pm : t), c.Expected);
    }
}

TEST(DateTime, DateTimeToStrLeavesOutMidnight) {
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 1, 15)), "01/15/2024");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(2024, 1, 15, 0, 0, 1, 0)), "01/15/2024 00:00:01");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(2024, 1, 15, 0, 0, 0, 81)), "01/15/2024");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(2024, 1, 15, 23, 59, 59, 0)), "01/15/2024 23:59:59");
    EXPECT_EQ(TimeToStr(EncodeTime(7, 8, 9, 0)), "07:08:09");
    EXPECT_EQ(DateToStr(EncodeDateTime(1999, 12, 31, 23, 0, 0, 0)), "12/31/1999");
}

// Whatever DateTimeToStr writes, TryStrToDateTime reads back exactly
// (to the second): every day 1985-2100 at a time that varies with the day.
TEST(DateTime, TextRoundTripEveryDay1985To2100) {
    const int first = static_cast<int>(EncodeDate(1985, 1, 1));
    const int last = static_cast<int>(EncodeDate(2100, 12, 31));
    for (int day = first; day <= last; ++day) {
        const int secs = (day * 7919) % 86400;
        for (const TDateTime t : {static_cast<double>(day), day + secs / 86400.0}) {
            const std::string text = DateTimeToStr(t);
            const auto back = TryStrToDateTime(text);
            ASSERT_TRUE(back.has_value()) << text;
            ASSERT_NEAR(*back, t, 0.5 / 86400000.0) << text;
            ASSERT_EQ(StrToDateTimeFmt(text, "mm/dd/yyyy hh:nn:ss"), *back) << text;
        }
    }
}

TEST(DateTime, TryStrToDateTimeAcceptsAndRejects) {
    TSimulatedClock clock(EncodeDate(2026, 6, 1));
    TScopedClock scoped(clock);
    constexpr struct { const char* Text; bool Ok; int Y, M, D, H, N, S; } kCases[] = {
        {"01/15/2024", true, 2024, 1, 15, 0, 0, 0},
        {" 1/5/2024 6:07 ", true, 2024, 1, 5, 6, 7, 0},
        {"12/31/1984 23:59:59", true, 1984, 12, 31, 23, 59, 59},
        {"02/29/2024 12:00:00 PM", true, 2024, 2, 29, 12, 0, 0},
        {"01/15/24", true, 2024, 1, 15, 0, 0, 0},      // two-digit year: within 50 years
        {"01/15/80", true, 1980, 1, 15, 0, 0, 0},
        {"10:30", true, 1899, 12, 30, 10, 30, 0},      // a time alone has date 0
        {"02/30/2024", false},
        {"13/01/2024", false},
        {"01/15/2024 24:00:00", false},
        {"01/15/2024 10:60", false},
        {"01/15/2024 10", false},
        {"2024-01-15", false},
        {"01/15/2024 garbage", false},
        {"", false},
        {"Now", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Text);
        const auto t = TryStrToDateTime(c.Text);
        ASSERT_EQ(t.has_value(), c.Ok);
        if (c.Ok) {
            EXPECT_EQ(*t, EncodeDateTime(c.Y, c.M, c.D, c.H, c.N, c.S, 0));
        }
    }
}

TEST(DateTime, StrToDateTimeFmtFollowsThePatternsFieldOrder) {
    EXPECT_EQ(StrToDateTimeFmt("2024-03-01 10:00:00", "yyyy-mm-dd hh:nn:ss"),
              EncodeDateTime(2024, 3, 1, 10, 0, 0, 0));
    EXPECT_EQ(StrToDateTimeFmt("31/12/2023", "dd/mm/yyyy"), EncodeDate(2023, 12, 31));
    try {
        StrToDateTimeFmt("13/45/2024", "mm/dd/yyyy hh:nn:ss");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'13/45/2024' is not a valid date and time");
    }
}

TEST(DateTime, StrToTime) {
    constexpr struct { const char* Text; int H, N, S; } kGood[] = {
        {"00:00:00", 0, 0, 0}, {"23:59:59", 23, 59, 59}, {"6:5", 6, 5, 0},
        {" 06:30 ", 6, 30, 0}, {"12:00 AM", 0, 0, 0},    {"12:15 pm", 12, 15, 0},
        {"1:02:03 PM", 13, 2, 3}, {"PM 1:02", 13, 2, 0},
    };
    for (const auto& c : kGood) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(StrToTime(c.Text), EncodeTime(c.H, c.N, c.S, 0));
    }
    for (const char* bad : {"25:00", "24:00:00", "10", "", "10:", "10:00:", "13:00 PM",
                            "0:00 AM", "10:00 XM", "1O:00", "-1:00", "10:00:00:00"}) {
        SCOPED_TRACE(bad);
        try {
            StrToTime(bad);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid time");
        }
    }
}

}  // namespace
}  // namespace mv
