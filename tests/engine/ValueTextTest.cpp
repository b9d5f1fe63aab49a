// Value texts of parameters and their engine values.
#include "engine/RpeValueText.h"

#include <gtest/gtest.h>

namespace {

using namespace mv::rpe;

TEST(RpeValueText, TextsConvertByType)
{
    struct {
        int Type;
        const char* Text;
        const char* Value;  // nullptr: does not convert
    } const cases[] = {
        {RE_PF_NUMBER, " 12.5 ", "12.5"},
        {RE_PF_NUMBER, "-3", "-3"},
        {RE_PF_CURRENCY, "$(1234.50)", "-1234.5"},
        {RE_PF_NUMBER, ".5", "0.5"},
        {RE_PF_NUMBER, "1,5", nullptr},    // the decimal separator is a dot
        {RE_PF_NUMBER, "1.2.3", nullptr},
        {RE_PF_NUMBER, "-", nullptr},      // no digit
        {RE_PF_NUMBER, "12 kg", nullptr},
        {RE_PF_NUMBER, "1-2", nullptr},
        {RE_PF_BOOLEAN, "true", "True"},
        {RE_PF_BOOLEAN, " Yes", "True"},
        {RE_PF_BOOLEAN, "1", "True"},
        {RE_PF_BOOLEAN, "no", "False"},
        {RE_PF_BOOLEAN, "0", "False"},
        {RE_PF_BOOLEAN, " ", nullptr},
        {RE_PF_DATE, "2024,02,29", "2024,02,29"},
        {RE_PF_DATE, "2024,3,1 10:00:00", "2024,03,01"},  // the engine date-time text is a date too
        {RE_PF_DATE, "2023,02,29", nullptr},
        {RE_PF_DATE, "2024-03-01", nullptr},
        {RE_PF_DATE, "2024,03,01x", nullptr},
        {RE_PF_DATETIME, "2024,03,01 23:59:59", "2024,03,01 23:59:59"},
        {RE_PF_DATETIME, "2024,03,01    07:05:09.999", "2024,03,01 07:05:09"},
        {RE_PF_DATETIME, "2024,03,01", nullptr},
        {RE_PF_DATETIME, "2024,03,01 24:00:00", nullptr},
        {RE_PF_DATETIME, "2024,13,01 00:00:00", nullptr},
        {RE_PF_TIME, "07:05:09", "07:05:09"},
        {RE_PF_TIME, "7:5:9", "07:05:09"},
        {RE_PF_TIME, "07:60:00", nullptr},
        {RE_PF_TIME, "07:05", nullptr},
        {RE_PF_INTEGER, "-2147483648", "-2147483648"},
        {RE_PF_LONG, "+42", "42"},
        {RE_PF_INTEGER, "2147483648", nullptr},
        {RE_PF_COLOR, "1.5", nullptr},
        {RE_PF_CHAR, "xyz", "x"},
        {RE_PF_CHAR, "\xc3\xa9", nullptr},  // does not fit the engine's one byte
        {RE_PF_STRING, "  as it stands ", "  as it stands "},
        {RE_PF_STRING, "", ""},
        {RE_PF_NOVALUE, "x", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Type) + " '" + c.Text + "'");
        std::optional<REValueInfo> v = TextToValue(c.Text, static_cast<uint16_t>(c.Type));
        if (c.Value == nullptr) {
            EXPECT_FALSE(v.has_value());
            continue;
        }
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(v->ValueType, c.Type);
        EXPECT_EQ(v->StructSize, sizeof(REValueInfo));
        EXPECT_EQ(ValueToText(*v), c.Value);
    }
}

TEST(RpeValueText, StringsFitTheEngineFieldWithoutSplittingACharacter)
{
    std::string text(254, 'a');
    text += "\xc3\xa9\xc3\xa9";  // 258 bytes; the field holds 255 and a NUL
    std::optional<REValueInfo> v = TextToValue(text, RE_PF_STRING);
    ASSERT_TRUE(v);
    EXPECT_EQ(ValueToText(*v), std::string(254, 'a'));
    EXPECT_EQ(CutToCharacters("\xc3\xa9\xc3\xa9x", 2), "\xc3\xa9\xc3\xa9");
    EXPECT_EQ(CutToCharacters("abc", 10), "abc");
}

TEST(RpeValueText, SameValue)
{
    EXPECT_TRUE(SameValue(RE_PF_DATETIME, "2024,03,01 00:00:00", "2024,3,1 00:00:00"));
    EXPECT_FALSE(SameValue(RE_PF_DATETIME, "", ""));
    EXPECT_TRUE(SameValue(RE_PF_BOOLEAN, "True", "yes"));
    EXPECT_TRUE(SameValue(RE_PF_DATE, "2024,03,01", "2024,03,01 12:00:00"));
    EXPECT_FALSE(SameValue(RE_PF_NUMBER, "12.5", "12.50"));  // texts compare exactly
    EXPECT_FALSE(SameValue(RE_PF_TIME, "10:00:00", "bad"));
}

}  // namespace
