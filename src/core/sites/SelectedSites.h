#pragma once
// The selected rows of the "Sites and Sensors" frame: one row per station,
// or per station and sensor when the report takes sensor lists, each owning
// a copy of the item it came from. They become the group's Stations and
// Sensors lists.

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/sites/StationSensorCache.h"

namespace mv {

class TVidUduzadevGroupItem;
struct TSiteTreeNode;

struct TSelectedRow {
    std::string StationID;   // the row's caption
    std::string SensorName;  // the second cell; shown only with sensor lists
    TStationSensorItem Copy;
};

class TSelectedSites {
public:
    // Which lists the shown report takes; set before the rows are filled.
    void SetReportLists(bool siteLists, bool sensorLists) noexcept;
    bool SiteLists() const noexcept { return FSiteLists; }
    bool SensorLists() const noexcept { return FSensorLists; }

    // Adds a row unless one with the same station (and, with sensor lists,
    // the same sensor name) exists; compared exactly. True when added.
    bool AddSelectedEntry(const std::string& station, const TStationSensorItem& item);
    // Adds every item below `node`, depth first; a node without children
    // adds its own item when it has one. Returns the number of rows added.
    std::size_t AddNodeToSelection(const TSiteTreeNode* node);
    // Removes the rows at the given indexes (any order, duplicates ignored).
    // Returns the number removed.
    std::size_t DeleteRows(std::vector<std::size_t> indexes);
    void Clear() noexcept;

    // Empties the group's Stations and Sensors and refills them from the rows
    // when the report takes site lists: stations alone, or stations and their
    // sensors entry for entry when it takes sensor lists too.
    void StoreInto(TVidUduzadevGroupItem& group) const;
    // Clears the rows and adds the group's entries back under the same rule.
    // A Sensors list shorter than Stations gives the missing sensors as "".
    void FillFrom(const TVidUduzadevGroupItem& group);

    std::size_t Count() const noexcept { return FRows.size(); }
    const TSelectedRow& Rows(std::size_t index) const { return FRows.at(index); }

private:
    std::string KeyOf(const std::string& station, const std::string& sensor) const;
    void Reindex();

    bool FSiteLists = false;
    bool FSensorLists = false;
    std::deque<TSelectedRow> FRows;  // grows without moving the rows already listed
    std::unordered_set<std::string> FKeys;  // one per row, so a lookup need not scan the rows
};

}  // namespace mv
