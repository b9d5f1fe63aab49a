#pragma once

#include <set>
#include <string>

#include "engine/RpeTypes.h"

namespace mv {

class TRpe;

// The printer a report goes to: plain stores that take effect in Execute.
// Name is looked up among the installed printers by display name, then by
// device name; when none matches, the report's own printer is used.
struct TRpePrinter {
    std::string Name;
    std::string Driver;  // filled from the selected printer
    std::string Port;    // filled from the selected printer
    TRpOrientation Orientation = TRpOrientation::orDefault;
    std::set<TRpPreserveRptSetting> PreserveRptSettings;
};

// Print settings that live in the report.
class TRpePrintOptions {
public:
    explicit TRpePrintOptions(TRpe& owner) : FOwner(owner) {}

    // Copies the report asks for (at least 1); the stored value when no
    // report can be opened.
    int Copies();
    void SetCopies(int copies);

private:
    TRpe& FOwner;
    int FCopies = 1;
};

}  // namespace mv
