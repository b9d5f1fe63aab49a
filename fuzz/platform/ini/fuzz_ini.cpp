// Profile parsing and writing: whatever the text, writing it back and
// reading it again gives the same values, and a written value reads back
// as the reading rules say.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ini/IniFile.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_ini: %s\n", what);
        std::abort();
    }
}

struct TValue {
    std::string Section, Key, Value;
};

std::vector<TValue> AllValues(const mv::TIniFile& ini)
{
    std::vector<TValue> out;
    for (const auto& s : ini.ReadSections())
        for (const auto& k : ini.ReadSection(s))
            out.push_back({s, k, ini.ReadString(s, k, "\x01<none>")});
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The last bytes, after a NUL, are a value to write; the rest is the file.
    const auto nul = input.rfind('\0');
    const std::string text = nul == std::string::npos ? input : input.substr(0, nul);
    const std::string value = nul == std::string::npos ? std::string("v") : input.substr(nul + 1);

    mv::TIniFile a;
    a.Parse(text);
    const std::string written = a.ToText();
    mv::TIniFile b;
    b.Parse(written);
    Check(b.ToText() == written, "writing back is not stable");
    const auto values = AllValues(a);
    Check(values.size() == AllValues(b).size(), "key count changed");
    for (const auto& v : values)
        Check(b.ReadString(v.Section, v.Key, "\x01<none>") == v.Value, "value changed by writing back");

    // Names read from a file can always be written.
    std::string expected(value.substr(0, value.find_first_of("\r\n")));
    expected = std::string(mv::IniUnquote(expected));
    const TValue target = values.empty() ? TValue{"Fuzz", "Key", ""} : values[values.size() / 2];
    b.WriteString(target.Section, target.Key, value);
    b.WriteString("Fuzz New", "Added", value);
    mv::TIniFile c;
    c.Parse(b.ToText());
    Check(c.ReadString(target.Section, target.Key, "\x01<none>") == expected, "written value reads back wrong");
    Check(c.ReadString("fuzz new", "ADDED", "\x01<none>") == expected, "added value reads back wrong");
    for (const auto& v : values) {
        if (mv::IniLower(v.Section) == mv::IniLower(target.Section) && mv::IniLower(v.Key) == mv::IniLower(target.Key))
            continue;
        if (mv::IniLower(v.Section) == "fuzz new" && mv::IniLower(v.Key) == "added")
            continue;
        Check(c.ReadString(v.Section, v.Key, "\x01<none>") == v.Value, "writing one key changed another");
    }
    return 0;
}
