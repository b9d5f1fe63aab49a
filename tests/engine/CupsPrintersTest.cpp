// The installed printers as CUPS lists them, from the test services' cupsd.
#include "engine/TRpePrinterList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

TEST(RpeCupsPrinters, ListsTheQueuesWithDisplayNameDriverAndPort)
{
    const char* cupsDir = std::getenv("MV_CUPS_DIR");
    ASSERT_NE(cupsDir, nullptr) << "run through ctest: the services fixture starts cupsd";
    std::vector<mv::TRpeInstalledPrinter> printers = mv::TRpeCupsPrinters().Printers();
    auto it = std::find_if(printers.begin(), printers.end(),
                           [](const mv::TRpeInstalledPrinter& p) { return p.Name == "BindingPDF"; });
    ASSERT_NE(it, printers.end());
    EXPECT_EQ(it->DisplayName, "Test queue BindingPDF");
    EXPECT_EQ(it->Port, "file://" + std::string(cupsDir) + "/out/BindingPDF.pdf");
    EXPECT_NE(it->Driver.find("PDF"), std::string::npos) << it->Driver;
    EXPECT_FALSE(it->IsDefault);
    EXPECT_EQ(std::count_if(printers.begin(), printers.end(), [](const auto& p) { return p.IsDefault; }), 1);
}

}  // namespace
