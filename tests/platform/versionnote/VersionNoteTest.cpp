#include "platform/versionnote/VersionNote.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using mv::EVersionNoteError;
using mv::ReadVersionNote;
using TBytes = std::vector<uint8_t>;
using TKind = EVersionNoteError::TKind;

TBytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), {});
}

class TTempDir {
public:
    TTempDir()
    {
        char tmpl[] = "/tmp/mv-versionnote-XXXXXX";
        FPath = mkdtemp(tmpl);
    }
    ~TTempDir() { fs::remove_all(FPath); }
    std::string Write(const std::string& name, const TBytes& bytes) const
    {
        std::string path = FPath + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

// Builds small ELF files: header, one PT_NOTE program header, the note block,
// a section name table and three section headers (null, note, names).
struct TElfSpec {
    bool Is64 = true;
    bool Big = false;
    bool Sections = true;
    bool Segments = true;
    std::string SectionName = ".note.package";
};

class TWriter {
public:
    TWriter(TBytes& b, bool big) : FB(b), FBig(big) {}
    void Put(size_t at, uint64_t v, size_t width)
    {
        if (FB.size() < at + width) FB.resize(at + width);
        for (size_t i = 0; i < width; ++i) {
            size_t k = FBig ? at + width - 1 - i : at + i;
            FB[k] = static_cast<uint8_t>(v >> (8 * i));
        }
    }

private:
    TBytes& FB;
    bool FBig;
};

TBytes Note(const std::string& owner, uint32_t type, const std::string& desc, bool big = false)
{
    TBytes b;
    TWriter w(b, big);
    w.Put(0, owner.size() + 1, 4);
    w.Put(4, desc.size() + 1, 4);
    w.Put(8, type, 4);
    b.insert(b.end(), owner.begin(), owner.end());
    b.push_back(0);
    while (b.size() % 4) b.push_back(0);
    b.insert(b.end(), desc.begin(), desc.end());
    b.push_back(0);
    while (b.size() % 4) b.push_back(0);
    return b;
}

TBytes BuildElf(const TElfSpec& s, const TBytes& notes)
{
    TBytes b;
    TWriter w(b, s.Big);
    const size_t ehsize = s.Is64 ? 64 : 52, phsize = s.Is64 ? 56 : 32, shsize = s.Is64 ? 64 : 40;
    const size_t phoff = ehsize, notesAt = phoff + phsize;
    const std::string names = std::string("\0", 1) + s.SectionName + std::string("\0.shstrtab\0", 11);
    const size_t namesAt = notesAt + notes.size();
    const size_t shoff = (namesAt + names.size() + 7) / 8 * 8;
    b.resize(shoff + 3 * shsize);
    const uint8_t ident[] = {0x7f, 'E', 'L', 'F', uint8_t(s.Is64 ? 2 : 1), uint8_t(s.Big ? 2 : 1), 1};
    std::copy(std::begin(ident), std::end(ident), b.begin());
    std::copy(notes.begin(), notes.end(), b.begin() + static_cast<long>(notesAt));
    std::copy(names.begin(), names.end(), b.begin() + static_cast<long>(namesAt));
    w.Put(16, 3, 2);  // ET_DYN
    if (s.Is64) {
        w.Put(32, s.Segments ? phoff : 0, 8);
        w.Put(40, s.Sections ? shoff : 0, 8);
        w.Put(54, phsize, 2), w.Put(56, 1, 2), w.Put(58, shsize, 2), w.Put(60, 3, 2), w.Put(62, 2, 2);
        w.Put(phoff, 4, 4), w.Put(phoff + 8, notesAt, 8), w.Put(phoff + 32, notes.size(), 8),
            w.Put(phoff + 48, 4, 8);
        for (int i = 1; i <= 2; ++i) {
            size_t h = shoff + static_cast<size_t>(i) * shsize;
            w.Put(h, i == 1 ? 1 : 1 + s.SectionName.size() + 1, 4);
            w.Put(h + 4, i == 1 ? 7 : 3, 4);  // SHT_NOTE, SHT_STRTAB
            w.Put(h + 24, i == 1 ? notesAt : namesAt, 8);
            w.Put(h + 32, i == 1 ? notes.size() : names.size(), 8);
            w.Put(h + 48, i == 1 ? 4 : 1, 8);
        }
    } else {
        w.Put(28, s.Segments ? phoff : 0, 4);
        w.Put(32, s.Sections ? shoff : 0, 4);
        w.Put(42, phsize, 2), w.Put(44, 1, 2), w.Put(46, shsize, 2), w.Put(48, 3, 2), w.Put(50, 2, 2);
        w.Put(phoff, 4, 4), w.Put(phoff + 4, notesAt, 4), w.Put(phoff + 16, notes.size(), 4),
            w.Put(phoff + 28, 4, 4);
        for (int i = 1; i <= 2; ++i) {
            size_t h = shoff + static_cast<size_t>(i) * shsize;
            w.Put(h, i == 1 ? 1 : 1 + s.SectionName.size() + 1, 4);
            w.Put(h + 4, i == 1 ? 7 : 3, 4);
            w.Put(h + 16, i == 1 ? notesAt : namesAt, 4);
            w.Put(h + 20, i == 1 ? notes.size() : names.size(), 4);
            w.Put(h + 32, i == 1 ? 4 : 1, 4);
        }
    }
    return b;
}

const std::string kGood = R"({"type":"deb","FileVersion":"10.0.0.1","ProductVersion":"1.2.3.4"})";

TBytes Cat(TBytes a, const TBytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(VersionNote, ReadsNotesOfBuiltLibraries)
{
    mv::TVersionInfo v10 = ReadVersionNote(NOTE_LIB_10);
    EXPECT_EQ(v10.FileVersion, "10.2.0.7");
    EXPECT_EQ(v10.ProductVersion, "10.2.0.0");
    EXPECT_EQ(ReadVersionNote(NOTE_LIB_9).FileVersion, "9.0.0.1");
    try {
        ReadVersionNote(NOTE_LIB_NONE);
        FAIL() << "a library without a note was read";
    } catch (const EVersionNoteError& e) {
        EXPECT_EQ(e.Kind(), TKind::NoNote);
        EXPECT_EQ(e.Errno(), ENODATA);
        EXPECT_NE(std::string(e.what()).find("has no version note"), std::string::npos);
    }
}

TEST(VersionNote, FindsNoteSegmentWithoutSectionHeaders)
{
    TBytes lib = ReadAll(NOTE_LIB_10);
    ASSERT_GT(lib.size(), 64u);
    std::fill(lib.begin() + 40, lib.begin() + 48, 0);  // e_shoff of an ELF64 file
    TTempDir dir;
    EXPECT_EQ(ReadVersionNote(dir.Write("stripped.so", lib)).FileVersion, "10.2.0.7");
}

TEST(VersionNote, MissingFileOrDirectoryGivesErrno)
{
    TTempDir dir;
    struct {
        const char* Label;
        std::string Path;
        int Errno;
    } const cases[] = {
        {"missing", dir.Path() + "/none.so", ENOENT},
        {"directory", dir.Path(), EISDIR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        try {
            ReadVersionNote(c.Path);
            FAIL();
        } catch (const EVersionNoteError& e) {
            EXPECT_EQ(e.Kind(), TKind::NoFile);
            EXPECT_EQ(e.Errno(), c.Errno);
        }
    }
}

// Each row is a file, built or broken on purpose, and what reading it gives:
// a FileVersion, or the error's errno (NoNote kind).
TEST(VersionNote, TableOfWellFormedAndBrokenFiles)
{
    const TBytes good = Note("FDO", 0xcafe1a7e, kGood);
    const TBytes lib = ReadAll(NOTE_LIB_10);
    ASSERT_GT(lib.size(), 64u);
    auto patched = [](TBytes b, size_t at, std::initializer_list<uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
        return b;
    };
    TElfSpec sectionsOnly;
    sectionsOnly.Segments = false;
    TElfSpec segmentsOnly;
    segmentsOnly.Sections = false;
    TElfSpec elf32Big;
    elf32Big.Is64 = false;
    elf32Big.Big = true;
    TElfSpec otherName;
    otherName.SectionName = ".note.other";
    const TBytes hugeName = patched(good, 0, {0xff, 0xff, 0xff, 0x7f});
    const TBytes hugeDesc = patched(good, 4, {0xf0, 0xff, 0xff, 0xff});

    struct {
        const char* Label;
        TBytes File;
        std::string Version;  // empty: an error is expected
        int Errno;
    } const cases[] = {
        {"sections only", BuildElf(sectionsOnly, good), "10.0.0.1", 0},
        {"segments only", BuildElf(segmentsOnly, good), "10.0.0.1", 0},
        {"ELF32 big-endian", BuildElf(elf32Big, Note("FDO", 0xcafe1a7e, kGood, true)), "10.0.0.1", 0},
        {"any note section name", BuildElf(otherName, good), "10.0.0.1", 0},
        {"other owners' notes first",
         BuildElf({}, Cat(Note("GNU", 3, "abcdefgh"), Cat(Note("FDO", 1, "x"), good))), "10.0.0.1", 0},
        {"only other notes", BuildElf({}, Note("GNU", 0xcafe1a7e, kGood)), "", ENODATA},
        {"payload not JSON", BuildElf({}, Note("FDO", 0xcafe1a7e, "{\"FileVersion\":")), "", ENODATA},
        {"payload a JSON array", BuildElf({}, Note("FDO", 0xcafe1a7e, "[1,2]")), "", ENODATA},
        {"no FileVersion", BuildElf({}, Note("FDO", 0xcafe1a7e, R"({"ProductVersion":"10"})")), "", ENODATA},
        {"FileVersion a number", BuildElf({}, Note("FDO", 0xcafe1a7e, R"({"FileVersion":10})")), "", ENODATA},
        {"FileVersion empty", BuildElf({}, Note("FDO", 0xcafe1a7e, R"({"FileVersion":""})")), "", ENODATA},
        {"note name size past the end", BuildElf({}, hugeName), "", ENODATA},
        {"note descriptor size past the end", BuildElf({}, hugeDesc), "", ENODATA},
        {"no notes at all", BuildElf({}, {}), "", ENODATA},
        {"empty file", {}, "", ENOEXEC},
        {"not ELF", {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'}, "", ENOEXEC},
        {"bad class", patched(lib, 4, {9}), "", ENOEXEC},
        {"cut inside the identification", TBytes(lib.begin(), lib.begin() + 10), "", ENOEXEC},
        {"cut inside the header", TBytes(lib.begin(), lib.begin() + 63), "", ENOEXEC},
        {"cut after the header", TBytes(lib.begin(), lib.begin() + 64), "", ENODATA},
        {"cut in half", TBytes(lib.begin(), lib.begin() + static_cast<long>(lib.size() / 2)), "10.2.0.7", 0},
        {"section headers far past the end, segments still there",
         patched(lib, 40, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}), "10.2.0.7", 0},
        {"section entry size too small", patched(lib, 58, {8, 0}), "10.2.0.7", 0},
        {"program headers far past the end, sections still there",
         patched(lib, 32, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), "10.2.0.7", 0},
        {"section names index out of range", patched(lib, 62, {0xfe, 0xff}), "10.2.0.7", 0},
    };
    TTempDir dir;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        std::string path = dir.Write("case" + std::to_string(n++), c.File);
        if (!c.Version.empty()) {
            EXPECT_EQ(ReadVersionNote(path).FileVersion, c.Version);
            continue;
        }
        try {
            mv::TVersionInfo v = ReadVersionNote(path);
            ADD_FAILURE() << "read version " << v.FileVersion;
        } catch (const EVersionNoteError& e) {
            EXPECT_EQ(e.Kind(), TKind::NoNote);
            EXPECT_EQ(e.Errno(), c.Errno) << e.what();
        }
    }
}

// Random damage to a real library's headers, tables and notes: every read
// either finds a version or says why not, and never fails any other way.
// Run under MV_SANITIZE, this also shows that nothing is read out of bounds.
TEST(VersionNote, SurvivesRandomDamage)
{
    const TBytes lib = ReadAll(NOTE_LIB_10);
    ASSERT_GT(lib.size(), 1024u);
    TTempDir dir;
    std::mt19937 rng(20240601);
    int found = 0, refused = 0;
    for (int round = 0; round < 500; ++round) {
        TBytes b = lib;
        std::uniform_int_distribution<size_t> flips(1, 8);
        size_t n = flips(rng);
        for (size_t i = 0; i < n; ++i) {
            // Mostly the header, otherwise anywhere (tables and notes).
            std::uniform_int_distribution<size_t> at(0, (i % 2) ? b.size() - 1 : 63);
            b[at(rng)] = static_cast<uint8_t>(rng());
        }
        if (round % 5 == 0) b.resize(std::uniform_int_distribution<size_t>(0, b.size())(rng));
        std::string path = dir.Write("damaged.so", b);
        try {
            ReadVersionNote(path);
            ++found;
        } catch (const EVersionNoteError&) {
            ++refused;
        }
    }
    EXPECT_EQ(found + refused, 500);
    EXPECT_GT(refused, 0);
    EXPECT_GT(found, 0);
}

TEST(VersionNote, MajorVersion)
{
    struct {
        const char* Text;
        int Major;
    } const cases[] = {
        {"10.0.0.1", 10}, {"10,0,0,1", 10}, {"9.0.0.1", 9}, {"10", 10},
        {"", -1},         {"x10.0", -1}, {".1", -1}, {"99999999999.1", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(mv::MajorVersion(c.Text), c.Major);
    }
}

}  // namespace
