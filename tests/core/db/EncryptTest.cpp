#include "core/db/Base64.h"
#include "core/db/Encrypt.h"
#include "core/timing/Clock.h"

#include <gtest/gtest.h>

#include <random>

namespace mv {
namespace {

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

// Test vectors computed with a separate implementation of the key stream
// (state from 38917; byte ^= bits 8..15; state = (state + scrambled byte) *
// 47251 + 23869 mod 2^32).
TEST(Encrypt, KeyStreamVectors) {
    const TEncrypt e;
    EXPECT_EQ(e.key(), 38917);
    EXPECT_EQ(e.const1(), 47251);
    EXPECT_EQ(e.const2(), 23869);
    EXPECT_EQ(Hex(e.Encrypt(std::string(30, '\0'))),
              "98d7ef8c78334969e74d0f2d6787a32ffd8c91377ee37bc62ba5f7e48372");
    const std::string plain = std::string("secret:03/05/2024 07:08:09") + std::string(4, '\0');
    const std::string scrambled = e.Encrypt(plain);
    EXPECT_EQ(Hex(scrambled), "ebcabee5b3287d0c68f7d3c20e62be6437501efd47daa817794c7d6356a2");
    EXPECT_EQ(e.Decrypt(scrambled), plain);
}

TEST(Encrypt, RoundTripOfAnyBytesAndProperties) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        TEncrypt e;
        if (round % 2) {
            e.SetKey(static_cast<std::int32_t>(rng()));
            e.SetConst1(static_cast<std::int32_t>(rng()));
            e.SetConst2(static_cast<std::int32_t>(rng()));
        }
        std::string bytes(30, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        const std::string scrambled = e.Encrypt(bytes);
        ASSERT_EQ(e.Decrypt(scrambled), bytes);
        // In place, as the buffer functions allow.
        std::string buffer = bytes;
        e.EncryptBuffer(buffer.data(), buffer.data(), buffer.size());
        ASSERT_EQ(buffer, scrambled);
        e.DecryptBuffer(buffer.data(), buffer.data(), buffer.size());
        ASSERT_EQ(buffer, bytes);
    }
}

class SettingsEncryptTest : public ::testing::Test {
protected:
    TSimulatedClock FClock{EncodeDateTime(2024, 3, 5, 7, 8, 9, 0)};
    TScopedClock FScoped{FClock};
    TSettingsEncrypt FEncrypt;
};

TEST_F(SettingsEncryptTest, PackedFieldLayout) {
    const std::string field = FEncrypt.PackSecret("secret");
    ASSERT_EQ(field.size(), 30u);
    EXPECT_EQ(Hex(field), "ebcabee5b3287d0c68f7d3c20e62be6437501efd47daa817794c7d6356a2");
    EXPECT_EQ(Base64Encode(field), "68q+5bMofQxo99PCDmK+ZDdQHv1H2qgXeUx9Y1ai");
    EXPECT_EQ(PackSecretBase64("secret"), "68q+5bMofQxo99PCDmK+ZDdQHv1H2qgXeUx9Y1ai");

    // Empty password: ":", the stamp and 10 filler bytes.
    const std::string empty = FEncrypt.Decrypt(FEncrypt.PackSecret(""));
    EXPECT_EQ(empty.substr(0, 20), ":03/05/2024 07:08:09");
    EXPECT_EQ(PackSecretBase64(""), "oj1hKcfoeByu872x3vyXnWyPzNGVbuAletwsvb9c");

    // Ten characters fill the field exactly.
    EXPECT_EQ(FEncrypt.Decrypt(FEncrypt.PackSecret("0123456789")),
              "0123456789:03/05/2024 07:08:09");
    EXPECT_EQ(PackSecretBase64("0123456789"), "qFGq8fAnnbGKBozaw7Maz/d8SBZf8UhO2/o7tZrf");
}

TEST_F(SettingsEncryptTest, UnpackByLength) {
    constexpr struct { const char* Label; std::size_t Length; char Fill; const char* Secret; const char* Stamp; }
        kCases[] = {
            {"empty", 0, 'x', "", "03/05/2024 07:08:09"},
            {"10 characters", 10, 'a', "aaaaaaaaaa", "03/05/2024 07:08:09"},
            {"11 characters: stamp cut", 11, 'b', "bbbbbbbbbbb", "03/05/2024 07:08:0"},
            {"28 characters", 28, 'c', "cccccccccccccccccccccccccccc", "0"},
            {"29 characters: no stamp", 29, 'd', "ddddddddddddddddddddddddddddd", ""},
            {"30 characters lose the colon", 30, 'e', "", "eeeeeeeeeeeeeeeeeee"},
            {"31 characters", 31, 'f', "", "fffffffffffffffffff"},
        };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        const std::string field = FEncrypt.PackSecret(std::string(c.Length, c.Fill));
        ASSERT_EQ(field.size(), 30u);
        const TUnpackedSecret r = FEncrypt.UnpackSecret(field);
        EXPECT_EQ(r.Secret, c.Secret);
        EXPECT_EQ(r.Stamp, c.Stamp);
        const TUnpackedSecret b = UnpackSecretBase64(Base64Encode(field));
        EXPECT_EQ(b.Secret, c.Secret);
        EXPECT_EQ(PackSecretBase64(std::string(c.Length, c.Fill)).size(), 40u);
    }
}

TEST_F(SettingsEncryptTest, ColonInsideTheSecretCutsIt) {
    EXPECT_EQ(FEncrypt.UnpackSecret(FEncrypt.PackSecret("pa:ss")).Secret, "pa");
    EXPECT_EQ(FEncrypt.UnpackSecret(FEncrypt.PackSecret(":ss")).Secret, "");
}

TEST_F(SettingsEncryptTest, AnyByteSurvivesAndLongerFieldsUseThe30First) {
    const std::string secret("\x00\xff\x80 p\xc3\xa4ss\x01", 10);
    const std::string field = FEncrypt.PackSecret(secret);
    EXPECT_EQ(FEncrypt.UnpackSecret(field).Secret, secret);
    EXPECT_EQ(FEncrypt.UnpackSecret(field + "trailing bytes").Secret, secret);
}

TEST_F(SettingsEncryptTest, DifferentSecondsGiveDifferentFieldsForTheSamePassword) {
    const std::string first = PackSecretBase64("hunter2");
    FClock.AdvanceSeconds(1);
    const std::string second = PackSecretBase64("hunter2");
    EXPECT_NE(first, second);
    EXPECT_EQ(UnpackSecretBase64(first).Secret, "hunter2");
    EXPECT_EQ(UnpackSecretBase64(second).Secret, "hunter2");
    EXPECT_EQ(UnpackSecretBase64(second).Stamp, "03/05/2024 07:08:10");
}

// A stored value shorter than 30 bytes (an empty or cut registry value, short
// Base64) is unscrambled as far as it goes and never read past its end.
TEST_F(SettingsEncryptTest, ShortFieldsNeverReadPastTheirEnd) {
    const std::string field = FEncrypt.PackSecret("secret");
    for (std::size_t n = 0; n < 30; ++n) {
        SCOPED_TRACE(n);
        // An exactly sized heap copy, so that a read past the end is caught by ASan.
        const std::unique_ptr<char[]> copy(new char[n == 0 ? 1 : n]);
        std::copy_n(field.data(), n, copy.get());
        const TUnpackedSecret r = FEncrypt.UnpackSecret(std::string_view(copy.get(), n));
        if (n > 6) {  // the ":" is there: the secret survives the cut
            EXPECT_EQ(r.Secret, "secret");
            EXPECT_EQ(r.Stamp, std::string("03/05/2024 07:08:09").substr(0, n - 7));
        } else {
            EXPECT_EQ(r.Secret, "");
            EXPECT_EQ(r.Stamp, std::string("secret").substr(0, n));
        }
    }
    EXPECT_EQ(UnpackSecretBase64("").Secret, "");
    EXPECT_EQ(UnpackSecretBase64("68q+5bMo").Secret, "");  // 6 bytes: no ":" yet
}

TEST_F(SettingsEncryptTest, InvalidBase64Raises) {
    EXPECT_THROW(UnpackSecretBase64("plain password"), EBase64Error);
}

TEST_F(SettingsEncryptTest, PackingStillWorksBeyondTheTimeScale) {
    FClock.Set(EncodeDateTime(2060, 1, 2, 3, 4, 5, 0));
    const TUnpackedSecret r = UnpackSecretBase64(PackSecretBase64("pw"));
    EXPECT_EQ(r.Secret, "pw");
    EXPECT_EQ(r.Stamp, "01/02/2060 03:04:05");
}

}  // namespace
}  // namespace mv
