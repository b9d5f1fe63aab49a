#include "core/schedule/ScheduleFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/schedule/ReportLookup.h"
#include "core/schedule/ScheduleDataDef.h"
#include "core/schedule/StringListCodec.h"
#include "core/timing/Clock.h"
#include "core/timing/DateTime.h"

namespace mv {

namespace {

constexpr long long kMSecsPerDayInt = 86400000;

// The keys of a group's section, in the order they are read and written.
namespace key {
constexpr const char* RGIndex = "RGIndex";
constexpr const char* Enabled = "Enabled";
constexpr const char* ReportKey = "ReportKey";
constexpr const char* BaseTime = "BaseTime";
constexpr const char* IntType = "IntType";
constexpr const char* Interval = "Interval";
// Whole days of Interval, which "Interval" (a time of day) cannot hold.
constexpr const char* IntervalDays = "IntervalDays";
constexpr const char* StartFrom = "StartFrom";
constexpr const char* BeforeRun = "BeforeRun";
constexpr const char* AfterRun = "AfterRun";
constexpr const char* Output = "Output";
constexpr const char* Printer = "Printer";
constexpr const char* OutputDir = "OutputDir";
constexpr const char* OutputName = "OutputName";
constexpr const char* OutputPrefix = "OutputPrefix";
constexpr const char* OutputSuffix = "OutputSuffix";
constexpr const char* OutputFormat = "OutputFormat";
constexpr const char* TimeFrom = "TimeFrom";
constexpr const char* TimeTo = "TimeTo";
constexpr const char* AbsTimeFrom = "AbsTimeFrom";
constexpr const char* AbsTimeTo = "AbsTimeTo";
constexpr const char* Filter = "Filter";
constexpr const char* Stations = "Stations";
constexpr const char* Sensors = "Sensors";
constexpr const char* OtherParams = "OtherParams";
constexpr const char* SpecialParams = "SpecialParams";
} // namespace key

constexpr const char* kLogDetail = "LogDetail";
constexpr const char* kListViewStyle = "ListViewStyle";
constexpr const char* kGroupNames = "GroupNames";
constexpr const char* kLogMessage = "LogMessage";

// Owns a file descriptor and closes it on every path.
struct TFdCloser {
    int Fd;
    ~TFdCloser()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
};

// Copies `from` to the new file `to` with the same permission bits, synced.
void CopyFileExclusive(const std::string& from, const std::string& to)
{
    auto fail = [&](int err) {
        throw EIniError("Cannot keep a copy of \"" + from + "\" as \"" + to + "\": " + std::strerror(err));
    };
    TFdCloser in{::open(from.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.Fd < 0)
        fail(errno);
    struct stat st {};
    if (::fstat(in.Fd, &st) != 0)
        fail(errno);
    TFdCloser out{::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777)};
    if (out.Fd < 0)
        throw EIniError("Cannot keep a copy of \"" + from + "\" as \"" + to + "\": " +
                        CannotCreateInFolder("a file", to, errno));
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(in.Fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(errno);
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out.Fd, buf + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0) {
                int err = errno;
                ::unlink(to.c_str());
                fail(err);
            }
            done += w;
        }
    }
    if (::fsync(out.Fd) != 0) {
        int err = errno;
        ::unlink(to.c_str());
        fail(err);
    }
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

TScheduleFile::TScheduleFile(std::string fileName, TVidUduzadevGroups& groups, const IReportLookup& reports,
                             TStatusPoster postStatus)
    : FFileName(std::move(fileName)), FGroups(groups), FReports(reports), FPostStatus(std::move(postStatus))
{
}

void TScheduleFile::Open()
{
    FIni.reset();
    FReadFailed = false;
    FLookupFailed = false;
    FHeldGroups.clear();
    try {
        FIni.emplace(FFileName);
        FIni->SetNewFileMode(0600);
        FOpenError.clear();
    } catch (const EIniError& e) {
        FOpenError = e.what();
        throw;
    }
}

std::string TScheduleFile::NotOpenReason() const
{
    if (FIni)
        return {};
    if (FOpenError.empty())
        return "The schedule file \"" + FFileName + "\" is not open.";
    return FOpenError + ". The schedule file was not read, so it is not written either; "
                        "restart the program once it can be read.";
}

TIniFile& TScheduleFile::Ini()
{
    if (!FIni)
        throw EIniError(NotOpenReason());
    return *FIni;
}

void TScheduleFile::Post(const std::string& message) const
{
    if (FPostStatus)
        FPostStatus(message);
}

std::vector<std::string> TScheduleFile::SplitGroupNames(std::string_view groupNames)
{
    std::vector<std::string> names;
    std::size_t pos = 0;
    while (pos < groupNames.size()) {
        std::size_t end = groupNames.find_first_of(",\r\n", pos);
        names.emplace_back(groupNames.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        std::size_t comma = groupNames.find(',', pos);
        pos = comma == std::string_view::npos ? groupNames.size() : comma + 1;
    }
    return names;
}

void TScheduleFile::LoadStartupSettings()
{
    try {
        TIniFile& ini = Ini();
        FDetailLevel = ini.ReadInteger(kMainSection, kLogDetail, 1);
        FListViewStyle = ini.ReadInteger(kMainSection, kListViewStyle, 0);
        bool allRead = true;
        for (const std::string& name : SplitGroupNames(ini.ReadString(kMainSection, kGroupNames, ""))) {
            // One group that cannot be read must not cost the ones after it:
            // the next save would drop them from "GroupNames" for good.
            try {
                ReadGroupSection(name);
            } catch (const std::exception& e) {
                allRead = false;
                FReadFailed = true;
                Post(std::string(e.what()) + "; the group was skipped.");
            }
        }
        if (allRead && !FLookupFailed)
            Post("Startup parameters loaded.");
    } catch (const std::exception& e) {
        Post(e.what());
    }
}

void TScheduleFile::ReadGroupSection(const std::string& name)
{
    TIniFile& ini = Ini();
    auto group = std::make_unique<TVidUduzadevGroupItem>();
    TVidUduzadevGroupItem& g = *group;
    g.GroupName = name;

    auto readTime = [&](const char* k) {
        std::string text = ini.ReadString(name, k, "00:00:00");
        try {
            return StrToTime(text);
        } catch (const EConvertError& e) {
            throw EConvertError(std::string(e.what()) + " in key \"" + k + "\" of section \"" + name + "\"");
        }
    };
    auto readDateTime = [&](const char* k, TDateTime defaultValue) {
        std::string text = ini.ReadString(name, k, "");
        if (text.empty())
            return defaultValue;
        return TryStrToDateTime(text).value_or(defaultValue);
    };
    auto readList = [&](const char* k, std::vector<std::string>& list) {
        std::size_t bad = std::string::npos;
        list = DecodeHexStringList(ini.ReadString(name, k, ""), &bad);
        if (bad != std::string::npos) {
            FReadFailed = true;
            Post("Key \"" + std::string(k) + "\" of section \"" + name +
                 "\" holds a character that is not a hexadecimal digit at position " + std::to_string(bad + 1) +
                 "; its list was read up to there.");
        }
    };

    g.RGIndex = ini.ReadInteger(name, key::RGIndex, 0);
    g.Enabled = ini.ReadBool(name, key::Enabled, false);
    std::string reportKey = ini.ReadString(name, key::ReportKey, "");
    bool held = false;
    try {
        TReportItem found;
        FReports.FindReport(reportKey, found);
        g.Report.Assign(found);
    } catch (const EReportNotFound&) {
        // A report the catalog no longer holds cannot run: the group is kept,
        // disabled, and loses its key and start at the next save, so the file
        // as it was is kept first.
        g.Enabled = false;
        if (!reportKey.empty())
            FReadFailed = true;
    } catch (const std::exception& e) {
        HoldGroup(g, reportKey, e.what());
        held = true;
    } catch (...) {
        HoldGroup(g, reportKey, "unknown error");
        held = true;
    }
    g.BaseTime = readTime(key::BaseTime);
    int intType = ini.ReadInteger(name, key::IntType, 3) & 0xFF;
    g.IntType = intType == 0xFF ? 3 : static_cast<std::int8_t>(static_cast<std::uint8_t>(intType));
    g.Interval = readTime(key::Interval);
    int days = ini.ReadInteger(name, key::IntervalDays, 0);
    if (days > 0)
        g.Interval += days;
    g.StartFrom = ini.ReadString(name, key::StartFrom, "Now");
    g.BeforeRun = ini.ReadString(name, key::BeforeRun, "");
    g.AfterRun = ini.ReadString(name, key::AfterRun, "");
    g.Output = ini.ReadInteger(name, key::Output, 0);
    g.Printer = ini.ReadString(name, key::Printer, "");
    g.OutputDir = ini.ReadString(name, key::OutputDir, "");
    g.OutputName = ini.ReadString(name, key::OutputName, "");
    g.OutputPrefix = ini.ReadString(name, key::OutputPrefix, "");
    g.OutputSuffix = ini.ReadString(name, key::OutputSuffix, "");
    g.OutputFormat = ini.ReadInteger(name, key::OutputFormat, 0);
    g.TimeFrom = ini.ReadString(name, key::TimeFrom, "Yesterday");
    g.TimeTo = ini.ReadString(name, key::TimeTo, "Today");
    const TDateTime now = Now();
    g.AbsTimeFrom = readDateTime(key::AbsTimeFrom, DateOf(now));
    g.AbsTimeTo = readDateTime(key::AbsTimeTo, now);
    g.Filter = ini.ReadString(name, key::Filter, "");
    try {
        readList(key::Stations, g.Stations);
        readList(key::Sensors, g.Sensors);
        readList(key::OtherParams, g.OtherParams);
        readList(key::SpecialParams, g.SpecialParams);
    } catch (...) {
        // The lists read so far stay; the group is still usable.
    }
    if (!held)
        ApplyStartFromRule(g);
    FGroups.Add(std::move(group));
}

void TScheduleFile::HoldGroup(TVidUduzadevGroupItem& group, const std::string& reportKey, const std::string& why)
{
    // Whether the report still exists is not known: the group keeps its key
    // and start and is written back with the enabled state it has on file,
    // but cannot run without its catalog entry (nor should a failed job
    // reset its start to "Now").
    group.Report.Key = reportKey;
    group.Report.Title = reportKey;
    FHeldGroups[group.GroupName] = THeldGroup{reportKey, group.Enabled};
    group.Enabled = false;
    if (!FLookupFailed)
        Post("The reports of the schedule groups could not be looked up (" + why +
             "). The groups do not run until the program is restarted with a readable report catalog; the "
             "schedule file keeps them as they are.");
    FLookupFailed = true;
}

void TScheduleFile::WriteGroupSection(const TVidUduzadevGroupItem& group)
{
    TIniFile& ini = Ini();
    const std::string& s = group.GroupName;

    // Interval in whole milliseconds, so that a value a hair below a whole
    // day is written as that day and not as "00:00:00" with the day lost.
    const TDateTime interval = group.Interval;
    long long intervalDays = 0;
    std::string intervalTime;
    if (interval >= 0 && std::isfinite(interval)) {
        long long ms = std::llround(interval * static_cast<double>(kMSecsPerDayInt));
        intervalDays = ms / kMSecsPerDayInt;
        intervalTime = TimeToStr(static_cast<double>(ms % kMSecsPerDayInt) / static_cast<double>(kMSecsPerDayInt));
    } else {
        intervalTime = TimeToStr(std::isfinite(interval) ? interval : 0);
    }

    bool enabled = group.Enabled;
    if (auto held = FHeldGroups.find(s);
        !enabled && held != FHeldGroups.end() && held->second.ReportKey == group.Report.Key)
        enabled = held->second.Enabled;

    ini.WriteInteger(s, key::RGIndex, group.RGIndex);
    ini.WriteBool(s, key::Enabled, enabled);
    ini.WriteString(s, key::ReportKey, group.Report.Key);
    ini.WriteString(s, key::BaseTime, TimeToStr(group.BaseTime));
    ini.WriteInteger(s, key::IntType, group.IntType);
    ini.WriteString(s, key::Interval, intervalTime);
    ini.WriteStringAfter(s, key::IntervalDays, std::to_string(intervalDays), key::Interval);
    ini.WriteString(s, key::StartFrom, group.StartFrom);
    ini.WriteString(s, key::BeforeRun, group.BeforeRun);
    ini.WriteString(s, key::AfterRun, group.AfterRun);
    ini.WriteInteger(s, key::Output, group.Output);
    ini.WriteString(s, key::Printer, group.Printer);
    ini.WriteString(s, key::OutputDir, group.OutputDir);
    ini.WriteString(s, key::OutputName, group.OutputName);
    ini.WriteString(s, key::OutputPrefix, group.OutputPrefix);
    ini.WriteString(s, key::OutputSuffix, group.OutputSuffix);
    ini.WriteInteger(s, key::OutputFormat, group.OutputFormat);
    ini.WriteString(s, key::TimeFrom, group.TimeFrom);
    ini.WriteString(s, key::TimeTo, group.TimeTo);
    ini.WriteString(s, key::AbsTimeFrom, DateTimeToStr(group.AbsTimeFrom));
    ini.WriteString(s, key::AbsTimeTo, DateTimeToStr(group.AbsTimeTo));
    ini.WriteString(s, key::Filter, group.Filter);
    try {
        ini.WriteString(s, key::Stations, EncodeHexStringList(group.Stations));
        ini.WriteString(s, key::Sensors, EncodeHexStringList(group.Sensors));
        ini.WriteString(s, key::OtherParams, EncodeHexStringList(group.OtherParams));
        ini.WriteString(s, key::SpecialParams, EncodeHexStringList(group.SpecialParams));
    } catch (...) {
        // The group's other keys are written; its lists keep their old values.
    }
}

bool TScheduleFile::SaveScheduleFile()
{
    // A group whose name cannot head a section is left out, and the rest is
    // still saved: otherwise every save would fail, and the starts advanced
    // by the jobs would never reach the disk. Its name stays in "GroupNames"
    // so that the group is still there after a restart for the operator to
    // fix; its section could never have been read under that name anyway.
    std::vector<std::string> unsaved;
    bool written = false;
    try {
        TIniFile& ini = Ini();
        std::string names;
        for (int i = 0; i < FGroups.Count(); ++i) {
            const TVidUduzadevGroupItem& g = FGroups.Items(i);
            try {
                WriteGroupSection(g);
            } catch (const EIniError& e) {
                unsaved.push_back("Group \"" + g.GroupName + "\" cannot be saved: " + e.what());
            }
            if (i > 0)
                names += ',';
            names += g.GroupName;
        }
        ini.WriteString(kMainSection, kGroupNames, names);
        ini.WriteInteger(kMainSection, kListViewStyle, FListViewStyle);
        ini.WriteBool(kMainSection, kLogMessage, FLogging);
        Flush();
        written = true;
        FLastSaveError.clear();
    } catch (const std::exception& e) {
        FLastSaveError = e.what();
        Post(std::string("Error 1700: ") + e.what());
    }
    for (const std::string& why : unsaved)
        Post("Error 1700: " + why + (written ? " The rest of the schedule is saved." : "") +
             " To keep the group, copy it in the group editor (the copy gets a valid name) and delete this one.");
    return written && unsaved.empty();
}

void TScheduleFile::KeepCopyOfFile()
{
    const std::string stamp = FormatDateTime("yyyymmdd-hhnnss", Now());
    std::string copy = FFileName + "." + stamp + ".bak";
    for (int n = 2; FileExists(copy); ++n)
        copy = FFileName + "." + stamp + "-" + std::to_string(n) + ".bak";
    CopyFileExclusive(FFileName, copy);
    Post("Parts of the schedule file could not be read and are not saved again; the file as it was is kept "
         "in \"" + copy + "\".");
}

void TScheduleFile::Flush()
{
    TIniFile& ini = Ini();
    if (FReadFailed && FileExists(FFileName))
        KeepCopyOfFile();
    FReadFailed = false;
    ini.UpdateFile();
}

} // namespace mv
