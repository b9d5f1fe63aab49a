#pragma once

#include <string>
#include <vector>

namespace mv {

class TRpe;

// The report's summary information. Each read asks the engine afresh when
// the report is named and its file exists, and otherwise gives the value
// read last (empty at first).
class TRpeSummaryInfo {
public:
    explicit TRpeSummaryInfo(TRpe& owner) : FOwner(owner) {}

    std::string Title();
    std::string Subject();
    std::string Author();
    std::string Keywords();
    std::vector<std::string> Comments();  // lines

private:
    bool Fetch(const char* operation);

    TRpe& FOwner;
    std::string FTitle, FSubject, FAuthor, FKeywords;
    std::vector<std::string> FComments;
};

}  // namespace mv
