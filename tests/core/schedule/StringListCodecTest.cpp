#include "core/schedule/StringListCodec.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

using TLines = std::vector<std::string>;

TEST(HexStringList, Encode)
{
    EXPECT_EQ(EncodeHexStringList({"A1", "B2"}), "41310D0A42320D0A");
    EXPECT_EQ(EncodeHexStringList({}), "");
    EXPECT_EQ(EncodeHexStringList({""}), "0D0A");
    EXPECT_EQ(EncodeHexStringList({std::string("\xff\x00z", 3)}), "FF007A0D0A");
}

TEST(HexStringList, Decode)
{
    const struct {
        const char* Label;
        std::string Hex;
        TLines Expected;
        std::size_t FirstBad;
    } kCases[] = {
        {"two lines", "41310D0A42320D0A", {"A1", "B2"}, std::string::npos},
        {"lower case digits", "410d0a620d0a", {"A", "b"}, std::string::npos},
        {"last odd digit ignored", "41310D0A4", {"A1"}, std::string::npos},
        {"no final break", "4131", {"A1"}, std::string::npos},
        {"CR alone and LF alone break lines", "410D420A43", {"A", "B", "C"}, std::string::npos},
        {"empty lines kept", "0D0A0D0A41", {"", "", "A"}, std::string::npos},
        {"CR before CR LF", "410D0D0A", {"A", ""}, std::string::npos},
        {"empty value", "", {}, std::string::npos},
        {"NUL byte kept", "41004200", {std::string("A\0B\0", 4)}, std::string::npos},
        {"stops at first bad pair", "41310D0AZZ42320D0A", {"A1"}, 8},
        {"bad second digit", "41G1", {"A"}, 2},
        {"blank is not a digit", " 41", {}, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        std::size_t bad = 12345;
        EXPECT_EQ(DecodeHexStringList(c.Hex, &bad), c.Expected);
        EXPECT_EQ(bad, c.FirstBad);
    }
}

// Line breaks far apart and of every kind, beyond the scanner's window.
TEST(HexStringList, SplitsLongTextsAtEveryKindOfBreak)
{
    const std::string a(5000, 'a'), b(9000, 'b'), c(4096, 'c');
    EXPECT_EQ(SplitTextLines(a + "\r" + b + "\n" + c + "\r\n" + a), (TLines{a, b, c, a}));
    EXPECT_EQ(SplitTextLines(c + "\r" + c + "\r"), (TLines{c, c}));
}

TEST(HexStringList, RoundTripOfEveryByte)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            all.push_back(static_cast<char>(b));
    const TLines lines{all, "", "ST001", std::string(5000, 'x')};
    EXPECT_EQ(DecodeHexStringList(EncodeHexStringList(lines)), lines);
}

} // namespace
} // namespace mv
