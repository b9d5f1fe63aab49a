#pragma once
// The settings scrambler shared with the product family's other programs.
//
// A password is packed with a time stamp into a 30-byte field and scrambled
// with a byte-wise key stream; the schedule file stores that field in Base64,
// the family's registry settings store the raw bytes. The scrambling must stay
// byte-for-byte what the family's programs read and write.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mv {

class TEncrypt {
public:
    TEncrypt() = default;

    std::int32_t key() const { return FKey; }       // starting value of the key-stream state
    std::int32_t const1() const { return FConst1; } // multiplier of the state update
    std::int32_t const2() const { return FConst2; } // increment of the state update
    void SetKey(std::int32_t value) { FKey = value; }
    void SetConst1(std::int32_t value) { FConst1 = value; }
    void SetConst2(std::int32_t value) { FConst2 = value; }

    // Scramble / unscramble `count` bytes from source into dest. Every call
    // starts again from key(); source and dest may be the same buffer.
    void EncryptBuffer(const void* source, void* dest, std::size_t count) const;
    void DecryptBuffer(const void* source, void* dest, std::size_t count) const;

    std::string Encrypt(std::string_view bytes) const;
    std::string Decrypt(std::string_view bytes) const;

private:
    std::int32_t FKey = 38917;
    std::int32_t FConst1 = 47251;
    std::int32_t FConst2 = 23869;
};

struct TUnpackedSecret {
    std::string Secret;
    std::string Stamp;  // "mm/dd/yyyy hh:nn:ss" of the packing, possibly cut; unused
};

class TSettingsEncrypt : public TEncrypt {
public:
    static constexpr std::size_t kFieldSize = 30;

    // secret + ":" + the current time (read through CurrentClock()) as
    // "mm/dd/yyyy hh:nn:ss", cut or zero-filled to 30 bytes, scrambled.
    // A secret of 30 or more bytes loses its ":" (and everything past byte 30)
    // and unpacks as the empty secret.
    std::string PackSecret(std::string_view secret) const;

    // Unscrambles the first 30 bytes of `field` and splits them at the first
    // ":": the secret before it, up to 19 stamp bytes after it (without a ":"
    // the secret is empty and the stamp the first 19 bytes). A field shorter
    // than 30 bytes is unscrambled as far as it goes and never read past its
    // end: a value cut after the ":" still yields its secret.
    TUnpackedSecret UnpackSecret(std::string_view field) const;
};

// The schedule file's form of a password: Base64 of PackSecret, 40 characters.
std::string PackSecretBase64(std::string_view secret);
// Reads that form back; throws EBase64Error when the text is not valid Base64.
TUnpackedSecret UnpackSecretBase64(std::string_view text);

}  // namespace mv
