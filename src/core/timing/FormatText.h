#pragma once
// Fills placeholders in the program's messages.

#include "core/timing/TimeScale.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace mv {

// One value for FormatText: a text or a 32-bit integer (epoch seconds for "%j").
class TFormatArg {
public:
    TFormatArg(std::string_view text) : FValue(std::string(text)) {}
    TFormatArg(const char* text) : FValue(std::string(text)) {}
    TFormatArg(const std::string& text) : FValue(text) {}
    TFormatArg(std::int32_t value) : FValue(value) {}
    TFormatArg(EpochSeconds value) : FValue(value.Value) {}

    const std::string* Text() const { return std::get_if<std::string>(&FValue); }
    const std::int32_t* Integer() const { return std::get_if<std::int32_t>(&FValue); }

private:
    std::variant<std::string, std::int32_t> FValue;
};

// Copies `format`, replacing each directive with the next argument:
//   "%p"  the argument's text as it is (a non-text argument gives nothing);
//   "%j"  the argument as epoch seconds, "mm/dd/yyyy hh:nn:ss";
//   "%%"  a single "%".
// A directive is "%" [0] [width] ["." precision] letter; width and precision
// are accepted and ignored. Directives with other letters, and a "%" that
// starts no directive, are copied as written and take no argument. A directive
// with no argument left gives nothing. Only the format holds directives:
// a "%" inside an argument's text is copied unchanged.
std::string FormatText(std::string_view format, std::span<const TFormatArg> args);
std::string FormatText(std::string_view format, std::initializer_list<TFormatArg> args);

// The "%j" form of an instant: "mm/dd/yyyy hh:nn:ss" (19 characters).
std::string FormatEpochStamp(EpochSeconds s);

}  // namespace mv
