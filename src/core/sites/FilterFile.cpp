#include "core/sites/FilterFile.h"

#include <fstream>
#include <stdexcept>
#include <unordered_set>

#include "core/sites/StationSensorCache.h"
#include "platform/odbc/Odbc.h"

namespace mv {

std::string JoinTextLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) text += '\n';
        text += lines[i];
    }
    return text;
}

void WriteTextLines(const std::string& fileName, const std::vector<std::string>& lines)
{
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot create the file \"" + fileName + "\"");
    for (const auto& line : lines) out << line << "\r\n";
    out.close();
    if (!out) throw std::runtime_error("Cannot write the file \"" + fileName + "\"");
}

bool QuotesFilterValue(int sqlType) noexcept
{
    return odbc::IsTextType(sqlType) || odbc::IsDateTimeType(sqlType);
}

std::string QuoteSqlText(std::string_view value)
{
    std::string quoted;
    quoted.reserve(value.size() + 2);
    for (char c : value) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted;
}

std::string FilterComparison(std::string_view field, std::string_view condition,
                             std::string_view value, int sqlType)
{
    std::string comparison(field);
    comparison += ' ';
    comparison += condition;
    if (QuotesFilterValue(sqlType)) {
        comparison += " '";
        comparison += QuoteSqlText(value);
        comparison += '\'';
    } else {
        comparison += ' ';
        comparison += value;
    }
    return comparison;
}

std::string AppendComparison(std::string_view text, std::string_view comparison)
{
    if (TrimBlanks(text).empty()) return std::string(comparison);
    std::vector<std::string> lines = SplitTextLines(text);
    lines.back() += " AND ";
    lines.emplace_back(comparison);
    return JoinTextLines(lines);
}

void ReadFilterFields(odbc::TConnection& connection, const std::string& table,
                      std::vector<TDataList>& fields)
{
    odbc::TStatement st(connection);
    st.ExecuteDirect("SELECT * FROM " + table);
    const std::size_t first = fields.size();
    for (const auto& column : st.Columns()) {
        TDataList& list = fields.emplace_back();
        list.Field = table + "." + column.Name;
        list.FDataType = column.SqlType;
    }
    const std::size_t count = st.ColumnCount();
    std::vector<std::unordered_set<std::string>> seen(count);
    auto upper = [](std::string_view s) {
        std::string u(s);
        for (char& c : u)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
        return u;
    };
    while (st.Fetch()) {
        for (std::size_t c = 0; c < count; ++c) {
            if (st.IsNull(c)) continue;
            const std::string_view value = st.Text(c);
            if (seen[c].insert(upper(value)).second) fields[first + c].Values.emplace_back(value);
        }
    }
}

}  // namespace mv
