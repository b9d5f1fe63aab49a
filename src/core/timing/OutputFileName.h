#pragma once
// Names of exported report files.

#include "core/timing/DateTime.h"

#include <string>
#include <string_view>

namespace mv {

// The values of a schedule group that decide its output file name.
struct TOutputFileSpec {
    std::string OutputDir;       // blanks around it ignored; empty means the program's directory
    std::string OutputName;      // name pattern with date tokens; its directory part is ignored
    int OutputFormat = 0;        // 0 PDF, 1 XLS, 2 HTM, 3 DOC, 4 CSV, 5 XML; others PDF
    TDateTime PeriodStart = 0;   // start of the period being reported
};

// The extension for an export format when the pattern has none:
// ".XLS", ".HTM", ".DOC", ".CSV", ".XML" for 1..5, ".PDF" for 0 and anything else.
std::string_view ExtensionForFormat(int outputFormat);

// Replaces, in this order and each everywhere, matching case exactly:
// "yyyy" year (4 digits), "yy" year (last 2), "mm" month, "dd" day, "hh" hour
// (00-23), "mi" minute, all two digits. Digits put in by one token are never
// taken for a later one; tokens count also inside words ("Summary" holds "mm").
std::string ReplaceDateTokens(std::string_view text, TDateTime t);

// dir + name + ext for the period start the settings carry:
//  - dir: OutputDir trimmed, else appDir (the executable's directory, ending
//    in "/"); a "/" is appended unless it ends with one;
//  - name: the part of OutputName after its last "/", without its extension
//    (from its last "."), date tokens replaced; not trimmed;
//  - ext: OutputName's own extension as written, or when that is blank the
//    format's extension.
// "/" is the only path separator.
std::string BuildOutputFileName(const TOutputFileSpec& group, std::string_view appDir);

}  // namespace mv
