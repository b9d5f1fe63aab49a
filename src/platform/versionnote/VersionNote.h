#pragma once

#include <stdexcept>
#include <string>

namespace mv {

// Why a file's version note could not be read.
class EVersionNoteError : public std::runtime_error {
public:
    enum class TKind {
        NoFile,  // the file cannot be opened or read; Errno() tells why
        NoNote   // the file was read but holds no usable version note
    };
    EVersionNoteError(TKind kind, int err, const std::string& message)
        : std::runtime_error(message), FKind(kind), FErrno(err) {}
    TKind Kind() const { return FKind; }
    // errno of the failed open or read for NoFile; for NoNote ENOEXEC (not
    // an ELF file, or one cut short) or ENODATA (an ELF file without the note
    // or without "FileVersion" in it).
    int Errno() const { return FErrno; }

private:
    TKind FKind;
    int FErrno;
};

// The version strings of a file's package note.
struct TVersionInfo {
    std::string FileVersion;     // e.g. "10.0.0.1"; never empty
    std::string ProductVersion;  // empty when the note has none
};

// Reads the package note that mv_version_note (cmake/VersionNote.cmake) puts
// into an executable or shared library: an ELF note of owner "FDO" and type
// 0xcafe1a7e whose descriptor is a JSON object with "FileVersion" and
// "ProductVersion". The file is read, never loaded or mapped for execution:
// the section headers are searched for note sections (".note.package" first),
// and when a file has none (stripped of its section headers) its PT_NOTE
// segments. 32- and 64-bit files of either byte order are understood. Every
// offset is checked against the file's size, so a truncated or corrupt file
// gives EVersionNoteError, never a read out of bounds.
TVersionInfo ReadVersionNote(const std::string& fileName);

// The number before the first "." (or ","), e.g. 10 for "10.0.0.1"; -1 when
// the text does not start with a digit or the number does not fit an int.
int MajorVersion(const std::string& version);

}  // namespace mv
