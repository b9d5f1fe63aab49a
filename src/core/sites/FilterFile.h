#pragma once
// Filter files and the pieces the filter builder makes them of.
//
// A filter file is plain text: an SQL condition over columns written as
// TABLE.COLUMN, one line per stored line, each followed by CR LF. The
// family's desktop program writes such files too, so any condition may be
// found in one; the builder writes one comparison per line, every line but
// the last ending with " AND ".

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/schedule/StringListCodec.h"

namespace mv {

namespace odbc {
class TConnection;
}

// The conditions of "Condition:", blanks as the builder writes them.
inline constexpr std::array<const char*, 6> kFilterConditions = {"  = ", "  > ", "  < ", "  >= ",
                                                                   "  <= ", " LIKE "};
// The file dialogs' type list, default extension and titles.
inline constexpr const char* kFilterFileTypes = "Filter Files(*.flt)|*.flt";
inline constexpr const char* kFilterFileExtension = "flt";

// The lines of a multi-line text box: SplitTextLines (StringListCodec.h).
// The lines joined with LF between them, as a text box shows them.
std::string JoinTextLines(const std::vector<std::string>& lines);

// Creates or overwrites the file with each line followed by CR LF. Throws
// std::runtime_error naming the file when it cannot be written completely.
void WriteTextLines(const std::string& fileName, const std::vector<std::string>& lines);

// True when a value of this column type is written in single quotes: the
// text and the date, time and date-time types.
bool QuotesFilterValue(int sqlType) noexcept;
// Single quotes doubled, so that a value like O'Brien Creek stays one literal.
std::string QuoteSqlText(std::string_view value);
// The comparison "field condition value": the value quoted (its quotes
// doubled) for text and date/time columns, as typed for every other type.
std::string FilterComparison(std::string_view field, std::string_view condition,
                             std::string_view value, int sqlType);
// The filter text with `comparison` added: the comparison alone when the
// text is blank, else " AND " after its last line and the comparison as a
// new last line.
std::string AppendComparison(std::string_view text, std::string_view comparison);

// One entry of "Field:": TABLE.COLUMN, its type as the database layer gives
// it, and its distinct non-null values as text in the order first met (two
// values differing only in ASCII letter case count as one).
struct TDataList {
    std::string Field;
    int FDataType = 0;
    std::vector<std::string> Values;
};

// Appends one entry per column of `table`, in table order, to `fields`, then
// reads every row to collect the values. Throws odbc::EOdbcError when the
// table cannot be read; the entries appended so far stay.
void ReadFilterFields(odbc::TConnection& connection, const std::string& table,
                      std::vector<TDataList>& fields);

}  // namespace mv
