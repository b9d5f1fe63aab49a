#include "core/schedule/ScheduleFile.h"

#include <filesystem>
#include <map>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/schedule/ReportLookup.h"
#include "core/schedule/ScheduleDataDef.h"
#include "core/schedule/StringListCodec.h"
#include "core/timing/Clock.h"
#include "core/timing/DateTime.h"
#include "platform/ini/TestFiles.h"

namespace mv {
namespace {

using test::FileMode;
using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;
using TLines = std::vector<std::string>;

const std::string kData = MV_TEST_DATA_DIR "/schedule/";

// Catalog entries by key, as the report catalog would give them; with
// `Unreadable` set, every lookup fails as when the catalog cannot be read.
class TMapLookup : public IReportLookup {
public:
    std::map<std::string, TReportItem> Reports;
    std::string Unreadable;
    void FindReport(const std::string& key, TReportItem& item) const override
    {
        if (!Unreadable.empty())
            throw EIniError(Unreadable);
        auto it = Reports.find(key);
        if (it == Reports.end())
            throw EReportNotFound();
        item = it->second;
    }
};

// A schedule file in a private folder, its groups, its messages and a clock
// standing at 31 January 2024 23:59:59.
class ScheduleFileTest : public ::testing::Test {
protected:
    ScheduleFileTest() : FClock(EncodeDateTime(2024, 1, 31, 23, 59, 59, 0)), FScope(FClock)
    {
        TReportItem rain;
        rain.Key = "DailyRain";
        rain.Title = "Daily rain";
        rain.FileName = "rain.rpt";
        FLookup.Reports["DailyRain"] = rain;
        TReportItem ranged = rain;
        ranged.Key = "RangedRain";
        ranged.TimeRange = true;
        FLookup.Reports["RangedRain"] = ranged;
    }

    std::string Path() const { return FDir.File(TScheduleFile::kFileName); }

    // Copies a fixture into the folder as the schedule file.
    void UseFixture(const std::string& name) { WriteFileBytes(Path(), ReadFileBytes(kData + name)); }

    std::unique_ptr<TScheduleFile> Load(TVidUduzadevGroups& groups)
    {
        auto file = std::make_unique<TScheduleFile>(Path(), groups, FLookup,
                                                    [this](const std::string& m) { FMessages.push_back(m); });
        file->Open();
        file->LoadStartupSettings();
        return file;
    }

    TTempDir FDir;
    TSimulatedClock FClock;
    TScopedClock FScope;
    TMapLookup FLookup;
    TLines FMessages;
};

TEST_F(ScheduleFileTest, LoadsEveryKeyOfAGroup)
{
    UseFixture("schedule_two_groups.mvf");
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    EXPECT_EQ(FMessages, TLines{"Startup parameters loaded."});
    EXPECT_EQ(file->DetailLevel(), 2);
    EXPECT_EQ(file->ListViewStyle(), 3);
    ASSERT_EQ(groups.Count(), 2);

    const TVidUduzadevGroupItem& g = groups.Items(0);
    EXPECT_EQ(g.GroupName, "RptSchGroup:1");
    EXPECT_EQ(g.RGIndex, 1);
    EXPECT_TRUE(g.Enabled);
    EXPECT_EQ(g.Report, FLookup.Reports["DailyRain"]);
    EXPECT_EQ(g.BaseTime, EncodeTime(6, 30, 0, 0));
    EXPECT_EQ(g.IntType, 6);
    EXPECT_DOUBLE_EQ(g.Interval, 2.5);
    EXPECT_EQ(g.StartFrom, "01/31/2024 06:30:00"); // kept: the group takes pReportTime
    EXPECT_EQ(g.BeforeRun, "prepare.sh");
    EXPECT_EQ(g.AfterRun, "/usr/bin/true,/usr/local/bin/notify");
    EXPECT_EQ(g.Output, 1);
    EXPECT_EQ(g.Printer, "Office Laser");
    EXPECT_EQ(g.OutputDir, "/srv/reports");
    EXPECT_EQ(g.OutputName, "rain_yyyymmdd");
    EXPECT_EQ(g.OutputPrefix, "pre");
    EXPECT_EQ(g.OutputSuffix, "suf");
    EXPECT_EQ(g.OutputFormat, 4);
    EXPECT_EQ(g.TimeFrom, "Last Week");
    EXPECT_EQ(g.TimeTo, "As Entered Below:");
    EXPECT_EQ(g.AbsTimeFrom, EncodeDate(2024, 1, 1));
    EXPECT_EQ(g.AbsTimeTo, EncodeDateTime(2024, 2, 29, 23, 59, 59, 0));
    EXPECT_EQ(g.Filter, "north.flt");
    EXPECT_EQ(g.Stations, (TLines{"ST001", "ST002"}));
    EXPECT_EQ(g.Sensors, (TLines{"RAIN", "TEMP"}));
    EXPECT_EQ(g.OtherParams, (TLines{"Title=North basin", "Scale=2"}));
    EXPECT_EQ(g.SpecialParams, TLines{"pReportTime"});
}

TEST_F(ScheduleFileTest, MissingKeysTakeTheFileDefaults)
{
    UseFixture("schedule_two_groups.mvf");
    TVidUduzadevGroups groups;
    Load(groups);
    ASSERT_EQ(groups.Count(), 2);
    const TVidUduzadevGroupItem& g = groups.Items(1);
    const TDateTime now = FClock.Now();
    EXPECT_FALSE(g.Enabled);
    EXPECT_EQ(g.BaseTime, 0);
    EXPECT_EQ(g.IntType, 3);
    EXPECT_EQ(g.Interval, 0);
    EXPECT_EQ(g.StartFrom, "Now");
    EXPECT_EQ(g.Output, 0); // a new group has 2; a missing key gives 0
    EXPECT_EQ(g.OutputFormat, 0);
    EXPECT_EQ(g.TimeFrom, "Yesterday");
    EXPECT_EQ(g.TimeTo, "Today");
    EXPECT_EQ(g.AbsTimeFrom, EncodeDate(2024, 1, 31));
    EXPECT_EQ(g.AbsTimeTo, now);
    EXPECT_TRUE(g.Stations.empty() && g.SpecialParams.empty());
}

TEST_F(ScheduleFileTest, NoFileGivesDefaultsAndTheFirstSaveCreatesItPrivate)
{
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    EXPECT_EQ(groups.Count(), 0);
    EXPECT_EQ(file->DetailLevel(), 1);
    EXPECT_EQ(file->ListViewStyle(), 0);
    EXPECT_EQ(FMessages, TLines{"Startup parameters loaded."});
    EXPECT_FALSE(std::filesystem::exists(Path()));

    file->SaveScheduleFile();
    EXPECT_EQ(ReadFileBytes(Path()), "[VidUduzadevr]\nGroupNames=\nListViewStyle=0\nLogMessage=0\n");
    EXPECT_EQ(FileMode(Path()), 0600u);

    ::chmod(Path().c_str(), 0640);
    file->SetLogging(true);
    file->SaveScheduleFile();
    EXPECT_EQ(FileMode(Path()), 0640u);
    EXPECT_EQ(FMessages.size(), 1u);
}

TEST_F(ScheduleFileTest, SavesKeysInOrderWithTheirEncodings)
{
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    auto g = std::make_unique<TVidUduzadevGroupItem>();
    g->GroupName = "RptSchGroup:4";
    g->RGIndex = 4;
    g->Enabled = true;
    g->Report = FLookup.Reports["DailyRain"];
    g->BaseTime = EncodeDate(2024, 1, 31) + EncodeTime(7, 5, 9, 0);
    g->IntType = 6;
    g->Interval = 1.25; // 1 day 6 hours
    g->StartFrom = "Yesterday";
    g->OutputDir = "/srv/out";
    g->OutputName = "x";
    g->TimeFrom = "As Entered Below:";
    g->TimeTo = "Today";
    g->AbsTimeFrom = EncodeDate(2024, 2, 29);
    g->AbsTimeTo = EncodeDateTime(2024, 3, 1, 12, 0, 1, 0);
    g->OtherParams = {"A=1", "B=2", "C="};
    g->SpecialParams = {"pReportTime"};
    groups.Add(std::move(g));
    file->SetListViewStyle(2);
    file->SaveScheduleFile();

    const std::string expected = "[RptSchGroup:4]\n"
                                 "RGIndex=4\n"
                                 "Enabled=1\n"
                                 "ReportKey=DailyRain\n"
                                 "BaseTime=07:05:09\n"
                                 "IntType=6\n"
                                 "Interval=06:00:00\n"
                                 "IntervalDays=1\n"
                                 "StartFrom=Yesterday\n"
                                 "BeforeRun=\n"
                                 "AfterRun=\n"
                                 "Output=2\n"
                                 "Printer=\n"
                                 "OutputDir=/srv/out\n"
                                 "OutputName=x\n"
                                 "OutputPrefix=\n"
                                 "OutputSuffix=\n"
                                 "OutputFormat=0\n"
                                 "TimeFrom=As Entered Below:\n"
                                 "TimeTo=Today\n"
                                 "AbsTimeFrom=02/29/2024\n"
                                 "AbsTimeTo=03/01/2024 12:00:01\n"
                                 "Filter=\n"
                                 "Stations=\n"
                                 "Sensors=\n"
                                 "OtherParams=" + EncodeHexStringList({"A=1", "B=2", "C="}) + "\n"
                                 "SpecialParams=705265706F727454696D650D0A\n"
                                 "[VidUduzadevr]\n"
                                 "GroupNames=RptSchGroup:4\n"
                                 "ListViewStyle=2\n"
                                 "LogMessage=0\n";
    EXPECT_EQ(ReadFileBytes(Path()), expected);
    EXPECT_EQ(EncodeHexStringList({"A=1", "B=2", "C="}), "413D310D0A423D320D0A433D0D0A");
}

TEST_F(ScheduleFileTest, SaveAndLoadGiveTheSameGroups)
{
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    for (int i = 1; i <= 3; ++i) {
        auto g = std::make_unique<TVidUduzadevGroupItem>();
        g->GroupName = "RptSchGroup:" + std::to_string(i);
        g->RGIndex = i;
        g->Enabled = true;
        g->Report = FLookup.Reports["RangedRain"];
        g->BaseTime = EncodeTime(static_cast<std::uint16_t>(i), 15, 0, 0);
        g->IntType = static_cast<std::int8_t>(i == 3 ? 6 : i);
        g->Interval = i == 3 ? 7 + EncodeTime(23, 59, 59, 0) : 0;
        g->StartFrom = "01/31/2024 23:00:00";
        g->Output = 1;
        g->Printer = "Office Laser";
        g->TimeFrom = "Last Month";
        g->TimeTo = "This Month";
        g->AbsTimeFrom = EncodeDateTime(2023, 12, 31, 0, 0, 1, 0);
        g->AbsTimeTo = EncodeDate(2024, 1, 1);
        g->Stations = TLines(400, "STATION-" + std::to_string(i)); // far past 2047 characters
        g->Sensors = {"A", "", "C"};
        groups.Add(std::move(g));
    }
    file->SaveScheduleFile();
    ASSERT_EQ(FMessages, TLines{"Startup parameters loaded."});

    TVidUduzadevGroups again;
    Load(again);
    ASSERT_EQ(again.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TVidUduzadevGroupItem& g = again.Items(i);
        // Only the time of day of BaseTime is stored; the run state never is.
        TVidUduzadevGroupItem expected;
        expected.Assign(groups.Items(i));
        expected.BaseTime = TimeOf(expected.BaseTime);
        EXPECT_NEAR(g.Interval, expected.Interval, 1e-9);
        g.Interval = expected.Interval;
        EXPECT_EQ(g, expected);
    }
}

// Saved as UTF-8 by a Windows editor: the mark before "[VidUduzadevr]" must
// neither hide the groups nor make a save add a second, empty main section.
TEST_F(ScheduleFileTest, ByteOrderMarkedFileKeepsItsGroupsAcrossASave)
{
    UseFixture("schedule_utf8_bom.mvf");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "as the editor saved it" : "after a save");
        TVidUduzadevGroups groups;
        FMessages.clear();
        auto file = Load(groups);
        EXPECT_EQ(FMessages, TLines{"Startup parameters loaded."});
        EXPECT_EQ(file->DetailLevel(), 2);
        ASSERT_EQ(groups.Count(), 1);
        EXPECT_EQ(groups.Items(0).RGIndex, 1);
        EXPECT_TRUE(groups.Items(0).Enabled);
        EXPECT_EQ(groups.Items(0).StartFrom, "01/30/2024 06:00:00");
        file->SaveScheduleFile();
    }
    const std::string text = ReadFileBytes(Path());
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF[VidUduzadevr]\r\nLogDetail=2\r\nGroupNames=RptSchGroup:1\r\n", 0), 0u) << text;
    EXPECT_EQ(text.find("[VidUduzadevr]", 4), std::string::npos) << text;
}

TEST_F(ScheduleFileTest, GroupNamesAreCutAtCommas)
{
    const struct {
        const char* Value;
        TLines Names;
    } kCases[] = {
        {"RptSchGroup:1,RptSchGroup:2", {"RptSchGroup:1", "RptSchGroup:2"}},
        {"RptSchGroup:1,,RptSchGroup:2", {"RptSchGroup:1", "", "RptSchGroup:2"}},
        {"RptSchGroup:1,", {"RptSchGroup:1"}},
        {",A", {"", "A"}},
        {",", {""}},
        {" A , B", {" A ", " B"}},
        {"A\r\nB,C", {"A", "C"}},
        {"", {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Value);
        EXPECT_EQ(TScheduleFile::SplitGroupNames(c.Value), c.Names);
    }
}

TEST_F(ScheduleFileTest, EmptyNameReadsTheSectionWithTheEmptyName)
{
    UseFixture("schedule_empty_group_name.mvf");
    TVidUduzadevGroups groups;
    Load(groups);
    ASSERT_EQ(groups.Count(), 3);
    EXPECT_EQ(groups.Items(0).GroupName, "RptSchGroup:1");
    EXPECT_EQ(groups.Items(1).GroupName, "");
    EXPECT_FALSE(groups.Items(1).Enabled); // no section, no report: all defaults, disabled
    EXPECT_EQ(groups.Items(1).RGIndex, 0);
    EXPECT_EQ(groups.Items(2).GroupName, "RptSchGroup:2");
    EXPECT_EQ(FMessages, TLines{"Startup parameters loaded."});
}

TEST_F(ScheduleFileTest, IntTypeKeepsItsLowByte)
{
    constexpr struct {
        const char* Stored;
        int Expected;
    } kCases[] = {{"-1", 3}, {"255", 3}, {"511", 3}, {"4", 4}, {"260", 4}, {"200", -56}, {"x", 3}, {"0", 0}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Stored);
        WriteFileBytes(Path(), std::string("[VidUduzadevr]\nGroupNames=G\n[G]\nIntType=") + c.Stored + "\n");
        TVidUduzadevGroups groups;
        Load(groups);
        ASSERT_EQ(groups.Count(), 1);
        EXPECT_EQ(groups.Items(0).IntType, c.Expected);
    }
}

TEST_F(ScheduleFileTest, IntervalKeepsWholeDaysOnlyWithIntervalDays)
{
    constexpr struct {
        const char* Keys;
        double Expected;
    } kCases[] = {
        {"Interval=06:00:00\n", 0.25},                  // an older file: the time of day only
        {"Interval=06:00:00\nIntervalDays=1\n", 1.25},
        {"IntervalDays=3\n", 3.0},
        {"Interval=06:00:00\nIntervalDays=x\n", 0.25},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Keys);
        WriteFileBytes(Path(), std::string("[VidUduzadevr]\nGroupNames=G\n[G]\n") + c.Keys);
        TVidUduzadevGroups groups;
        Load(groups);
        ASSERT_EQ(groups.Count(), 1);
        EXPECT_DOUBLE_EQ(groups.Items(0).Interval, c.Expected);
    }
}

TEST_F(ScheduleFileTest, IntervalDaysJoinsAnOlderFileRightAfterInterval)
{
    WriteFileBytes(Path(), "[VidUduzadevr]\nGroupNames=G\n[G]\nIntType=6\nInterval=06:00:00\nStartFrom=Now\n");
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    groups.Items(0).Interval = 2.5;
    file->SaveScheduleFile();
    const std::string text = ReadFileBytes(Path());
    EXPECT_NE(text.find("Interval=12:00:00\nIntervalDays=2\nStartFrom=Now\n"), std::string::npos) << text;
}

TEST_F(ScheduleFileTest, StartFromBecomesNowUnlessTheReportTakesAPeriod)
{
    constexpr struct {
        const char* Label;
        const char* Report;
        const char* SpecialHex; // hexadecimal SpecialParams
        const char* Expected;
    } kCases[] = {
        {"no time range", "DailyRain", "", "Now"},
        {"pReportTime", "DailyRain", "705265706F727454696D650D0A", "02/01/2024"},
        {"time range", "RangedRain", "", "02/01/2024"},
        {"unknown report", "Gone", "", "Now"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        WriteFileBytes(Path(), std::string("[VidUduzadevr]\nGroupNames=G\n[G]\nReportKey=") + c.Report +
                                   "\nStartFrom=02/01/2024\nSpecialParams=" + c.SpecialHex + "\n");
        TVidUduzadevGroups groups;
        Load(groups);
        ASSERT_EQ(groups.Count(), 1);
        EXPECT_EQ(groups.Items(0).StartFrom, c.Expected);
    }
}

// An unknown key disables the group and the save writes it back without its
// key and with StartFrom "Now"; the file as it was is kept first, so the key
// and the catch-up position can be restored. A group without a key loses
// nothing and makes no copy.
TEST_F(ScheduleFileTest, UnknownReportDisablesTheGroupAndTheFileIsKeptBeforeSaving)
{
    constexpr struct {
        const char* Label;
        const char* Key;
        bool CopyKept;
    } kCases[] = {
        {"unknown key", "Gone", true},
        {"no key", "", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        TTempDir dir;
        const std::string path = dir.File(TScheduleFile::kFileName);
        const std::string original = std::string("[VidUduzadevr]\nGroupNames=G\n[G]\nEnabled=1\nReportKey=") +
                                     c.Key + "\nStartFrom=01/29/2024 06:00:00\n";
        WriteFileBytes(path, original);
        TVidUduzadevGroups groups;
        TLines messages;
        TScheduleFile file(path, groups, FLookup, [&](const std::string& m) { messages.push_back(m); });
        file.Open();
        file.LoadStartupSettings();
        ASSERT_EQ(groups.Count(), 1);
        EXPECT_FALSE(groups.Items(0).Enabled);
        EXPECT_EQ(groups.Items(0).Report.Key, "");
        EXPECT_EQ(groups.Items(0).StartFrom, "Now");
        EXPECT_EQ(messages, TLines{"Startup parameters loaded."});

        messages.clear();
        file.SaveScheduleFile();
        TIniFile saved(path);
        EXPECT_EQ(saved.ReadString("G", "Enabled", "?"), "0");
        EXPECT_EQ(saved.ReadString("G", "ReportKey", "?"), "");
        const std::string copy = path + ".20240131-235959.bak";
        if (c.CopyKept) {
            EXPECT_EQ(messages, TLines{"Parts of the schedule file could not be read and are not saved again; the "
                                       "file as it was is kept in \"" + copy + "\"."});
            EXPECT_EQ(ReadFileBytes(copy), original);
        } else {
            EXPECT_TRUE(messages.empty());
            EXPECT_FALSE(std::filesystem::exists(copy));
        }
    }
}

// A catalog that cannot be read says nothing about the keys: the groups keep
// key, start and enabled state on disk, do not run meanwhile (their report
// file is unknown), and the problem is posted once.
TEST_F(ScheduleFileTest, UnreadableCatalogKeepsTheGroupsAsStored)
{
    const std::string original = "[VidUduzadevr]\nGroupNames=RptSchGroup:1,RptSchGroup:2\n"
                                 "[RptSchGroup:1]\nRGIndex=1\nEnabled=1\nReportKey=DailyRain\n"
                                 "StartFrom=01/29/2024 06:00:00\n"
                                 "[RptSchGroup:2]\nRGIndex=2\nEnabled=0\nReportKey=Gone\nStartFrom=Yesterday\n";
    WriteFileBytes(Path(), original);
    const std::string reason = "Cannot read \"/opt/mv/MVReports.MVF\": Permission denied";
    FLookup.Unreadable = reason;
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    EXPECT_EQ(FMessages, TLines{"The reports of the schedule groups could not be looked up (" + reason +
                                "). The groups do not run until the program is restarted with a readable report "
                                "catalog; the schedule file keeps them as they are."});
    ASSERT_EQ(groups.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(groups.Items(i).Enabled);
        EXPECT_EQ(groups.Items(i).Report.Key, i == 0 ? "DailyRain" : "Gone");
    }
    EXPECT_EQ(groups.Items(0).StartFrom, "01/29/2024 06:00:00");
    EXPECT_EQ(groups.Items(1).StartFrom, "Yesterday");

    FMessages.clear();
    file->SaveScheduleFile();
    EXPECT_TRUE(FMessages.empty()) << FMessages.front();
    TIniFile saved(Path());
    EXPECT_EQ(saved.ReadString("RptSchGroup:1", "Enabled", ""), "1");
    EXPECT_EQ(saved.ReadString("RptSchGroup:1", "ReportKey", ""), "DailyRain");
    EXPECT_EQ(saved.ReadString("RptSchGroup:1", "StartFrom", ""), "01/29/2024 06:00:00");
    EXPECT_EQ(saved.ReadString("RptSchGroup:2", "Enabled", ""), "0");
    EXPECT_EQ(saved.ReadString("RptSchGroup:2", "ReportKey", ""), "Gone");

    // Read again with the catalog back: the first group runs as before.
    FLookup.Unreadable.clear();
    TVidUduzadevGroups again;
    FMessages.clear();
    Load(again);
    EXPECT_EQ(FMessages, TLines{"Startup parameters loaded."});
    ASSERT_EQ(again.Count(), 2);
    EXPECT_TRUE(again.Items(0).Enabled);
    EXPECT_EQ(again.Items(0).Report.FileName, "rain.rpt");
}

// A held group the operator enables in the editor is written as enabled; one
// given another report is written as it now is.
TEST_F(ScheduleFileTest, EditedHeldGroupIsWrittenAsEdited)
{
    WriteFileBytes(Path(), "[VidUduzadevr]\nGroupNames=A,B\n[A]\nEnabled=0\nReportKey=DailyRain\n"
                           "[B]\nEnabled=1\nReportKey=DailyRain\n");
    FLookup.Unreadable = "Cannot read";
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    ASSERT_EQ(groups.Count(), 2);
    groups.Items(0).Enabled = true;
    groups.Items(1).Report = FLookup.Reports["RangedRain"];
    file->SaveScheduleFile();
    TIniFile saved(Path());
    EXPECT_EQ(saved.ReadString("A", "Enabled", ""), "1");
    EXPECT_EQ(saved.ReadString("B", "Enabled", ""), "0");
    EXPECT_EQ(saved.ReadString("B", "ReportKey", ""), "RangedRain");
}

TEST_F(ScheduleFileTest, BadTimeSkipsOnlyItsGroupAndTheFileIsKeptBeforeSaving)
{
    UseFixture("schedule_bad_basetime.mvf");
    const std::string original = ReadFileBytes(Path());
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    EXPECT_EQ(FMessages, TLines{"'25:61' is not a valid time in key \"BaseTime\" of section \"RptSchGroup:2\"; "
                                "the group was skipped."});
    ASSERT_EQ(groups.Count(), 2);
    EXPECT_EQ(groups.Items(0).RGIndex, 1);
    EXPECT_EQ(groups.Items(1).RGIndex, 3);

    FMessages.clear();
    file->SaveScheduleFile();
    const std::string copy = FDir.File("MVVidUduzadev.MVF.20240131-235959.bak");
    EXPECT_EQ(FMessages, TLines{"Parts of the schedule file could not be read and are not saved again; the file "
                                "as it was is kept in \"" + copy + "\"."});
    EXPECT_EQ(ReadFileBytes(copy), original);
    EXPECT_EQ(FileMode(copy), FileMode(Path()));
    TIniFile saved(Path());
    EXPECT_EQ(saved.ReadString("VidUduzadevr", "GroupNames", ""), "RptSchGroup:1,RptSchGroup:3");
    EXPECT_EQ(saved.ReadString("RptSchGroup:2", "BaseTime", ""), "25:61"); // its section stays untouched

    // Only the first save keeps a copy.
    FMessages.clear();
    FClock.AdvanceSeconds(600);
    file->SaveScheduleFile();
    EXPECT_TRUE(FMessages.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FDir.Path()), {}), 2);
}

TEST_F(ScheduleFileTest, BadIntervalIsReportedWithItsKey)
{
    WriteFileBytes(Path(), "[VidUduzadevr]\nGroupNames=G,H\n[G]\nInterval=24:00:00\n[H]\nRGIndex=8\n");
    TVidUduzadevGroups groups;
    Load(groups);
    EXPECT_EQ(FMessages, TLines{"'24:00:00' is not a valid time in key \"Interval\" of section \"G\"; "
                                "the group was skipped."});
    ASSERT_EQ(groups.Count(), 1);
    EXPECT_EQ(groups.Items(0).RGIndex, 8);
}

TEST_F(ScheduleFileTest, BadHexListKeepsItsValidPartAndTheFollowingLists)
{
    UseFixture("schedule_bad_hex_list.mvf");
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    ASSERT_EQ(groups.Count(), 1);
    EXPECT_EQ(groups.Items(0).Stations, (TLines{"A1", "B2"}));
    EXPECT_EQ(groups.Items(0).Sensors, TLines{"RAIN"});
    EXPECT_EQ(FMessages, (TLines{"Key \"Stations\" of section \"RptSchGroup:1\" holds a character that is not a "
                                 "hexadecimal digit at position 17; its list was read up to there.",
                                 "Startup parameters loaded."}));
    FMessages.clear();
    file->SaveScheduleFile();
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_NE(FMessages[0].find("20240131-235959.bak"), std::string::npos) << FMessages[0];
}

TEST_F(ScheduleFileTest, DeletedGroupLeavesItsSectionUntouched)
{
    UseFixture("schedule_two_groups.mvf");
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    groups.Delete(0);
    file->SaveScheduleFile();
    TIniFile saved(Path());
    EXPECT_EQ(saved.ReadString("VidUduzadevr", "GroupNames", ""), "RptSchGroup:2");
    EXPECT_EQ(saved.ReadString("RptSchGroup:1", "Printer", ""), "Office Laser");
    EXPECT_EQ(saved.ReadString("VidUduzadevr", "LogDetail", ""), "2"); // never written, kept
}

// A group name that cannot head a section costs that group only: the other
// groups, their advanced starts and the group list still reach the disk.
TEST_F(ScheduleFileTest, GroupWithAnUnusableNameIsLeftOutAndTheRestSaved)
{
    WriteFileBytes(Path(), "[VidUduzadevr]\nGroupNames=RptSchGroup:1,Bad]Name,RptSchGroup:3\n"
                           "[RptSchGroup:1]\nRGIndex=1\nReportKey=RangedRain\nStartFrom=01/29/2024 06:00:00\n"
                           "[RptSchGroup:3]\nRGIndex=3\nReportKey=RangedRain\nStartFrom=01/29/2024 06:00:00\n");
    TVidUduzadevGroups groups;
    auto file = Load(groups);
    ASSERT_EQ(groups.Count(), 3);
    groups.Items(0).StartFrom = "01/31/2024 06:00:00";
    groups.Items(2).StartFrom = "01/30/2024 06:00:00";
    FMessages.clear();
    EXPECT_FALSE(file->SaveScheduleFile());
    EXPECT_EQ(FMessages, TLines{"Error 1700: Group \"Bad]Name\" cannot be saved: The section name \"Bad]Name\" "
                                "cannot be stored in a profile file: it holds \"]\" or a line break. The rest of "
                                "the schedule is saved. To keep the group, copy it in the group editor (the copy "
                                "gets a valid name) and delete this one."});
    TIniFile saved(Path());
    EXPECT_EQ(saved.ReadString("VidUduzadevr", "GroupNames", ""), "RptSchGroup:1,Bad]Name,RptSchGroup:3");
    EXPECT_EQ(saved.ReadString("RptSchGroup:1", "StartFrom", ""), "01/31/2024 06:00:00");
    EXPECT_EQ(saved.ReadString("RptSchGroup:3", "StartFrom", ""), "01/30/2024 06:00:00");
    EXPECT_EQ(saved.ReadSections(), (TLines{"VidUduzadevr", "RptSchGroup:1", "RptSchGroup:3"}));

    // Without the bad group everything is saved.
    groups.Delete(1);
    FMessages.clear();
    EXPECT_TRUE(file->SaveScheduleFile());
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(ScheduleFileTest, FailedSavePostsError1700AndKeepsTheFile)
{
    UseFixture("schedule_two_groups.mvf");
    TVidUduzadevGroups groups;
    auto file = Load(groups);

    // The folder has gone: the system's reason is posted.
    std::filesystem::remove_all(FDir.Path());
    FMessages.clear();
    EXPECT_FALSE(file->SaveScheduleFile());
    EXPECT_EQ(FMessages, TLines{"Error 1700: Cannot write \"" + Path() + "\": cannot create a temporary file in "
                                "the folder \"" + FDir.Path().string() + "\" (No such file or directory)."});
}

// The copy of a partly unreadable file is made in the file's folder: when the
// folder cannot be written, the message says so, and nothing is replaced.
TEST_F(ScheduleFileTest, CopyInAReadOnlyFolderNamesTheFolder)
{
    const std::string original = "[VidUduzadevr]\nGroupNames=G\n[G]\nEnabled=1\nReportKey=Gone\n";
    WriteFileBytes(Path(), original);
    ::chmod(Path().c_str(), 0666);
    ::chmod(FDir.Path().c_str(), 0555);
    const std::string messages = test::RunUnprivileged([&] {
        TVidUduzadevGroups groups;
        auto file = Load(groups);
        FMessages.clear();
        file->SaveScheduleFile();
        std::string all;
        for (const std::string& m : FMessages)
            all += m + "\n";
        return all;
    });
    EXPECT_EQ(messages, "Error 1700: Cannot keep a copy of \"" + Path() + "\" as \"" + Path() +
                            ".20240131-235959.bak\": cannot create a file in the folder \"" + FDir.Path().string() +
                            "\" (Permission denied); the program needs write access to that folder.\n");
    EXPECT_EQ(ReadFileBytes(Path()), original);
}

TEST_F(ScheduleFileTest, UnreadableFileIsNeverOverwritten)
{
    std::filesystem::create_directory(Path()); // cannot be read as a file
    TVidUduzadevGroups groups;
    TScheduleFile file(Path(), groups, FLookup, [this](const std::string& m) { FMessages.push_back(m); });
    EXPECT_THROW(file.Open(), EIniError);
    file.LoadStartupSettings();
    file.SaveScheduleFile();
    const std::string reason = "Cannot read \"" + Path() + "\": Is a directory";
    EXPECT_EQ(FMessages, (TLines{reason + ". The schedule file was not read, so it is not written either; "
                                          "restart the program once it can be read.",
                                 "Error 1700: " + reason + ". The schedule file was not read, so it is not "
                                                           "written either; restart the program once it can be read."}));
    EXPECT_TRUE(std::filesystem::is_directory(Path()));
}

} // namespace
} // namespace mv
