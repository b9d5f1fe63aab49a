#include "core/timing/FormatText.h"

#include <cstdio>

namespace mv {

std::string FormatEpochStamp(EpochSeconds s) {
    const TTimeParts p = SplitEpochSeconds(s);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", p.Month, p.Day, p.Year, p.Hour,
                  p.Minute, p.Second);
    return buf;
}

std::string FormatText(std::string_view format, std::span<const TFormatArg> args) {
    std::string out;
    std::size_t next = 0;  // index of the next argument
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        // "%" [0] [width] ["." precision] letter
        std::size_t j = i + 1;
        if (j < format.size() && format[j] == '0') ++j;
        while (j < format.size() && format[j] >= '0' && format[j] <= '9') ++j;
        if (j < format.size() && format[j] == '.') {
            ++j;
            while (j < format.size() && format[j] >= '0' && format[j] <= '9') ++j;
        }
        const char letter = j < format.size() ? format[j] : '\0';
        if (letter == 'p' || letter == 'j') {
            if (next < args.size()) {
                const TFormatArg& arg = args[next++];
                if (letter == 'p') {
                    if (const std::string* text = arg.Text()) out += *text;
                } else if (const std::int32_t* value = arg.Integer()) {
                    out += FormatEpochStamp(EpochSeconds(*value));
                }
            }
            i = j + 1;
        } else {
            out += '%';  // not one of ours: copied as written
            ++i;
        }
    }
    return out;
}

std::string FormatText(std::string_view format, std::initializer_list<TFormatArg> args) {
    return FormatText(format, std::span<const TFormatArg>(args.begin(), args.size()));
}

}  // namespace mv
