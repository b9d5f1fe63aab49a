#include "core/runtime/StatusLog.h"
#include "core/timing/Clock.h"
#include "core/timing/DateTime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace mv {
namespace {

// The window's memo: newest line first. Locked so a test thread may look at
// it while the main thread drains.
class TTestMemo : public IStatusMemo {
public:
    int LineCount() const override {
        std::lock_guard lock(FLock);
        return static_cast<int>(FLines.size());
    }
    void DeleteLastLines(int count) override {
        std::lock_guard lock(FLock);
        FLines.resize(FLines.size() - count);
    }
    void InsertFirstLine(const std::string& line) override {
        std::lock_guard lock(FLock);
        if (FFailAfter >= 0 && FFailAfter-- == 0) throw std::runtime_error("memo broke");
        FLines.insert(FLines.begin(), line);
    }
    void ShowFirstLine() override { ++FShown; }

    std::vector<std::string> Lines() const {
        std::lock_guard lock(FLock);
        return FLines;
    }
    void Fill(int count) {
        std::lock_guard lock(FLock);
        for (int i = 0; i < count; ++i) FLines.push_back("old " + std::to_string(i));
    }
    bool Contains(const std::string& text) const {
        std::lock_guard lock(FLock);
        for (const auto& l : FLines)
            if (l.ends_with("    " + text)) return true;
        return false;
    }
    void FailAfter(int inserts) { FFailAfter = inserts; }

    std::atomic<int> FShown{0};

private:
    mutable std::mutex FLock;
    std::vector<std::string> FLines;
    int FFailAfter = -1;
};

// Stands in for the window's event loop on the test's own (main) thread:
// RequestDrain() only records the wish; Run() drains when asked.
class TTestLoop : public IStatusWaker {
public:
    explicit TTestLoop(TStatusLog& log) : FLog(log) {}
    void RequestDrain() override {
        {
            std::lock_guard lock(FLock);
            ++FRequests;
            ++FTotalRequests;
        }
        FWake.notify_one();
    }
    // Serves drain requests until `done` holds, then drains once more.
    template <class Pred>
    void Run(Pred done) {
        while (!done()) {
            std::unique_lock lock(FLock);
            FWake.wait_for(lock, 5ms, [&] { return FRequests > 0; });
            const bool asked = FRequests > 0;
            FRequests = 0;
            lock.unlock();
            if (asked) FLog.DrainStatus();
        }
        FLog.DrainStatus();
    }
    int TotalRequests() {
        std::lock_guard lock(FLock);
        return FTotalRequests;
    }

private:
    TStatusLog& FLog;
    std::mutex FLock;
    std::condition_variable FWake;
    int FRequests = 0;
    int FTotalRequests = 0;
};

class TTestDialog : public ILogFileDialog {
public:
    std::string InitialDir() const override { return FInitialDir; }
    void SetInitialDir(const std::string& dir) override { FInitialDir = dir; }
    std::optional<std::string> Execute(std::string_view title, std::string_view filter,
                                       std::string_view defaultExt) override {
        FTitle = title;
        FFilter = filter;
        FDefaultExt = defaultExt;
        ++FShown;
        return FAnswer;
    }
    std::string FInitialDir;
    std::optional<std::string> FAnswer;
    std::string FTitle, FFilter, FDefaultExt;
    int FShown = 0;
};

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class StatusLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "mv-statuslog-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        FDir = tmpl;
    }
    void TearDown() override { fs::remove_all(FDir); }

    TSimulatedClock FClock{EncodeDateTime(2024, 3, 10, 13, 5, 7, 0)};
    TScopedClock FScope{FClock};
    fs::path FDir;
};

TEST(ThreadSafeStrings, KeepsArrivalOrderAndCountsSerials) {
    TThreadSafeStrings list;
    std::string text = "unchanged";
    EXPECT_FALSE(list.TakeFirst(text));
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(list.Add("a"), 1u);
    EXPECT_EQ(list.Add(""), 2u);
    EXPECT_EQ(list.Add("a"), 3u);
    EXPECT_EQ(list.Count(), 3u);
    std::uint64_t serial = 0;
    ASSERT_TRUE(list.TakeFirst(text, serial));
    EXPECT_EQ(text, "a");
    EXPECT_EQ(serial, 1u);
    ASSERT_TRUE(list.TakeFirst(text));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(list.TakeFirst(text, serial));
    EXPECT_EQ(serial, 3u);
    EXPECT_FALSE(list.TakeFirst(text));
}

TEST_F(StatusLogTest, ShownLineIsTimeStampFourBlanksAndText) {
    EXPECT_EQ(TStatusLog::ShownLine(EncodeDateTime(2024, 3, 10, 13, 5, 7, 0), "Ready."),
              "03/10/2024 13:05:07    Ready.");
    // The time is left out at exactly midnight.
    EXPECT_EQ(TStatusLog::ShownLine(EncodeDate(2024, 2, 29), "x"), "02/29/2024    x");
}

TEST_F(StatusLogTest, MainThreadPostDrainsAtOnceNewestOnTop) {
    TStatusLog log;
    TTestMemo memo;
    TTestLoop loop(log);
    log.Attach(&memo, &loop);

    log.PostStatus("");
    EXPECT_EQ(log.Messages().Count(), 0u);
    EXPECT_EQ(memo.LineCount(), 0);

    log.PostStatus("Startup parameters loaded.");
    FClock.AdvanceSeconds(2);
    log.PostStatus("Connected to database SensorsLite.");
    EXPECT_EQ(memo.Lines(), (std::vector<std::string>{
                                "03/10/2024 13:05:09    Connected to database SensorsLite.",
                                "03/10/2024 13:05:07    Startup parameters loaded."}));
    EXPECT_EQ(loop.TotalRequests(), 0) << "the main thread never waits for itself";
    EXPECT_EQ(memo.FShown, 2);
}

TEST_F(StatusLogTest, OneDrainInsertsInPostingOrderEachOnTop) {
    TStatusLog log;
    TTestMemo memo;
    log.Attach(&memo, nullptr);
    log.Messages().Add("first");
    log.Messages().Add("second");
    log.DrainStatus();
    const auto lines = memo.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with("second"));
    EXPECT_TRUE(lines[1].ends_with("first"));
}

TEST_F(StatusLogTest, MemoIsCutTo511OldestLinesFirstBeforeNewLinesGoIn) {
    const struct {
        const char* Label;
        int Before;
        int After;  // after one drain of two messages
    } kCases[] = {
        {"below the limit: nothing cut", 639, 641},
        {"at the limit", 640, 513},
        {"far above the limit", 1000, 513},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        TStatusLog log;
        TTestMemo memo;
        log.Attach(&memo, nullptr);
        memo.Fill(c.Before);
        log.Messages().Add("new 1");
        log.Messages().Add("new 2");
        log.DrainStatus();
        const auto lines = memo.Lines();
        ASSERT_EQ(static_cast<int>(lines.size()), c.After);
        EXPECT_TRUE(lines[0].ends_with("new 2"));
        EXPECT_TRUE(lines[1].ends_with("new 1"));
        EXPECT_EQ(lines[2], "old 0");  // the newest of the old lines survive
        EXPECT_EQ(lines.back(), "old " + std::to_string(c.After - 3));
    }
}

TEST_F(StatusLogTest, AFailingMemoKeepsUntakenMessagesForTheNextDrain) {
    TStatusLog log;
    TTestMemo memo;
    log.Attach(&memo, nullptr);
    memo.FailAfter(1);
    for (const char* t : {"a", "b", "c"}) log.Messages().Add(t);
    EXPECT_NO_THROW(log.DrainStatus());
    EXPECT_EQ(log.Messages().Count(), 1u);  // "b" was taken when the memo broke
    log.DrainStatus();
    const auto lines = memo.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with("c"));
    EXPECT_TRUE(lines[1].ends_with("a"));
}

TEST_F(StatusLogTest, PostFromTheDrainItselfDoesNotRecurseOrDeadlock) {
    TStatusLog log;
    TTestMemo memo;
    log.Attach(&memo, nullptr);
    bool posted = false;
    log.SetEcho([&](const std::string&) {
        if (!posted) {
            posted = true;
            log.PostStatus("from inside");
        }
    });
    log.PostStatus("outside");
    const auto lines = memo.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with("from inside"));
}

TEST_F(StatusLogTest, PosterWaitsUntilItsMessageIsDrained) {
    TStatusLog log;
    TTestMemo memo;
    TTestLoop loop(log);
    log.Attach(&memo, &loop);
    std::atomic<bool> done{false};
    bool shownWhenReturned = false;
    std::thread job([&] {
        log.PostStatus("Thread started.");
        shownWhenReturned = memo.Contains("Thread started.");
        done = true;
    });
    loop.Run([&] { return done.load(); });
    job.join();
    EXPECT_TRUE(shownWhenReturned);
}

TEST_F(StatusLogTest, PosterGivesUpAfterThePostWaitWhenTheMainThreadIsBusy) {
    TStatusLog log;
    TTestMemo memo;
    TTestLoop loop(log);
    log.Attach(&memo, &loop);
    std::chrono::steady_clock::duration waited{};
    std::thread job([&] {
        const auto start = std::chrono::steady_clock::now();
        log.PostStatus("while busy");
        waited = std::chrono::steady_clock::now() - start;
    });
    job.join();  // the main thread is busy here and drains nothing
    EXPECT_GE(waited, kStatusPostWait);
    EXPECT_LT(waited, kStatusPostWait + 500ms);
    // The message stays queued and shows with the next drain.
    EXPECT_EQ(log.Messages().Count(), 1u);
    loop.Run([] { return true; });
    EXPECT_TRUE(memo.Contains("while busy"));
}

TEST_F(StatusLogTest, DetachedLogLetsPostersGoAtOnce) {
    TStatusLog log;
    TTestMemo memo;
    TTestLoop loop(log);
    log.Attach(&memo, &loop);
    log.Detach();
    std::chrono::steady_clock::duration waited{};
    std::thread job([&] {
        const auto start = std::chrono::steady_clock::now();
        log.PostStatus("late");
        waited = std::chrono::steady_clock::now() - start;
    });
    job.join();
    EXPECT_LT(waited, 200ms);
    EXPECT_EQ(loop.TotalRequests(), 0);
    log.DrainStatus();
    EXPECT_EQ(memo.LineCount(), 0) << "the memo is gone with its window";
}

TEST_F(StatusLogTest, ConcurrentPostersLoseNothingAndKeepTheirOrder) {
    constexpr int kThreads = 8;
    constexpr int kEach = 150;
    TStatusLog log;
    TTestMemo memo;
    TTestLoop loop(log);
    log.Attach(&memo, &loop);
    std::vector<std::string> seen;  // every drained line, oldest first
    log.SetEcho([&](const std::string& line) { seen.push_back(line); });

    std::atomic<int> finished{0};
    std::vector<std::thread> jobs;
    for (int t = 0; t < kThreads; ++t)
        jobs.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                log.PostStatus("job " + std::to_string(t) + " msg " + std::to_string(i));
            ++finished;
        });
    loop.Run([&] { return finished.load() == kThreads; });
    for (auto& j : jobs) j.join();

    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    for (const auto& line : seen) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "03/10/2024 13:05:07    job %d msg %d", &t, &i), 2)
            << line;
        ASSERT_EQ(i, next[t]) << "thread " << t << " out of order";
        ++next[t];
    }
    // The memo shows the newest on top, cut at its limit.
    EXPECT_LE(memo.LineCount(), kMemoCutAt);
    EXPECT_EQ(memo.Lines().front(), seen.back());
}

TEST_F(StatusLogTest, DetailLevelDecidesWhetherProgressIsPosted) {
    const struct {
        int Level;
        bool Shown;
    } kCases[] = {{dlLow, false}, {dlMedium, false}, {dlHigh, true}, {5, true}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Level);
        TStatusLog log;
        TTestMemo memo;
        log.Attach(&memo, nullptr);
        log.SetDetailLevel(c.Level);
        log.PostProgress("Now ready to run the report.");
        log.PostStatus("Error 1201: Report file does not exist.");
        EXPECT_EQ(memo.LineCount(), c.Shown ? 2 : 1);
    }
    EXPECT_EQ(GroupStatusText(kProgressThreadStarted, 3, "Daily Rainfall"),
              "Thread started.  Group: 3 Report Name: Daily Rainfall");
}

TEST_F(StatusLogTest, LogFileAppendsEveryLineWithCrLfAndIsFlushedEachDrain) {
    const fs::path file = FDir / "status.log";
    std::ofstream(file, std::ios::binary) << "earlier line\r\n";

    TStatusLog log;
    TTestMemo memo;
    log.Attach(&memo, nullptr);
    TTestDialog dialog;
    dialog.FAnswer = file.string();
    log.ToggleLogging(dialog, "/opt/mv/");
    ASSERT_TRUE(log.Logging());
    EXPECT_EQ(dialog.FInitialDir, "/opt/mv/");
    EXPECT_EQ(dialog.FTitle, "Log Status Messages");
    EXPECT_EQ(dialog.FFilter, "Log Files|*.log|All Files|*.*");
    EXPECT_EQ(dialog.FDefaultExt, "log");

    log.Messages().Add("one");
    log.Messages().Add("two");
    log.DrainStatus();
    // On disk right after the drain, while the file is still open.
    EXPECT_EQ(ReadFile(file),
              "earlier line\r\n03/10/2024 13:05:07    one\r\n03/10/2024 13:05:07    two\r\n");

    log.ToggleLogging(dialog, "/opt/mv/");
    EXPECT_FALSE(log.Logging());
    log.PostStatus("not logged");
    EXPECT_EQ(ReadFile(file).find("not logged"), std::string::npos);
    EXPECT_EQ(memo.LineCount(), 3);
}

TEST_F(StatusLogTest, DialogStartsInTheProgramFolderOnlyTheFirstTime) {
    TStatusLog log;
    TTestDialog dialog;
    log.StartLogging(dialog, "/opt/mv/");  // cancelled
    EXPECT_FALSE(log.Logging());
    EXPECT_EQ(dialog.FInitialDir, "/opt/mv/");
    dialog.FInitialDir = "/home/op/logs";  // where the operator went
    log.StartLogging(dialog, "/opt/mv/");
    EXPECT_EQ(dialog.FInitialDir, "/home/op/logs");
    EXPECT_EQ(dialog.FShown, 2);
}

TEST_F(StatusLogTest, LogFileFailuresAreSwallowed) {
    // Root may write anywhere, so an unopenable name is one below a plain file.
    const fs::path plain = FDir / "plain";
    std::ofstream(plain) << "x";
    TStatusLog log;
    TTestMemo memo;
    log.Attach(&memo, nullptr);
    TTestDialog dialog;
    dialog.FAnswer = (plain / "status.log").string();
    EXPECT_NO_THROW(log.StartLogging(dialog, "/opt/mv/"));
    EXPECT_FALSE(log.Logging());
    EXPECT_THROW(log.OpenLogFile((plain / "status.log").string()), EStatusLogError);

    // Every write and flush fails on a full disk: logging stays on and the
    // memo still gets the line.
    dialog.FAnswer = "/dev/full";
    log.StartLogging(dialog, "/opt/mv/");
    ASSERT_TRUE(log.Logging());
    EXPECT_NO_THROW(log.PostStatus(std::string(10000, 'x')));
    EXPECT_TRUE(log.Logging());
    EXPECT_EQ(memo.LineCount(), 1);
    EXPECT_NO_THROW(log.StopLogging());
    EXPECT_FALSE(log.Logging());
}

}  // namespace
}  // namespace mv
