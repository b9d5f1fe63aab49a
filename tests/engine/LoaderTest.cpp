// Finding, checking and loading the engine library.
#include "Recorder.h"

#include "engine/EngineLibrary.h"
#include "platform/registry/Registry.h"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using mv::ERpeError;
using mv::TRpe;

class TTempDir {
public:
    TTempDir()
    {
        char tmpl[] = "/tmp/mv-loader-XXXXXX";
        FPath = mkdtemp(tmpl);
    }
    ~TTempDir() { fs::remove_all(FPath); }
    std::string Sub(const std::string& name) const
    {
        fs::create_directories(FPath + "/" + name);
        return FPath + "/" + name;
    }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

class TLoader : public ::testing::Test {
protected:
    void TearDown() override
    {
        unsetenv("MV_RPENG_LIBRARY");
        unsetenv("MV_REGISTRY_FILE");
    }
    // The message of the error that opening the engine from `library` raises.
    std::string OpenError(const std::string& library)
    {
        setenv("MV_RPENG_LIBRARY", library.c_str(), 1);
        TRpe rpe;
        try {
            rpe.OpenPrintEngine();
        } catch (const ERpeError& e) {
            FLoaderError = rpe.Engine().LastError();
            return e.what();
        }
        return "(opened)";
    }
    std::string FLoaderError;
};

TEST_F(TLoader, VersionCheckAndLoadErrors)
{
    TTempDir dir;
    const std::string text = dir.Path() + "/librpeng32.so";
    std::ofstream(text) << "not a library\n";
    EXPECT_EQ(OpenError(dir.Path() + "/nothing/librpeng32.so"),
              "Error:104 Failed to obtain Version Information from librpeng32.so - GetRpeVersion "
              "<GetVersionInfo>\r\nWindows Error Number: 2 - No such file or directory");
    EXPECT_EQ(OpenError(text),
              "Error:104 Failed to obtain Version Information from librpeng32.so - GetRpeVersion "
              "<GetVersionInfo>\r\nWindows Error Number: 8 - Exec format error");
    EXPECT_EQ(OpenError(OLD_RPENG),
              "Error:103 Incompatible RPE version: requires version 10.x\r\nlibold_rpeng.so :: 9.0.0.1");
    EXPECT_EQ(OpenError(UNLOADABLE_RPENG), "Error:100 Error loading library: libunloadable_rpeng.so");
    EXPECT_NE(FLoaderError.find("mv_symbol_that_nothing_defines"), std::string::npos) << FLoaderError;
    EXPECT_EQ(OpenError(RECORDING_RPENG), "(opened)");
}

TEST_F(TLoader, LocatesTheLibrary)
{
    TTempDir dir;
    const std::string common = dir.Sub("common"), exe = dir.Sub("exe"), search = dir.Sub("search");
    auto place = [](const std::string& folder) { std::ofstream(folder + "/librpeng32.so") << "x"; };
    mv::TRegistry registry;
    registry.Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Report Print Engine\\10.0]\n\"CommonFiles\"=\"" +
                   common + "\"\n");
    mv::TRegistry empty;
    const std::vector<std::string> dirs = {dir.Path() + "/none", search};

    EXPECT_EQ(mv::LocateEngineLibrary(registry, exe, dirs), "librpeng32.so");  // nothing there yet
    place(search);
    EXPECT_EQ(mv::LocateEngineLibrary(registry, exe, dirs), search + "/librpeng32.so");
    place(exe);
    EXPECT_EQ(mv::LocateEngineLibrary(registry, exe + "/", dirs), exe + "/librpeng32.so");
    place(common);
    EXPECT_EQ(mv::LocateEngineLibrary(registry, exe, dirs), common + "/librpeng32.so");
    EXPECT_EQ(mv::LocateEngineLibrary(empty, exe, dirs), exe + "/librpeng32.so");
    setenv("MV_RPENG_LIBRARY", "/opt/test/engine.so", 1);
    EXPECT_EQ(mv::LocateEngineLibrary(registry, exe, dirs), "/opt/test/engine.so");
}

TEST_F(TLoader, OpensTheEngineNamedByTheRegistry)
{
    TTempDir dir;
    const std::string common = dir.Sub("Common Files");
    fs::copy_file(RECORDING_RPENG, common + "/librpeng32.so");
    const std::string reg = dir.Path() + "/system.reg";
    std::ofstream(reg) << "WINE REGISTRY Version 2\n"
                          ";; All keys relative to \\\\Registry\\\\Machine\n\n"
                          "[Software\\\\Report Print Engine\\\\10.0] 1700000000\n"
                          "\"CommonFiles\"=\"" << common << "/\"\n";
    setenv("MV_REGISTRY_FILE", reg.c_str(), 1);
    TRpe rpe;
    rpe.OpenPrintEngine();
    EXPECT_TRUE(rpe.EngineOpen());
    EXPECT_EQ(rpe.Engine().LibraryPath(), common + "/librpeng32.so");
}

TEST_F(TLoader, ExecutableDirEndsWithASlash)
{
    const std::string dir = mv::ExecutableDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(fs::is_directory(dir));
}

}  // namespace
