// Loading the station cache and the filter fields from the demo database
// through the ODBC drivers (test services: SQLite "MVDEMO", PostgreSQL
// "MVDEMO_PG").
#include "core/sites/FilterFile.h"
#include "core/sites/SiteQuery.h"
#include "core/sites/SiteTree.h"
#include "core/sites/StationSensorCache.h"

#include "platform/odbc/Odbc.h"
#include "platform/odbc/TestServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace mv {
namespace {

using mv::test::TServices;

constexpr std::size_t kDemoPairs = 20 * 4;  // stations x sensors of the default demo

std::set<std::string> Pairs(const TStationSensorCache& cache)
{
    std::set<std::string> out;
    for (std::size_t i = 0; i < cache.Count(); ++i)
        out.insert(cache.Items(i).StationID + "/" + cache.Items(i).SensorName);
    return out;
}

std::set<std::string> Stations(const TStationSensorCache& cache)
{
    std::set<std::string> out;
    for (std::size_t i = 0; i < cache.Count(); ++i) out.insert(cache.Items(i).StationID);
    return out;
}

// The demo database through SQLite, and a private copy of it for the tests
// that change data or try to.
class SiteQueryDb : public ::testing::Test {
protected:
    void SetUp() override
    {
        FDemo.Connect({TServices::Get()["MV_SQLITE_DSN"], "", "", ""});
        std::filesystem::copy_file(TServices::Get()["MV_DEMO_DB"], FDir.File("copy.db"));
    }
    std::string Filter(const std::string& name, const std::vector<std::string>& lines)
    {
        const std::string file = FDir.File(name);
        WriteTextLines(file, lines);
        return file;
    }
    odbc::TConnection& Copy()
    {
        if (!FCopy.Connected()) FCopy.Connect({TServices::Get()["MV_SQLITE_DSN"], "", "", FDir.File("copy.db")});
        return FCopy;
    }
    std::int64_t SitesIn(odbc::TConnection& c)
    {
        odbc::TStatement st(c);
        st.ExecuteDirect("SELECT COUNT(*) FROM MV_SITES");
        EXPECT_TRUE(st.Fetch());
        return st.Int64(0);
    }

    mv::test::TScratchDir FDir;
    odbc::TConnection FDemo;
    odbc::TConnection FCopy;
    TStationSensorCache FCache;
};

TEST_F(SiteQueryDb, LoadsEveryPairWithItsAttributes)
{
    EXPECT_EQ(LoadSiteCache(&FDemo, "  ", FCache), "");
    ASSERT_EQ(FCache.Count(), kDemoPairs);
    FCache.SortBy(3);
    const TStationSensorItem& ftc = FCache.Items(0);
    EXPECT_EQ(ftc.StationID, "FTC01");
    EXPECT_EQ(ftc.Basin, "Upper Cedar");
    EXPECT_EQ(ftc.City, "Fort Collins");
    EXPECT_EQ(ftc.County, "Larimer");
    EXPECT_EQ(ftc.State, "Colorado");
    EXPECT_EQ(ftc.Country, "USA");
    EXPECT_EQ(ftc.PrimaryChannel, 1);
    EXPECT_EQ(ftc.RandomChannel, 446);
}

TEST_F(SiteQueryDb, TreeOfTheDemoStations)
{
    LoadSiteCache(&FDemo, "", FCache);
    TSiteTree tree;

    // GRE01 has no basin: it stands under "<NULL>", alone.
    tree.Build(FCache, TSiteView::Basin, false);
    ASSERT_FALSE(tree.Roots().empty());
    const TSiteTreeNode* null = tree.Roots().front();
    EXPECT_EQ(null->Caption, "<NULL>");
    ASSERT_EQ(null->Children.size(), 1u);
    EXPECT_EQ(null->Children[0]->Caption, "GRE01");
    EXPECT_EQ(std::count_if(tree.Roots().begin(), tree.Roots().end(),
                            [](auto* r) { return r->Caption == "<NULL>"; }), 1);

    // Channels 1 to 20: 10 follows 9. LOV01's random channel is null: 0.
    tree.Build(FCache, TSiteView::PrimaryChannel, false);
    std::vector<std::string> channels;
    for (auto* r : tree.Roots()) channels.push_back(r->Caption);
    ASSERT_EQ(channels.size(), 20u);
    EXPECT_EQ(channels[8], "9");
    EXPECT_EQ(channels[9], "10");
    tree.Build(FCache, TSiteView::RandomChannel, false);
    EXPECT_EQ(tree.Roots().front()->Caption, "0");
    EXPECT_EQ(tree.Roots().front()->Children[0]->Caption, "LOV01");

    // Stations with sensor lists: 20 stations, 4 sensors each.
    tree.Build(FCache, TSiteView::Stations, true);
    ASSERT_EQ(tree.Roots().size(), 20u);
    EXPECT_EQ(tree.Roots()[0]->Children.size(), 4u);
}

TEST_F(SiteQueryDb, FilterFilesNarrowTheList)
{
    // FTC01 gets a sensor of its own. A filter with OR appended without
    // parentheses would let the OR branch skip the join condition and pair
    // Lyons' stations with every sensor name, FLOW included.
    odbc::TConnection& copy = Copy();
    copy.Execute("INSERT INTO MV_SITESENSORS (STE_STATION_ID, SENSORNAME) VALUES ('FTC01', 'FLOW')");
    const std::vector<std::string> orLines = {"MV_SITES.CITY = 'Greeley' OR ", "MV_SITES.CITY = 'Lyons'"};
    {
        odbc::TStatement bare(copy);
        bare.ExecuteDirect(std::string(kSiteBaseQuery) + " AND " + JoinFilterLines(orLines));
        std::set<std::string> pairs;
        while (bare.Fetch()) pairs.insert(std::string(bare.Text(0)) + "/" + std::string(bare.Text(1)));
        ASSERT_TRUE(pairs.count("LYO01/FLOW")) << "the fixture no longer shows the fault";
    }
    const std::string orFilter = Filter("or.flt", orLines);
    EXPECT_EQ(LoadSiteCache(&copy, "  " + orFilter + " ", FCache), orFilter);
    EXPECT_EQ(Stations(FCache), (std::set<std::string>{"GRE01", "GRE02", "LYO01", "LYO02"}));
    EXPECT_EQ(FCache.Count(), 16u);  // each station with its own four sensors only
    EXPECT_FALSE(Pairs(FCache).count("LYO01/FLOW"));

    const struct { const char* Label; std::vector<std::string> Lines; std::size_t Pairs; } kCases[] = {
        {"blank file", {"", "   "}, kDemoPairs},
        {"builder lines", {"MV_SITES.STATE   =  'Kansas' AND ", "MV_SITESENSORS.SENSORNAME   =  'RAIN'"}, 4},
        {"numeric column", {"MV_SITES.PRIMARY_CHANNEL   >=  19"}, 8},
        {"not valid SQL", {"MV_SITES.CITY = = 'x'"}, 0},
        {"unknown column", {"MV_SITES.NO_SUCH = 1"}, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        LoadSiteCache(&FDemo, Filter("case.flt", c.Lines), FCache);
        EXPECT_EQ(FCache.Count(), c.Pairs);
    }

    // An unreadable filter file leaves the list unfiltered.
    LoadSiteCache(&FDemo, FDir.File("missing.flt"), FCache);
    EXPECT_EQ(FCache.Count(), kDemoPairs);
    // No connection: an empty list, quietly.
    LoadSiteCache(nullptr, "", FCache);
    EXPECT_EQ(FCache.Count(), 0u);
}

TEST_F(SiteQueryDb, AFilterCannotRunASecondStatement)
{
    odbc::TConnection& copy = Copy();
    const std::int64_t before = SitesIn(copy);
    ASSERT_EQ(before, 20);
    const std::vector<std::vector<std::string>> kFilters = {
        {"MV_SITES.CITY = 'Greeley'; DELETE FROM MV_SITES"},
        {"MV_SITES.CITY = 'Greeley'", "; DELETE FROM MV_SITES"},
        {"1 = 1); DELETE FROM MV_SITES; SELECT (1"},
    };
    for (const auto& lines : kFilters) {
        SCOPED_TRACE(lines.front());
        const std::string file = Filter("evil.flt", lines);
        LoadSiteCache(&copy, file, FCache);
        EXPECT_EQ(FCache.Count(), 0u);
        std::vector<TSitePair> rows;
        EXPECT_FALSE(ExecuteSitePairs(&copy, JoinTextLines(lines), rows));
        EXPECT_TRUE(rows.empty());
        EXPECT_EQ(SitesIn(copy), before);
    }
}

TEST_F(SiteQueryDb, QuotedValuesFindNamesWithApostrophes)
{
    odbc::TConnection& copy = Copy();
    copy.Execute("UPDATE MV_SITES SET BASIN = 'O''Brien Creek' WHERE STATION_ID = 'KRN01'");
    const std::string cmp = FilterComparison("MV_SITES.BASIN", "  = ", "O'Brien Creek", 12);
    LoadSiteCache(&copy, Filter("obrien.flt", {cmp}), FCache);
    EXPECT_EQ(Stations(FCache), std::set<std::string>{"KRN01"});
    std::vector<TSitePair> rows;
    EXPECT_TRUE(ExecuteSitePairs(&copy, cmp, rows));
    EXPECT_EQ(rows.size(), 4u);
}

TEST_F(SiteQueryDb, ExecuteListsThePairsOfTheText)
{
    std::vector<TSitePair> rows;
    EXPECT_TRUE(ExecuteSitePairs(&FDemo, "", rows));
    EXPECT_EQ(rows.size(), kDemoPairs);
    rows.clear();
    EXPECT_TRUE(ExecuteSitePairs(&FDemo, "MV_SITES.CITY = 'Greeley' OR\nMV_SITES.CITY = 'Lyons'\n", rows));
    EXPECT_EQ(rows.size(), 16u);
    for (const auto& r : rows) EXPECT_TRUE(r.StationID.starts_with("GRE") || r.StationID.starts_with("LYO"));
    rows.clear();
    EXPECT_FALSE(ExecuteSitePairs(&FDemo, "MV_SITES.CITY = = 1", rows));
    EXPECT_TRUE(rows.empty());
}

TEST_F(SiteQueryDb, FilterFieldsHoldTheDistinctValuesOfEveryColumn)
{
    odbc::TConnection& copy = Copy();
    copy.Execute("UPDATE MV_SITES SET COUNTRY = 'usa' WHERE STATION_ID = 'LOV01'");
    copy.Execute("UPDATE MV_SITES SET REPORTING_TIME = NULL");
    std::vector<TDataList> fields;
    ReadFilterFields(copy, "MV_SITES", fields);
    ReadFilterFields(copy, "MV_SITESENSORS", fields);
    ASSERT_EQ(fields.size(), 13u);
    EXPECT_EQ(fields.front().Field, "MV_SITES.STATION_ID");
    EXPECT_EQ(fields.front().Values.size(), 20u);
    EXPECT_EQ(fields[1].Field, "MV_SITES.REPORTING_TIME");
    EXPECT_TRUE(fields[1].Values.empty());  // only nulls
    EXPECT_EQ(fields[6].Field, "MV_SITES.COUNTRY");
    EXPECT_EQ(fields[6].Values, std::vector<std::string>{"USA"});  // "usa" is the same value
    EXPECT_TRUE(odbc::IsTextType(fields[6].FDataType));
    EXPECT_EQ(fields[9].Field, "MV_SITES.PRIMARY_CHANNEL");
    EXPECT_FALSE(QuotesFilterValue(fields[9].FDataType));
    EXPECT_EQ(fields[11].Field, "MV_SITESENSORS.STE_STATION_ID");
    EXPECT_EQ(fields[12].Values, (std::vector<std::string>{"RAIN", "STAGE", "AIRTEMP", "BATTERY"}));

    EXPECT_THROW(ReadFilterFields(copy, "NO_SUCH_TABLE", fields), odbc::EOdbcError);
    EXPECT_EQ(fields.size(), 13u);
}

TEST(SiteQueryPg, LoadSiteCacheOnPostgreSql)
{
    const TServices& s = TServices::Get();
    odbc::TConnection pg({s["MV_PG_DSN"], s["MV_PG_USER"], s["MV_PG_PASSWORD"], ""});
    TStationSensorCache cache;
    LoadSiteCache(&pg, "", cache);
    ASSERT_EQ(cache.Count(), kDemoPairs);
    TSiteTree tree;
    tree.Build(cache, TSiteView::Basin, false);
    EXPECT_EQ(tree.Roots().front()->Caption, "<NULL>");
    tree.Build(cache, TSiteView::PrimaryChannel, false);
    EXPECT_EQ(tree.Roots()[9]->Caption, "10");

    mv::test::TScratchDir dir;
    WriteTextLines(dir.File("or.flt"), {"MV_SITES.CITY = 'Greeley' OR ", "MV_SITES.CITY = 'Lyons'"});
    LoadSiteCache(&pg, dir.File("or.flt"), cache);
    EXPECT_EQ(cache.Count(), 16u);
    WriteTextLines(dir.File("evil.flt"), {"MV_SITES.CITY = E'\\'' ; DELETE FROM MV_SITES --'"});
    LoadSiteCache(&pg, dir.File("evil.flt"), cache);
    EXPECT_EQ(cache.Count(), 0u);
    LoadSiteCache(&pg, "", cache);
    EXPECT_EQ(cache.Count(), kDemoPairs);  // the table is intact
}

}  // namespace
}  // namespace mv
