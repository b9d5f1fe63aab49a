#pragma once

#include <memory>
#include <string>
#include <vector>

namespace mv {

// An installed printer as the binding selects it for the engine.
struct TRpeInstalledPrinter {
    std::string Name;         // device name: the CUPS destination
    std::string DisplayName;  // what the operator sees; the name when there is none
    std::string Driver;       // make and model
    std::string Port;         // device URI
    bool IsDefault = false;
};

// Where the binding finds the installed printers. Callers (and tests) may
// hand their own list to a binding; the default asks CUPS.
class TRpePrinterList {
public:
    virtual ~TRpePrinterList() = default;
    virtual std::vector<TRpeInstalledPrinter> Printers() = 0;
};

// The destinations of the CUPS server the process talks to (CUPS_SERVER or
// the system's). Display name from "printer-info", driver from
// "printer-make-and-model", port from "device-uri". Each call asks afresh.
class TRpeCupsPrinters : public TRpePrinterList {
public:
    std::vector<TRpeInstalledPrinter> Printers() override;
};

}  // namespace mv
