#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini/IniFile.h"

namespace mv {

class IReportLookup;
class TVidUduzadevGroupItem;
class TVidUduzadevGroups;

// The schedule file: every schedule group and the scheduler's own settings,
// in one profile file beside the program. It is read once at start-up and
// written back whole by SaveScheduleFile() (on close and every ten minutes);
// a write replaces the file atomically, so a crash never leaves it torn.
//
// The file also holds the sections "Windows Settings" (window position) and
// "Database Settings" (connection, with the scrambled password); their
// owners read and write them through Ini() and then call Flush(). Because of
// the password, a newly created file is readable by its owner only, and a
// save keeps the mode the file already has.
class TScheduleFile {
public:
    using TStatusPoster = std::function<void(const std::string&)>;

    static constexpr const char* kFileName = "MVVidUduzadev.MVF";
    static constexpr const char* kMainSection = "VidUduzadevr";
    static constexpr const char* kWindowSection = "Windows Settings";
    static constexpr const char* kDatabaseSection = "Database Settings";

    // Nothing is read until Open(). `groups` and `reports` must outlive this object.
    TScheduleFile(std::string fileName, TVidUduzadevGroups& groups, const IReportLookup& reports,
                  TStatusPoster postStatus);

    // Reads the file into memory; a missing file reads as empty and is
    // created by the first save. Throws EIniError when the file exists but
    // cannot be read; the object then refuses to write, so that a file it
    // could not read is never replaced by an empty one.
    void Open();
    bool IsOpen() const { return FIni.has_value(); }
    // Why the file is not open and what that means for saving; empty when open.
    std::string NotOpenReason() const;
    const std::string& FileName() const { return FFileName; }

    // Reads the main section and every group named in "GroupNames" into the
    // groups. Posts "Startup parameters loaded." when everything was read.
    // A group that fails to read is reported, naming its section, and
    // skipped; the others are still read. Never throws.
    void LoadStartupSettings();
    // Reads the group of section `name` and appends it to the groups. A
    // report key the catalog does not know disables the group (and the key
    // is lost at the next save, which first keeps a copy of the file). When
    // the catalog could not be consulted at all, the group keeps its key and
    // start, is disabled for this run only, and the problem is posted once.
    void ReadGroupSection(const std::string& name);
    // Writes `group` into the section named by its GroupName (in memory).
    void WriteGroupSection(const TVidUduzadevGroupItem& group);
    // Writes every group, then the main section, and the file to disk.
    // A failure posts "Error 1700: " and its message; never throws. A group
    // whose name cannot be a section name is left out (its name stays in
    // "GroupNames"), the rest is written, and an error naming it is posted.
    // Returns whether everything was written.
    bool SaveScheduleFile();
    // Why the last SaveScheduleFile() wrote nothing; empty after one that wrote the file.
    const std::string& LastSaveError() const { return FLastSaveError; }
    // Writes the file as it is in memory to disk. When a group could not be
    // read since the file was opened, a copy of the file as it was is first
    // kept beside it under a time-stamped name, and its path is posted.
    // Throws EIniError.
    void Flush();

    // The profile in memory, for the sections other parts of the program own.
    TIniFile& Ini();

    // "GroupNames" cut into section names: each name runs to the next ",",
    // CR or LF; the next name starts after the next ",". Names keep their
    // blanks; two commas in a row give an empty name, a trailing one none.
    static std::vector<std::string> SplitGroupNames(std::string_view groupNames);

    int DetailLevel() const { return FDetailLevel; }         // 0 Low, 1 Medium, 2 High; read, never written
    int ListViewStyle() const { return FListViewStyle; }     // 0..3, view of the report selection list
    void SetListViewStyle(int style) { FListViewStyle = style; }
    bool Logging() const { return FLogging; }                // status messages go to the log file
    void SetLogging(bool logging) { FLogging = logging; }

private:
    // What a group read while the catalog could not be consulted had on file.
    struct THeldGroup {
        std::string ReportKey;
        bool Enabled = false;
    };

    void Post(const std::string& message) const;
    void KeepCopyOfFile();
    void HoldGroup(TVidUduzadevGroupItem& group, const std::string& reportKey, const std::string& why);

    std::string FFileName;
    TVidUduzadevGroups& FGroups;
    const IReportLookup& FReports;
    TStatusPoster FPostStatus;
    std::optional<TIniFile> FIni;
    std::string FOpenError; // why Open() failed, for the messages of later writes
    std::string FLastSaveError;
    // Set when a group (or part of one) could not be read: the next write
    // would drop it, so a copy of the file is kept first.
    bool FReadFailed = false;
    // Set when a report lookup failed for another reason than an unknown
    // key. The groups concerned are held: disabled in memory, but written
    // back with their key and enabled state as on file (unless edited).
    bool FLookupFailed = false;
    std::map<std::string, THeldGroup> FHeldGroups; // by GroupName
    int FDetailLevel = 1;
    int FListViewStyle = 0;
    bool FLogging = false;
};

} // namespace mv
