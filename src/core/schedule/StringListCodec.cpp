#include "core/schedule/StringListCodec.h"

#include <array>

#include "platform/ini/IniFile.h"

namespace mv {

namespace {

// Value of each byte as a hexadecimal digit; -1 for the bytes that are none.
constexpr std::array<signed char, 256> kHexValue = [] {
    std::array<signed char, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 10; ++i)
        t[static_cast<std::size_t>('0' + i)] = static_cast<signed char>(i);
    for (int i = 0; i < 6; ++i) {
        t[static_cast<std::size_t>('A' + i)] = static_cast<signed char>(10 + i);
        t[static_cast<std::size_t>('a' + i)] = static_cast<signed char>(10 + i);
    }
    return t;
}();

int HexDigit(char c) { return kHexValue[static_cast<unsigned char>(c)]; }

} // namespace

std::string StringListText(const std::vector<std::string>& lines)
{
    std::size_t size = 0;
    for (const auto& l : lines)
        size += l.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& l : lines) {
        text += l;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> SplitTextLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = FindLineBreak(text, pos);
        if (eol == std::string_view::npos) {
            lines.emplace_back(text.substr(pos));
            break;
        }
        lines.emplace_back(text.substr(pos, eol - pos));
        pos = eol + ((text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

std::string EncodeHexStringList(const std::vector<std::string>& lines)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::size_t size = 0;
    for (const auto& l : lines)
        size += l.size() + 2;
    std::string hex(size * 2, '\0');
    char* out = hex.data();
    auto put = [&out](unsigned char b) {
        *out++ = kDigits[b >> 4];
        *out++ = kDigits[b & 0x0F];
    };
    for (const auto& l : lines) {
        for (char c : l)
            put(static_cast<unsigned char>(c));
        put('\r');
        put('\n');
    }
    return hex;
}

std::vector<std::string> DecodeHexStringList(std::string_view hex, std::size_t* firstBad)
{
    if (firstBad)
        *firstBad = std::string_view::npos;
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]);
        int lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            if (firstBad)
                *firstBad = i;
            break;
        }
        bytes.push_back(static_cast<char>((hi << 4) | lo));
    }
    return SplitTextLines(bytes);
}

} // namespace mv
