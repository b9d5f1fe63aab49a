#include "platform/registry/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using mv::TRegistry;
using mv::TRegistryValueKind;

const std::string kData = MV_TEST_DATA_DIR "/registry/";
const char* const kSettings = "\\Software\\Orvane Corporation\\Merivant\\Settings\\";

struct TCase {
    const char* Label;
    const char* Key;
    const char* Name;
    std::optional<std::string> Expected;
};

void CheckCases(const TRegistry& reg, std::initializer_list<TCase> cases)
{
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(reg.ReadValue(c.Key, c.Name), c.Expected);
    }
}

TEST(Registry, ReadsRegedit4Export)
{
    TRegistry reg = TRegistry::Load(kData + "regedit4_settings.reg");
    ASSERT_EQ(reg.LoadError(), "");
    CheckCases(reg, {
        {"plain text", kSettings, "ODBC_Source", "MVDEMO"},
        {"names ignore case", "SOFTWARE\\orvane corporation\\MERIVANT\\settings", "odbc_source", "MVDEMO"},
        {"quote and backslash escapes", kSettings, "ODBC_User", "demo \"quoted\" \\ user"},
        {"hex list over two lines, any byte", kSettings, "ODBC_Pass",
         std::string("\x00\xff\x41\x0a\x22\x5c\x80\x9d", 8)},
        {"dword as decimal", kSettings, "Level", "42"},
        {"default value", kSettings, "", "default text"},
        {"missing value", kSettings, "ODBC_Nothing", std::nullopt},
        {"missing key", "\\Software\\Nobody", "ODBC_Source", std::nullopt},
        {"other key", "SOFTWARE\\Report Print Engine\\10.0", "CommonFiles", "/opt/rpe/lib"},
        {"value deleted by =-", "SOFTWARE\\Report Print Engine\\10.0", "Gone", std::nullopt},
        {"key deleted by [-key]", "Software\\Old", "A", std::nullopt},
    });
    EXPECT_FALSE(reg.KeyExists("Software\\Old"));
    // HKEY_CURRENT_USER's copy of the key must not shadow the machine's.
    EXPECT_EQ(reg.FindValue(kSettings, "ODBC_Source")->Kind, TRegistryValueKind::String);
}

TEST(Registry, ReadsWineSystemReg)
{
    TRegistry reg = TRegistry::Load(kData + "wine_system.reg");
    ASSERT_EQ(reg.LoadError(), "");
    CheckCases(reg, {
        {"plain text", kSettings, "ODBC_Source", "MVDEMO"},
        {"escapes", kSettings, "ODBC_User", "op\"er\\ator"},
        // \x20ac is the euro sign, byte 0x80 in the ANSI code page.
        {"str(2) with unit and octal escapes", kSettings, "ODBC_Pass",
         std::string("A\x80" "B\xff\t\x01\x01", 7)},
        {"hex(2) holds UTF-16", kSettings, "Expand", "%TEMP%"},
        {"str(7) keeps inner NULs", kSettings, "Multi", std::string("one\0two", 7)},
        {"outside the code page gives UTF-8, surrogates paired", kSettings, "Unicode",
         "\xe4\xb8\xad\xf0\x9f\x98\x80"},
        {"section with time stamp", "Software\\Report Print Engine\\10.0", "CommonFiles",
         "/opt/rpe/lib"},
    });
    std::optional<std::string> binary =
        reg.ReadValue("Software\\Report Print Engine\\10.0", "Binary");
    ASSERT_TRUE(binary);
    ASSERT_EQ(binary->size(), 24u);
    EXPECT_EQ((*binary)[23], '\x18');
    EXPECT_EQ(reg.FindValue(kSettings, "Expand")->Kind, TRegistryValueKind::ExpandString);
}

TEST(Registry, ReadsUtf16Regedit5Export)
{
    TRegistry reg = TRegistry::Load(kData + "regedit5_utf16.reg");
    CheckCases(reg, {
        {"UTF-16 text as ANSI bytes", kSettings, "ODBC_Source", "Caf\xe9"},
        {"hex(2) decoded from UTF-16", kSettings, "ODBC_Pass", "A\x80"},
    });
}

TEST(Registry, IgnoresUserHiveAndMalformedLines)
{
    TRegistry user = TRegistry::Load(kData + "wine_user_hive.reg");
    EXPECT_EQ(user.ReadValue(kSettings, "ODBC_Source"), std::nullopt);

    TRegistry reg = TRegistry::Load(kData + "malformed_lines.reg");
    CheckCases(reg, {
        {"good line after bad ones", "Software\\Broken", "Good", "kept"},
        {"unclosed quote", "Software\\Broken", "Unclosed", std::nullopt},
        {"no equals sign", "Software\\Broken", "NoEquals", std::nullopt},
        {"bad hex digit", "Software\\Broken", "BadHex", std::nullopt},
        {"dword too long", "Software\\Broken", "BadDword", std::nullopt},
        {"after an unclosed section", "Software\\NoClose", "AfterBadSection", std::nullopt},
    });
}

TEST(Registry, LoadsOnlyTheKeysAskedFor)
{
    TRegistry reg = TRegistry::Load(kData + "wine_system.reg", {"software\\report print engine\\10.0\\"});
    EXPECT_EQ(reg.ReadValue("Software\\Report Print Engine\\10.0", "CommonFiles"), "/opt/rpe/lib");
    EXPECT_EQ(reg.ReadValue(kSettings, "ODBC_Source"), std::nullopt);
    EXPECT_FALSE(reg.KeyExists(kSettings));
}

TEST(Registry, MissingFileReadsEmpty)
{
    TRegistry reg = TRegistry::Load(kData + "no_such_file.reg");
    EXPECT_NE(reg.LoadError().find("No such file or directory"), std::string::npos);
    EXPECT_EQ(reg.ReadValue(kSettings, "ODBC_Source"), std::nullopt);
    EXPECT_FALSE(reg.KeyExists(kSettings));
}

TEST(Registry, DefaultFileNameFollowsEnvironment)
{
    struct TEnv {
        const char* Label;
        const char* RegistryFile;
        const char* WinePrefix;
        const char* Expected;
    } const cases[] = {
        {"explicit file wins", "/x/my.reg", "/wine", "/x/my.reg"},
        {"empty explicit file is unset", "", "/wine", "/wine/system.reg"},
        {"Wine prefix", nullptr, "/wine", "/wine/system.reg"},
        {"home", nullptr, nullptr, "/home/op/.wine/system.reg"},
    };
    std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const TEnv& c : cases) {
        SCOPED_TRACE(c.Label);
        if (c.RegistryFile) setenv("MV_REGISTRY_FILE", c.RegistryFile, 1);
        else unsetenv("MV_REGISTRY_FILE");
        if (c.WinePrefix) setenv("WINEPREFIX", c.WinePrefix, 1);
        else unsetenv("WINEPREFIX");
        setenv("HOME", "/home/op", 1);
        EXPECT_EQ(TRegistry::DefaultFileName(), c.Expected);
    }
    setenv("HOME", oldHome.c_str(), 1);
    unsetenv("MV_REGISTRY_FILE");
    unsetenv("WINEPREFIX");
}

}  // namespace
