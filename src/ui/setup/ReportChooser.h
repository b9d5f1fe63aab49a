#pragma once
// What the group editor asks of the report selection window: the operator's
// pick of a report, and the parameters a report file declares. The window
// (TfrmSelectReports) implements it; editor tests may plug in their own.

#include <string>
#include <vector>

namespace mv {
class TReportItem;
}

namespace mv::ui {

class IReportChooser {
public:
    virtual ~IReportChooser() = default;
    // Shows the selection window modally; true when it closed with OK, and
    // SelectedReport() then holds the pick.
    virtual bool ChooseReport() = 0;
    // The entry picked at the last OK; only valid after ChooseReport()
    // answered true at least once.
    virtual const TReportItem& SelectedReport() const = 0;
    // Brings `params` (lines "name=value", the group's OtherParams) and
    // `special` (special parameter names, the group's SpecialParams) in line
    // with the parameters that `entry`'s report file declares.
    virtual void DiscoverReportParameters(const TReportItem& entry, std::vector<std::string>& params,
                                          std::vector<std::string>& special) = 0;
};

}  // namespace mv::ui
