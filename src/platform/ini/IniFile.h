#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

namespace mv {

// Failure to read or write a profile file, or a name that a profile file
// cannot hold. The message names the file and, for system errors, the
// system's error text.
class EIniError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An INI-style profile file held in memory.
//
// Reading rules: section and key names compare without regard to ASCII
// letter case and without surrounding blanks; a missing key gives the
// caller's default; a value is read without surrounding blanks and without a
// matching pair of enclosing quotes (single or double). Values have no
// length limit. The first section of a name, and in it the first key of a
// name, wins.
//
// Writing rules: writing a key that exists replaces its value in place,
// otherwise the key goes at the end of its section; a missing section goes
// at the end of the file. Lines the program never wrote (comments, blank
// lines, keys of other programs) are written back exactly as read, and so is
// a UTF-8 byte order mark at the start of the file, which reading skips.
//
// Nothing reaches the disk until UpdateFile(), which replaces the whole file
// atomically: a crash leaves either the old or the new file, never a torn one.
class TIniFile {
public:
    // A file that is not backed by a path: Parse() or the writers fill it.
    TIniFile();

    // Reads `fileName` whole. A missing file gives an empty profile that
    // UpdateFile() creates. Any other failure to read throws EIniError.
    explicit TIniFile(std::string fileName);

    TIniFile(TIniFile&&) noexcept;
    TIniFile& operator=(TIniFile&&) noexcept;
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;
    ~TIniFile();

    // Replaces the content with `text` as if it had been read from a file.
    void Parse(std::string_view text);

    const std::string& FileName() const { return FFileName; }
    // Whether the file existed when it was read.
    bool Existed() const { return FExisted; }
    // Written to since it was read or last updated.
    bool Modified() const { return FModified; }

    // Permission bits given to the file when UpdateFile() creates it (an
    // existing file keeps its own). Without a call: 0666 less the umask.
    void SetNewFileMode(mode_t mode) { FNewFileMode = mode; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Decimal integer with an optional sign; a value that is missing, not an
    // integer or outside the 32-bit range gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // An integer: 0 is false, any other is true; not an integer gives the default.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // Key names of a section in file order, as written in the file.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // Section names in file order.
    std::vector<std::string> ReadSections() const;

    // Section names may not hold "]" or line breaks, key names may not hold
    // "=" or line breaks nor start with "[" or ";": EIniError. A value is cut
    // at its first line break, which is where reading would end it anyway, so
    // that no value can inject lines into the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    // As WriteString, but a key that is missing goes right after the key
    // `afterKey` when the section has it (else at the end of the section),
    // so that a key added to a known layout keeps its place in it.
    void WriteStringAfter(std::string_view section, std::string_view key, std::string_view value,
                          std::string_view afterKey);

    // The whole file as it would be written.
    std::string ToText() const;

    // Writes the whole file back to FileName() by atomic replace: a
    // temporary file in the same folder is written, flushed and synced, then
    // renamed over the file, and the folder is synced. Throws EIniError with
    // the path and the system's error text (naming the folder when it is the
    // folder that cannot be written); the old file is then untouched.
    void UpdateFile();

private:
    struct TLine {
        std::string Text;   // the line as read or as last written, without its line break
        std::size_t KeyLen; // length of the key part before "=", npos for a line that holds no key
        std::string Key;    // lower-cased, trimmed key name; empty when KeyLen is npos
    };
    struct TSection {
        std::string Header; // the line that opened it; empty for lines before the first section
        std::string Name;   // the name as written, trimmed
        std::vector<TLine> Lines;
        std::unordered_map<std::string, std::size_t> KeyIndex; // first line of each key
    };

    const TSection* FindSection(std::string_view section) const;
    TSection& FindOrAddSection(std::string_view section);
    static const TLine* FindLine(const TSection& sec, const std::string& lowerKey);
    void Write(std::string_view section, std::string_view key, std::string_view value,
               std::optional<std::string_view> afterKey);
    void Reindex(TSection& sec);

    std::string FFileName;
    bool FExisted = false;
    bool FModified = false;
    bool FCrLf = false; // line breaks of the file as read; new files get LF
    bool FBom = false;  // the file as read began with a UTF-8 byte order mark, which is written back
    std::optional<mode_t> FNewFileMode;
    std::vector<TSection> FSections; // FSections[0] holds the lines before any section
    std::unordered_map<std::string, std::size_t> FSectionIndex; // lower-cased name -> first section
};

// Why a new file beside `path` could not be made, for messages: "cannot
// create <what> in the folder "<folder>" (<system reason>)", followed by
// "; the program needs write access to that folder." when the folder refuses
// writing, else by ".".
std::string CannotCreateInFolder(std::string_view what, const std::string& path, int err);

// Offset of the first CR or LF at or after `from` in `text`, or npos.
std::size_t FindLineBreak(std::string_view text, std::size_t from = 0);
// ASCII letter case folding, as profile names compare.
std::string IniLower(std::string_view text);
// The value of a raw "key=value" right-hand side as reading returns it:
// blanks around it removed, then one matching pair of enclosing quotes.
std::string_view IniUnquote(std::string_view raw);

} // namespace mv
