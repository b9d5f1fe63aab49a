#include "core/catalog/ReportParameters.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "core/catalog/ReportFile.h"
#include "core/schedule/ReportItem.h"
#include "engine/TRpe.h"
#include "platform/ini/TestFiles.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using TLines = std::vector<std::string>;

const std::string kReports = MV_TEST_DATA_DIR "/catalog/reports/";

// Every test here reads definitions through the real engine library.
class ReportParameters : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("MV_RPENG_LIBRARY", RPENG32, 1); }

    static TReportItem Entry(const std::string& file, bool timeRange, bool sites, bool sensors) {
        TReportItem e;
        e.Key = "Test";
        e.FileName = file;
        e.TimeRange = timeRange;
        e.SiteLists = sites;
        e.SensorLists = sensors;
        return e;
    }
};

TEST_F(ReportParameters, BringsBothListsInLineWithTheReport) {
    const struct {
        const char* Label;
        bool TimeRange, Sites, Sensors;
        TLines Params, Special;
        TLines ExpectParams, ExpectSpecial;
    } kCases[] = {
        {"no flags: reserved names are ordinary parameters", false, false, false, {}, {},
         {"StartTime=", "EndTime=", "SiteList=", "SensorList=", "MinQuality=", "Units=", "NoteLimit="},
         {"pReportTime"}},
        {"only the time range is the scheduler's", true, false, false, {}, {},
         {"SiteList=", "SensorList=", "MinQuality=", "Units=", "NoteLimit="}, {"pReportTime"}},
        {"all flags", true, true, true, {}, {}, {"MinQuality=", "Units=", "NoteLimit="}, {"pReportTime"}},
        {"values kept whatever the case of the name, other lines dropped", true, true, true,
         {"Obsolete=1", "minquality=3", "no equals sign", "=orphan", "UNITS=si"}, {"pReportTime"},
         {"minquality=3", "UNITS=si", "NoteLimit="}, {"pReportTime"}},
        {"a line for the linked parameter is kept, none is added", true, true, true, {"pStation=FTC01"}, {},
         {"pStation=FTC01", "MinQuality=", "Units=", "NoteLimit="}, {"pReportTime"}},
        {"other special names are kept, pReportTime added once", true, true, true, {}, {"SiteList", "Gone"},
         {"MinQuality=", "Units=", "NoteLimit="}, {"SiteList", "Gone", "pReportTime"}},
    };
    TRpe binding;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        TLines params = c.Params, special = c.Special;
        DiscoverReportParameters(binding, Entry(kReports + "params_all_kinds.xml", c.TimeRange, c.Sites, c.Sensors),
                                 "", params, special);
        EXPECT_EQ(params, c.ExpectParams);
        EXPECT_EQ(special, c.ExpectSpecial);
    }
}

TEST_F(ReportParameters, ReportWithoutParametersDropsEveryLine) {
    TRpe binding;
    TLines params{"Units=si"}, special{"pReportTime"};
    // The binding had another report open: it is closed and the new one read.
    TLines first, firstSpecial;
    DiscoverReportParameters(binding, Entry(kReports + "params_all_kinds.xml", true, true, true), "", first,
                             firstSpecial);
    ASSERT_FALSE(first.empty());
    DiscoverReportParameters(binding, Entry(kReports + "params_none.xml", true, true, true), "", params, special);
    EXPECT_TRUE(params.empty());
    EXPECT_EQ(special, TLines{"pReportTime"});
}

// A report file out of reach for a while must not cost the group its values.
TEST_F(ReportParameters, MissingReportFileLeavesBothListsAsTheyWere) {
    TRpe binding;
    for (const char* file : {"no_such_report.xml", ""}) {
        SCOPED_TRACE(file);
        TLines params{"Units=si", "Old=1"}, special{"pReportTime"};
        DiscoverReportParameters(binding, Entry(file, false, false, false), kReports, params, special);
        EXPECT_EQ(params, (TLines{"Units=si", "Old=1"}));
        EXPECT_EQ(special, TLines{"pReportTime"});
    }
}

TEST_F(ReportParameters, FileNameRelativeToTheProgramFolder) {
    TRpe binding;
    TLines params, special;
    DiscoverReportParameters(binding, Entry("params_all_kinds.xml", true, true, true), kReports, params, special);
    EXPECT_EQ(params, (TLines{"MinQuality=", "Units=", "NoteLimit="}));
}

// The operator's values must not vanish because the engine failed once.
TEST_F(ReportParameters, EngineFailureLeavesBothListsAsTheyWere) {
    const TLines params0{"Units=si", "Old=1"}, special0{"SiteList"};
    {
        SCOPED_TRACE("definition the engine refuses");
        TRpe binding;
        TLines params = params0, special = special0;
        DiscoverReportParameters(binding, Entry(kReports + "definition_unknown_element.xml", false, false, false), "",
                                 params, special);
        EXPECT_EQ(params, params0);
        EXPECT_EQ(special, special0);
    }
    {
        SCOPED_TRACE("engine library missing");
        ::setenv("MV_RPENG_LIBRARY", "/nonexistent/librpeng32.so", 1);
        TRpe binding;
        TLines params = params0, special = special0;
        DiscoverReportParameters(binding, Entry(kReports + "params_all_kinds.xml", false, false, false), "", params,
                                 special);
        EXPECT_EQ(params, params0);
        EXPECT_EQ(special, special0);
    }
}

TEST(ReportSpecialNames, CompareExactlyAndFollowTheFlags) {
    TReportItem all;
    all.TimeRange = all.SiteLists = all.SensorLists = true;
    const TReportItem none;
    for (const char* name : {"StartTime", "EndTime", "SiteList", "SensorList"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsSpecialReportParameter(all, name));
        EXPECT_FALSE(IsSpecialReportParameter(none, name));
    }
    EXPECT_TRUE(IsSpecialReportParameter(none, "pReportTime"));
    EXPECT_FALSE(IsSpecialReportParameter(all, "starttime"));
    EXPECT_FALSE(IsSpecialReportParameter(all, "PREPORTTIME"));
}

class CurrentDir {
public:
    explicit CurrentDir(const fs::path& dir) : FOld(fs::current_path()) { fs::current_path(dir); }
    ~CurrentDir() { fs::current_path(FOld); }

private:
    fs::path FOld;
};

TEST(ReportFile, ResolvesAgainstTheCurrentFolderThenTheProgramFolder) {
    test::TTempDir cwd, app;
    fs::create_directories(cwd.Path() / "reports");
    fs::create_directories(app.Path() / "reports" / "folder.xml");
    test::WriteFileBytes(cwd.File("reports/both.xml"), "x");
    test::WriteFileBytes(app.File("reports/both.xml"), "x");
    test::WriteFileBytes(app.File("reports/app_only.xml"), "x");
    const std::string appDir = app.Path().string() + "/";
    CurrentDir in(cwd.Path());
    EXPECT_EQ(ResolveReportFile("reports/both.xml", appDir), cwd.File("reports/both.xml"));
    EXPECT_EQ(ResolveReportFile("reports/app_only.xml", appDir), app.File("reports/app_only.xml"));
    EXPECT_EQ(ResolveReportFile(app.File("reports/app_only.xml"), "/elsewhere/"), app.File("reports/app_only.xml"));
    EXPECT_EQ(ResolveReportFile("reports/none.xml", appDir), "");
    EXPECT_EQ(ResolveReportFile("reports/folder.xml", appDir), "") << "a folder is no report file";
    EXPECT_EQ(ResolveReportFile("", appDir), "") << "an empty name is not the current folder";
}

TEST(ReportFile, TimesAreLocalDateTimes) {
    test::TTempDir dir;
    const std::string file = dir.File("r.xml");
    test::WriteFileBytes(file, "x");
    // 2024-03-01 06:30:15 local time as write time, 2024-03-02 00:00:00 as access time.
    std::tm saved{}, accessed{};
    saved.tm_year = 124, saved.tm_mon = 2, saved.tm_mday = 1, saved.tm_hour = 6, saved.tm_min = 30, saved.tm_sec = 15;
    accessed.tm_year = 124, accessed.tm_mon = 2, accessed.tm_mday = 2;
    saved.tm_isdst = accessed.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&accessed), 0}, {std::mktime(&saved), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

    const TReportFileTimes t = ReadReportFileTimes(file);
    EXPECT_EQ(DateTimeToStr(t.Saved), "03/01/2024 06:30:15");
    EXPECT_EQ(DateTimeToStr(t.Accessed), "03/02/2024");
    // Birth time where the file system records it, else day 0.
    EXPECT_TRUE(t.Created == 0 || t.Created > EncodeDate(2020, 1, 1)) << t.Created;

    const TReportFileTimes none = ReadReportFileTimes(dir.File("missing.xml"));
    EXPECT_EQ(DateTimeToStr(none.Created), "12/30/1899");
    EXPECT_EQ(none.Saved, 0);
    EXPECT_EQ(none.Accessed, 0);
}

}  // namespace
}  // namespace mv
