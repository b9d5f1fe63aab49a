#include "core/sites/SiteQuery.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>

#include "core/sites/StationSensorCache.h"
#include "platform/odbc/Odbc.h"

namespace mv {

namespace {

// Column positions in kSiteBaseQuery.
enum : std::size_t {
    kColStation = 0, kColSensor = 1, kColBasin = 4, kColDistrict = 5, kColCity = 6,
    kColCountry = 7, kColState = 8, kColCounty = 9, kColPrimary = 10, kColRandom = 11,
};

bool IsBlank(std::string_view text) { return TrimBlanks(text).empty(); }

bool IsIdentChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

struct TScanResult {
    bool SeparatorOutside = false;  // a ";" outside literals and identifiers
    bool Closed = true;             // every literal and comment is closed
    bool Balanced = true;           // parentheses pair up and never close early
};

// One reading of the text under one dialect's quoting rules.
TScanResult Scan(std::string_view t, bool backslashEscapes, bool dollarQuotes)
{
    TScanResult r;
    int depth = 0;
    const std::size_t n = t.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = t[i];
        if (c == '\'' || c == '"') {
            std::size_t j = i + 1;
            bool closed = false;
            while (j < n) {
                if (backslashEscapes && t[j] == '\\') { j += 2; continue; }
                if (t[j] == c) {
                    if (j + 1 < n && t[j + 1] == c) { j += 2; continue; }  // doubled quote
                    closed = true;
                    break;
                }
                ++j;
            }
            if (!closed) { r.Closed = false; break; }
            i = j + 1;
        } else if (dollarQuotes && c == '$' && (i == 0 || !IsIdentChar(t[i - 1]))) {
            std::size_t j = i + 1;
            while (j < n && IsIdentChar(t[j]) && !(j == i + 1 && std::isdigit(static_cast<unsigned char>(t[j])))) ++j;
            if (j < n && t[j] == '$') {
                const std::string_view tag = t.substr(i, j - i + 1);
                const std::size_t end = t.find(tag, j + 1);
                if (end == std::string_view::npos) { r.Closed = false; break; }
                i = end + tag.size();
            } else {
                ++i;
            }
        } else if (c == '-' && i + 1 < n && t[i + 1] == '-') {
            const std::size_t end = t.find('\n', i);
            const std::string_view comment = t.substr(i, end == std::string_view::npos ? n - i : end - i);
            if (comment.find(';') != std::string_view::npos) r.SeparatorOutside = true;
            i = end == std::string_view::npos ? n : end;
        } else if (c == '/' && i + 1 < n && t[i + 1] == '*') {
            const std::size_t end = t.find("*/", i + 2);
            if (end == std::string_view::npos) { r.Closed = false; break; }
            if (t.substr(i, end - i).find(';') != std::string_view::npos) r.SeparatorOutside = true;
            i = end + 2;
        } else {
            if (c == ';') r.SeparatorOutside = true;
            else if (c == '(') ++depth;
            else if (c == ')' && --depth < 0) r.Balanced = false;
            ++i;
        }
    }
    if (depth != 0) r.Balanced = false;
    return r;
}

std::int32_t ChannelOf(const odbc::TStatement& st, std::size_t column)
{
    double value = 0;
    try {
        value = static_cast<double>(st.Int64(column));
    } catch (const odbc::EOdbcError&) {
        value = std::trunc(st.Double(column));  // "3.0" from a numeric column
    }
    value = std::clamp(value, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                       static_cast<double>(std::numeric_limits<std::int32_t>::max()));
    return static_cast<std::int32_t>(value);
}

std::string TextOf(const odbc::TStatement& st, std::size_t column)
{
    return st.IsNull(column) ? std::string() : std::string(st.Text(column));
}

}  // namespace

void ReadTextLines(const std::string& fileName, std::vector<std::string>& lines)
{
    lines.clear();
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot open the file \"" + fileName + "\"");
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    if (in.bad()) throw std::runtime_error("Cannot read the file \"" + fileName + "\"");
}

std::string JoinFilterLines(const std::vector<std::string>& lines)
{
    std::string joined;
    for (const auto& line : lines) {
        joined += line;
        joined += '\n';
    }
    return joined;
}

bool IsFilterCondition(std::string_view text) noexcept
{
    const TScanResult plain = Scan(text, false, false);
    if (plain.SeparatorOutside || !plain.Closed || !plain.Balanced) return false;
    // A ";" that one dialect reads inside a literal may stand outside in
    // another (E'\'' or $$'$$ in PostgreSQL): it must be inside in every one.
    return !Scan(text, true, false).SeparatorOutside && !Scan(text, false, true).SeparatorOutside;
}

std::string SiteQuery(std::string_view filterText)
{
    std::string query(kSiteBaseQuery);
    if (IsBlank(filterText)) return query;
    if (!IsFilterCondition(filterText))
        throw EFilterError("The filter is not a valid condition: " + std::string(filterText));
    query += " AND (";
    query += filterText;
    if (filterText.back() != '\n') query += '\n';
    query += ')';
    return query;
}

std::string LoadSiteCache(odbc::TConnection* connection, std::string_view filterFileText,
                          TStationSensorCache& cache)
{
    cache.Clear();
    const std::string loaded(TrimBlanks(filterFileText));
    std::string filter;
    if (!loaded.empty()) {
        try {
            std::vector<std::string> lines;
            ReadTextLines(loaded, lines);
            filter = JoinFilterLines(lines);
        } catch (const std::exception&) {
            filter.clear();  // an unreadable filter file leaves the list unfiltered
        }
    }
    try {
        const std::string query = SiteQuery(filter);
        if (!connection || !connection->Connected()) return loaded;
        odbc::TStatement st(*connection);
        st.ExecuteDirect(query);
        while (st.Fetch()) {
            auto item = std::make_unique<TStationSensorItem>();
            item->StationID = TextOf(st, kColStation);
            item->SensorName = TextOf(st, kColSensor);
            item->Basin = TextOf(st, kColBasin);
            item->District = TextOf(st, kColDistrict);
            item->City = TextOf(st, kColCity);
            item->Country = TextOf(st, kColCountry);
            item->State = TextOf(st, kColState);
            item->County = TextOf(st, kColCounty);
            if (!st.IsNull(kColPrimary)) item->PrimaryChannel = ChannelOf(st, kColPrimary);
            if (!st.IsNull(kColRandom)) item->RandomChannel = ChannelOf(st, kColRandom);
            cache.Add(std::move(item));
        }
    } catch (const std::exception&) {
        // The station list shows what was read; the editor shows no message.
    }
    return loaded;
}

bool ExecuteSitePairs(odbc::TConnection* connection, std::string_view filterText,
                      std::vector<TSitePair>& rows)
{
    try {
        const std::string query = SiteQuery(filterText);
        if (!connection || !connection->Connected()) return false;
        odbc::TStatement st(*connection);
        st.ExecuteDirect(query);
        while (st.Fetch()) rows.push_back({TextOf(st, kColStation), TextOf(st, kColSensor)});
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace mv
