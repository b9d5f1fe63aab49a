#pragma once
// Which parameters a report file declares, brought into a group's two lists.

#include <string>
#include <string_view>
#include <vector>

namespace mv {

class TReportItem;
class TRpe;

// Parameters the scheduler fills itself. "StartTime"/"EndTime" only for an
// entry with a time range, "SiteList" with site lists, "SensorList" with
// sensor lists, "pReportTime" always; names compare exactly. A reserved name
// whose flag is not set is an ordinary parameter.
bool IsSpecialReportParameter(const TReportItem& entry, std::string_view name);

// Brings `params` (lines "name=value") and `special` (special parameter
// names) in line with the parameters that `entry`'s report file declares,
// read through `binding` (its print job is closed and the report named anew):
//   - each declared ordinary parameter that is not linked from the main
//     report gets a line "name=" unless `params` has one for it already
//     (names in `params` compare without regard to case; values are kept);
//   - "pReportTime" is added to `special` when declared and not there yet;
//   - lines of `params` whose name the report no longer declares are dropped.
// The report file is found as ResolveReportFile(entry.FileName, appDir) says.
// When no file is found, or the engine fails (cannot be loaded, a definition
// it cannot read), both lists are left exactly as they were: the operator's
// values must survive a passing failure.
// Never throws.
void DiscoverReportParameters(TRpe& binding, const TReportItem& entry, const std::string& appDir,
                              std::vector<std::string>& params, std::vector<std::string>& special);

}  // namespace mv
