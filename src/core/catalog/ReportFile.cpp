#include "core/catalog/ReportFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <system_error>

namespace mv {

namespace fs = std::filesystem;

namespace {

bool IsFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// Seconds since 1970 (UTC) as a local wall-clock date-time; 0 when the value
// is not a calendar date the program can hold.
TDateTime LocalDateTime(const statx_timestamp& ts) {
    const std::time_t t = static_cast<std::time_t>(ts.tv_sec);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return 0;
    try {
        return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                              local.tm_sec > 59 ? 59 : local.tm_sec, 0);
    } catch (const EConvertError&) {
        return 0;
    }
}

}  // namespace

std::string ResolveReportFile(const std::string& fileName, const std::string& appDir) {
    if (fileName.empty()) return {};
    std::error_code ec;
    const fs::path absolute = fs::absolute(fileName, ec);
    if (!ec && IsFile(absolute)) return absolute.lexically_normal().string();
    const fs::path inAppDir = fs::path(appDir + fileName);
    if (!appDir.empty() && IsFile(inAppDir)) return inAppDir.lexically_normal().string();
    if (IsFile(fileName)) return fileName;
    return {};
}

TReportFileTimes ReadReportFileTimes(const std::string& path) {
    TReportFileTimes times;
    struct statx sx {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME | STATX_ATIME, &sx) != 0) return times;
    if (sx.stx_mask & STATX_BTIME) times.Created = LocalDateTime(sx.stx_btime);
    if (sx.stx_mask & STATX_MTIME) times.Saved = LocalDateTime(sx.stx_mtime);
    if (sx.stx_mask & STATX_ATIME) times.Accessed = LocalDateTime(sx.stx_atime);
    return times;
}

}  // namespace mv
