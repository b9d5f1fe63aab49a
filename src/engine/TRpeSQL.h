#pragma once

#include <string>
#include <vector>

namespace mv {

class TRpe;

// The report's query text.
class TRpeSQL {
public:
    explicit TRpeSQL(TRpe& owner) : FOwner(owner) {}

    // Reads the query into Query(); false (no exception) when the report has
    // none to give.
    bool Retrieve();
    const std::vector<std::string>& Query() const { return FQuery; }  // lines

private:
    TRpe& FOwner;
    std::vector<std::string> FQuery;
};

}  // namespace mv
