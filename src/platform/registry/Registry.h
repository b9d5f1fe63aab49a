#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mv {

// How a registry value was written in the export file.
enum class TRegistryValueKind {
    String,        // "text"
    ExpandString,  // str(2):"text" or hex(2):...
    MultiString,   // hex(7):... ; Data holds the strings separated by NUL bytes
    DWord,         // dword:xxxxxxxx ; Data holds the value in decimal
    Binary,        // hex:... ; Data holds the bytes
    Other          // any other hex(n):... ; Data holds the bytes
};

struct TRegistryValue {
    TRegistryValueKind Kind = TRegistryValueKind::String;
    std::string Data;  // bytes; see TRegistryValueKind
};

// Read-only view of HKEY_LOCAL_MACHINE taken from a registry export file.
//
// Two text forms are understood: a regedit export ("REGEDIT4" or "Windows
// Registry Editor Version 5.00", sections like
// [HKEY_LOCAL_MACHINE\Software\Vendor\Key]) and Wine's system.reg ("WINE
// REGISTRY Version 2", sections like [Software\\Vendor\\Key] 1700000000,
// relative to HKEY_LOCAL_MACHINE). Keys of any other root are ignored, and
// so is a Wine file whose keys are relative to a user (user.reg).
//
// Values come back as bytes, so that a scrambled secret holding any byte
// survives: plain ASCII is taken as it stands, and the UTF-16 characters that
// Wine writes as \x escapes (or that a Unicode export or a hex(2) list holds)
// are turned back into the Windows-1252 bytes a Windows program stored
// through the ANSI registry functions; a character outside that code page
// becomes UTF-8.
//
// Key paths and value names compare without regard to ASCII letter case;
// separators are "\" and empty path components are ignored, so
// "\Software\X\" and "software\x" name the same key. Malformed lines are
// skipped; later definitions of a value replace earlier ones, and regedit's
// [-key] and "name"=- delete.
class TRegistry {
public:
    TRegistry() = default;  // empty: every read gives nothing

    // Reads `fileName`. A missing or unreadable file gives an empty registry;
    // LoadError() then says why.
    static TRegistry Load(const std::string& fileName);
    // The same, keeping only the keys named in `keys` (paths as for
    // ReadValue): a Wine system.reg holds tens of thousands of keys, and a
    // caller that needs one value need not parse them all.
    static TRegistry Load(const std::string& fileName, const std::vector<std::string>& keys);

    // $MV_REGISTRY_FILE if set and not empty, else $WINEPREFIX/system.reg,
    // else ~/.wine/system.reg (home from $HOME).
    static std::string DefaultFileName();
    static TRegistry LoadDefault() { return Load(DefaultFileName()); }

    // Replaces the content with what `text` defines, as if read from a file.
    void Parse(std::string_view text);
    void Parse(std::string_view text, const std::vector<std::string>& keys);  // keys: see Load

    const std::string& FileName() const { return FFileName; }
    // Empty when the file was read; otherwise the file name and the system's
    // error text.
    const std::string& LoadError() const { return FLoadError; }

    bool KeyExists(std::string_view keyPath) const;
    std::optional<TRegistryValue> FindValue(std::string_view keyPath,
                                            std::string_view name) const;
    // The value's data (see TRegistryValueKind); nothing when the key or the
    // value is missing. An empty name reads the key's default value (@).
    std::optional<std::string> ReadValue(std::string_view keyPath, std::string_view name) const;

private:
    using TValues = std::unordered_map<std::string, TRegistryValue>;  // by lower-case name

    std::string FFileName;
    std::string FLoadError;
    std::unordered_map<std::string, TValues> FKeys;  // by normalised key path
};

}  // namespace mv
