#include "core/db/Encrypt.h"

#include "core/db/Base64.h"
#include "core/timing/Clock.h"
#include "core/timing/FormatText.h"
#include "core/timing/TimeScale.h"

namespace mv {

namespace {

enum class TDirection { Scramble, Unscramble };

// Key stream: the state starts at key; each byte is XORed with bits 8..15 of
// the state, and the state moves on by the scrambled byte:
// s := (s + scrambled) * const1 + const2, modulo 2^32.
void Run(const TEncrypt& e, const void* source, void* dest, std::size_t count, TDirection dir) {
    const auto* in = static_cast<const unsigned char*>(source);
    auto* out = static_cast<unsigned char*>(dest);
    std::uint32_t s = static_cast<std::uint32_t>(e.key());
    const auto c1 = static_cast<std::uint32_t>(e.const1());
    const auto c2 = static_cast<std::uint32_t>(e.const2());
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char plainOrScrambled = in[i];  // read first: in and out may alias
        const auto k = static_cast<unsigned char>((s >> 8) & 0xFF);
        const auto result = static_cast<unsigned char>(plainOrScrambled ^ k);
        out[i] = result;
        const unsigned char scrambled = dir == TDirection::Scramble ? result : plainOrScrambled;
        s = (s + scrambled) * c1 + c2;
    }
}

// The packing moment as "mm/dd/yyyy hh:nn:ss". Beyond the 32-bit time scale
// the same text comes from the calendar, so a password can still be stored.
std::string PackingStamp() {
    try {
        return FormatText("%j", {NowEpochSeconds()});
    } catch (const EConvertError&) {
        return FormatDateTime("mm/dd/yyyy hh:nn:ss", CurrentClock().Now());
    }
}

}  // namespace

void TEncrypt::EncryptBuffer(const void* source, void* dest, std::size_t count) const {
    Run(*this, source, dest, count, TDirection::Scramble);
}

void TEncrypt::DecryptBuffer(const void* source, void* dest, std::size_t count) const {
    Run(*this, source, dest, count, TDirection::Unscramble);
}

std::string TEncrypt::Encrypt(std::string_view bytes) const {
    std::string out(bytes.size(), '\0');
    EncryptBuffer(bytes.data(), out.data(), bytes.size());
    return out;
}

std::string TEncrypt::Decrypt(std::string_view bytes) const {
    std::string out(bytes.size(), '\0');
    DecryptBuffer(bytes.data(), out.data(), bytes.size());
    return out;
}

std::string TSettingsEncrypt::PackSecret(std::string_view secret) const {
    std::string data(secret);
    data += ':';
    data += PackingStamp();
    data.resize(kFieldSize, '\0');  // cut, or fill with bytes without meaning
    return Encrypt(data);
}

TUnpackedSecret TSettingsEncrypt::UnpackSecret(std::string_view field) const {
    const std::string data = Decrypt(field.substr(0, std::min(field.size(), kFieldSize)));
    TUnpackedSecret r;
    const std::size_t colon = data.find(':');
    if (colon == std::string::npos) {
        r.Stamp = data.substr(0, 19);
    } else {
        r.Secret = data.substr(0, colon);
        r.Stamp = data.substr(colon + 1, 19);
    }
    return r;
}

std::string PackSecretBase64(std::string_view secret) {
    return Base64Encode(TSettingsEncrypt().PackSecret(secret));
}

TUnpackedSecret UnpackSecretBase64(std::string_view text) {
    return TSettingsEncrypt().UnpackSecret(Base64Decode(text));
}

}  // namespace mv
