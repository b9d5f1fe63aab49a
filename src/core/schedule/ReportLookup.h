#pragma once

#include <string>

namespace mv {

class TReportItem;

// Finds a report catalog entry by its key. The schedule file is given one to
// fill each group's report entry while it reads the groups.
class IReportLookup {
public:
    virtual ~IReportLookup() = default;
    // Fills `item` with the entry of `key`; throws when no catalog holds
    // it, leaving `item` untouched.
    virtual void FindReport(const std::string& key, TReportItem& item) const = 0;
};

} // namespace mv
