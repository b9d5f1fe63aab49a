#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <rpeng.h>

// Texts of parameter values as the binding's callers write them, and their
// conversion to and from the engine's typed values.
//
//   number, currency   digits, "$", "(", ")", "-" and at most one "."
//                      "(12.5)" is negative, "$" is dropped
//   Boolean            first character 1, T or Y (any case) is True, else False
//   date               "yyyy,mm,dd" (anything after a blank that follows is ignored)
//   date-time          "yyyy,mm,dd hh:nn:ss" (a fraction of a second is ignored)
//   time               "hh:nn:ss"
//   integer, long, colour   whole numbers that fit 32 bits
//   char               one character
//   string             as it stands
namespace mv::rpe {

std::optional<REValueInfo> TextToValue(std::string_view text, uint16_t valueType);
std::string ValueToText(const REValueInfo& value);

// Whether a parameter's present value (text) and a new text are the same:
// dates, date-times, times and Booleans as values, other types as exact
// text. An empty present value is never the same.
bool SameValue(uint16_t valueType, std::string_view present, std::string_view text);

// The binding's error number and text for a value text that does not convert
// to `valueType` (292 ... 299).
int ConversionErrorNumber(uint16_t valueType);
std::string ConversionErrorText(int number);

// The first `maxChars` UTF-8 characters of `text`.
std::string CutToCharacters(std::string_view text, size_t maxChars);
// Copies `text` into a fixed field of `size` bytes, NUL-terminated, cut at a
// UTF-8 character boundary when it is too long.
void CopyText(char* dest, size_t size, std::string_view text);
// The text of a fixed field (up to its first NUL).
std::string FieldText(const char* field, size_t size);

// "yyyy,mm,dd hh:nn:ss"
std::string EngineDateTimeText(int year, int month, int day, int hour, int minute, int second);

}  // namespace mv::rpe
