// The stored password forms from arbitrary bytes: the schedule file's Base64
// text and the registry's raw scrambled bytes.
// Checks: no crash, no read past the input; whatever unpacks packs again to
// a field that unpacks to the same secret.

#include "core/db/Base64.h"
#include "core/db/Encrypt.h"
#include "core/timing/Clock.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace mv;

namespace {

void CheckRoundTrip(const TSettingsEncrypt& e, const TUnpackedSecret& r) {
    if (r.Secret.size() > 29 || r.Stamp.size() > 19) std::abort();
    const std::string field = e.PackSecret(r.Secret);
    if (field.size() != TSettingsEncrypt::kFieldSize) std::abort();
    if (e.UnpackSecret(field).Secret != r.Secret) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TSimulatedClock clock(EncodeDateTime(2024, 3, 5, 7, 8, 9, 0));
    static TScopedClock scoped(clock);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const TSettingsEncrypt e;

    CheckRoundTrip(e, e.UnpackSecret(input));  // registry form

    try {  // schedule-file form
        const std::string bytes = Base64Decode(input);
        if (bytes.size() != input.size() / 4 * 3 - (input.ends_with("==") ? 2 : input.ends_with("=") ? 1 : 0))
            std::abort();
        if (Base64Decode(Base64Encode(bytes)) != bytes) std::abort();
        CheckRoundTrip(e, e.UnpackSecret(bytes));
    } catch (const EBase64Error&) {
    }
    return 0;
}
