#include "OutputFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"

namespace mv::rpe {
namespace {

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

mode_t CurrentUmask() {
  // Setting the umask to read it would change it for every thread at once;
  // the kernel shows it in /proc instead.
  int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 022;
  char buf[4096];
  ssize_t n = ::read(fd, buf, sizeof buf - 1);
  ::close(fd);
  if (n <= 0) return 022;
  buf[n] = '\0';
  const char* p = std::strstr(buf, "Umask:");
  if (!p) return 022;
  return static_cast<mode_t>(std::strtoul(p + 6, nullptr, 8)) & 0777;
}

}  // namespace

TOutputFile::TOutputFile(std::string finalPath) : FFinalPath(std::move(finalPath)) {
  if (FFinalPath.empty()) throw ERpeError(RE_ERR_EXPORTDEST, "no export file name is given");
  std::string folder = FolderOf(FFinalPath);
  std::string base = FFinalPath.substr(FFinalPath.find_last_of('/') == std::string::npos ? 0 : FFinalPath.find_last_of('/') + 1);
  if (base.empty()) throw ERpeError(RE_ERR_EXPORTDEST, "the export file name \"" + FFinalPath + "\" names a folder, not a file");
  struct stat st {};
  if (::stat(FFinalPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw ERpeError(RE_ERR_EXPORTWRITE, "cannot write the export file \"" + FFinalPath + "\": it is a folder");
  std::string tmpl = (folder == "/" ? std::string() : folder) + "/." + base + ".XXXXXX";
  if (folder == ".") tmpl = "." + base + ".XXXXXX";
  FFd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (FFd < 0) Fail("cannot create a file in the folder of", errno);
  FTempPath = tmpl;
  // mkstemp makes the file private (0600); an export is a normal file.
  ::fchmod(FFd, 0666 & ~CurrentUmask());
  FBuffer.reserve(kFlushSize + 65536);
}

TOutputFile::~TOutputFile() {
  if (FFd >= 0) ::close(FFd);
  if (!FCommitted && !FTempPath.empty()) ::unlink(FTempPath.c_str());
}

void TOutputFile::Fail(const char* what, int err) const {
  throw ERpeError(RE_ERR_EXPORTWRITE, std::string(what) + " the export file \"" + FFinalPath + "\": " + std::strerror(err));
}

void TOutputFile::Flush() {
  if (FBuffer.empty()) return;
  if (!WriteAll(FFd, FBuffer.data(), FBuffer.size())) Fail("cannot write", errno);
  FBuffer.clear();
}

void TOutputFile::Commit() {
  Flush();
  if (::fdatasync(FFd) != 0) Fail("cannot write", errno);
  if (::close(FFd) != 0) {
    FFd = -1;
    Fail("cannot write", errno);
  }
  FFd = -1;
  if (::rename(FTempPath.c_str(), FFinalPath.c_str()) != 0) Fail("cannot put in place", errno);
  FCommitted = true;
  int dir = ::open(FolderOf(FFinalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

TSpoolFile::TSpoolFile(const std::string& folder) {
  std::string dir = folder.empty() ? "/tmp" : folder;
  FFd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (FFd < 0) {
    std::string tmpl = dir + "/.rpeng-spool.XXXXXX";
    FFd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (FFd >= 0) ::unlink(tmpl.c_str());
  }
  if (FFd < 0)
    throw ERpeError(RE_ERR_EXPORTWRITE, "cannot create a temporary file in \"" + dir + "\": " + std::strerror(errno));
  FBuffer.reserve((1u << 18) + 65536);
}

TSpoolFile::~TSpoolFile() {
  if (FFd >= 0) ::close(FFd);
}

void TSpoolFile::Flush() {
  if (FBuffer.empty()) return;
  if (!WriteAll(FFd, FBuffer.data(), FBuffer.size()))
    throw ERpeError(RE_ERR_EXPORTWRITE, std::string("cannot write a temporary file: ") + std::strerror(errno));
  FBuffer.clear();
}

void TSpoolFile::Rewind() {
  if (::lseek(FFd, 0, SEEK_SET) < 0)
    throw ERpeError(RE_ERR_EXPORTWRITE, std::string("cannot read back a temporary file: ") + std::strerror(errno));
}

bool TSpoolFile::ReadChunk(std::string& chunk) {
  chunk.resize(1u << 18);
  while (true) {
    ssize_t n = ::read(FFd, chunk.data(), chunk.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ERpeError(RE_ERR_EXPORTWRITE, std::string("cannot read back a temporary file: ") + std::strerror(errno));
    }
    chunk.resize(static_cast<std::size_t>(n));
    return n > 0;
  }
}

}  // namespace mv::rpe
