#pragma once
// Facts about the test services (scripts/test-services) for tests that use
// the demo data sources: read from $MV_SERVICES_DIR/services.env.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace mv::test {

class TServices {
public:
  // Throws when the services are not running (the ctest fixture "services"
  // starts them; by hand: scripts/test-services start DIR CUPSDIR).
  static const TServices& Get() {
    static TServices s;
    return s;
  }

  const std::string& operator[](const std::string& key) const {
    auto it = FValues.find(key);
    if (it == FValues.end()) throw std::runtime_error("services.env has no " + key);
    return it->second;
  }

private:
  TServices() {
    const char* dir = std::getenv("MV_SERVICES_DIR");
    if (!dir) throw std::runtime_error("MV_SERVICES_DIR is not set: run the test through ctest");
    std::string path = std::string(dir) + "/services.env";
    std::ifstream in(path);
    if (!in) throw std::runtime_error(path + " is missing: the test services are not running");
    std::string line;
    while (std::getline(in, line)) {
      auto eq = line.find('=');
      if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
      std::string value = line.substr(eq + 1);
      if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
        value = value.substr(1, value.size() - 2);
      FValues[line.substr(0, eq)] = value;
    }
  }
  std::map<std::string, std::string> FValues;
};

// A fresh folder under /tmp, removed with its content.
class TScratchDir {
public:
  TScratchDir() {
    std::random_device rd;
    FPath = std::filesystem::temp_directory_path() /
            ("mvodbc-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(FPath);
  }
  ~TScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  const std::filesystem::path& Path() const { return FPath; }
  std::string File(const std::string& name) const { return (FPath / name).string(); }

private:
  std::filesystem::path FPath;
};

}  // namespace mv::test
