#include "core/schedule/ScheduleDataDef.h"

#include <algorithm>
#include <stdexcept>

#include "core/timing/Clock.h"

namespace mv {

TVidUduzadevGroupItem::TVidUduzadevGroupItem() : BaseTime(DateOf(Now())) {}

namespace {

void AppendLines(std::vector<std::string>& to, const std::vector<std::string>& from)
{
    if (&to == &from) {
        std::vector<std::string> copy(from);
        to.insert(to.end(), copy.begin(), copy.end());
    } else {
        to.insert(to.end(), from.begin(), from.end());
    }
}

} // namespace

void TVidUduzadevGroupItem::Assign(const TVidUduzadevGroupItem& source)
{
    GroupName = source.GroupName;
    RGIndex = source.RGIndex;
    Enabled = source.Enabled;
    Report.Assign(source.Report);
    BaseTime = source.BaseTime;
    IntType = source.IntType;
    Interval = source.Interval;
    StartFrom = source.StartFrom;
    BeforeRun = source.BeforeRun;
    AfterRun = source.AfterRun;
    Output = source.Output;
    Printer = source.Printer;
    OutputDir = source.OutputDir;
    OutputName = source.OutputName;
    OutputPrefix = source.OutputPrefix;
    OutputSuffix = source.OutputSuffix;
    OutputFormat = source.OutputFormat;
    PeriodStart = source.PeriodStart;
    Period = source.Period;
    NextRun = source.NextRun;
    CatchUpRun = source.CatchUpRun;
    EvaluatedFrom = source.EvaluatedFrom;
    TimeFrom = source.TimeFrom;
    TimeTo = source.TimeTo;
    AbsTimeFrom = source.AbsTimeFrom;
    AbsTimeTo = source.AbsTimeTo;
    Filter = source.Filter;
    AppendLines(Stations, source.Stations);
    AppendLines(Sensors, source.Sensors);
    AppendLines(OtherParams, source.OtherParams);
    AppendLines(SpecialParams, source.SpecialParams);
}

void ApplyStartFromRule(TVidUduzadevGroupItem& group)
{
    const auto& sp = group.SpecialParams;
    if (!group.Report.TimeRange && std::find(sp.begin(), sp.end(), kReportTimeParam) == sp.end())
        group.StartFrom = "Now";
}

TVidUduzadevGroups::TVidUduzadevGroups() { FItems.reserve(16); }

TVidUduzadevGroups::~TVidUduzadevGroups() { Clear(); }

TVidUduzadevGroupItem& TVidUduzadevGroups::Add(std::unique_ptr<TVidUduzadevGroupItem> group)
{
    if (!group)
        throw std::invalid_argument("TVidUduzadevGroups::Add: no group");
    FItems.push_back(std::move(group));
    return *FItems.back();
}

void TVidUduzadevGroups::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

TVidUduzadevGroupItem& TVidUduzadevGroups::Items(int index) const
{
    CheckIndex(index);
    return *FItems[static_cast<std::size_t>(index)];
}

void TVidUduzadevGroups::Delete(int index)
{
    CheckIndex(index);
    FItems.erase(FItems.begin() + index);
}

void TVidUduzadevGroups::Clear()
{
    while (!FItems.empty())
        FItems.pop_back();
}

} // namespace mv
