#pragma once

#include <string>
#include <vector>

namespace mv {

class TRegistry;

// The engine library's file name on this platform.
inline constexpr const char* kEngineLibraryName = "librpeng32.so";
// Registry key (under HKEY_LOCAL_MACHINE) and value naming the engine's folder.
inline constexpr const char* kEngineRegistryKey = "SOFTWARE\\Report Print Engine\\10.0";
inline constexpr const char* kEngineRegistryValue = "CommonFiles";
// Environment variable that names the engine library file outright (a full
// path); it overrides every other rule. Meant for tests and for trying an
// engine build without installing it.
inline constexpr const char* kEngineLibraryVariable = "MV_RPENG_LIBRARY";

// The engine library file to check and load, first that exists of:
//   $MV_RPENG_LIBRARY (taken as it is, existing or not),
//   the folder named by the registry value CommonFiles, + librpeng32.so,
//   `exeDir` + librpeng32.so,
//   librpeng32.so in each of `searchDirs`;
// else the bare name "librpeng32.so" (which then fails the version check).
std::string LocateEngineLibrary(const TRegistry& registry, const std::string& exeDir,
                                const std::vector<std::string>& searchDirs);
// The same with the registry file of TRegistry::DefaultFileName(), the
// running executable's folder and LibrarySearchDirs().
std::string LocateEngineLibrary();

// The folders the dynamic loader searches for a bare library name:
// LD_LIBRARY_PATH, the folders of /etc/ld.so.conf (and its includes), then
// the system's library folders.
std::vector<std::string> LibrarySearchDirs();

// The folder of the running executable, with a trailing "/".
std::string ExecutableDir();

}  // namespace mv
