#pragma once
// Reading the station/sensor pairs of the sites tables, narrowed by a
// filter: the condition a filter file holds, appended to the base query.
//
// A filter is a condition and nothing more. It is appended in parentheses,
// so that an OR in it cannot escape the join condition and pair stations
// with other stations' sensors, and a text that is not a condition (one that
// holds a statement separator outside a quoted literal, or closes more
// parentheses than it opens) is refused before it reaches the database.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mv {

namespace odbc {
class TConnection;
}
class TStationSensorCache;

// Every station/sensor pair with the attributes of the station. Ends with
// one blank, as the sibling program's filters expect to follow it.
inline constexpr std::string_view kSiteBaseQuery =
    "SELECT DISTINCT MV_SITES.STATION_ID, MV_SITESENSORS.SENSORNAME, MV_SITES.REPORTING_TIME, "
    "MV_SITES.REPORTING_INTERVAL, MV_SITES.BASIN, MV_SITES.DISTRICT, MV_SITES.CITY, "
    "MV_SITES.COUNTRY, MV_SITES.STATE, MV_SITES.COUNTY, MV_SITES.PRIMARY_CHANNEL, "
    "MV_SITES.RANDOM_CHANNEL FROM MV_SITES, MV_SITESENSORS WHERE (MV_SITES.STATION_ID = "
    "MV_SITESENSORS.STE_STATION_ID) ";

// A filter text refused as a condition.
class EFilterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Empties `lines` and appends each line of the file without its line break
// (LF or CR LF), blank lines included, to the end of the file. Throws
// std::runtime_error naming the file when it cannot be opened or read.
void ReadTextLines(const std::string& fileName, std::vector<std::string>& lines);

// Each line followed by a line break.
std::string JoinFilterLines(const std::vector<std::string>& lines);

// True when `text` can stand as a condition inside parentheses: no ";"
// outside a quoted literal (under the quoting rules of any of the databases
// the family uses: doubled quotes, backslash escapes, dollar quotes), every
// literal and block comment closed, parentheses balanced.
bool IsFilterCondition(std::string_view text) noexcept;

// The base query alone when `filterText` is blank; else the base query,
// " AND (", the text, a line break when the text does not end with one, and
// ")" on its own line. Throws EFilterError when the text is not a condition.
std::string SiteQuery(std::string_view filterText);

// Clears the cache and fills it with the pairs, narrowed by the filter file
// `filterFileText` names (trimmed; none when blank). A file that cannot be
// read is ignored; a filter that is not a condition, a closed connection
// (null or not connected) or a failing query end the load quietly with the
// items read so far. Returns the trimmed file name, the filter now loaded.
std::string LoadSiteCache(odbc::TConnection* connection, std::string_view filterFileText,
                          TStationSensorCache& cache);

struct TSitePair {
    std::string StationID;
    std::string SensorName;
};

// The filter window's trial run: the pairs the filter text gives, appended
// to `rows` as they are read. False, quietly, when the text is not a
// condition or the query fails (`rows` then holds what was read before).
bool ExecuteSitePairs(odbc::TConnection* connection, std::string_view filterText,
                      std::vector<TSitePair>& rows);

}  // namespace mv
