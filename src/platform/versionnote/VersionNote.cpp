#include "platform/versionnote/VersionNote.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mv {

namespace {

constexpr uint32_t kPackageNoteType = 0xcafe1a7e;
// Note sections and string tables larger than this are not ours; skipping
// them keeps a corrupt size from making us read a whole large file.
constexpr uint64_t kMaxSectionBytes = 1u << 20;
constexpr uint64_t kMaxHeaders = 1u << 16;

[[noreturn]] void Fail(EVersionNoteError::TKind kind, int err, const std::string& fileName,
                       const std::string& what)
{
    throw EVersionNoteError(kind, err, fileName + ": " + what);
}

class TFd {
public:
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd()
    {
        if (FFd >= 0) ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

// Bounded reads of one file in one byte order.
class TElfFile {
public:
    TElfFile(const std::string& fileName, int fd, uint64_t size)
        : FFileName(fileName), FFd(fd), FSize(size) {}

    uint64_t Size() const { return FSize; }
    void SetBigEndian(bool big) { FBig = big; }

    // Whether [offset, offset + n) lies inside the file.
    bool Inside(uint64_t offset, uint64_t n) const { return offset <= FSize && n <= FSize - offset; }

    // Nothing when the range is outside the file.
    std::optional<std::vector<uint8_t>> Read(uint64_t offset, uint64_t n) const
    {
        if (!Inside(offset, n)) return std::nullopt;
        std::vector<uint8_t> buf(static_cast<size_t>(n));
        size_t done = 0;
        while (done < buf.size()) {
            ssize_t got = ::pread(FFd, buf.data() + done, buf.size() - done,
                                  static_cast<off_t>(offset + done));
            if (got < 0) {
                if (errno == EINTR) continue;
                Fail(EVersionNoteError::TKind::NoFile, errno, FFileName, std::strerror(errno));
            }
            if (got == 0) return std::nullopt;  // shrank while we read
            done += static_cast<size_t>(got);
        }
        return buf;
    }

    uint64_t Get(const std::vector<uint8_t>& b, size_t at, size_t width) const
    {
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) {
            size_t k = FBig ? at + i : at + width - 1 - i;
            v = (v << 8) | b[k];
        }
        return v;
    }

private:
    const std::string& FFileName;
    int FFd;
    uint64_t FSize;
    bool FBig = false;
};

uint64_t AlignUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

// Searches a block of notes; returns the descriptor of the package note.
std::optional<std::string> FindPackageNote(const TElfFile& f, const std::vector<uint8_t>& notes,
                                           uint64_t align)
{
    uint64_t pos = 0;
    const uint64_t size = notes.size();
    while (size - pos >= 12) {
        uint64_t nameSize = f.Get(notes, static_cast<size_t>(pos), 4);
        uint64_t descSize = f.Get(notes, static_cast<size_t>(pos + 4), 4);
        uint64_t type = f.Get(notes, static_cast<size_t>(pos + 8), 4);
        uint64_t nameAt = pos + 12;
        uint64_t descAt = nameAt + AlignUp(nameSize, align);
        if (descAt > size || descSize > size - descAt) return std::nullopt;
        if (type == kPackageNoteType && nameSize == 4 &&
            std::memcmp(notes.data() + nameAt, "FDO", 4) == 0) {
            const char* desc = reinterpret_cast<const char*>(notes.data() + descAt);
            return std::string(desc, strnlen(desc, static_cast<size_t>(descSize)));
        }
        uint64_t next = descAt + AlignUp(descSize, align);
        if (next <= pos || next > size) return std::nullopt;
        pos = next;
    }
    return std::nullopt;
}

struct TRegion {
    uint64_t Offset, Size, Align;
    bool Preferred;  // the ".note.package" section
};

std::vector<TRegion> NoteSections(const TElfFile& f, bool is64, const std::vector<uint8_t>& eh)
{
    std::vector<TRegion> out;
    const uint64_t shoff = is64 ? f.Get(eh, 40, 8) : f.Get(eh, 32, 4);
    const uint64_t shentsize = f.Get(eh, is64 ? 58 : 46, 2);
    uint64_t shnum = f.Get(eh, is64 ? 60 : 48, 2);
    uint64_t shstrndx = f.Get(eh, is64 ? 62 : 50, 2);
    const uint64_t need = is64 ? 64 : 40;
    if (shoff == 0 || shentsize < need) return out;

    auto header = [&](uint64_t i) -> std::optional<std::vector<uint8_t>> {
        if (i >= kMaxHeaders) return std::nullopt;
        return f.Read(shoff + i * shentsize, need);
    };
    if (shnum == 0 || shstrndx == SHN_XINDEX) {  // extended numbering lives in section 0
        auto s0 = header(0);
        if (!s0) return out;
        if (shnum == 0) shnum = is64 ? f.Get(*s0, 32, 8) : f.Get(*s0, 20, 4);
        if (shstrndx == SHN_XINDEX) shstrndx = f.Get(*s0, is64 ? 40 : 24, 4);
    }
    if (shnum > kMaxHeaders) return out;

    auto field = [&](const std::vector<uint8_t>& h, size_t at64, size_t at32, bool wide) {
        return is64 ? f.Get(h, at64, wide ? 8 : 4) : f.Get(h, at32, 4);
    };
    std::optional<std::vector<uint8_t>> names;
    if (shstrndx < shnum) {
        if (auto sh = header(shstrndx)) {
            uint64_t size = field(*sh, 32, 20, true);
            if (size <= kMaxSectionBytes) names = f.Read(field(*sh, 24, 16, true), size);
        }
    }
    for (uint64_t i = 0; i < shnum; ++i) {
        auto sh = header(i);
        if (!sh) break;
        if (f.Get(*sh, 4, 4) != SHT_NOTE) continue;
        uint64_t size = field(*sh, 32, 20, true);
        if (size > kMaxSectionBytes) continue;
        bool preferred = false;
        uint64_t nameAt = f.Get(*sh, 0, 4);
        if (names && nameAt < names->size()) {
            const char* n = reinterpret_cast<const char*>(names->data() + nameAt);
            preferred = std::string(n, strnlen(n, names->size() - nameAt)) == ".note.package";
        }
        uint64_t align = field(*sh, 48, 32, true) == 8 ? 8 : 4;
        out.push_back({field(*sh, 24, 16, true), size, align, preferred});
    }
    std::stable_partition(out.begin(), out.end(), [](const TRegion& r) { return r.Preferred; });
    return out;
}

std::vector<TRegion> NoteSegments(const TElfFile& f, bool is64, const std::vector<uint8_t>& eh)
{
    std::vector<TRegion> out;
    const uint64_t phoff = is64 ? f.Get(eh, 32, 8) : f.Get(eh, 28, 4);
    const uint64_t phentsize = f.Get(eh, is64 ? 54 : 42, 2);
    const uint64_t phnum = f.Get(eh, is64 ? 56 : 44, 2);
    const uint64_t need = is64 ? 56 : 32;
    if (phoff == 0 || phentsize < need) return out;
    for (uint64_t i = 0; i < phnum; ++i) {
        auto ph = f.Read(phoff + i * phentsize, need);
        if (!ph) break;
        if (f.Get(*ph, 0, 4) != PT_NOTE) continue;
        uint64_t offset = is64 ? f.Get(*ph, 8, 8) : f.Get(*ph, 4, 4);
        uint64_t size = is64 ? f.Get(*ph, 32, 8) : f.Get(*ph, 16, 4);
        uint64_t align = (is64 ? f.Get(*ph, 48, 8) : f.Get(*ph, 28, 4)) == 8 ? 8 : 4;
        if (size <= kMaxSectionBytes) out.push_back({offset, size, align, false});
    }
    return out;
}

}  // namespace

TVersionInfo ReadVersionNote(const std::string& fileName)
{
    using TKind = EVersionNoteError::TKind;
    TFd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) Fail(TKind::NoFile, errno, fileName, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) Fail(TKind::NoFile, errno, fileName, std::strerror(errno));
    if (S_ISDIR(st.st_mode)) Fail(TKind::NoFile, EISDIR, fileName, std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) Fail(TKind::NoNote, ENOEXEC, fileName, "is not a regular file");

    TElfFile f(fileName, fd.Get(), static_cast<uint64_t>(st.st_size));
    auto ident = f.Read(0, EI_NIDENT);
    if (!ident || std::memcmp(ident->data(), ELFMAG, SELFMAG) != 0)
        Fail(TKind::NoNote, ENOEXEC, fileName, "is not an ELF file");
    const uint8_t cls = (*ident)[EI_CLASS];
    const uint8_t data = (*ident)[EI_DATA];
    if ((cls != ELFCLASS32 && cls != ELFCLASS64) || (data != ELFDATA2LSB && data != ELFDATA2MSB))
        Fail(TKind::NoNote, ENOEXEC, fileName, "has an unknown ELF class or byte order");
    const bool is64 = cls == ELFCLASS64;
    f.SetBigEndian(data == ELFDATA2MSB);
    auto eh = f.Read(0, is64 ? 64 : 52);
    if (!eh) Fail(TKind::NoNote, ENOEXEC, fileName, "is cut short in its ELF header");

    std::vector<TRegion> regions = NoteSections(f, is64, *eh);
    for (const TRegion& r : NoteSegments(f, is64, *eh)) regions.push_back(r);

    for (const TRegion& r : regions) {
        auto notes = f.Read(r.Offset, r.Size);
        if (!notes) continue;
        std::optional<std::string> payload = FindPackageNote(f, *notes, r.Align);
        if (!payload) continue;
        nlohmann::json j = nlohmann::json::parse(*payload, nullptr, false);
        if (j.is_discarded() || !j.is_object())
            Fail(TKind::NoNote, ENODATA, fileName, "has a version note that is not a JSON object");
        TVersionInfo info;
        auto fileVersion = j.find("FileVersion");
        if (fileVersion == j.end() || !fileVersion->is_string() ||
            fileVersion->get<std::string>().empty())
            Fail(TKind::NoNote, ENODATA, fileName, "has a version note without \"FileVersion\"");
        info.FileVersion = fileVersion->get<std::string>();
        auto productVersion = j.find("ProductVersion");
        if (productVersion != j.end() && productVersion->is_string())
            info.ProductVersion = productVersion->get<std::string>();
        return info;
    }
    Fail(TKind::NoNote, ENODATA, fileName, "has no version note");
}

int MajorVersion(const std::string& version)
{
    size_t end = version.find(',');
    if (end == std::string::npos) end = version.find('.');
    if (end == std::string::npos) end = version.size();
    if (end == 0) return -1;
    long long v = 0;
    for (size_t i = 0; i < end; ++i) {
        char c = version[i];
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
        if (v > INT_MAX) return -1;
    }
    return static_cast<int>(v);
}

}  // namespace mv
