#include "core/sites/SelectedSites.h"

#include <algorithm>

#include "core/schedule/ScheduleDataDef.h"
#include "core/sites/SiteTree.h"

namespace mv {

void TSelectedSites::SetReportLists(bool siteLists, bool sensorLists) noexcept
{
    FSiteLists = siteLists;
    if (FSensorLists != sensorLists) {
        FSensorLists = sensorLists;
        Reindex();
    }
}

std::string TSelectedSites::KeyOf(const std::string& station, const std::string& sensor) const
{
    // A NUL cannot come from the sites tables' text columns, so it separates
    // the two parts without ambiguity.
    return FSensorLists ? station + '\0' + sensor : station;
}

void TSelectedSites::Reindex()
{
    FKeys.clear();
    for (const auto& row : FRows) FKeys.insert(KeyOf(row.StationID, row.SensorName));
}

bool TSelectedSites::AddSelectedEntry(const std::string& station, const TStationSensorItem& item)
{
    if (!FKeys.insert(KeyOf(station, item.SensorName)).second) return false;
    TSelectedRow& row = FRows.emplace_back();
    row.StationID = station;
    if (FSensorLists) row.SensorName = item.SensorName;
    row.Copy = item.CopyForSelection();
    return true;
}

std::size_t TSelectedSites::AddNodeToSelection(const TSiteTreeNode* node)
{
    if (!node) return 0;
    if (!node->Children.empty()) {
        std::size_t added = 0;
        for (const TSiteTreeNode* child : node->Children) added += AddNodeToSelection(child);
        return added;
    }
    if (!node->Data) return 0;
    return AddSelectedEntry(node->Data->StationID, *node->Data) ? 1 : 0;
}

std::size_t TSelectedSites::DeleteRows(std::vector<std::size_t> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    // One pass that keeps the rows not named, so removing many rows of a
    // long list does not move the rest once per row.
    std::size_t next = 0, kept = 0;
    for (std::size_t i = 0; i < FRows.size(); ++i) {
        while (next < indexes.size() && indexes[next] < i) ++next;
        if (next < indexes.size() && indexes[next] == i) continue;
        if (kept != i) FRows[kept] = std::move(FRows[i]);
        ++kept;
    }
    const std::size_t removed = FRows.size() - kept;
    FRows.resize(kept);
    if (removed) Reindex();
    return removed;
}

void TSelectedSites::Clear() noexcept
{
    FRows.clear();
    FKeys.clear();
}

void TSelectedSites::StoreInto(TVidUduzadevGroupItem& group) const
{
    group.Stations.clear();
    group.Sensors.clear();
    if (!FSiteLists) return;
    for (const auto& row : FRows) {
        group.Stations.push_back(row.Copy.StationID);
        if (FSensorLists) group.Sensors.push_back(row.Copy.SensorName);
    }
}

void TSelectedSites::FillFrom(const TVidUduzadevGroupItem& group)
{
    Clear();
    if (!FSiteLists) return;
    for (std::size_t i = 0; i < group.Stations.size(); ++i) {
        TStationSensorItem item;
        item.StationID = group.Stations[i];
        if (FSensorLists && i < group.Sensors.size()) item.SensorName = group.Sensors[i];
        AddSelectedEntry(item.StationID, item);
    }
}

}  // namespace mv
