// Time expressions and date-time texts from arbitrary bytes: no crash, no
// undefined behaviour, and the properties of CheckTimeExpressionInput.

#include "TimeExprCheck.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = mv::CheckTimeExpressionInput(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "property broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
