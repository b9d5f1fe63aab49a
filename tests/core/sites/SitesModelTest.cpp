// The station cache, its tree and the selected rows, without a database.
#include "core/schedule/ScheduleDataDef.h"
#include "core/sites/SelectedSites.h"
#include "core/sites/SiteTree.h"
#include "core/sites/StationSensorCache.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace mv {
namespace {

struct TRow {
    const char* Station;
    const char* Sensor;
    const char* Basin;
    int Primary;
};

void Fill(TStationSensorCache& cache, const std::vector<TRow>& rows)
{
    for (const auto& r : rows) {
        auto item = std::make_unique<TStationSensorItem>();
        item->StationID = r.Station;
        item->SensorName = r.Sensor;
        item->Basin = r.Basin;
        item->District = r.Basin;
        item->PrimaryChannel = r.Primary;
        cache.Add(std::move(item));
    }
}

std::vector<std::string> Order(const TStationSensorCache& cache)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < cache.Count(); ++i)
        out.push_back(cache.Items(i).StationID + "/" + cache.Items(i).SensorName);
    return out;
}

// "Caption[Icon]{child,child}" for every root, to compare whole trees.
std::string Dump(const TSiteTreeNode& node)
{
    std::string s = node.Caption + "[" + std::to_string(node.Icon) + "]";
    if (node.Data && node.Children.empty()) s += "=" + node.Data->SensorName;
    if (!node.Children.empty()) {
        s += "{";
        for (std::size_t i = 0; i < node.Children.size(); ++i) s += (i ? "," : "") + Dump(*node.Children[i]);
        s += "}";
    }
    return s;
}
std::vector<std::string> Dump(const TSiteTree& tree)
{
    std::vector<std::string> out;
    for (const auto* root : tree.Roots()) out.push_back(Dump(*root));
    return out;
}

TEST(CompareTextAscii, FoldsOnlyAsciiLettersAsUpperCase)
{
    constexpr struct { const char* A; const char* B; int Sign; } kCases[] = {
        {"abc", "ABC", 0},
        {"abc", "abd", -1},
        {"ab", "abc", -1},
        {"Z", "_", -1},       // letters compare as upper case: 'Z' 0x5A < '_' 0x5F
        {"a", "_", -1},       // ... so 'a' does too
        {"\xC3\xA9", "\xC3\x89", 1},  // é and É differ: only ASCII letters fold
        {"10", "9", -1},      // text compares by code, not by value
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.A) + " vs " + c.B);
        int r = CompareTextAscii(c.A, c.B);
        EXPECT_EQ((r > 0) - (r < 0), c.Sign);
    }
}

TEST(StationSensorCache, SortKindsOrderByTheirKeyThenStationThenSensor)
{
    TStationSensorCache cache;
    Fill(cache, {{"b2", "STAGE", "west", 10},
                 {"A1", "rain", "East", 9},
                 {"a1", "Airtemp", "", 0},
                 {"B2", "airtemp", "east", 10},
                 {"c3", "RAIN", "West", 2}});
    const struct { int Kind; std::vector<std::string> Expected; } kCases[] = {
        {3, {"a1/Airtemp", "A1/rain", "B2/airtemp", "b2/STAGE", "c3/RAIN"}},
        {4, {"a1/Airtemp", "B2/airtemp", "A1/rain", "c3/RAIN", "b2/STAGE"}},
        {5, {"a1/Airtemp", "A1/rain", "B2/airtemp", "b2/STAGE", "c3/RAIN"}},
        {11, {"a1/Airtemp", "c3/RAIN", "A1/rain", "B2/airtemp", "b2/STAGE"}},  // 9 before 10
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Kind);
        cache.SortBy(c.Kind);
        EXPECT_EQ(Order(cache), c.Expected);
    }
    EXPECT_THROW(cache.SortBy(2), std::invalid_argument);
    EXPECT_THROW(cache.SortBy(13), std::invalid_argument);
}

TEST(StationSensorCache, SortByAgreesWithTheFieldComparisonOnRandomItems)
{
    // SortBy sorts by a precomputed key; SortsBefore compares field by field.
    std::mt19937 rng(7);
    const std::string alphabet = "aAbB_Z[`09 \x01\xC3";
    auto text = [&] {
        std::string t;
        for (int n = static_cast<int>(rng() % 4); n > 0; --n) t += alphabet[rng() % alphabet.size()];
        return t;
    };
    TStationSensorCache cache;
    for (int i = 0; i < 400; ++i) {
        auto item = std::make_unique<TStationSensorItem>();
        item->StationID = text();
        item->SensorName = text();
        item->Basin = text();
        item->County = text();
        item->PrimaryChannel = static_cast<std::int32_t>(rng() % 5) - 2;
        item->RandomChannel = static_cast<std::int32_t>(rng() % 3) * 1000000000;
        cache.Add(std::move(item));
    }
    for (int kind = kFirstSortKind; kind <= kLastSortKind; ++kind) {
        SCOPED_TRACE(kind);
        cache.SortBy(kind);
        for (std::size_t i = 1; i < cache.Count(); ++i)
            ASSERT_FALSE(SortsBefore(cache.Items(i), cache.Items(i - 1), kind)) << "at " << i;
    }
}

TEST(StationSensorCache, DeleteItemAndClear)
{
    TStationSensorCache cache;
    Fill(cache, {{"A", "1", "", 0}, {"B", "2", "", 0}, {"C", "3", "", 0}});
    cache.DeleteItem(1);
    EXPECT_EQ(Order(cache), (std::vector<std::string>{"A/1", "C/3"}));
    EXPECT_THROW(cache.DeleteItem(2), std::out_of_range);
    cache.Clear();
    EXPECT_EQ(cache.Count(), 0u);
}

TEST(SiteTree, StationsViewSharesStationNodesAndListsSensorsOnlyWithSensorLists)
{
    TStationSensorCache cache;
    Fill(cache, {{"S2", "RAIN", "", 0}, {"s1", "STAGE", "", 0}, {"S1", "RAIN", "", 0}});
    TSiteTree tree;
    tree.Build(cache, TSiteView::Stations, true);
    // "s1" and "S1" share a node: captions compare without regard to case.
    EXPECT_EQ(Dump(tree), (std::vector<std::string>{"S1[0]{RAIN[1]=RAIN,STAGE[1]=STAGE}",
                                                    "S2[0]{RAIN[1]=RAIN}"}));
    tree.Build(cache, TSiteView::Stations, false);
    // Without sensor lists a station is one leaf carrying its last sensor.
    EXPECT_EQ(Dump(tree), (std::vector<std::string>{"S1[0]=STAGE", "S2[0]=RAIN"}));
    tree.Build(cache, TSiteView::Sensors, false);
    EXPECT_EQ(Dump(tree), (std::vector<std::string>{"RAIN[1]{S1[0]=RAIN,S2[0]=RAIN}",
                                                    "STAGE[1]{s1[0]=STAGE}"}));
}

TEST(SiteTree, BlankAttributesShareOneNullNode)
{
    TStationSensorCache cache;
    Fill(cache, {{"A", "RAIN", "", 0}, {"B", "RAIN", "  ", 0}, {"C", "RAIN", "Cedar", 0},
                 {"A", "STAGE", "", 0}});
    TSiteTree tree;
    tree.Build(cache, TSiteView::Basin, true);
    // One node per station under its basin, carrying the station's last sensor.
    EXPECT_EQ(Dump(tree), (std::vector<std::string>{"<NULL>[2]{A[0]=STAGE,B[0]=RAIN}",
                                                    "Cedar[2]{C[0]=RAIN}"}));
}

TEST(SiteTree, ChannelViewsSortByValueAndShowNullAsZero)
{
    TStationSensorCache cache;
    Fill(cache, {{"TEN", "RAIN", "", 10}, {"NINE", "RAIN", "", 9}, {"NONE", "RAIN", "", 0}});
    TSiteTree tree;
    tree.Build(cache, TSiteView::PrimaryChannel, false);
    EXPECT_EQ(Dump(tree), (std::vector<std::string>{"0[8]{NONE[0]=RAIN}", "9[8]{NINE[0]=RAIN}",
                                                    "10[8]{TEN[0]=RAIN}"}));
}

class SelectedSitesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Fill(FCache, {{"S1", "RAIN", "Cedar", 1}, {"S1", "STAGE", "Cedar", 1},
                      {"S2", "RAIN", "Cedar", 2}, {"S2", "STAGE", "Pine", 2}});
    }
    const TSiteTreeNode* Root(const std::string& caption) const
    {
        for (const auto* r : FTree.Roots())
            if (r->Caption == caption) return r;
        return nullptr;
    }
    std::vector<std::string> Rows() const
    {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < FSelected.Count(); ++i)
            out.push_back(FSelected.Rows(i).StationID + "/" + FSelected.Rows(i).SensorName);
        return out;
    }
    TStationSensorCache FCache;
    TSiteTree FTree;
    TSelectedSites FSelected;
};

TEST_F(SelectedSitesTest, WithSensorListsAStationAddsOneRowPerSensorOnce)
{
    FSelected.SetReportLists(true, true);
    FTree.Build(FCache, TSiteView::Stations, true);
    EXPECT_EQ(FSelected.AddNodeToSelection(Root("S1")), 2u);
    EXPECT_EQ(FSelected.AddNodeToSelection(Root("S1")), 0u);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"S1/RAIN", "S1/STAGE"}));
    // The same station through the basin view: its node carries its last
    // sensor in that order, already listed.
    FTree.Build(FCache, TSiteView::Basin, true);
    EXPECT_EQ(FSelected.AddNodeToSelection(Root("Cedar")), 1u);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"S1/RAIN", "S1/STAGE", "S2/RAIN"}));
}

TEST_F(SelectedSitesTest, WithoutSensorListsAStationIsOneRowWhateverTheView)
{
    FSelected.SetReportLists(true, false);
    for (TSiteView view : {TSiteView::Stations, TSiteView::Sensors, TSiteView::Basin, TSiteView::PrimaryChannel}) {
        FTree.Build(FCache, view, false);
        for (const auto* root : FTree.Roots()) FSelected.AddNodeToSelection(root);
    }
    EXPECT_EQ(Rows(), (std::vector<std::string>{"S1/", "S2/"}));
    EXPECT_EQ(FSelected.AddNodeToSelection(nullptr), 0u);
}

TEST_F(SelectedSitesTest, DeleteRowsThenAddAgain)
{
    FSelected.SetReportLists(true, true);
    FTree.Build(FCache, TSiteView::Stations, true);
    for (const auto* root : FTree.Roots()) FSelected.AddNodeToSelection(root);
    EXPECT_EQ(FSelected.DeleteRows({3, 0, 3, 9}), 2u);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"S1/STAGE", "S2/RAIN"}));
    EXPECT_EQ(FSelected.AddNodeToSelection(Root("S1")), 1u);  // S1/RAIN may come back
}

TEST_F(SelectedSitesTest, StoreAndFillFollowTheReportsLists)
{
    FTree.Build(FCache, TSiteView::Stations, true);
    const struct { const char* Label; bool Sites, Sensors; std::vector<std::string> Stations, SensorNames; } kCases[] = {
        {"sites and sensors", true, true, {"S1", "S1", "S2", "S2"}, {"RAIN", "STAGE", "RAIN", "STAGE"}},
        {"sites only", true, false, {"S1", "S2"}, {}},
        {"sensors only", false, true, {}, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        FSelected.Clear();
        FSelected.SetReportLists(c.Sites, c.Sensors);
        FTree.Build(FCache, TSiteView::Stations, c.Sensors);
        for (const auto* root : FTree.Roots()) FSelected.AddNodeToSelection(root);
        EXPECT_GT(FSelected.Count(), 0u);  // the frame works for every such report
        TVidUduzadevGroupItem group;
        group.Stations = {"OLD"};
        group.Sensors = {"OLD"};
        FSelected.StoreInto(group);
        EXPECT_EQ(group.Stations, c.Stations);
        EXPECT_EQ(group.Sensors, c.SensorNames);

        TVidUduzadevGroupItem stored;
        stored.Stations = {"S9", "S8"};
        stored.Sensors = {"RAIN", "STAGE"};
        FSelected.FillFrom(stored);
        EXPECT_EQ(FSelected.Count(), c.Sites ? 2u : 0u);
    }
}

TEST_F(SelectedSitesTest, FillWithFewerSensorsThanStationsKeepsEveryStation)
{
    FSelected.SetReportLists(true, true);
    TVidUduzadevGroupItem group;
    group.Stations = {"S1", "S2", "S2"};
    group.Sensors = {"RAIN"};
    FSelected.FillFrom(group);
    // The two sensorless S2 entries are one row.
    EXPECT_EQ(Rows(), (std::vector<std::string>{"S1/RAIN", "S2/"}));
}

}  // namespace
}  // namespace mv
