#include "platform/process/ChildReaper.h"
#include "platform/process/Process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace mv {
namespace {

const std::string kData = std::string(MV_TEST_DATA_DIR) + "/process/";

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "mv-process-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        FDir = tmpl;
    }
    void TearDown() override { fs::remove_all(FDir); }

    // Program text that runs the argv recorder, writing into FDir/argv.
    std::string Recorder() const {
        return "'" + kData + "write_argv.sh' '" + (FDir / "argv").string() + "' ";
    }
    // The arguments the recorder received.
    std::vector<std::string> Recorded() const {
        std::ifstream in(FDir / "argv", std::ios::binary);
        const std::string all{std::istreambuf_iterator<char>(in), {}};
        std::vector<std::string> args;
        std::string::size_type start = 0;
        for (auto nul = all.find('\0'); nul != std::string::npos; nul = all.find('\0', start)) {
            args.push_back(all.substr(start, nul - start));
            start = nul + 1;
        }
        return args;
    }

    fs::path FDir;
};

using Args = std::vector<std::string>;

TEST_F(ProcessTest, ProgramTextIsSplitLikeAShellButNothingIsExpanded) {
    const struct {
        const char* Label;
        const char* Text;
        Args Expected;
    } kCases[] = {
        {"blanks and tabs separate", "a  b\tc", {"a", "b", "c"}},
        {"single quotes keep blanks", "'a b' c", {"a b", "c"}},
        {"double quotes keep blanks", "\"a b\" c", {"a b", "c"}},
        {"backslash keeps a blank", R"(a\ b)", {"a b"}},
        {"backslash before a quote", R"(it\'s)", {"it's"}},
        {"escapes inside double quotes", R"("say \"hi\" \\ \$x \n")", {R"(say "hi" \ $x \n)"}},
        {"single quotes keep backslashes", R"('a\b\')", {R"(a\b\)"}},
        {"adjacent pieces join", R"(a'b c'"d e"f)", {"ab cd ef"}},
        {"empty quotes are empty arguments", R"('' "")", {"", ""}},
        {"no variables, globs or substitution", "$HOME * ~ `id` $(id)",
         {"$HOME", "*", "~", "`id`", "$(id)"}},
        {"no redirection or command lists", "x>y ; a|b && c",
         {"x>y", ";", "a|b", "&&", "c"}},
        {"trailing backslash stays", R"(a\)", {R"(a\)"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(SplitProgramText(c.Text), c.Expected);
        // What the program really receives, through the recorder script.
        fs::remove(FDir / "argv");
        const auto out = RunProgram(Recorder() + c.Text, "", 5s);
        ASSERT_TRUE(out.Started) << out.StartError;
        ASSERT_TRUE(out.Finished);
        EXPECT_FALSE(out.Failed()) << out.Describe();
        EXPECT_EQ(Recorded(), c.Expected);
    }
}

TEST_F(ProcessTest, UnmatchedQuotesAreRejected) {
    for (const char* text : {"mail 'to", "mail \"to", R"(mail "to\")"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(SplitProgramText(text), EProcessError);
        const auto out = RunProgram(text, "report.pdf", 1s);
        EXPECT_FALSE(out.Started);
        EXPECT_TRUE(out.Failed());
        EXPECT_NE(out.StartError.find("unmatched"), std::string::npos) << out.StartError;
    }
}

TEST_F(ProcessTest, FileArgumentArrivesAsOneArgumentVerbatim) {
    const char* kNames[] = {
        "/data/out/Daily report 03-10-2024.pdf",
        "  leading and trailing blanks  ",
        "it's \"quoted\" \\ $HOME `id` *.pdf; touch x | y",
    };
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        fs::remove(FDir / "argv");
        const auto out = RunProgram(Recorder() + "-s 'Daily report'", name, 5s);
        ASSERT_TRUE(out.Started) << out.StartError;
        EXPECT_EQ(Recorded(), (Args{"-s", "Daily report", name}));
    }
    // A printed report hands over no file: no extra argument, not an empty one.
    fs::remove(FDir / "argv");
    ASSERT_TRUE(RunProgram(Recorder() + "only", "", 5s).Started);
    EXPECT_EQ(Recorded(), (Args{"only"}));
}

TEST_F(ProcessTest, ShellMetacharactersRunNothing) {
    const std::string marker = (FDir / "touched").string();
    const auto out = RunProgram(Recorder() + "hi; touch " + marker + " && touch " + marker, "", 5s);
    ASSERT_TRUE(out.Started) << out.StartError;
    EXPECT_TRUE(out.Finished);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(Recorded(), (Args{"hi;", "touch", marker, "&&", "touch", marker}));
}

TEST_F(ProcessTest, StartFailuresCarryTheSystemReason) {
    const struct {
        const char* Label;
        std::string Text;
        const char* Reason;
    } kCases[] = {
        {"missing path", "/nonexistent/dir/mailer", "No such file or directory"},
        {"name not on PATH", "mv-no-such-program-4711", "No such file or directory"},
        {"no execute permission", "'" + kData + "not_executable.sh'", "Permission denied"},
        {"a directory", "'" + kData + "'", "Permission denied"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        const auto out = RunProgram(c.Text, "report.pdf", 1s);
        EXPECT_FALSE(out.Started);
        EXPECT_TRUE(out.Failed());
        EXPECT_EQ(out.StartError, c.Reason);
        EXPECT_EQ(out.Describe(), c.Reason);
    }
}

TEST_F(ProcessTest, ATextWithoutAProgramNeverRunsTheFile) {
    // The file exists and is executable; it must not be run as the program.
    const auto out = RunProgram("   ", kData + "write_argv.sh", 1s);
    EXPECT_FALSE(out.Started);
    EXPECT_TRUE(out.Failed());
    EXPECT_FALSE(out.StartError.empty());
    EXPECT_FALSE(RunProgram(Args{}, 1s).Started);
}

TEST_F(ProcessTest, ExitStatusOfAProgramThatEndsInTime) {
    const struct {
        const char* Label;
        const char* Text;
        bool Failed;
        const char* Reason;
    } kCases[] = {
        {"success", "/bin/sh -c 'exit 0'", false, ""},
        {"exit status", "/bin/sh -c 'exit 3'", true, "exit status 3"},
        {"killed", "/bin/sh -c 'kill -KILL $$'", true, "killed by signal 9 (SIGKILL)"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        const auto out = RunProgram(c.Text, "", 5s);
        ASSERT_TRUE(out.Started) << out.StartError;
        EXPECT_TRUE(out.Finished);
        EXPECT_EQ(out.Failed(), c.Failed);
        EXPECT_EQ(out.Describe(), c.Reason);
    }
}

TEST_F(ProcessTest, ChildGetsNullInputAndNoneOfOurDescriptors) {
    // Opened without close-on-exec, so only the spawn setup keeps it from the child.
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 3);
    const std::string script = "[ ! -e /proc/$$/fd/" + std::to_string(fd) +
                               " ] && [ \"$(readlink /proc/$$/fd/0)\" = /dev/null ]";
    const auto out = RunProgram(Args{"/bin/sh", "-c", script}, 5s);
    ::close(fd);
    ASSERT_TRUE(out.Started) << out.StartError;
    EXPECT_TRUE(out.Finished);
    EXPECT_FALSE(out.Failed()) << out.Describe();
}

bool IsGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

TEST_F(ProcessTest, ProgramOutlivingTheWaitRunsOnAndIsReapedLater) {
    const auto start = std::chrono::steady_clock::now();
    const auto out = RunProgram("sleep 0.3", "", 100ms);
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(out.Started) << out.StartError;
    EXPECT_FALSE(out.Finished);
    EXPECT_FALSE(out.Failed());
    EXPECT_GE(waited, 100ms);
    EXPECT_LT(waited, 900ms);
    EXPECT_FALSE(IsGone(out.Pid)) << "should still be running";

    // A zombie still answers kill(pid, 0); only a reaped child is gone.
    const auto limit = std::chrono::steady_clock::now() + 3s;
    while (!IsGone(out.Pid) && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(IsGone(out.Pid)) << "left as a zombie";
}

TEST_F(ProcessTest, ReaperLeavesOtherChildrenToTheirOwner) {
    pid_t own = -1;
    char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                    const_cast<char*>("exit 7"), nullptr};
    ASSERT_EQ(::posix_spawn(&own, "/bin/sh", nullptr, nullptr, argv, environ), 0);

    // Keep the reaper busy with a child of its own until well after ours ended.
    const auto out = RunProgram("sleep 0.25", "", 0ms);
    ASSERT_TRUE(out.Started);
    ASSERT_FALSE(out.Finished);
    const auto limit = std::chrono::steady_clock::now() + 3s;
    while (!IsGone(out.Pid) && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(IsGone(out.Pid));

    int status = 0;
    ASSERT_EQ(::waitpid(own, &status, 0), own) << "the reaper took our child's status";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

}  // namespace
}  // namespace mv
