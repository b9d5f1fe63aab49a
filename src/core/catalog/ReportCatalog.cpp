#include "core/catalog/ReportCatalog.h"

#include <stdexcept>
#include <utility>

namespace mv {

namespace {

constexpr const char* kCategorySection = "Reports Category";
constexpr const char* kCategoryTypeSection = "CategoryType";
constexpr const char* kCategoryIndexSection = "CategoryIndex";

bool IsBlankText(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

} // namespace

TIniFile TReportCatalog::ReadCatalogFile(const std::string& fileName)
{
    try {
        return TIniFile(fileName); // a missing file reads as empty
    } catch (const EIniError& e) {
        throw EIniError(std::string(e.what()) +
                        ". The report catalog is needed to find the reports; make the file readable and "
                        "restart the program.");
    }
}

TReportCatalog::TReportCatalog(const std::string& folder)
{
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    FMain = ReadCatalogFile(dir + kMainFileName);
    FUser = ReadCatalogFile(dir + kUserFileName);
}

TReportCatalog::TReportCatalog(TIniFile mainCatalog, TIniFile userCatalog)
    : FMain(std::move(mainCatalog)), FUser(std::move(userCatalog))
{
}

TReportItem TReportCatalog::ReadReport(const TIniFile& file, const std::string& key) const
{
    TReportItem r;
    r.Key = key;
    r.ReportType = file.ReadInteger(key, "Report Type", 0);
    r.Title = file.ReadString(key, "Report Title", key);
    r.FileName = file.ReadString(key, "Report File Name", "");
    r.Enabled = file.ReadBool(key, "Report Enabled", false);
    r.Prompt = file.ReadInteger(key, "Report Prompt", 0);
    r.TimeRange = file.ReadBool(key, "Report Time Range", false);
    r.TimeRangeStyle = file.ReadInteger(key, "Report Time Range Style", 0);
    r.Filter = file.ReadBool(key, "Report Filter", false);
    r.SiteLists = file.ReadBool(key, "Report Site Lists", false);
    r.SensorLists = file.ReadBool(key, "Report Sensor Lists", false);
    r.SpecialType = file.ReadInteger(key, "Report Special Type", 0);
    if (r.SpecialType > 0)
        for (int i = 0; i < 4; ++i)
            r.Params[static_cast<std::size_t>(i)] = file.ReadString(key, "Report Param " + std::to_string(i + 1), "");
    r.Category = file.ReadString(key, "Report Category", "");

    const TIniFile& indexFrom = FMain.ValueExists(kCategoryIndexSection, r.Category) ? FMain : FUser;
    r.CategoryIndex = indexFrom.ReadInteger(kCategoryIndexSection, r.Category, 0);
    const TIniFile& nameFrom = FMain.ValueExists(kCategorySection, r.Category) ? FMain : FUser;
    r.CategoryName = nameFrom.ReadString(kCategorySection, r.Category, "");
    return r;
}

void TReportCatalog::FindReport(const std::string& key, TReportItem& item) const
{
    if (FUser.SectionExists(key))
        item = ReadReport(FUser, key);
    else if (FMain.SectionExists(key))
        item = ReadReport(FMain, key);
    else
        throw EReportNotFound();
}

std::vector<TReportCategory> TReportCatalog::ListCategories(int kind) const
{
    std::vector<TReportCategory> out{{kAllCategories, kAllReportsSection}};
    for (const TIniFile* file : {&FMain, &FUser}) {
        for (const std::string& id : file->ReadSection(kCategorySection)) {
            try {
                if (file->ReadInteger(kCategoryTypeSection, id, 0) != kind)
                    continue;
                std::string name = file->ReadString(kCategorySection, id, "");
                if (!IsBlankText(name))
                    out.push_back({std::move(name), id});
            } catch (const std::exception&) {
                // One category that cannot be read does not hide the others.
            }
        }
    }
    return out;
}

std::vector<TReportItem> TReportCatalog::ListReports(const std::string& section, int kind) const
{
    std::vector<TReportItem> out;
    for (const TIniFile* file : {&FMain, &FUser}) {
        for (const std::string& key : file->ReadSection(section)) {
            try {
                TReportItem r = ReadReport(*file, key);
                if (r.ReportType == kind)
                    out.push_back(std::move(r));
            } catch (const std::exception&) {
                // One entry that cannot be read does not hide the others.
            }
        }
    }
    return out;
}

} // namespace mv
