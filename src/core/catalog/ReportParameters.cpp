#include "core/catalog/ReportParameters.h"

#include <algorithm>
#include <exception>

#include "core/catalog/ReportFile.h"
#include "core/schedule/ReportItem.h"
#include "engine/TRpe.h"

namespace mv {

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The name part of a "name=value" line; a line without "=" has no name.
std::string_view NameOf(std::string_view line) {
    const auto eq = line.find('=');
    return eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
}

bool HasName(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, name); });
}

bool HasLineFor(const std::vector<std::string>& lines, std::string_view name) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return SameText(NameOf(l), name); });
}

}  // namespace

bool IsSpecialReportParameter(const TReportItem& entry, std::string_view name) {
    return (entry.TimeRange && (name == "StartTime" || name == "EndTime")) || (entry.SiteLists && name == "SiteList") ||
           (entry.SensorLists && name == "SensorList") || name == "pReportTime";
}

void DiscoverReportParameters(TRpe& binding, const TReportItem& entry, const std::string& appDir,
                              std::vector<std::string>& params, std::vector<std::string>& special) {
    // Worked on copies, handed back only when the report was read through.
    std::vector<std::string> newParams = params;
    std::vector<std::string> newSpecial = special;
    try {
        // A file out of reach (a share down for a moment) says nothing about
        // the parameters the report declares: the lists stay as they were.
        const std::string file = ResolveReportFile(entry.FileName, appDir);
        if (file.empty()) return;
        binding.ClosePrintJob();
        binding.SetReportName(file);
        TRpeParamFields& fields = binding.ParamFields();
        std::vector<std::string> seen;
        const int count = fields.Count();
        for (int i = 0; i < count; ++i) {
            fields.SetNumber(i);
            const TRpeParamFieldsItem& item = fields.Item();
            const std::string& name = item.Name();
            seen.push_back(name);
            if (IsSpecialReportParameter(entry, name)) {
                if (name == "pReportTime" &&
                    std::find(newSpecial.begin(), newSpecial.end(), name) == newSpecial.end())
                    newSpecial.push_back(name);
            } else if (!item.IsLinked() && !HasLineFor(newParams, name)) {
                newParams.push_back(name + "=");
            }
        }
        for (auto i = newParams.size(); i-- > 0;)
            if (!HasName(seen, NameOf(newParams[i]))) newParams.erase(newParams.begin() + static_cast<std::ptrdiff_t>(i));
        params = std::move(newParams);
        special = std::move(newSpecial);
    } catch (const std::exception&) {
        // Left as they were; see the header.
    } catch (...) {
    }
}

}  // namespace mv
