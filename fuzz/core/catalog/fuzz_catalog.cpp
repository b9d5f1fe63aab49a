// The report catalog reader over arbitrary catalog files: every listing and
// lookup runs without fault, and every section can be found by its name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/catalog/ReportCatalog.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_catalog: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The main catalog, a NUL, then the user catalog.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto nul = input.find('\0');
    mv::TIniFile mainFile, userFile;
    mainFile.Parse(input.substr(0, nul));
    if (nul != std::string::npos)
        userFile.Parse(input.substr(nul + 1));
    const mv::TReportCatalog catalog(std::move(mainFile), std::move(userFile));

    for (const mv::TIniFile* file : {&catalog.MainCatalog(), &catalog.UserCatalog()}) {
        for (const auto& section : file->ReadSections()) {
            mv::TReportItem item;
            catalog.FindReport(section, item);
            Check(item.Key == section, "found entry has another key");
            Check(item.SpecialType > 0 || (item.Params[0].empty() && item.Params[3].empty()),
                  "parameters read without a special type");
        }
    }
    for (int kind : {0, 1}) {
        const auto categories = catalog.ListCategories(kind);
        Check(!categories.empty() && categories[0].DisplayName == "...ALL...", "\"...ALL...\" is not first");
        for (const auto& c : categories)
            for (const auto& r : catalog.ListReports(c.Section, kind))
                Check(r.ReportType == kind, "entry of another kind listed");
    }
    return 0;
}
