#include "core/timing/OutputFileName.h"

#include <cstdio>

namespace mv {

namespace {

// Blanks and control characters around a text.
std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

std::string TwoDigits(int value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", value);
    return buf;
}

void ReplaceAll(std::string& text, std::string_view token, const std::string& value) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(token, pos)) != std::string::npos;
         pos = hit + token.size()) {
        out.append(text, pos, hit - pos);
        out += value;
    }
    out.append(text, pos, std::string::npos);
    text = std::move(out);
}

}  // namespace

std::string_view ExtensionForFormat(int outputFormat) {
    switch (outputFormat) {
    case 1: return ".XLS";
    case 2: return ".HTM";
    case 3: return ".DOC";
    case 4: return ".CSV";
    case 5: return ".XML";
    default: return ".PDF";
    }
}

std::string ReplaceDateTokens(std::string_view text, TDateTime t) {
    int year, month, day, hour, minute, second, msec;
    DecodeDateTime(t, year, month, day, hour, minute, second, msec);
    char year4[16];
    std::snprintf(year4, sizeof year4, "%04d", year);
    std::string result(text);
    ReplaceAll(result, "yyyy", year4);
    ReplaceAll(result, "yy", TwoDigits(year % 100));
    ReplaceAll(result, "mm", TwoDigits(month));
    ReplaceAll(result, "dd", TwoDigits(day));
    ReplaceAll(result, "hh", TwoDigits(hour));
    ReplaceAll(result, "mi", TwoDigits(minute));
    return result;
}

std::string BuildOutputFileName(const TOutputFileSpec& group, std::string_view appDir) {
    std::string dir(Trim(group.OutputDir));
    if (dir.empty()) dir = appDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';

    std::string_view fileName = group.OutputName;
    if (const std::size_t slash = fileName.rfind('/'); slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);

    std::string_view name = fileName;
    std::string_view ext;
    if (const std::size_t dot = fileName.rfind('.'); dot != std::string_view::npos) {
        name = fileName.substr(0, dot);
        ext = fileName.substr(dot);
    }
    std::string result = dir + ReplaceDateTokens(name, group.PeriodStart);
    result += Trim(ext).empty() ? ExtensionForFormat(group.OutputFormat) : ext;
    return result;
}

}  // namespace mv
