#include "core/sites/StationSensorCache.h"

#include <algorithm>
#include <stdexcept>

namespace mv {

const std::array<const char*, kSiteViewCount> kSiteViewCaptions = {
    "View By Stations", "View By Sensors", "View By Basin",   "View By District",
    "View By City",     "View By County",  "View By State",   "View By Country",
    "View By Primary Channel", "View By Random Channel",
};

namespace {

unsigned char UpperAscii(char c) noexcept
{
    auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}

int CompareInt(std::int32_t a, std::int32_t b) noexcept { return a < b ? -1 : (a > b ? 1 : 0); }

// Station then sensor: the tail of every sort kind.
int CompareStationSensor(const TStationSensorItem& a, const TStationSensorItem& b) noexcept
{
    if (int c = CompareTextAscii(a.StationID, b.StationID)) return c;
    return CompareTextAscii(a.SensorName, b.SensorName);
}

int CompareFor(const TStationSensorItem& a, const TStationSensorItem& b, int sortKind)
{
    int c = 0;
    switch (sortKind) {
    case 3: return CompareStationSensor(a, b);
    case 4:
        if ((c = CompareTextAscii(a.SensorName, b.SensorName))) return c;
        return CompareTextAscii(a.StationID, b.StationID);
    case 5: c = CompareTextAscii(a.Basin, b.Basin); break;
    case 6: c = CompareTextAscii(a.District, b.District); break;
    case 7: c = CompareTextAscii(a.City, b.City); break;
    case 8: c = CompareTextAscii(a.County, b.County); break;
    case 9: c = CompareTextAscii(a.State, b.State); break;
    case 10: c = CompareTextAscii(a.Country, b.Country); break;
    case 11: c = CompareInt(a.PrimaryChannel, b.PrimaryChannel); break;
    case 12: c = CompareInt(a.RandomChannel, b.RandomChannel); break;
    default:
        throw std::invalid_argument("Unknown sort kind " + std::to_string(sortKind) +
                                    " (expected 3 to 12)");
    }
    return c ? c : CompareStationSensor(a, b);
}

const std::string& AttributeOf(const TStationSensorItem& item, TSiteView view)
{
    switch (view) {
    case TSiteView::Basin: return item.Basin;
    case TSiteView::District: return item.District;
    case TSiteView::City: return item.City;
    case TSiteView::County: return item.County;
    case TSiteView::State: return item.State;
    default: return item.Country;
    }
}

}  // namespace

int CompareTextAscii(std::string_view a, std::string_view b) noexcept
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = UpperAscii(a[i]), y = UpperAscii(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameTextAscii(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() && CompareTextAscii(a, b) == 0;
}

std::string_view TrimBlanks(std::string_view text) noexcept
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

TStationSensorItem TStationSensorItem::CopyForSelection() const
{
    TStationSensorItem copy;
    copy.StationID = StationID;
    copy.SensorName = SensorName;
    return copy;
}

void SetTreeLevels(TStationSensorItem& item, TSiteView view, bool sensorLists)
{
    auto& [first, second] = item.TreeLevels;
    const int viewIcon = static_cast<int>(view);
    switch (view) {
    case TSiteView::Stations:
        first = {item.StationID, kStationIcon};
        second = sensorLists ? TTreeLevel{item.SensorName, kSensorIcon} : TTreeLevel{};
        return;
    case TSiteView::Sensors:
        first = {item.SensorName, kSensorIcon};
        second = {item.StationID, kStationIcon};
        return;
    case TSiteView::PrimaryChannel:
        first = {std::to_string(item.PrimaryChannel), viewIcon};
        break;
    case TSiteView::RandomChannel:
        first = {std::to_string(item.RandomChannel), viewIcon};
        break;
    default:
        first = {AttributeOf(item, view), viewIcon};
        break;
    }
    second = {item.StationID, kStationIcon};
}

bool SortsBefore(const TStationSensorItem& a, const TStationSensorItem& b, int sortKind)
{
    return CompareFor(a, b, sortKind) < 0;
}

TStationSensorCache::~TStationSensorCache() { Clear(); }

TStationSensorItem& TStationSensorCache::Add(std::unique_ptr<TStationSensorItem> item)
{
    if (!item) throw std::invalid_argument("TStationSensorCache::Add: no item");
    FItems.push_back(std::move(item));
    return *FItems.back();
}

namespace {

void AppendUpper(std::string& key, std::string_view text)
{
    for (char c : text) key += static_cast<char>(UpperAscii(c));
    key += '\0';  // below every other byte: a shorter text sorts first
}

// Eight hex digits that sort like the signed value.
void AppendNumber(std::string& key, std::int32_t value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto u = static_cast<std::uint32_t>(value) ^ 0x80000000u;
    for (int shift = 28; shift >= 0; shift -= 4) key += kHex[(u >> shift) & 0xF];
}

// The whole sort order of an item for a kind as one byte string, so that a
// sort of 200,000 items compares with memcmp instead of field by field.
std::string SortKey(const TStationSensorItem& item, int sortKind)
{
    std::string key;
    key.reserve(48);
    switch (sortKind) {
    case 3: break;
    case 4: AppendUpper(key, item.SensorName); AppendUpper(key, item.StationID); return key;
    case 11: AppendNumber(key, item.PrimaryChannel); break;
    case 12: AppendNumber(key, item.RandomChannel); break;
    default: {
        static constexpr TSiteView kViews[] = {TSiteView::Basin, TSiteView::District, TSiteView::City,
                                               TSiteView::County, TSiteView::State, TSiteView::Country};
        AppendUpper(key, AttributeOf(item, kViews[sortKind - 5]));
        break;
    }
    }
    AppendUpper(key, item.StationID);
    AppendUpper(key, item.SensorName);
    return key;
}

}  // namespace

void TStationSensorCache::SortBy(int sortKind)
{
    if (sortKind < kFirstSortKind || sortKind > kLastSortKind)
        throw std::invalid_argument("Unknown sort kind " + std::to_string(sortKind) +
                                    " (expected 3 to 12)");
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(FItems.size());
    for (std::size_t i = 0; i < FItems.size(); ++i) keys.emplace_back(SortKey(*FItems[i], sortKind), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::unique_ptr<TStationSensorItem>> sorted;
    sorted.reserve(FItems.size());
    for (const auto& k : keys) sorted.push_back(std::move(FItems[k.second]));
    FItems = std::move(sorted);
}

void TStationSensorCache::DeleteItem(std::size_t index)
{
    if (index >= FItems.size())
        throw std::out_of_range("Station cache index " + std::to_string(index) + " out of range (" +
                                std::to_string(FItems.size()) + " items)");
    FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
}

void TStationSensorCache::Clear() noexcept
{
    while (!FItems.empty()) FItems.pop_back();
}

}  // namespace mv
