#pragma once
// The properties the time-expression fuzzer checks, shared with the test that
// replays the inputs it once found failing.

#include <cstddef>
#include <cstdint>
#include <string>

namespace mv {

// Runs one input (4 bytes of reference epoch seconds, little-endian, then the
// text); returns the first broken property, or an empty string.
std::string CheckTimeExpressionInput(const std::uint8_t* data, std::size_t size);

}  // namespace mv
