#include "platform/ini/IniFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mv {

namespace {

constexpr std::size_t kNoKey = std::string::npos;
// Written by many Windows editors at the start of a file they save as UTF-8.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string SystemError(const char* what, const std::string& path, int err)
{
    return std::string(what) + " \"" + path + "\": " + std::strerror(err);
}

// Owns a file descriptor and closes it on every path.
class TFd {
public:
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    // Closes now and returns the result of close(), which reports delayed write errors.
    int Close()
    {
        int rc = ::close(FFd);
        FFd = -1;
        return rc;
    }

private:
    int FFd;
};

[[noreturn]] void ThrowErrno() { throw std::system_error(errno, std::generic_category()); }

void WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno();
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string DirName(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool FolderRefusesWriting(int err) { return err == EACCES || err == EPERM || err == EROFS; }

constexpr const char* kNeedsFolderAccess = "; the program needs write access to that folder.";

void CheckSectionName(std::string_view name)
{
    if (name.find_first_of("]\r\n") != std::string_view::npos)
        throw EIniError("The section name \"" + std::string(name) +
                        "\" cannot be stored in a profile file: it holds \"]\" or a line break.");
}

void CheckKeyName(std::string_view name)
{
    std::string_view t = Trim(name);
    if (t.find_first_of("=\r\n") != std::string_view::npos || (!t.empty() && (t[0] == '[' || t[0] == ';')))
        throw EIniError("The key name \"" + std::string(name) +
                        "\" cannot be stored in a profile file: it holds \"=\" or a line break, or starts "
                        "with \"[\" or \";\".");
}

// Decimal with an optional sign, within the 32-bit range.
std::optional<int> ParseInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    long long magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    long long value = negative ? -magnitude : magnitude;
    if (value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string_view CutAtLineBreak(std::string_view value)
{
    auto eol = FindLineBreak(value);
    return eol == std::string_view::npos ? value : value.substr(0, eol);
}

} // namespace

std::string CannotCreateInFolder(std::string_view what, const std::string& path, int err)
{
    return "cannot create " + std::string(what) + " in the folder \"" + DirName(path) + "\" (" +
           std::strerror(err) + ")" + (FolderRefusesWriting(err) ? kNeedsFolderAccess : ".");
}

std::size_t FindLineBreak(std::string_view text, std::size_t from)
{
    // memchr beats a byte loop or find_first_of (which searches the set once
    // per byte) on values of many kilobytes. The scan goes by windows so that
    // a text with no LF at all does not make every call run to its end.
    constexpr std::size_t kWindow = 4096;
    for (std::size_t at = from; at < text.size(); at += kWindow) {
        const char* p = text.data() + at;
        const std::size_t n = std::min(kWindow, text.size() - at);
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', n));
        const std::size_t limit = lf ? static_cast<std::size_t>(lf - p) : n;
        if (const auto* cr = static_cast<const char*>(std::memchr(p, '\r', limit)))
            return at + static_cast<std::size_t>(cr - p);
        if (lf)
            return at + limit;
    }
    return std::string_view::npos;
}

std::string IniLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view IniUnquote(std::string_view raw)
{
    std::string_view v = Trim(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

TIniFile::TIniFile() { Parse({}); }

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName))
{
    int fd = ::open(FFileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            Parse({});
            return;
        }
        throw EIniError(SystemError("Cannot read", FFileName, errno));
    }
    TFd file(fd);
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        text.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EIniError(SystemError("Cannot read", FFileName, errno));
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    Parse(text);
    FExisted = true;
}

TIniFile::TIniFile(TIniFile&&) noexcept = default;
TIniFile& TIniFile::operator=(TIniFile&&) noexcept = default;
TIniFile::~TIniFile() = default;

void TIniFile::Parse(std::string_view text)
{
    FSections.clear();
    FSectionIndex.clear();
    FSections.push_back(TSection{});
    FCrLf = false;
    // Not part of the first line: left there, it would hide the first
    // section, and a write would add that section a second time.
    FBom = text.starts_with(kUtf8Bom);
    if (FBom)
        text.remove_prefix(kUtf8Bom.size());
    bool breakSeen = false;

    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = FindLineBreak(text, pos);
        std::string_view line = text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        if (eol == std::string_view::npos) {
            pos = text.size();
        } else {
            bool crlf = text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n';
            if (!breakSeen) {
                FCrLf = crlf;
                breakSeen = true;
            }
            pos = eol + (crlf ? 2 : 1);
        }

        std::string_view body = line;
        while (!body.empty() && IsBlank(body.front()))
            body.remove_prefix(1);
        if (!body.empty() && body.front() == '[') {
            auto close = body.find(']');
            std::string_view name = body.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
            TSection sec;
            sec.Header = std::string(line);
            sec.Name = std::string(Trim(name));
            FSectionIndex.try_emplace(IniLower(sec.Name), FSections.size());
            FSections.push_back(std::move(sec));
            continue;
        }
        TSection& sec = FSections.back();
        TLine l{std::string(line), kNoKey, {}};
        auto eq = line.find('=');
        if (!body.empty() && body.front() != ';' && eq != std::string_view::npos) {
            l.KeyLen = eq;
            l.Key = IniLower(Trim(line.substr(0, eq)));
            sec.KeyIndex.try_emplace(l.Key, sec.Lines.size());
        }
        sec.Lines.push_back(std::move(l));
    }
    FModified = false;
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view section) const
{
    auto it = FSectionIndex.find(IniLower(Trim(section)));
    return it == FSectionIndex.end() ? nullptr : &FSections[it->second];
}

const TIniFile::TLine* TIniFile::FindLine(const TSection& sec, const std::string& lowerKey)
{
    auto it = sec.KeyIndex.find(lowerKey);
    return it == sec.KeyIndex.end() ? nullptr : &sec.Lines[it->second];
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const
{
    const TSection* sec = FindSection(section);
    if (!sec)
        return std::string(defaultValue);
    const TLine* line = FindLine(*sec, IniLower(Trim(key)));
    if (!line)
        return std::string(defaultValue);
    return std::string(IniUnquote(std::string_view(line->Text).substr(line->KeyLen + 1)));
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const
{
    return ParseInteger(ReadString(section, key, {})).value_or(defaultValue);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    auto v = ParseInteger(ReadString(section, key, {}));
    return v ? *v != 0 : defaultValue;
}

bool TIniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const
{
    const TSection* sec = FindSection(section);
    return sec && FindLine(*sec, IniLower(Trim(key)));
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const
{
    std::vector<std::string> keys;
    if (const TSection* sec = FindSection(section))
        for (const TLine& l : sec->Lines)
            if (l.KeyLen != kNoKey)
                keys.emplace_back(Trim(std::string_view(l.Text).substr(0, l.KeyLen)));
    return keys;
}

std::vector<std::string> TIniFile::ReadSections() const
{
    std::vector<std::string> names;
    for (std::size_t i = 1; i < FSections.size(); ++i)
        names.push_back(FSections[i].Name);
    return names;
}

TIniFile::TSection& TIniFile::FindOrAddSection(std::string_view section)
{
    CheckSectionName(section);
    std::string name(Trim(section));
    auto [it, added] = FSectionIndex.try_emplace(IniLower(name), FSections.size());
    if (added) {
        TSection sec;
        sec.Header = "[" + name + "]";
        sec.Name = std::move(name);
        FSections.push_back(std::move(sec));
    }
    return FSections[it->second];
}

void TIniFile::Reindex(TSection& sec)
{
    sec.KeyIndex.clear();
    for (std::size_t i = 0; i < sec.Lines.size(); ++i)
        if (sec.Lines[i].KeyLen != kNoKey)
            sec.KeyIndex.try_emplace(sec.Lines[i].Key, i);
}

void TIniFile::Write(std::string_view section, std::string_view key, std::string_view value,
                     std::optional<std::string_view> afterKey)
{
    CheckKeyName(key);
    TSection& sec = FindOrAddSection(section);
    value = CutAtLineBreak(value);
    std::string lowerKey = IniLower(Trim(key));

    auto it = sec.KeyIndex.find(lowerKey);
    if (it != sec.KeyIndex.end()) {
        TLine& line = sec.Lines[it->second];
        std::string_view old = std::string_view(line.Text).substr(line.KeyLen + 1);
        if (old != value) {
            line.Text.resize(line.KeyLen + 1);
            line.Text.append(value);
            FModified = true;
        }
        return;
    }

    std::string keyName(Trim(key));
    TLine line{keyName + "=" + std::string(value), keyName.size(), lowerKey};
    std::size_t at = sec.Lines.size();
    auto after = afterKey ? sec.KeyIndex.find(IniLower(Trim(*afterKey))) : sec.KeyIndex.end();
    if (after != sec.KeyIndex.end()) {
        at = after->second + 1;
    } else {
        // After the last line with content, so that blank lines that part
        // this section from the next stay below it.
        while (at > 0 && Trim(sec.Lines[at - 1].Text).empty())
            --at;
    }
    sec.Lines.insert(sec.Lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    if (at + 1 == sec.Lines.size())
        sec.KeyIndex.emplace(lowerKey, at);
    else
        Reindex(sec);
    FModified = true;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    Write(section, key, value, std::nullopt);
}

void TIniFile::WriteStringAfter(std::string_view section, std::string_view key, std::string_view value,
                                std::string_view afterKey)
{
    Write(section, key, value, afterKey);
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::string TIniFile::ToText() const
{
    const std::string_view eol = FCrLf ? "\r\n" : "\n";
    std::size_t size = 0;
    for (const TSection& sec : FSections) {
        size += sec.Header.size() + eol.size();
        for (const TLine& l : sec.Lines)
            size += l.Text.size() + eol.size();
    }
    std::string out;
    out.reserve(size + kUtf8Bom.size());
    if (FBom)
        out += kUtf8Bom;
    for (std::size_t i = 0; i < FSections.size(); ++i) {
        const TSection& sec = FSections[i];
        if (i > 0) {
            out += sec.Header;
            out += eol;
        }
        for (const TLine& l : sec.Lines) {
            out += l.Text;
            out += eol;
        }
    }
    return out;
}

void TIniFile::UpdateFile()
{
    if (FFileName.empty())
        throw EIniError("The profile has no file name to write to.");

    // Replace the file a symbolic link points at, not the link.
    std::string target = FFileName;
    if (char* real = ::realpath(FFileName.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }

    struct stat old {};
    bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        throw EIniError(SystemError("Cannot write", target, errno));

    static std::atomic<unsigned> counter{0};
    const std::string dir = DirName(target);
    const std::string base = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = dir + "/." + base + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        // Created private; the mode it should have is set before any content is written.
        mode_t createMode = (exists || FNewFileMode) ? 0600 : 0666;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        // The file itself may well be writable: say that it is the folder.
        if (fd < 0 && (errno != EEXIST || attempt > 100))
            throw EIniError("Cannot write \"" + target + "\": " +
                            CannotCreateInFolder("a temporary file", target, errno));
    }
    TFd file(fd);
    try {
        if (exists) {
            if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
                (void)::fchown(fd, old.st_uid, old.st_gid); // best effort: only root may give files away
            if (::fchmod(fd, old.st_mode & 07777) != 0)
                ThrowErrno();
        } else if (FNewFileMode) {
            if (::fchmod(fd, *FNewFileMode) != 0)
                ThrowErrno();
        }
        WriteAll(fd, ToText());
        if (::fsync(fd) != 0)
            ThrowErrno();
        if (file.Close() != 0)
            ThrowErrno();
    } catch (const std::system_error& e) {
        ::unlink(temp.c_str());
        throw EIniError(SystemError("Cannot write", target, e.code().value()));
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        // In a folder with the sticky bit, only the file's owner may replace it.
        throw EIniError("Cannot write \"" + target + "\": cannot replace it in the folder \"" + dir + "\" (" +
                        std::strerror(err) + ").");
    }

    // Make the rename itself durable.
    TFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() >= 0 && ::fsync(dirFd.Get()) != 0 && errno != EINVAL)
        throw EIniError(SystemError("Cannot sync the folder of", target, errno));

    FExisted = true;
    FModified = false;
}

} // namespace mv
