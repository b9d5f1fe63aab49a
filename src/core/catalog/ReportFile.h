#pragma once
// The report file a catalog entry names, and its file times.

#include <string>

#include "core/timing/DateTime.h"

namespace mv {

// The report file of a catalog entry's "Report File Name", the first regular
// file of: `fileName` made absolute against the current directory; `appDir`
// (the program's folder, with a trailing "/") followed by `fileName`;
// `fileName` as it stands. Empty when none exists (an empty name included).
std::string ResolveReportFile(const std::string& fileName, const std::string& appDir);

// A file's times as local date-times; 0 (12/30/1899) for a time that cannot
// be read. Created is the birth time, which not every file system records.
struct TReportFileTimes {
    TDateTime Created = 0;
    TDateTime Saved = 0;     // last write
    TDateTime Accessed = 0;  // last access
};
TReportFileTimes ReadReportFileTimes(const std::string& path);

}  // namespace mv
