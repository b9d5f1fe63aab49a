#include "core/catalog/ReportCatalog.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "core/schedule/ScheduleDataDef.h"
#include "core/schedule/ScheduleFile.h"
#include "platform/ini/TestFiles.h"

namespace mv {
namespace {

using test::TTempDir;
using test::WriteFileBytes;
using TLines = std::vector<std::string>;

const std::string kTwoCatalogs = MV_TEST_DATA_DIR "/catalog/two_catalogs";

TLines Titles(const std::vector<TReportItem>& items)
{
    TLines out;
    for (const auto& r : items)
        out.push_back(r.Title);
    return out;
}

TEST(ReportCatalog, FindReadsEveryKeyOfAnEntry)
{
    TReportCatalog catalog(kTwoCatalogs);
    TReportItem r;
    r.PropTitle = "left from before";
    catalog.FindReport("dailyrain", r); // keys compare without letter case
    TReportItem expected;
    expected.Key = "dailyrain";
    expected.ReportType = 0;
    expected.Title = "Daily rain";
    expected.FileName = "reports/daily_rain.rpt";
    expected.Enabled = true;
    expected.Prompt = 5;
    expected.TimeRange = true;
    expected.TimeRangeStyle = 2;
    expected.Filter = true;
    expected.SiteLists = true;
    expected.SensorLists = false;
    expected.SpecialType = 0; // so "Report Param 1" is not read
    expected.Category = "RAIN";
    expected.CategoryName = "Rainfall";
    expected.CategoryIndex = 1; // the main catalog's, though the user catalog has 7
    EXPECT_EQ(r, expected);
}

TEST(ReportCatalog, FindLooksInTheUserCatalogFirst)
{
    TReportCatalog catalog(kTwoCatalogs);
    const struct {
        const char* Key;
        const char* Title;
        const char* CategoryName;
        int CategoryIndex;
    } kCases[] = {
        {"Shared", "Shared (user)", "Rainfall", 1},
        {"UserReport", "User report", "Site reports", 9}, // category known to the user catalog only
        {"OnlyInUser", "Only in user", "", 0},
        {"NoTitle", "NoTitle", "Temperature", 2},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Key);
        TReportItem r;
        catalog.FindReport(c.Key, r);
        EXPECT_EQ(r.Title, c.Title);
        EXPECT_EQ(r.CategoryName, c.CategoryName);
        EXPECT_EQ(r.CategoryIndex, c.CategoryIndex);
    }

    TReportItem special;
    catalog.FindReport("Special", special);
    EXPECT_EQ(special.Params, (std::array<std::string, 4>{"a", "b", "c", "d"}));
    TReportItem noTitle;
    catalog.FindReport("NoTitle", noTitle);
    EXPECT_FALSE(noTitle.Enabled);    // "yes" is not a number: the default
    EXPECT_TRUE(noTitle.SensorLists); // any number but 0 is true
}

TEST(ReportCatalog, UnknownKeyFails)
{
    TReportCatalog catalog(kTwoCatalogs);
    TReportItem r;
    r.Title = "untouched";
    try {
        catalog.FindReport("NoSuchReport", r);
        FAIL() << "unknown report found";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "The report is not found in INI file.");
    }
    EXPECT_EQ(r.Title, "untouched");
}

TEST(ReportCatalog, CategoriesOfAKind)
{
    TReportCatalog catalog(kTwoCatalogs);
    EXPECT_EQ(catalog.ListCategories(0), (std::vector<TReportCategory>{{"...ALL...", "Reports Settings"},
                                                                       {"Rainfall", "RAIN"},
                                                                       {"Temperature", "TEMP"},
                                                                       {"Site reports", "USERCAT"},
                                                                       {"Rainfall", "RAIN"}}));
    EXPECT_EQ(catalog.ListCategories(1), (std::vector<TReportCategory>{{"...ALL...", "Reports Settings"},
                                                                       {"Post processed", "PP"}}));
}

TEST(ReportCatalog, EntriesOfACategory)
{
    TReportCatalog catalog(kTwoCatalogs);
    // Main catalog's section first, each entry read from the file that lists it.
    EXPECT_EQ(Titles(catalog.ListReports("RAIN", 0)),
              (TLines{"Daily rain", "Shared (main)", "OnlyInUser", "Shared (user)"}));
    EXPECT_EQ(Titles(catalog.ListReports("Reports Settings", 0)),
              (TLines{"Daily rain", "Shared (main)", "NoTitle", "User report"}));
    EXPECT_EQ(Titles(catalog.ListReports("Reports Settings", 1)), TLines{"Post-processed"});
    // A hidden category's entries still appear under "...ALL...".
    EXPECT_EQ(Titles(catalog.ListReports("HIDDEN", 0)), TLines{"Daily rain"});
    EXPECT_TRUE(catalog.ListReports("NoSuchSection", 0).empty());
    EXPECT_EQ(catalog.UserCatalog().ReadString("Windows Settings", "Category", ""), "Rainfall");
}

TEST(ReportCatalog, MissingFilesAreEmpty)
{
    TTempDir dir;
    TReportCatalog catalog(dir.Path().string() + "/");
    TReportItem r;
    EXPECT_THROW(catalog.FindReport("DailyRain", r), EReportNotFound);
    EXPECT_EQ(catalog.ListCategories(0), (std::vector<TReportCategory>{{"...ALL...", "Reports Settings"}}));
    EXPECT_TRUE(catalog.ListReports("Reports Settings", 0).empty());
}

// A catalog file that is there but cannot be read is an error naming it: as
// an empty catalog it would make every group's report look unknown.
TEST(ReportCatalog, UnreadableFileFails)
{
    for (const char* name : {TReportCatalog::kMainFileName, TReportCatalog::kUserFileName}) {
        SCOPED_TRACE(name);
        TTempDir dir;
        std::filesystem::create_directory(dir.File(name)); // cannot be read as a file
        try {
            TReportCatalog catalog(dir.Path().string());
            FAIL() << "an unreadable catalog was taken for an empty one";
        } catch (const EIniError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot read \"" + dir.File(name) + "\": Is a directory. The report "
                      "catalog is needed to find the reports; make the file readable and restart the program.");
        }
    }
}

// The schedule file fills each group's report entry from the real catalog.
TEST(ReportCatalog, ScheduleFileTakesEntriesFromTheCatalog)
{
    TTempDir dir;
    const std::string path = dir.File(TScheduleFile::kFileName);
    WriteFileBytes(path, "[VidUduzadevr]\nGroupNames=RptSchGroup:1,RptSchGroup:2\n"
                         "[RptSchGroup:1]\nEnabled=1\nReportKey=UserReport\nStartFrom=Yesterday\n"
                         "[RptSchGroup:2]\nEnabled=1\nReportKey=DailyRain\nStartFrom=Yesterday\n");
    TReportCatalog catalog(kTwoCatalogs);
    TVidUduzadevGroups groups;
    TLines messages;
    TScheduleFile file(path, groups, catalog, [&](const std::string& m) { messages.push_back(m); });
    file.Open();
    file.LoadStartupSettings();
    EXPECT_EQ(messages, TLines{"Startup parameters loaded."});
    ASSERT_EQ(groups.Count(), 2);
    EXPECT_EQ(groups.Items(0).Report.FileName, "user.rpt");
    EXPECT_EQ(groups.Items(0).StartFrom, "Now"); // no time range
    EXPECT_TRUE(groups.Items(0).Enabled);
    EXPECT_EQ(groups.Items(1).Report.Title, "Daily rain");
    EXPECT_EQ(groups.Items(1).StartFrom, "Yesterday");
}

} // namespace
} // namespace mv
