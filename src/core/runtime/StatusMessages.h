#pragma once
// Detail levels and the status messages whose showing depends on them.
//
// A status message carries no level: the poster decides. Only the highest
// level adds messages (the progress of report jobs); "Low" and "Medium"
// show the same set. Every message other than the kProgress texts below
// (errors, connection changes, "Startup parameters loaded.", "SQL = ...")
// is posted at every level.

#include <string>
#include <string_view>

namespace mv {

// The value of `LogDetail` and of the window's "Detail Level" choice. Stored
// values outside 0..2 are kept as they are; anything from dlHigh up counts
// as high.
enum TDetailLevel : int { dlLow = 0, dlMedium = 1, dlHigh = 2 };

inline constexpr std::string_view kDetailLevelNames[] = {"Low", "Medium", "High"};

// Whether progress messages are posted at `level`.
constexpr bool ShowsProgress(int level) { return level >= dlHigh; }

// Progress messages, posted only when ShowsProgress(). Each of the
// "...Group: " texts is followed by the group number, kReportNamePart and
// the report title (see GroupStatusText).
inline constexpr std::string_view kProgressThreadStarted = "Thread started.  Group: ";
inline constexpr std::string_view kProgressOpenReport = "Open report files.  Group: ";
inline constexpr std::string_view kProgressToPrinter = "Output to printer.  Group: ";
inline constexpr std::string_view kProgressToFile = "Output to file.  Group: ";
inline constexpr std::string_view kProgressThreadStopped = "Thread stopped.  Group: ";
inline constexpr std::string_view kProgressThreadFreed = "Thread freed.  Group: ";
inline constexpr std::string_view kProgressFileName = "File Name: ";  // + output file name
inline constexpr std::string_view kProgressReadyToRun = "Now ready to run the report.";
inline constexpr std::string_view kProgressFinished = "Finish the report.";
// Posted at every level: an empty report set to be suppressed, or a
// cancelled one, delivers no file and runs no after-run program.
inline constexpr std::string_view kNothingDelivered =
    "No report produced (no rows, or cancelled); after-run programs not run.  Group: ";

inline constexpr std::string_view kReportNamePart = " Report Name: ";

// "<prefix><group number> Report Name: <title>", e.g.
// "Thread started.  Group: 3 Report Name: Daily Rainfall".
inline std::string GroupStatusText(std::string_view prefix, int groupIndex,
                                   std::string_view reportTitle) {
    std::string s(prefix);
    s += std::to_string(groupIndex);
    s += kReportNamePart;
    s += reportTitle;
    return s;
}

}  // namespace mv
