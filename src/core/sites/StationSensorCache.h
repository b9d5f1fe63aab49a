#pragma once
// The station/sensor pairs of the sites tables as the group editor holds
// them: one item per row of the join, sorted for the chosen "View By" entry,
// with the item's path in the station tree for that view.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mv {

// The "View By" entries in list order. The sort kind of a view is its index + 3.
enum class TSiteView {
    Stations,
    Sensors,
    Basin,
    District,
    City,
    County,
    State,
    Country,
    PrimaryChannel,
    RandomChannel,
};
inline constexpr int kSiteViewCount = 10;
inline constexpr int kFirstSortKind = 3;   // sort kind of "View By Stations"
inline constexpr int kLastSortKind = 12;   // sort kind of "View By Random Channel"

// The captions of the "View By" list, in order.
extern const std::array<const char*, kSiteViewCount> kSiteViewCaptions;

// Icons of the tree and the view list: the icon of a view is the view's
// index, so the station icon is that of "View By Stations" and the sensor
// icon that of "View By Sensors".
inline constexpr int kStationIcon = static_cast<int>(TSiteView::Stations);
inline constexpr int kSensorIcon = static_cast<int>(TSiteView::Sensors);
inline constexpr int kNoLevel = -1;  // the icon of a tree level the item does not have

// Case-insensitive over the ASCII letters only (a..z equal A..Z, compared
// as upper case); every other byte by its unsigned code. <0, 0 or >0.
int CompareTextAscii(std::string_view a, std::string_view b) noexcept;
bool SameTextAscii(std::string_view a, std::string_view b) noexcept;
// Without the leading and trailing characters up to and including blank
// (control characters too), as the captions of the tree are trimmed.
std::string_view TrimBlanks(std::string_view text) noexcept;

struct TTreeLevel {
    std::string Caption;
    int Icon = kNoLevel;  // kNoLevel: the item has no node at this level
};

// One row of the sites join.
class TStationSensorItem {
public:
    std::string StationID;
    std::string SensorName;
    std::string Basin, District, City, County, State, Country;  // "" when null
    std::int32_t PrimaryChannel = 0;  // 0 when null
    std::int32_t RandomChannel = 0;   // 0 when null
    // The item's path in the tree for the current view; written by
    // SetTreeLevels before the tree is built.
    std::array<TTreeLevel, 2> TreeLevels;

    // What a row of the selected list keeps of an item.
    TStationSensorItem CopyForSelection() const;
};

// Writes the item's tree path for `view`; `sensorLists` tells whether the
// shown report takes sensor lists (then the stations view has a sensor level).
void SetTreeLevels(TStationSensorItem& item, TSiteView view, bool sensorLists);

// Orders two items for a sort kind (3..12). Throws std::invalid_argument for
// any other kind.
bool SortsBefore(const TStationSensorItem& a, const TStationSensorItem& b, int sortKind);

// An ordered list that owns its items.
class TStationSensorCache {
public:
    TStationSensorCache() = default;
    ~TStationSensorCache();
    TStationSensorCache(const TStationSensorCache&) = delete;
    TStationSensorCache& operator=(const TStationSensorCache&) = delete;

    // Appends; the cache owns the item from now on.
    TStationSensorItem& Add(std::unique_ptr<TStationSensorItem> item);
    // Sorts every item for the sort kind (3..12); items equal under it keep
    // their order. Throws std::invalid_argument for another kind.
    void SortBy(int sortKind);
    // Removes and destroys the item at `index`; throws std::out_of_range.
    void DeleteItem(std::size_t index);
    // Destroys every item, last to first.
    void Clear() noexcept;

    std::size_t Count() const noexcept { return FItems.size(); }
    TStationSensorItem& Items(std::size_t index) const { return *FItems.at(index); }

private:
    std::vector<std::unique_ptr<TStationSensorItem>> FItems;
};

}  // namespace mv
