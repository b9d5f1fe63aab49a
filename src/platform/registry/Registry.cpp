#include "platform/registry/Registry.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace mv {

namespace {

enum class TForm { Unknown, Regedit4, Regedit5, Wine };

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerName(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

// "\Software\\X\" -> "software\x": components lower-cased, empty ones dropped.
std::string NormaliseKey(std::string_view path)
{
    std::string out;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('\\', i);
        if (j == std::string_view::npos) j = path.size();
        if (j > i) {
            if (!out.empty()) out += '\\';
            for (size_t k = i; k < j; ++k) out += LowerAscii(path[k]);
        }
        i = j + 1;
    }
    return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (LowerAscii(s[i]) != LowerAscii(prefix[i])) return false;
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Unicode characters of Windows-1252's bytes 0x80..0x9F (0: byte unassigned,
// which Windows maps to the character of the same number).
constexpr std::array<uint16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// One character as the byte a Windows-1252 program stored it as, or UTF-8.
void AppendAnsi(std::string& out, uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        out += static_cast<char>(cp);
        return;
    }
    for (size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == cp || (kCp1252High[i] == 0 && cp == 0x80 + i)) {
            out += static_cast<char>(0x80 + i);
            return;
        }
    }
    AppendUtf8(out, cp);
}

// Collects UTF-16 code units (pairing surrogates) and single bytes.
class TTextBuilder {
public:
    void Byte(char c)
    {
        Flush();
        FOut += c;
    }
    void Unit(uint32_t u)
    {
        if (FHigh != 0) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                AppendUtf8(FOut, 0x10000 + ((FHigh - 0xD800) << 10) + (u - 0xDC00));
                FHigh = 0;
                return;
            }
            Flush();
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            FHigh = u;
            return;
        }
        AppendAnsi(FOut, u);
    }
    std::string Take()
    {
        Flush();
        return std::move(FOut);
    }

private:
    void Flush()
    {
        if (FHigh != 0) AppendAnsi(FOut, FHigh);  // lone surrogate: kept, as UTF-8
        FHigh = 0;
    }
    std::string FOut;
    uint32_t FHigh = 0;
};

std::string DecodeUtf16Le(std::string_view bytes)
{
    TTextBuilder b;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        b.Unit(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
    return b.Take();
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing
// quote. Wine escapes: \\ \" \a \b \e \f \n \r \t \v, \x followed by up to
// four hex digits (a UTF-16 unit), \ and up to three octal digits. Regedit
// escapes only \\ and \".
bool ParseQuoted(std::string_view s, size_t& pos, bool wineEscapes, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"') return false;
    ++pos;
    TTextBuilder b;
    while (pos < s.size()) {
        char c = s[pos++];
        if (c == '"') {
            out = b.Take();
            return true;
        }
        if (c != '\\' || pos >= s.size()) {
            b.Byte(c);
            continue;
        }
        c = s[pos++];
        if (!wineEscapes) {
            b.Byte(c);
            continue;
        }
        switch (c) {
        case 'a': b.Unit(7); break;
        case 'b': b.Unit(8); break;
        case 'e': b.Unit(27); break;
        case 'f': b.Unit(12); break;
        case 'n': b.Unit(10); break;
        case 'r': b.Unit(13); break;
        case 't': b.Unit(9); break;
        case 'v': b.Unit(11); break;
        case 'x': {
            uint32_t u = 0;
            int n = 0;
            while (n < 4 && pos < s.size() && HexDigit(s[pos]) >= 0) {
                u = u * 16 + static_cast<uint32_t>(HexDigit(s[pos++]));
                ++n;
            }
            if (n == 0) b.Byte('x');
            else b.Unit(u);
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                uint32_t u = static_cast<uint32_t>(c - '0');
                for (int n = 1; n < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++n)
                    u = u * 8 + static_cast<uint32_t>(s[pos++] - '0');
                b.Unit(u);
            } else {
                b.Byte(c);
            }
        }
    }
    return false;  // no closing quote
}

// "01,ab, 3f" -> bytes; nothing on a malformed list.
std::optional<std::string> ParseHexList(std::string_view s)
{
    std::string out;
    s = Trim(s);
    if (s.empty()) return out;
    size_t i = 0;
    while (true) {
        size_t j = s.find(',', i);
        std::string_view item = Trim(s.substr(i, j == std::string_view::npos ? s.npos : j - i));
        if (item.empty() || item.size() > 2) return std::nullopt;
        int v = 0;
        for (char c : item) {
            int d = HexDigit(c);
            if (d < 0) return std::nullopt;
            v = v * 16 + d;
        }
        out += static_cast<char>(v);
        if (j == std::string_view::npos) break;
        i = j + 1;
        if (Trim(s.substr(i)).empty()) break;  // a trailing comma
    }
    return out;
}

std::string StripTrailingNuls(std::string s)
{
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

TRegistryValueKind KindOfType(unsigned type)
{
    switch (type) {
    case 1: return TRegistryValueKind::String;
    case 2: return TRegistryValueKind::ExpandString;
    case 3: return TRegistryValueKind::Binary;
    case 4: return TRegistryValueKind::DWord;
    case 7: return TRegistryValueKind::MultiString;
    default: return TRegistryValueKind::Other;
    }
}

bool IsText(TRegistryValueKind k)
{
    return k == TRegistryValueKind::String || k == TRegistryValueKind::ExpandString ||
           k == TRegistryValueKind::MultiString;
}

// The data part after "=": nothing when it is not understood.
std::optional<TRegistryValue> ParseData(std::string_view data, bool wineEscapes,
                                        bool unicodeHex)
{
    data = Trim(data);
    TRegistryValue v;
    if (!data.empty() && data.front() == '"') {
        size_t pos = 0;
        if (!ParseQuoted(data, pos, wineEscapes, v.Data)) return std::nullopt;
        v.Kind = TRegistryValueKind::String;
        return v;
    }
    if (StartsWithNoCase(data, "str(")) {
        size_t close = data.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        unsigned type = static_cast<unsigned>(std::strtoul(std::string(data.substr(4, close - 4)).c_str(), nullptr, 16));
        size_t pos = close + 2;
        if (!ParseQuoted(data, pos, wineEscapes, v.Data)) return std::nullopt;
        v.Kind = KindOfType(type);
        if (v.Kind == TRegistryValueKind::MultiString) v.Data = StripTrailingNuls(std::move(v.Data));
        return v;
    }
    if (StartsWithNoCase(data, "dword:")) {
        std::string_view digits = Trim(data.substr(6));
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        uint32_t n = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) return std::nullopt;
            n = n * 16 + static_cast<uint32_t>(d);
        }
        v.Kind = TRegistryValueKind::DWord;
        v.Data = std::to_string(n);
        return v;
    }
    if (StartsWithNoCase(data, "hex")) {
        unsigned type = 3;
        std::string_view rest = data.substr(3);
        if (!rest.empty() && rest.front() == '(') {
            size_t close = rest.find(')');
            if (close == std::string_view::npos || close == 1) return std::nullopt;
            type = 0;
            for (char c : rest.substr(1, close - 1)) {
                int d = HexDigit(c);
                if (d < 0) return std::nullopt;
                type = type * 16 + static_cast<unsigned>(d);
            }
            rest = rest.substr(close + 1);
        }
        if (rest.empty() || rest.front() != ':') return std::nullopt;
        std::optional<std::string> bytes = ParseHexList(rest.substr(1));
        if (!bytes) return std::nullopt;
        v.Kind = KindOfType(type);
        if (v.Kind == TRegistryValueKind::DWord) {
            if (bytes->size() != 4) {
                v.Kind = TRegistryValueKind::Other;
                v.Data = std::move(*bytes);
                return v;
            }
            uint32_t n = 0;
            for (int i = 3; i >= 0; --i) n = n * 256 + static_cast<uint8_t>((*bytes)[static_cast<size_t>(i)]);
            v.Data = std::to_string(n);
            return v;
        }
        if (IsText(v.Kind)) {
            v.Data = StripTrailingNuls(unicodeHex ? DecodeUtf16Le(*bytes) : std::move(*bytes));
        } else {
            v.Data = std::move(*bytes);
        }
        return v;
    }
    return std::nullopt;
}

}  // namespace

std::string TRegistry::DefaultFileName()
{
    const char* file = std::getenv("MV_REGISTRY_FILE");
    if (file != nullptr && *file != '\0') return file;
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix != nullptr && *prefix != '\0') return std::string(prefix) + "/system.reg";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.wine/system.reg";
}

TRegistry TRegistry::Load(const std::string& fileName) { return Load(fileName, {}); }

TRegistry TRegistry::Load(const std::string& fileName, const std::vector<std::string>& keys)
{
    TRegistry r;
    r.FFileName = fileName;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        int err = errno;
        r.FLoadError = fileName + ": " + std::strerror(err);
        return r;
    }
    std::string text;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0) {
        text.resize(static_cast<size_t>(size));
        in.read(text.data(), size);
        text.resize(static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        r.FLoadError = fileName + ": read error";
        return r;
    }
    r.Parse(text, keys);
    return r;
}

void TRegistry::Parse(std::string_view text) { Parse(text, {}); }

void TRegistry::Parse(std::string_view text, const std::vector<std::string>& keys)
{
    FKeys.clear();
    std::vector<std::string> wanted;
    for (const std::string& k : keys) wanted.push_back(NormaliseKey(k));
    auto isWanted = [&](const std::string& key) {
        if (wanted.empty()) return true;
        for (const std::string& w : wanted)
            if (w == key) return true;
        return false;
    };
    std::string converted;
    bool unicodeFile = false;
    if (text.size() >= 2 && static_cast<uint8_t>(text[0]) == 0xFF &&
        static_cast<uint8_t>(text[1]) == 0xFE) {
        converted = DecodeUtf16Le(text.substr(2));
        text = converted;
        unicodeFile = true;
    } else if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }

    TForm form = TForm::Unknown;
    bool firstLine = true;
    bool userKeys = false;    // a Wine file relative to a user's hive
    TValues* current = nullptr;
    bool wineSection = false;  // escapes of the current section's values

    size_t pos = 0;
    auto nextLine = [&](std::string_view& line) {
        if (pos >= text.size()) return false;
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        line = text.substr(pos, end - pos);
        pos = end + 1;
        return true;
    };

    std::string_view raw;
    while (nextLine(raw)) {
        std::string_view line = Trim(raw);
        if (line.empty()) continue;
        if (firstLine) {
            firstLine = false;
            if (line == "REGEDIT4") { form = TForm::Regedit4; continue; }
            if (StartsWithNoCase(line, "Windows Registry Editor Version")) { form = TForm::Regedit5; continue; }
            if (StartsWithNoCase(line, "WINE REGISTRY Version")) { form = TForm::Wine; continue; }
        }
        if (line.front() == ';') {
            if (StartsWithNoCase(line, ";; All keys relative to"))
                userKeys = LowerName(line).find("user") != std::string::npos;
            continue;
        }
        if (line.front() == '#') continue;  // Wine's #time=, #class=, #arch=
        if (line.front() == '[') {
            current = nullptr;
            std::string_view body = line.substr(1);
            bool wine = form == TForm::Wine ||
                        (form == TForm::Unknown && !StartsWithNoCase(body, "HKEY_") &&
                         !StartsWithNoCase(body, "-HKEY_"));
            wineSection = wine;
            std::string key;
            bool remove = false;
            if (wine) {
                // [Software\\Vendor\\Key] 1700000000 ; \ escapes, even for ']'
                std::string name;
                size_t i = 0;
                bool closed = false;
                while (i < body.size()) {
                    char c = body[i++];
                    if (c == ']') { closed = true; break; }
                    if (c == '\\' && i < body.size()) c = body[i++];
                    name += c;
                }
                if (!closed || userKeys) continue;
                key = NormaliseKey(name);
            } else {
                size_t close = body.rfind(']');
                if (close == std::string_view::npos) continue;
                body = body.substr(0, close);
                if (!body.empty() && body.front() == '-') {
                    remove = true;
                    body.remove_prefix(1);
                }
                size_t sep = body.find('\\');
                std::string_view root = body.substr(0, sep);
                if (LowerName(root) != "hkey_local_machine" && LowerName(root) != "hklm") continue;
                key = NormaliseKey(sep == std::string_view::npos ? std::string_view() : body.substr(sep + 1));
            }
            if (remove) {
                for (auto it = FKeys.begin(); it != FKeys.end();) {
                    if (it->first == key || (it->first.size() > key.size() &&
                                             it->first.compare(0, key.size(), key) == 0 &&
                                             it->first[key.size()] == '\\'))
                        it = FKeys.erase(it);
                    else
                        ++it;
                }
                continue;
            }
            if (isWanted(key)) current = &FKeys[key];
            continue;
        }
        if (current == nullptr || (line.front() != '"' && line.front() != '@')) continue;

        std::string name;
        size_t p = 0;
        if (line.front() == '@') {
            p = 1;
        } else if (!ParseQuoted(line, p, wineSection, name)) {
            continue;
        }
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
        if (p >= line.size() || line[p] != '=') continue;
        std::string data(Trim(line.substr(p + 1)));
        if (StartsWithNoCase(data, "hex")) {
            // A long list goes on over lines that end with a backslash.
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                std::string_view more;
                if (!nextLine(more)) break;
                data += Trim(more);
            }
        }
        if (data == "-") {
            current->erase(LowerName(name));
            continue;
        }
        bool unicodeHex = unicodeFile || form == TForm::Regedit5 || form == TForm::Wine ||
                          (form == TForm::Unknown && wineSection);
        std::optional<TRegistryValue> v = ParseData(data, wineSection, unicodeHex);
        if (v) (*current)[LowerName(name)] = std::move(*v);
    }
}

bool TRegistry::KeyExists(std::string_view keyPath) const
{
    return FKeys.count(NormaliseKey(keyPath)) != 0;
}

std::optional<TRegistryValue> TRegistry::FindValue(std::string_view keyPath,
                                                   std::string_view name) const
{
    auto key = FKeys.find(NormaliseKey(keyPath));
    if (key == FKeys.end()) return std::nullopt;
    auto value = key->second.find(LowerName(name));
    if (value == key->second.end()) return std::nullopt;
    return value->second;
}

std::optional<std::string> TRegistry::ReadValue(std::string_view keyPath,
                                                 std::string_view name) const
{
    std::optional<TRegistryValue> v = FindValue(keyPath, name);
    if (!v) return std::nullopt;
    return std::move(v->Data);
}

}  // namespace mv
