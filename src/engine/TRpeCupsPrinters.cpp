#include "engine/TRpePrinterList.h"

#include <cups/cups.h>

namespace mv {

std::vector<TRpeInstalledPrinter> TRpeCupsPrinters::Printers()
{
    std::vector<TRpeInstalledPrinter> out;
    cups_dest_t* dests = nullptr;
    int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < n; ++i) {
        const cups_dest_t& d = dests[i];
        if (d.instance != nullptr) continue;  // instances share their printer's queue
        auto option = [&](const char* name) {
            const char* v = cupsGetOption(name, d.num_options, d.options);
            return std::string(v != nullptr ? v : "");
        };
        TRpeInstalledPrinter p;
        p.Name = d.name;
        p.DisplayName = option("printer-info");
        if (p.DisplayName.empty()) p.DisplayName = p.Name;
        p.Driver = option("printer-make-and-model");
        p.Port = option("device-uri");
        p.IsDefault = d.is_default != 0;
        out.push_back(std::move(p));
    }
    cupsFreeDests(n, dests);
    return out;
}

}  // namespace mv
