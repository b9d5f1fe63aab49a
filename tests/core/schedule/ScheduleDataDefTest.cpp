#include "core/schedule/ScheduleDataDef.h"

#include <gtest/gtest.h>

#include "core/timing/Clock.h"
#include "core/timing/DateTime.h"

namespace mv {
namespace {

// A group with every field away from its default, and a line in each list.
std::unique_ptr<TVidUduzadevGroupItem> FullGroup()
{
    auto g = std::make_unique<TVidUduzadevGroupItem>();
    g->Report.Key = "DailyRain";
    g->Report.Title = "Daily rain";
    g->Report.TimeRange = true;
    g->Report.Params[3] = "p4";
    g->Report.PropAccessed = "01/02/2024";
    g->Enabled = true;
    g->BaseTime = 0.25;
    g->IntType = 6;
    g->Interval = 1.5;
    g->BeforeRun = "b";
    g->AfterRun = "a";
    g->StartFrom = "Yesterday";
    g->Output = 1;
    g->Printer = "p";
    g->OutputDir = "/o";
    g->OutputName = "n";
    g->OutputPrefix = "pre";
    g->OutputSuffix = "suf";
    g->OutputFormat = 5;
    g->TimeFrom = "Last Week";
    g->TimeTo = "Today";
    g->AbsTimeFrom = 45000;
    g->AbsTimeTo = 45001.5;
    g->Filter = "f.flt";
    g->Stations = {"S1"};
    g->Sensors = {"R1"};
    g->OtherParams = {"A=1"};
    g->SpecialParams = {"pReportTime"};
    g->GroupName = "RptSchGroup:7";
    g->RGIndex = 7;
    g->PeriodStart = 45000.25;
    g->Period = 1;
    g->NextRun = 45001.25;
    g->CatchUpRun = 45002.25;
    g->Running = true;
    return g;
}

TEST(ScheduleGroup, NewGroupDefaults)
{
    TSimulatedClock clock(EncodeDateTime(2024, 1, 31, 23, 59, 59, 0));
    TScopedClock scope(clock);
    TVidUduzadevGroupItem g;
    EXPECT_EQ(g.Output, 2);
    EXPECT_EQ(g.IntType, 3);
    EXPECT_EQ(g.StartFrom, "Now");
    EXPECT_EQ(g.TimeFrom, "");
    EXPECT_EQ(g.TimeTo, "");
    EXPECT_FALSE(g.Enabled);
    EXPECT_EQ(g.BaseTime, EncodeDate(2024, 1, 31));
    EXPECT_EQ(g.Interval, 0);
    EXPECT_EQ(g.OutputFormat, 0);
    EXPECT_EQ(g.Report, TReportItem{});
    EXPECT_TRUE(g.Stations.empty() && g.Sensors.empty() && g.OtherParams.empty() && g.SpecialParams.empty());
    EXPECT_FALSE(g.Running);
}

TEST(ScheduleGroup, AssignCopiesAllButRunningAndAppendsLists)
{
    auto source = FullGroup();
    TVidUduzadevGroupItem copy;
    copy.Assign(*source);
    EXPECT_FALSE(copy.Running);
    copy.Running = true;
    EXPECT_EQ(copy, *source);

    copy.Assign(*source);
    EXPECT_EQ(copy.Stations, (std::vector<std::string>{"S1", "S1"}));
    EXPECT_EQ(copy.SpecialParams, (std::vector<std::string>{"pReportTime", "pReportTime"}));

    TVidUduzadevGroupItem holding;
    holding.OtherParams = {"Old=0"};
    holding.Assign(*source);
    EXPECT_EQ(holding.OtherParams, (std::vector<std::string>{"Old=0", "A=1"}));

    source->Assign(*source);
    EXPECT_EQ(source->Sensors, (std::vector<std::string>{"R1", "R1"}));
}

TEST(ScheduleGroup, StartFromRule)
{
    constexpr struct {
        const char* Label;
        bool TimeRange;
        const char* Special; // nullptr: no special parameter
        const char* Expected;
    } kCases[] = {
        {"no time range, no pReportTime", false, nullptr, "Now"},
        {"pReportTime keeps the start", false, "pReportTime", "01/31/2024 06:00:00"},
        {"time range keeps the start", true, nullptr, "01/31/2024 06:00:00"},
        {"name compares exactly", false, "preporttime", "Now"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        TVidUduzadevGroupItem g;
        g.StartFrom = "01/31/2024 06:00:00";
        g.Report.TimeRange = c.TimeRange;
        if (c.Special)
            g.SpecialParams = {c.Special};
        ApplyStartFromRule(g);
        EXPECT_EQ(g.StartFrom, c.Expected);
    }
}

TEST(ScheduleGroups, AddDeleteAndIndexes)
{
    TVidUduzadevGroups groups;
    for (int i = 1; i <= 20; ++i) {
        auto g = std::make_unique<TVidUduzadevGroupItem>();
        g->RGIndex = i;
        groups.Add(std::move(g));
    }
    ASSERT_EQ(groups.Count(), 20);
    EXPECT_EQ(groups.Items(19).RGIndex, 20);

    groups.Delete(0);
    EXPECT_EQ(groups.Count(), 19);
    EXPECT_EQ(groups.Items(0).RGIndex, 2);
    EXPECT_EQ(groups.Items(1).RGIndex, 3);

    try {
        groups.Items(19);
        FAIL() << "index past the end accepted";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (19)");
    }
    EXPECT_THROW(groups.Items(-1), std::out_of_range);
    EXPECT_THROW(groups.Delete(19), std::out_of_range);

    groups.Clear();
    EXPECT_EQ(groups.Count(), 0);
}

} // namespace
} // namespace mv
