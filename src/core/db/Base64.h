#pragma once
// Base64 with the standard alphabet and "=" padding, no line breaks.

#include <stdexcept>
#include <string>
#include <string_view>

namespace mv {

// A text that is not valid Base64; the message says where it goes wrong.
class EBase64Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string Base64Encode(std::string_view bytes);

// Strict: the length is a multiple of 4, only alphabet characters, "=" only as
// the last one or two characters. The empty text decodes to no bytes.
std::string Base64Decode(std::string_view text);

}  // namespace mv
