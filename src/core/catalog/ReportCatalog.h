#pragma once

#include <string>
#include <vector>

#include "core/schedule/ReportLookup.h"
#include "core/schedule/ReportItem.h"
#include "platform/ini/IniFile.h"

namespace mv {

// A category offered for one kind of report: its display name and the
// catalog section that lists its reports.
struct TReportCategory {
    std::string DisplayName;
    std::string Section;
    bool operator==(const TReportCategory&) const = default;
};

// The report catalog: the product family's main catalog "MVReports.MVF" and
// the site's user catalog "MVRptUsr.MVF", read once into memory and never
// written. A file that is missing counts as empty.
class TReportCatalog final : public IReportLookup {
public:
    static constexpr const char* kMainFileName = "MVReports.MVF";
    static constexpr const char* kUserFileName = "MVRptUsr.MVF";
    static constexpr const char* kAllCategories = "...ALL...";
    static constexpr const char* kAllReportsSection = "Reports Settings";
    static constexpr const char* kNotFound = EReportNotFound::kMessage;

    // Reads both files from `folder` (with or without a trailing "/"). A file
    // that exists but cannot be read throws EIniError naming it and the
    // system's reason: taken for empty, it would make every report of the
    // schedule look unknown.
    explicit TReportCatalog(const std::string& folder);
    // A catalog of two profiles already in memory.
    TReportCatalog(TIniFile mainCatalog, TIniFile userCatalog);

    // User catalog first, then the main catalog; throws EReportNotFound
    // "The report is not found in INI file." when neither has a section `key`.
    void FindReport(const std::string& key, TReportItem& item) const override;

    // The entry of `key` as `file` (one of the two catalogs) describes it;
    // keys the file lacks take their defaults. Category data come from the
    // main catalog when it names the category, else from the user catalog.
    TReportItem ReadReport(const TIniFile& file, const std::string& key) const;

    // "...ALL..." first, then the categories of `kind` of the main catalog,
    // then those of the user catalog, each in file order. A category whose
    // display name is blank is hidden.
    std::vector<TReportCategory> ListCategories(int kind) const;

    // The entries of `kind` listed in `section`: first those of the main
    // catalog's section, each read from the main catalog, then those of the
    // user catalog's, each read from the user catalog.
    std::vector<TReportItem> ListReports(const std::string& section, int kind) const;

    const TIniFile& MainCatalog() const { return FMain; }
    // Also holds the selection window's "Windows Settings".
    const TIniFile& UserCatalog() const { return FUser; }

private:
    static TIniFile ReadCatalogFile(const std::string& fileName);

    TIniFile FMain;
    TIniFile FUser;
};

} // namespace mv
