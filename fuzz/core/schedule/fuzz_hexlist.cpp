// The hexadecimal string-list decoder: any text decodes without fault, and
// what it decodes to encodes and decodes to itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/schedule/StringListCodec.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_hexlist: %s\n", what);
        std::abort();
    }
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t bad = 0;
    const auto lines = mv::DecodeHexStringList(input, &bad);
    if (bad == std::string_view::npos) {
        for (std::size_t i = 0; i + 1 < input.size(); ++i)
            Check(IsHex(input[i]), "a bad digit was not reported");
    } else {
        Check(bad % 2 == 0 && bad + 1 < input.size(), "bad position out of range");
        Check(!IsHex(input[bad]) || !IsHex(input[bad + 1]), "a good pair reported as bad");
        for (std::size_t i = 0; i < bad; ++i)
            Check(IsHex(input[i]), "a bad digit before the reported one");
    }
    for (const auto& l : lines)
        Check(l.find_first_of("\r\n") == std::string::npos, "a line holds a line break");
    const std::string encoded = mv::EncodeHexStringList(lines);
    Check(mv::DecodeHexStringList(encoded) == lines, "decoded list does not encode back");

    // The raw input as a list's text survives the round trip too.
    const auto raw = mv::SplitTextLines(input);
    Check(mv::DecodeHexStringList(mv::EncodeHexStringList(raw)) == raw, "text lines do not survive");
    return 0;
}
