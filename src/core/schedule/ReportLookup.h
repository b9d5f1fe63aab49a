#pragma once

#include <stdexcept>
#include <string>

namespace mv {

class TReportItem;

// The catalog was read and holds no entry of the key asked for. Any other
// failure of a lookup means the catalog could not be consulted, which says
// nothing about the key.
class EReportNotFound : public std::runtime_error {
public:
    static constexpr const char* kMessage = "The report is not found in INI file.";
    EReportNotFound() : std::runtime_error(kMessage) {}
};

// Finds a report catalog entry by its key. The schedule file is given one to
// fill each group's report entry while it reads the groups.
class IReportLookup {
public:
    virtual ~IReportLookup() = default;
    // Fills `item` with the entry of `key`. Throws EReportNotFound when no
    // catalog holds it, and something else when the catalog could not be
    // read; `item` is then untouched.
    virtual void FindReport(const std::string& key, TReportItem& item) const = 0;
};

} // namespace mv
