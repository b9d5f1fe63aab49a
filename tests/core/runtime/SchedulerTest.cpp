// The scheduler's queue handling around jobs: next group shown, one start
// per tick, start-now selection, rebuilds while jobs run, deleted groups.
// Jobs here fail fast (their report file is missing), so no engine runs.
#include "RuntimeTestSupport.h"

#include "core/runtime/RunTimes.h"
#include "core/runtime/Scheduler.h"
#include "core/timing/Clock.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

using namespace std::chrono_literals;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return EncodeDateTime(y, mo, d, h, mi, s, 0); }

struct TView : ISchedulerView {
    void ShowNextGroup(std::string_view group, std::string_view time) override {
        Shown.push_back(std::string(group) + " " + std::string(time));
    }
    std::vector<std::string> Shown;
};

struct TDialog : IStartNowDialog {
    std::optional<std::vector<int>> Execute(const std::vector<std::string>& lines) override {
        Lines = lines;
        return Answer;
    }
    std::optional<std::vector<int>> Answer;
    std::vector<std::string> Lines;
};

class Scheduling : public ::testing::Test {
protected:
    void SetUp() override {
        FLogPtr = &FLog;
        FLog.Attach(&FMemo, &FLoop);
        FClock.Set(At(2024, 3, 10, 5, 59, 59));
    }
    void TearDown() override {
        FScheduler.reset();
        FLog.Detach();
        FLogPtr = nullptr;
    }
    TVidUduzadevGroupItem& Add(int index, bool enabled = true) {
        auto g = std::make_unique<TVidUduzadevGroupItem>();
        g->RGIndex = index;
        g->Enabled = enabled;
        g->Report.FileName = "/no/such/report.xml";
        g->Report.TimeRange = true;
        g->BaseTime = EncodeTime(6, 0, 0, 0);
        g->IntType = 3;
        g->StartFrom = "Today";
        return FGroups.Add(std::move(g));
    }
    TScheduler& Make() {
        FScheduler = std::make_unique<TScheduler>(FGroups, nullptr, FLog, FConnection, FLoop, &FView,
                                                  TSchedulerOptions{"/tmp/", false, 100ms});
        return *FScheduler;
    }
    // Group 1, its job just started by hand (it fails fast, once the loop turns).
    TScheduler& StartGroupOneNow() {
        Add(1);
        TScheduler& s = Make();
        s.RebuildRunQueue();
        TDialog dialog;
        dialog.Answer = std::vector<int>{0};
        s.StartProcessNow(dialog);
        return s;
    }
    void WaitForJobs() {
        ASSERT_TRUE(FLoop.RunUntil([&] { return FScheduler->RunningJobCount() == 0; })) << FMemo.All();
    }

    TSimulatedClock FClock;
    TScopedClock FScope{FClock};
    TStatusLog* FLogPtr = nullptr;
    test::TTestLoop FLoop{FLogPtr};
    test::TTestMemo FMemo;
    TStatusLog FLog;
    TConnectionValues FConnection;
    TVidUduzadevGroups FGroups;
    TView FView;
    std::unique_ptr<TScheduler> FScheduler;
};

TEST_F(Scheduling, NoEnabledGroupShowsDisabled) {
    Add(1, false);
    Make().RebuildRunQueue();
    EXPECT_EQ(FView.Shown, std::vector<std::string>{"Disabled Disabled"});
    EXPECT_EQ(FScheduler->NextGroup(), nullptr);
}

// Two groups due at the same second start on consecutive ticks, the second
// shown as next in between.
TEST_F(Scheduling, OneStartPerTick) {
    Add(1);
    Add(2);
    TScheduler& s = Make();
    s.RebuildRunQueue();
    const TVidUduzadevGroupItem* first = s.NextGroup();
    ASSERT_NE(first, nullptr);
    const std::string second = first->RGIndex == 1 ? "2" : "1";
    FClock.AdvanceSeconds(1);
    s.tmrRunReportTimer();
    EXPECT_EQ(s.RunningJobCount(), 1);
    EXPECT_EQ(FView.Shown.back(), second + " 03/10/2024 06:00:00");
    FClock.AdvanceSeconds(1);
    s.tmrRunReportTimer();
    EXPECT_EQ(s.RunningJobCount(), 2);
    EXPECT_EQ(FView.Shown.back(), "Disabled Disabled");
    WaitForJobs();
    // A failed job keeps its period, and both groups are queued again once.
    EXPECT_EQ(std::count(FMemo.FLines.begin(), FMemo.FLines.end(), "Error 1201: Report file does not exist."), 2);
    EXPECT_EQ(s.RunQueue().Count() + (s.NextGroup() ? 1 : 0), 2);
}

// A keyword start names a period when it is read; that period stays owed
// when its job fails and when the queue is rebuilt after midnight, where
// reading "Today" again would name the next day.
TEST_F(Scheduling, AKeywordStartKeepsThePeriodItNamed) {
    FClock.Set(At(2024, 3, 10, 14, 0, 0));
    Add(1);
    TScheduler& s = Make();
    s.RebuildRunQueue();
    const TVidUduzadevGroupItem& g = FGroups.Items(0);
    EXPECT_EQ(g.PeriodStart, At(2024, 3, 10));
    EXPECT_EQ(FView.Shown.back(), "1 03/11/2024 06:00:00");

    FClock.Set(At(2024, 3, 11, 0, 30, 0));  // the editor closes after midnight
    s.RebuildRunQueue();
    EXPECT_EQ(g.PeriodStart, At(2024, 3, 10));
    EXPECT_EQ(g.StartFrom, "Today");

    FClock.Set(At(2024, 3, 11, 6, 0, 1));
    s.tmrRunReportTimer();
    ASSERT_EQ(s.RunningJobCount(), 1);
    WaitForJobs();
    EXPECT_TRUE(FMemo.Has("Error 1201: Report file does not exist.")) << FMemo.All();
    EXPECT_EQ(g.StartFrom, "03/10/2024 00:00:00");
    EXPECT_EQ(g.PeriodStart, At(2024, 3, 10));
    EXPECT_EQ(FView.Shown.back(), "1 03/12/2024 06:00:00");
}

// A keyword start is held as its period's date as soon as that period's
// job starts (an exit or a crash during the job must not read it again);
// a group that could not fire is read again when the queue is rebuilt, so
// an interval given later does not make it catch up from long ago.
TEST_F(Scheduling, KeywordStartsHeldOnlyWhereTheyNamedAPeriodToRun) {
    FClock.Set(At(2024, 3, 10, 5, 59, 59));
    TVidUduzadevGroupItem& daily = Add(1);
    TVidUduzadevGroupItem& idle = Add(2);
    idle.IntType = 6;  // a free interval of 0: never fires
    idle.StartFrom = "Yesterday";
    TScheduler& s = Make();
    s.RebuildRunQueue();
    FClock.AdvanceSeconds(2);
    s.tmrRunReportTimer();
    ASSERT_EQ(s.RunningJobCount(), 1);
    EXPECT_EQ(daily.StartFrom, "03/10/2024 00:00:00");
    WaitForJobs();

    FClock.Set(At(2024, 3, 20, 10, 0, 0));
    idle.Interval = 1.0 / 24;
    s.RebuildRunQueue();
    EXPECT_EQ(idle.PeriodStart, At(2024, 3, 19));
}

// A group the editor disabled while its job ran is not queued by the job's end.
TEST_F(Scheduling, AGroupDisabledDuringItsJobIsNotQueuedAgain) {
    TScheduler& s = StartGroupOneNow();
    FGroups.Items(0).Enabled = false;
    WaitForJobs();
    EXPECT_EQ(s.NextGroup(), nullptr);
    EXPECT_EQ(s.RunQueue().Count(), 0);
    EXPECT_FALSE(FGroups.Items(0).Running);
}

// A start the operator sets while the group's job runs is kept when the
// job ends; the job's own run state does not overwrite it.
TEST_F(Scheduling, AStartSetWhileTheJobRunsStands) {
    TScheduler& s = StartGroupOneNow();
    ASSERT_EQ(s.RunningJobCount(), 1);
    FGroups.Items(0).StartFrom = "03/01/2024 00:00:00";
    WaitForJobs();
    EXPECT_EQ(FGroups.Items(0).StartFrom, "03/01/2024 00:00:00");
    EXPECT_EQ(FGroups.Items(0).PeriodStart, At(2024, 3, 1));
}

// Groups leave the queue in due-time order even when the queue was rebuilt
// while a job ran and that job's end moved its group's due time.
TEST_F(Scheduling, QueueOrderSurvivesARebuildDuringAJob) {
    FClock.Set(At(2024, 3, 10, 5, 59, 30));
    for (int i = 1; i <= 12; ++i) Add(i).BaseTime = EncodeTime(6, 0, 0, 0) + (i - 1) * 5.0 / 1440;
    TScheduler& s = Make();
    s.RebuildRunQueue();
    TDialog dialog;
    dialog.Answer = std::vector<int>{0};
    s.StartProcessNow(dialog);
    s.RebuildRunQueue();
    FClock.Set(At(2024, 3, 10, 6, 0, 30));  // the job ends after its group's grid point
    WaitForJobs();
    std::vector<TDateTime> due;
    for (TVidUduzadevGroupItem* g = s.NextGroup(); g; g = s.RunQueue().DeleteMin()) due.push_back(DueTime(*g));
    ASSERT_EQ(due.size(), 12u);
    EXPECT_TRUE(std::is_sorted(due.begin(), due.end()));
    EXPECT_EQ(due.back(), At(2024, 3, 11, 6, 0, 0));
}

TEST_F(Scheduling, StartNowSelection) {
    Add(1);
    Add(2, false);
    Add(3);
    TScheduler& s = Make();
    s.RebuildRunQueue();
    TDialog dialog;

    dialog.Answer.reset();  // Cancel
    s.StartProcessNow(dialog);
    EXPECT_EQ(dialog.Lines, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(s.RunningJobCount(), 0);
    EXPECT_EQ(s.RunQueue().Count(), 1);

    // Both enabled groups start at once, wherever they were; the disabled one is skipped.
    dialog.Answer = std::vector<int>{0, 1, 2};
    s.StartProcessNow(dialog);
    EXPECT_EQ(s.RunningJobCount(), 2);
    EXPECT_EQ(s.NextGroup(), nullptr);
    EXPECT_EQ(s.RunQueue().Count(), 0);
    EXPECT_FALSE(FMemo.HasPrefix("Error 1705")) << FMemo.All();

    // A group whose job still runs is neither started again nor queued.
    s.RebuildRunQueue();
    const int queued = s.RunQueue().Count();
    dialog.Answer = std::vector<int>{0};
    s.StartProcessNow(dialog);
    EXPECT_EQ(s.RunningJobCount(), 2);
    EXPECT_EQ(s.RunQueue().Count(), queued);
    WaitForJobs();
    // Rebuilt while they ran, then put back by their ends: still once each.
    EXPECT_EQ(s.RunQueue().Count() + (s.NextGroup() ? 1 : 0), 2);
}

TEST_F(Scheduling, DeletedGroupIsNeverTouched) {
    Add(1);
    Add(2);
    TScheduler& s = Make();
    s.RebuildRunQueue();
    // The editor deletes the group shown as next, then the queued one.
    for (int round = 0; round < 2; ++round) {
        TVidUduzadevGroupItem* victim = round == 0 ? s.NextGroup() : &FGroups.Items(0);
        ASSERT_NE(victim, nullptr);
        s.RemoveGroup(*victim);
        for (int i = 0; i < FGroups.Count(); ++i)
            if (&FGroups.Items(i) == victim) FGroups.Delete(i);
    }
    EXPECT_EQ(FGroups.Count(), 0);
    EXPECT_EQ(s.NextGroup(), nullptr);
    EXPECT_EQ(s.RunQueue().Count(), 0);
    FClock.AdvanceSeconds(5);
    s.tmrRunReportTimer();
    EXPECT_EQ(s.RunningJobCount(), 0);
}

}  // namespace
}  // namespace mv
