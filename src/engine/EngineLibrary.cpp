#include "engine/EngineLibrary.h"

#include "platform/registry/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include <glob.h>

namespace mv {

namespace fs = std::filesystem;

namespace {

bool IsFile(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

std::string InFolder(std::string dir, const char* name)
{
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + name;
}

// Folders listed in an ld.so.conf file, following "include" lines.
void ReadLdConf(const std::string& file, std::vector<std::string>& out, std::set<std::string>& seen,
                int depth)
{
    if (depth > 8 || !seen.insert(file).second) return;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        size_t b = line.find_first_not_of(" \t\r");
        if (b == std::string::npos) continue;
        line = line.substr(b, line.find_last_not_of(" \t\r") - b + 1);
        if (line.rfind("include", 0) == 0 && line.size() > 7 && (line[7] == ' ' || line[7] == '\t')) {
            std::string pattern = line.substr(line.find_first_not_of(" \t", 7));
            if (!pattern.empty() && pattern[0] != '/')
                pattern = fs::path(file).parent_path().string() + "/" + pattern;
            glob_t g{};
            if (glob(pattern.c_str(), 0, nullptr, &g) == 0)
                for (size_t i = 0; i < g.gl_pathc; ++i) ReadLdConf(g.gl_pathv[i], out, seen, depth + 1);
            globfree(&g);
        } else if (line[0] == '/') {
            out.push_back(line);
        }
    }
}

}  // namespace

std::string LocateEngineLibrary(const TRegistry& registry, const std::string& exeDir,
                                const std::vector<std::string>& searchDirs)
{
    const char* overridePath = std::getenv(kEngineLibraryVariable);
    if (overridePath != nullptr && *overridePath != '\0') return overridePath;

    std::optional<std::string> common = registry.ReadValue(kEngineRegistryKey, kEngineRegistryValue);
    if (common && !common->empty()) {
        std::string path = InFolder(*common, kEngineLibraryName);
        if (IsFile(path)) return path;
    }
    if (!exeDir.empty()) {
        std::string path = InFolder(exeDir, kEngineLibraryName);
        if (IsFile(path)) return path;
    }
    for (const std::string& dir : searchDirs) {
        std::string path = InFolder(dir, kEngineLibraryName);
        if (IsFile(path)) return path;
    }
    return kEngineLibraryName;
}

std::string LocateEngineLibrary()
{
    return LocateEngineLibrary(TRegistry::Load(TRegistry::DefaultFileName(), {kEngineRegistryKey}), ExecutableDir(),
                               LibrarySearchDirs());
}

std::vector<std::string> LibrarySearchDirs()
{
    std::vector<std::string> dirs;
    if (const char* ld = std::getenv("LD_LIBRARY_PATH")) {
        std::string s = ld;
        size_t i = 0;
        while (i <= s.size()) {
            size_t j = s.find(':', i);
            if (j == std::string::npos) j = s.size();
            if (j > i) dirs.push_back(s.substr(i, j - i));
            i = j + 1;
        }
    }
    std::set<std::string> seen;
    ReadLdConf("/etc/ld.so.conf", dirs, seen, 0);
    for (const char* d : {"/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib64", "/usr/lib64",
                          "/lib", "/usr/lib"})
        dirs.push_back(d);
    return dirs;
}

std::string ExecutableDir()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::string();
    std::string dir = exe.parent_path().string();
    return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

}  // namespace mv
