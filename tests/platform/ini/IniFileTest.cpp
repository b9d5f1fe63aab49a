#include "platform/ini/IniFile.h"

#include <csignal>
#include <string>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ini/TestFiles.h"

namespace mv {
namespace {

using test::FileMode;
using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

const std::string kData = MV_TEST_DATA_DIR "/ini/";

TEST(IniFileRead, ProfileRules)
{
    TIniFile ini(kData + "profile_rules_mixed.ini");
    constexpr struct {
        const char* Label;
        const char* Section;
        const char* Key;
        const char* Expected;
    } kCases[] = {
        {"blanks around key and value removed", "Main", "Name", "Plain Value"},
        {"section and key ignore letter case", "MAIN", "name", "Plain Value"},
        {"double quotes stripped, inner blanks kept", "Main", "Quoted", "  kept blanks  "},
        {"single quotes stripped", "Main", "Single", "single"},
        {"unmatched quote kept", "Main", "Mismatch", "\"open"},
        {"empty value", "Main", "Empty", ""},
        {"only one pair of quotes stripped", "Main", "DoubleQuoted", "\"inner\""},
        {"first of duplicate keys wins", "Main", "Dup", "first"},
        {"comment line is no key", "Main", ";Commented", "<default>"},
        {"section name trimmed", "Spaced Section", "Key", "spaced"},
        {"keys before any section belong to none", "", "orphan", "<default>"},
        {"missing key", "Main", "Absent", "<default>"},
        {"missing section", "Nowhere", "Name", "<default>"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(ini.ReadString(c.Section, c.Key, "<default>"), c.Expected);
    }
    EXPECT_EQ(ini.ReadSection("main"), (std::vector<std::string>{"Name", "Quoted", "Single", "Mismatch", "Empty",
                                                                  "DoubleQuoted", "dup", "DUP"}));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Main", "Spaced Section", "main"}));
    EXPECT_TRUE(ini.ValueExists("main", "EMPTY"));
    EXPECT_FALSE(ini.ValueExists("main", "Absent"));
    EXPECT_TRUE(ini.Existed());
}

TEST(IniFileRead, IntegersAndBooleans)
{
    constexpr struct {
        const char* Value;
        int Integer; // with default -99
        int Bool;    // 0, 1, or 2 for "the default (true) was returned"
    } kCases[] = {
        {"12", 12, 1},           {"-5", -5, 1},        {"+7", 7, 1},         {" 3 ", 3, 1},
        {"0", 0, 0},             {"abc", -99, 2},      {"12abc", -99, 2},    {"", -99, 2},
        {"2147483647", 2147483647, 1}, {"-2147483648", -2147483647 - 1, 1}, {"2147483648", -99, 2},
        {"0x10", -99, 2},        {"1.5", -99, 2},      {"-", -99, 2},        {"\"4\"", 4, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string("value '") + c.Value + "'");
        TIniFile ini;
        ini.Parse(std::string("[S]\nK=") + c.Value + "\n");
        EXPECT_EQ(ini.ReadInteger("S", "K", -99), c.Integer);
        EXPECT_EQ(ini.ReadBool("S", "K", true), c.Bool != 0);
        EXPECT_EQ(ini.ReadBool("S", "K", false), c.Bool == 1);
    }
}

TEST(IniFileRead, LongValueIsReadWhole)
{
    const std::string longValue(100000, 'x');
    TIniFile ini;
    ini.Parse("[S]\nK=" + longValue + "\n");
    EXPECT_EQ(ini.ReadString("S", "K", ""), longValue);
}

TEST(IniFileRead, MissingFileIsEmptyAndUnreadableThrows)
{
    TTempDir dir;
    TIniFile missing(dir.File("none.ini"));
    EXPECT_FALSE(missing.Existed());
    EXPECT_EQ(missing.ReadString("S", "K", "d"), "d");
    EXPECT_TRUE(missing.ReadSections().empty());

    try {
        TIniFile folder(dir.Path().string());
        FAIL() << "a folder read as a profile";
    } catch (const EIniError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read \"" + dir.Path().string() + "\": Is a directory");
    }
}

TEST(IniFileWrite, ReplacesInPlaceAppendsToSectionAndFile)
{
    TIniFile ini;
    ini.Parse("; header comment\n[A]\nx = 1\n; keep me\ny=2\n\n[B]\nz=3\n");
    ini.WriteString("a", "X", "10");       // in place, spelling and blanks of the key kept
    ini.WriteString("A", "new", "n");      // end of its section, before the blank line
    ini.WriteString("C", "c", "created");  // new section at the end of the file
    ini.WriteInteger("B", "z", -4);
    ini.WriteBool("B", "flag", true);
    EXPECT_EQ(ini.ToText(), "; header comment\n[A]\nx =10\n; keep me\ny=2\nnew=n\n\n[B]\nz=-4\nflag=1\n[C]\nc=created\n");
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(ini.ReadString("A", "x", ""), "10");
    EXPECT_EQ(ini.ReadString("c", "C", ""), "created");
}

TEST(IniFileWrite, WriteAfterPlacesMissingKeyBehindAnother)
{
    TIniFile ini;
    ini.Parse("[G]\nInterval=06:00:00\nStartFrom=Now\n");
    ini.WriteStringAfter("G", "IntervalDays", "1", "Interval");
    ini.WriteStringAfter("G", "IntervalDays", "2", "Interval"); // now present: replaced in place
    ini.WriteStringAfter("G", "Other", "o", "NoSuchKey");       // anchor missing: end of section
    EXPECT_EQ(ini.ToText(), "[G]\nInterval=06:00:00\nIntervalDays=2\nStartFrom=Now\nOther=o\n");
    EXPECT_EQ(ini.ReadString("G", "StartFrom", ""), "Now");
}

TEST(IniFileWrite, ValueCannotInjectLinesAndBadNamesAreRefused)
{
    TIniFile ini;
    ini.WriteString("S", "K", "first\r\n[Evil]\nkey=1");
    EXPECT_EQ(ini.ToText(), "[S]\nK=first\n");
    EXPECT_FALSE(ini.SectionExists("Evil"));

    constexpr struct { const char* Section; const char* Key; } kBad[] = {
        {"a]b", "k"}, {"a\nb", "k"}, {"S", "a=b"}, {"S", "a\nb"}, {"S", "[k"}, {"S", ";k"},
    };
    for (const auto& b : kBad) {
        SCOPED_TRACE(std::string(b.Section) + " / " + b.Key);
        EXPECT_THROW(ini.WriteString(b.Section, b.Key, "v"), EIniError);
    }
    EXPECT_EQ(ini.ToText(), "[S]\nK=first\n");
}

TEST(IniFileWrite, UntouchedFileWritesBackByteForByte)
{
    for (const char* name : {"profile_rules_mixed.ini", "profile_crlf_line_breaks.ini"}) {
        SCOPED_TRACE(name);
        TIniFile ini(kData + name);
        EXPECT_EQ(ini.ToText(), ReadFileBytes(kData + name));
    }
    TIniFile crlf(kData + "profile_crlf_line_breaks.ini");
    crlf.WriteString("Other", "D", "4");
    EXPECT_EQ(crlf.ToText(), "[Section]\r\nA=1\r\nB=two\r\n\r\n[Other]\r\nC=3\r\nD=4\r\n");
}

// A file saved as UTF-8 by a Windows editor starts with a byte order mark.
// Its first section must be found, written in place rather than added a
// second time, and the mark must go back to the file.
TEST(IniFileWrite, ByteOrderMarkHidesNothingAndIsKept)
{
    const std::string bom = "\xEF\xBB\xBF";
    constexpr struct {
        const char* Label;
        const char* Text;     // after the mark
        const char* Expected; // after the mark, once K=new and N=1 are written to [Main]
    } kCases[] = {
        {"section first", "[Main]\r\nK=old\r\n[Other]\r\nX=1\r\n",
         "[Main]\r\nK=new\r\nN=1\r\n[Other]\r\nX=1\r\n"},
        {"blanks before the section", "  [Main]\nK=old\n", "  [Main]\nK=new\nN=1\n"},
        {"comment first", "; note\n[Main]\nK=old\n", "; note\n[Main]\nK=new\nN=1\n"},
        {"nothing but the mark", "", "[Main]\nK=new\nN=1\n"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        TIniFile ini;
        ini.Parse(bom + c.Text);
        EXPECT_EQ(ini.ToText(), bom + c.Text);
        if (*c.Text != '\0') {
            EXPECT_EQ(ini.ReadString("Main", "K", ""), "old");
            EXPECT_EQ(ini.ReadSections().front(), "Main");
        }
        ini.WriteString("Main", "K", "new");
        ini.WriteInteger("Main", "N", 1);
        EXPECT_EQ(ini.ToText(), bom + c.Expected);
    }

    // Only a mark at the very start is one; a file without it gets none.
    TIniFile plain;
    plain.Parse("[Main]\nK=" + bom + "\n");
    EXPECT_EQ(plain.ReadString("Main", "K", ""), bom);
    EXPECT_EQ(plain.ToText(), "[Main]\nK=" + bom + "\n");
}

TEST(IniFileUpdate, NewFileGetsItsModeAndASaveKeepsTheExistingMode)
{
    TTempDir dir;
    const std::string path = dir.File("settings.ini");
    mode_t oldMask = ::umask(0);
    {
        TIniFile ini(path);
        ini.SetNewFileMode(0600);
        ini.WriteString("S", "Secret", "x");
        ini.UpdateFile();
    }
    ::umask(oldMask);
    EXPECT_EQ(FileMode(path), 0600u);
    EXPECT_EQ(ReadFileBytes(path), "[S]\nSecret=x\n");

    ::chmod(path.c_str(), 0640);
    TIniFile again(path);
    again.SetNewFileMode(0600);
    again.WriteString("S", "Secret", "y");
    again.UpdateFile();
    EXPECT_EQ(FileMode(path), 0640u);
    EXPECT_EQ(TIniFile(path).ReadString("S", "Secret", ""), "y");
    EXPECT_FALSE(again.Modified());
    // Nothing is left behind but the file itself.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(IniFileUpdate, SymbolicLinkKeepsPointingAtTheWrittenFile)
{
    TTempDir dir;
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("link.ini");
    WriteFileBytes(real, "[S]\nK=old\n");
    std::filesystem::create_symlink(real, link);
    TIniFile ini(link);
    ini.WriteString("S", "K", "new");
    ini.UpdateFile();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), "[S]\nK=new\n");
}

// A write that fails half-way (the file size limit is hit) leaves the old
// file exactly as it was and no temporary file behind.
TEST(IniFileUpdate, FailedWriteLeavesOldFileIntact)
{
    TTempDir dir;
    const std::string path = dir.File("big.ini");
    const std::string original = "[S]\nK=old\n";
    WriteFileBytes(path, original);

    TIniFile ini(path);
    ini.WriteString("S", "K", std::string(64 * 1024, 'n'));

    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        ini.UpdateFile();
    } catch (const EIniError& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Cannot write \"" + path + "\": File too large");
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    EXPECT_TRUE(ini.Modified());
}

// When the folder will not take the new file, the save fails and the file
// stays, even though the file itself is writable; the message names the
// folder, since that is what the operator has to change.
TEST(IniFileUpdate, FolderThatRefusesTheNewFileLeavesOldFileIntact)
{
    constexpr struct {
        const char* Label;
        mode_t FolderMode;
        const char* Reason; // after "Cannot write "<file>": ", with <dir> for the folder
        bool FileOfRoot;    // needs a file the unprivileged user does not own
    } kCases[] = {
        {"read-only folder", 0555,
         "cannot create a temporary file in the folder \"<dir>\" (Permission denied); the program needs write "
         "access to that folder.", false},
        {"sticky folder, file of another user", 01777,
         "cannot replace it in the folder \"<dir>\" (Operation not permitted).", true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        if (c.FileOfRoot && ::geteuid() != 0)
            continue;
        TTempDir dir;
        const std::string path = dir.File("MVVidUduzadev.MVF");
        const std::string original = "[VidUduzadevr]\nGroupNames=RptSchGroup:1\n";
        WriteFileBytes(path, original);
        ::chmod(path.c_str(), 0666);
        ::chmod(dir.Path().c_str(), c.FolderMode);

        const std::string message = test::RunUnprivileged([&] {
            try {
                TIniFile ini(path);
                ini.WriteString("VidUduzadevr", "GroupNames", "");
                ini.UpdateFile();
                return std::string("saved");
            } catch (const EIniError& e) {
                return std::string(e.what());
            }
        });

        std::string reason = c.Reason;
        reason.replace(reason.find("<dir>"), 5, dir.Path().string());
        EXPECT_EQ(message, "Cannot write \"" + path + "\": " + reason);
        EXPECT_EQ(ReadFileBytes(path), original);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1); // no temporary file left
    }
}

} // namespace
} // namespace mv
