#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mv {

// The text of a string list: every line followed by CR LF.
std::string StringListText(const std::vector<std::string>& lines);

// Splits a text into lines at CR LF, CR or LF; a break at the very end adds
// no empty line, and an empty text gives no lines.
std::vector<std::string> SplitTextLines(std::string_view text);

// The list's text written as hexadecimal, two upper-case digits per byte and
// no separators; an empty list gives an empty text.
std::string EncodeHexStringList(const std::vector<std::string>& lines);

// Reverses EncodeHexStringList: pairs of hexadecimal digits of either case
// become bytes (a last odd digit is ignored), then the bytes are split into
// lines. Decoding stops at the first pair that is not two hexadecimal
// digits; the lines before it are kept and, when `firstBad` is given, the
// offset of that pair is stored there (npos when every pair decoded).
std::vector<std::string> DecodeHexStringList(std::string_view hex, std::size_t* firstBad = nullptr);

} // namespace mv
