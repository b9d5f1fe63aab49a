#pragma once

#include <string>

namespace mv {

class TRpe;

// The main report (index 0) and its subreports, found from the report's
// sections when first needed.
class TRpeSubreports {
public:
    explicit TRpeSubreports(TRpe& owner) : FOwner(owner) {}

    // 1 + the number of subreports; 1 when no report can be opened.
    int Count();
    int Number() const;
    // Makes (sub)report `index` current; its print job is opened on first use.
    void SetNumber(int index);
    std::string Name(int index);  // empty for the main report

private:
    TRpe& FOwner;
};

}  // namespace mv
