// A report query with named placeholders.
//
// ":Name" stands for the value of parameter Name, bound as an ODBC
// parameter; for a parameter that takes several values it stands for one
// marker per value ("?, ?, ?"), and for none at all for "NULL", so that
// "IN (:SiteList)" stays valid SQL and matches nothing. ":Name.count" is the
// number of values, bound as an integer: "(:SiteList.count = 0 OR
// STATION_ID IN (:SiteList))" reads "all stations when none are chosen".
// Text inside '...' and "..." quotes, -- and /* */ comments, and "::" (a
// PostgreSQL cast) is left alone. Values never become part of the SQL text.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mv::rpe {

class ESqlTemplateError : public std::runtime_error {
 public:
  ESqlTemplateError(int lineOffset, const std::string& message)
      : std::runtime_error(message), LineOffset(lineOffset) {}
  int LineOffset;  // lines after the query's first line
};

class TSqlTemplate {
 public:
  struct TPlaceholder {
    std::string Name;
    bool Count = false;      // ":Name.count"
    std::size_t Begin = 0;   // byte range in the query text
    std::size_t End = 0;
    int LineOffset = 0;
  };
  // What one '?' of the expanded SQL is bound to.
  struct TBinding {
    std::size_t Placeholder = 0;  // index into Placeholders()
    int ValueIndex = -1;          // which value; -1 for a count or a NULL
  };

  TSqlTemplate() = default;
  // Finds the placeholders. Throws ESqlTemplateError on an unterminated
  // quote or comment.
  explicit TSqlTemplate(std::string text);

  const std::string& Text() const { return FText; }
  const std::vector<TPlaceholder>& Placeholders() const { return FPlaceholders; }

  // The SQL with '?' markers, given how many values each placeholder's
  // parameter has (valueCounts[i] for placeholder i); appends what each
  // marker is bound to.
  std::string Expand(const std::vector<std::size_t>& valueCounts, const std::vector<bool>& multiple,
                     std::vector<TBinding>& bindings) const;

 private:
  std::string FText;
  std::vector<TPlaceholder> FPlaceholders;
};

}  // namespace mv::rpe
