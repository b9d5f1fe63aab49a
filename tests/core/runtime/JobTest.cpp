// Report jobs run by the scheduler against the real engine and the demo
// database, on a simulated clock: catch-up runs, failures that keep their
// period, "Stop &Process", after-run programs and the end of the program.
#include "RuntimeTestSupport.h"

#include "core/runtime/RunTimes.h"
#include "core/runtime/Scheduler.h"
#include "core/runtime/WorkThread.h"
#include "core/schedule/ReportLookup.h"
#include "core/schedule/ScheduleFile.h"
#include "core/timing/Clock.h"
#include "../../platform/odbc/TestServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace mv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;

const std::string kReport = MV_TEST_DATA_DIR "/runtime/period_counts.xml";

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return EncodeDateTime(y, mo, d, h, mi, s, 0); }

struct TNoCatalog : IReportLookup {
    void FindReport(const std::string& key, TReportItem&) const override {
        throw std::runtime_error("no catalog entry " + key);
    }
};

struct TView : ISchedulerView {
    void ShowNextGroup(std::string_view group, std::string_view time) override {
        Group = group;
        Time = time;
    }
    std::string Group, Time;
};

// Data rows of a CSV export (the first line holds the captions).
std::vector<std::vector<std::string>> CsvRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(ReadFile(path));
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (header) {
            header = false;
            continue;
        }
        std::vector<std::string> cells;
        std::string cell;
        bool quoted = false;
        for (char c : line) {
            if (c == '"') quoted = !quoted;
            else if (c == ',' && !quoted) cells.push_back(cell), cell.clear();
            else cell += c;
        }
        cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

class Jobs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest: the services fixture provides MVDEMO";
        setenv("MV_RPENG_LIBRARY", RPENG32, 1);
        FLogPtr = &FLog;
        FLog.Attach(&FMemo, &FLoop);
        FLog.SetDetailLevel(dlHigh);
        FConnection.Set({"MVDEMO", "", ""});
        FOut = FDir.Dir() + "out/";
        fs::create_directories(FOut);
    }
    void TearDown() override {
        FLog.Detach();
        FLogPtr = nullptr;
        unsetenv("MV_RPENG_LIBRARY");
    }

    // Daily at 06:00, one station's rain per day, CSV files named by day.
    std::unique_ptr<TVidUduzadevGroupItem> DailyGroup(int index, const std::string& startFrom) {
        auto g = std::make_unique<TVidUduzadevGroupItem>();
        g->RGIndex = index;
        g->GroupName = "RptSchGroup:" + std::to_string(index);
        g->Enabled = true;
        g->Report.Key = "period_counts";
        g->Report.Title = "Period counts";
        g->Report.FileName = kReport;
        g->Report.TimeRange = true;
        g->Report.SiteLists = true;
        g->BaseTime = EncodeTime(6, 0, 0, 0);
        g->IntType = 3;
        g->StartFrom = startFrom;
        g->TimeFrom = "Today";
        g->TimeTo = "Tomorrow";
        g->Stations = {"FTC01"};
        g->OtherParams = {"sensor=RAIN"};
        g->SpecialParams = {"pReportTime"};
        g->Output = 2;
        g->OutputFormat = 4;
        g->OutputDir = FOut;
        g->OutputName = "rain yyyy-mm-dd";
        return g;
    }

    // Runs a job for `group` on this thread, as its own thread would.
    std::shared_ptr<TWorkThread> RunHere(const TVidUduzadevGroupItem& group, TConnectionSettings c,
                                         bool debug = false) {
        auto host = std::make_shared<TJobHost>(FLog, FLoop, nullptr);
        auto job = std::make_shared<TWorkThread>(host, TJobSettings{FDir.Dir(), std::move(c), debug, 300ms});
        job->Group().Assign(group);
        EvaluateStartFrom(job->Group());
        job->Execute();
        return job;
    }

    std::unique_ptr<TScheduler> MakeScheduler(TScheduleFile* file) {
        return std::make_unique<TScheduler>(FGroups, file, FLog, FConnection, FLoop, &FView,
                                            TSchedulerOptions{FDir.Dir(), false, 300ms});
    }

    std::vector<std::string> FileNamesPosted() const {
        std::vector<std::string> names;
        for (const auto& l : FMemo.FLines)
            if (l.rfind("File Name: ", 0) == 0) names.push_back(l.substr(11));
        return names;
    }

    TSimulatedClock FClock;
    TScopedClock FScope{FClock};
    test::TScratch FDir;
    std::string FOut;
    TStatusLog* FLogPtr = nullptr;
    test::TTestLoop FLoop{FLogPtr};
    test::TTestMemo FMemo;
    TStatusLog FLog;
    TConnectionValues FConnection;
    TVidUduzadevGroups FGroups;
    TNoCatalog FCatalog;
    TView FView;
};

// Three days behind: three files, oldest first, each with its own day's
// data and date, and the next period on disk as soon as the job has ended.
TEST_F(Jobs, CatchUpThreeDaysOldestFirst) {
    FClock.Set(At(2024, 3, 7, 5, 59, 58));
    FGroups.Add(DailyGroup(3, "03/05/2024 00:00:00"));
    TScheduleFile file(FDir.Dir() + TScheduleFile::kFileName, FGroups, FCatalog, [](const std::string&) {});
    file.Open();
    auto s = MakeScheduler(&file);
    s->RebuildRunQueue();
    EXPECT_EQ(FView.Group, "3");
    EXPECT_EQ(FView.Time, "03/07/2024 06:00:00");

    s->tmrRunReportTimer();
    EXPECT_EQ(s->RunningJobCount(), 0);  // not due yet
    FClock.AdvanceSeconds(2);
    s->tmrRunReportTimer();
    ASSERT_EQ(s->RunningJobCount(), 1);
    EXPECT_TRUE(FGroups.Items(0).Running);
    EXPECT_EQ(FView.Group, "Disabled");
    ASSERT_TRUE(FLoop.RunUntil([&] { return s->RunningJobCount() == 0; }, [&] { s->tmrRunReportTimer(); }))
        << FMemo.All();

    const std::vector<std::string> days = {"2024-03-05", "2024-03-06", "2024-03-07"};
    std::vector<std::string> expectedNames;
    for (const auto& d : days) expectedNames.push_back(FOut + "rain " + d + ".CSV");
    EXPECT_EQ(FileNamesPosted(), expectedNames) << FMemo.All();
    for (size_t i = 0; i < days.size(); ++i) {
        SCOPED_TRACE(expectedNames[i]);
        const auto rows = CsvRows(expectedNames[i]);
        ASSERT_EQ(rows.size(), 1u) << ReadFile(expectedNames[i]);
        ASSERT_EQ(rows[0].size(), 4u);
        EXPECT_EQ(rows[0][0].substr(0, 10), days[i]);  // pReportTime
        EXPECT_EQ(rows[0][1], days[i] + " 00:00:00");
        EXPECT_EQ(rows[0][2], days[i] + " 23:45:00");
        EXPECT_EQ(rows[0][3], "96");
    }
    EXPECT_FALSE(fs::exists(FOut + "rain 2024-03-08.CSV"));
    for (const char* m : {"Error"}) EXPECT_FALSE(FMemo.HasPrefix(m)) << FMemo.All();

    const TVidUduzadevGroupItem& g = FGroups.Items(0);
    EXPECT_FALSE(g.Running);
    EXPECT_EQ(g.StartFrom, "03/08/2024 00:00:00");
    EXPECT_EQ(FormatDateTime("mm/dd/yyyy hh:nn:ss", g.NextRun), "03/08/2024 06:00:00");
    EXPECT_EQ(FView.Time, "03/08/2024 06:00:00");
    EXPECT_NE(ReadFile(file.FileName()).find("StartFrom=03/08/2024 00:00:00"), std::string::npos);
    EXPECT_TRUE(FMemo.Has("Thread freed.  Group: 3 Report Name: Period counts"));
}

// The default export, PDF, with "/debug": each period's query is posted
// before its report runs, and each period's file holds that period's data.
// In a catch-up each delivered period is saved before the next report, so
// a power cut in the middle delivers none of the earlier reports again.
// Every report is followed by a short after-run program, which leaves time
// to see each save on disk.
TEST_F(Jobs, EachDeliveredPeriodIsOnDiskBeforeTheNext) {
    FClock.Set(At(2024, 3, 7, 5, 59, 59));
    TVidUduzadevGroupItem& g = FGroups.Add(DailyGroup(3, "03/05/2024 00:00:00"));
    g.AfterRun = "/bin/sleep 0.2";
    TScheduleFile file(FDir.Dir() + TScheduleFile::kFileName, FGroups, FCatalog, [](const std::string&) {});
    file.Open();
    auto s = MakeScheduler(&file);
    s->RebuildRunQueue();
    FClock.AdvanceSeconds(2);
    s->tmrRunReportTimer();
    ASSERT_EQ(s->RunningJobCount(), 1);
    std::vector<std::string> seen;
    auto look = [&] {
        const std::string text = ReadFile(file.FileName());
        const std::size_t at = text.find("StartFrom=");
        const std::string value = at == std::string::npos ? "" : text.substr(at + 10, 19);
        if (!value.empty() && (seen.empty() || seen.back() != value)) seen.push_back(value);
    };
    ASSERT_TRUE(FLoop.RunUntil([&] { return s->RunningJobCount() == 0; }, look)) << FMemo.All();
    look();
    EXPECT_EQ(seen, (std::vector<std::string>{"03/06/2024 00:00:00", "03/07/2024 00:00:00", "03/08/2024 00:00:00"}))
        << FMemo.All();
    EXPECT_EQ(FileNamesPosted().size(), 3u);
}

TEST_F(Jobs, PdfExportWithDebugPostsEachQuery) {
#if defined(__SANITIZE_THREAD__)
    // Drawing a PDF runs through glib, fontconfig and pango, which are not
    // instrumented: ThreadSanitizer cannot see their locks and atomics and
    // reports races inside them. The other job tests cover the threads.
    GTEST_SKIP() << "PDF drawing is not checked under ThreadSanitizer";
#endif
    FClock.Set(At(2024, 3, 7, 6, 0, 1));
    auto g = DailyGroup(3, "03/06/2024 00:00:00");
    g->OutputFormat = 0;
    auto job = RunHere(*g, {"MVDEMO", "", ""}, true);
    EXPECT_FALSE(FMemo.HasPrefix("Error")) << FMemo.All();
    EXPECT_EQ(job->Group().StartFrom, "03/08/2024 00:00:00");

    int queries = 0;
    for (const auto& l : FMemo.FLines)
        if (l.rfind("SQL = ", 0) == 0) ++queries;
    EXPECT_EQ(queries, 2) << FMemo.All();
    EXPECT_NE(FMemo.All().find("FROM MV_DATA1"), std::string::npos) << FMemo.All();

    for (const char* day : {"2024-03-06", "2024-03-07"}) {
        SCOPED_TRACE(day);
        const std::string pdf = FOut + "rain " + day + ".PDF";
        ASSERT_TRUE(fs::exists(pdf)) << FMemo.All();
        EXPECT_EQ(ReadFile(pdf).substr(0, 5), "%PDF-");
        const std::string text = test::CommandOutput("pdftotext -layout '" + pdf + "' -");
        EXPECT_NE(text.find(std::string(day) + " 00:00:00"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string(day) + " 23:45:00"), std::string::npos) << text;
        EXPECT_NE(text.find("96"), std::string::npos) << text;
    }
}

// A failure posts its message and leaves the period where it was, so that
// the group's next job reports it again.
TEST_F(Jobs, FailuresKeepThePeriod) {
    FClock.Set(At(2024, 3, 7, 6));
    const auto& services = test::TServices::Get();
    const std::string secret = "Wrong-Secret-77";
    struct Case {
        const char* name;
        std::function<void(TVidUduzadevGroupItem&, TConnectionSettings&)> change;
        std::string message;  // a line starting with this is posted
    };
    const Case cases[] = {
        {"missing report file", [](auto& g, auto&) { g.Report.FileName = "no_such_report.xml"; },
         "Error 1201: Report file does not exist."},
        {"database down", [](auto&, auto& c) { c.DataSource = "MVDEMO_GONE"; }, "Error 1700: Error:"},
        {"wrong password", [&](auto&, auto& c) { c = {"MVDEMO_PG", services["MV_PG_USER"], secret}; },
         "Error 1700: Error:"},
        {"unwritable output folder", [](auto& g, auto&) { g.OutputDir = "/proc/no-such-folder"; },
         "Error 1700: "},
        {"ordinary parameter without a value", [](auto& g, auto&) { g.OtherParams.clear(); },
         "Error 1704: Param not defined.  Check setup again."},
        {"no output chosen", [](auto& g, auto&) { g.Output = 0; }, "Error 1700: Group 3 has no output chosen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FMemo.FLines.clear();
        auto g = DailyGroup(3, "03/06/2024 00:00:00");
        TConnectionSettings logon{"MVDEMO", "", ""};
        c.change(*g, logon);
        auto job = RunHere(*g, logon);
        EXPECT_TRUE(FMemo.HasPrefix(c.message)) << FMemo.All();
        EXPECT_EQ(job->Group().StartFrom, "03/06/2024 00:00:00");
        EXPECT_DOUBLE_EQ(job->Group().PeriodStart, At(2024, 3, 6));
        EXPECT_FALSE(fs::exists(FOut + "rain 2024-03-06.CSV"));
        EXPECT_EQ(FMemo.All().find(secret), std::string::npos) << FMemo.All();
    }
}

// A Boolean parameter of the group reaches the report as the operator set
// it (it takes no list of values); a report that suppresses itself when
// empty delivers nothing, says so, and runs no after-run program, which
// would otherwise be handed a file that was not written this time.
TEST_F(Jobs, BooleanParametersAndEmptyReports) {
    FClock.Set(At(2024, 3, 7, 6));
    const std::string marker = FDir.Dir() + "after-run-ran";
    struct Case {
        const char* wet;
        const char* sensor;
        const char* expected;  // the CSV's data line, empty: no file
    };
    for (const Case& c : {Case{"False", "RAIN", "0,96"}, Case{"True", "RAIN", "1,96"}, Case{"True", "NO_SUCH", ""}}) {
        SCOPED_TRACE(std::string(c.wet) + " " + c.sensor);
        FMemo.FLines.clear();
        fs::remove(marker);
        const std::string out = FOut + "rain 2024-03-06.CSV";
        std::ofstream(out) << "yesterday's file\n";
        auto g = DailyGroup(3, "03/06/2024 00:00:00");
        g->Report.FileName = MV_TEST_DATA_DIR "/runtime/wet_flag.xml";
        g->OtherParams = {std::string("Wet=") + c.wet, std::string("Sensor=") + c.sensor};
        g->AfterRun = "/usr/bin/touch " + marker;
        auto job = RunHere(*g, {"MVDEMO", "", ""});
        EXPECT_FALSE(FMemo.HasPrefix("Error")) << FMemo.All();
        EXPECT_EQ(job->Group().StartFrom, "03/08/2024 00:00:00");  // two periods, 6 and 7 March
        if (*c.expected) {
            const std::string csv = ReadFile(out);
            EXPECT_NE(csv.find(std::string("\r\n") + c.expected + "\r\n"), std::string::npos) << csv;
            EXPECT_TRUE(fs::exists(marker));
        } else {
            EXPECT_EQ(ReadFile(out), "yesterday's file\n");
            EXPECT_FALSE(fs::exists(marker));
            EXPECT_TRUE(FMemo.Has("No report produced (no rows, or cancelled); after-run programs not run.  Group: 3 "
                                  "Report Name: Period counts"))
                << FMemo.All();
        }
    }
}

// "Stop &Process" while the first of three periods runs: that report is
// finished, the next is not started.
TEST_F(Jobs, StopProcessFinishesTheCurrentReport) {
    FClock.Set(At(2024, 3, 7, 5, 59, 59));
    FGroups.Add(DailyGroup(4, "03/05/2024 00:00:00"));
    auto s = MakeScheduler(nullptr);
    FMemo.OnLine = [&](const std::string& line) {
        if (line == "Finish the report.") s->StopProcess();
    };
    s->RebuildRunQueue();
    ASSERT_EQ(s->NextGroup(), &FGroups.Items(0));
    FClock.Set(At(2024, 3, 7, 6, 0, 1));
    s->tmrRunReportTimer();
    ASSERT_EQ(s->RunningJobCount(), 1);
    ASSERT_TRUE(FLoop.RunUntil([&] { return s->RunningJobCount() == 0; })) << FMemo.All();
    EXPECT_EQ(std::count(FMemo.FLines.begin(), FMemo.FLines.end(), "Now ready to run the report."), 1)
        << FMemo.All();
    EXPECT_TRUE(fs::exists(FOut + "rain 2024-03-05.CSV"));
    EXPECT_FALSE(fs::exists(FOut + "rain 2024-03-06.CSV"));
    EXPECT_EQ(FGroups.Items(0).StartFrom, "03/06/2024 00:00:00");
    FMemo.OnLine = nullptr;
}

TEST_F(Jobs, AfterRunPrograms) {
    const std::string copies = FDir.Dir() + "copies";
    fs::create_directories(copies);
    const std::string output = FOut + "rain and snow.CSV";  // blanks in the name
    std::ofstream(output) << "x\n";
    auto host = std::make_shared<TJobHost>(FLog, FLoop, nullptr);
    TWorkThread job(host, TJobSettings{FDir.Dir(), {}, false, 300ms});

    // The file arrives as one argument, however many blanks it holds.
    job.RunAfterPrograms("/bin/cp -t '" + copies + "' \"" + output + "\"", output);
    EXPECT_TRUE(fs::exists(copies + "/rain and snow.CSV")) << FMemo.All();
    EXPECT_TRUE(FMemo.FLines.empty()) << FMemo.All();

    // A missing file stops this entry and every later one.
    fs::remove(copies + "/rain and snow.CSV");
    job.RunAfterPrograms("/bin/true \"/no/such file\", /bin/cp -t '" + copies + "' \"" + output + "\"", output);
    EXPECT_EQ(FMemo.FLines, std::vector<std::string>{"Error 1706: Run file /no/such file does not exist."});
    EXPECT_FALSE(fs::exists(copies + "/rain and snow.CSV"));

    // A failing program is reported, and the next entry still runs.
    FMemo.FLines.clear();
    job.RunAfterPrograms("/bin/false \"" + output + "\",/bin/cp -t '" + copies + "' \"" + output + "\"", output);
    EXPECT_EQ(FMemo.FLines, std::vector<std::string>{"Error 1707: Error running program /bin/false ."});
    EXPECT_TRUE(fs::exists(copies + "/rain and snow.CSV"));

    // A program that outlives the wait goes on by itself.
    FMemo.FLines.clear();
    const auto start = std::chrono::steady_clock::now();
    job.RunAfterPrograms("/bin/sh -c 'sleep 3' \"" + output + "\"", output);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_TRUE(FMemo.FLines.empty()) << FMemo.All();
}

// The editor deletes a group whose job is running and numbers a new group
// like it: the job's end touches neither the deleted group nor the new one.
TEST_F(Jobs, JobOfADeletedGroupHandsItsRunStateToNoGroup) {
    FClock.Set(At(2024, 3, 7, 5, 59, 59));
    auto g = DailyGroup(3, "03/06/2024 00:00:00");
    g->AfterRun = "/bin/sh -c 'sleep 1' \"" + FOut + "rain 2024-03-06.CSV\"";
    FGroups.Add(std::move(g));
    auto s = MakeScheduler(nullptr);
    s->RebuildRunQueue();
    FClock.Set(At(2024, 3, 7, 6, 0, 1));
    s->tmrRunReportTimer();
    ASSERT_EQ(s->RunningJobCount(), 1);
    ASSERT_TRUE(FLoop.RunUntil([&] { return FMemo.Has("Now ready to run the report."); }));

    s->RemoveGroup(FGroups.Items(0));
    FGroups.Delete(0);
    auto fresh = DailyGroup(3, "03/01/2024 00:00:00");
    fresh->Enabled = false;  // kept out of the queue, so only a wrong hand-over could move it
    FGroups.Add(std::move(fresh));
    ASSERT_TRUE(FLoop.RunUntil([&] { return s->RunningJobCount() == 0; })) << FMemo.All();

    EXPECT_TRUE(fs::exists(FOut + "rain 2024-03-07.CSV")) << FMemo.All();
    EXPECT_EQ(FGroups.Items(0).StartFrom, "03/01/2024 00:00:00");
    EXPECT_EQ(s->RunQueue().Count(), 0);
    EXPECT_EQ(s->NextGroup(), nullptr);
}

// At exit the jobs are asked to stop: one that ends within the wait has its
// period saved; one that does not is left behind and ends harmlessly after
// the scheduler, its status log and its loop are gone.
TEST_F(Jobs, ShutdownWaitsABoundedTime) {
    FClock.Set(At(2024, 3, 7, 5, 59, 59));
    auto g = DailyGroup(5, "03/05/2024 00:00:00");
    g->AfterRun = "/bin/sh -c 'sleep 1' \"" + FOut + "rain 2024-03-05.CSV\"";
    FGroups.Add(std::move(g));
    TScheduleFile file(FDir.Dir() + TScheduleFile::kFileName, FGroups, FCatalog, [](const std::string&) {});
    file.Open();
    {
        auto s = std::make_unique<TScheduler>(FGroups, &file, FLog, FConnection, FLoop, &FView,
                                              TSchedulerOptions{FDir.Dir(), false, 5000ms});
        s->RebuildRunQueue();
        FClock.Set(At(2024, 3, 7, 6, 0, 1));
        s->tmrRunReportTimer();
        ASSERT_EQ(s->RunningJobCount(), 1);
        // Stopped while its first report runs (its after-run program sleeps).
        ASSERT_TRUE(FLoop.RunUntil([&] { return FMemo.Has("Now ready to run the report."); }));
        EXPECT_TRUE(s->Shutdown(10s));
        EXPECT_EQ(s->LiveThreads(), 0);
    }
    EXPECT_EQ(FGroups.Items(0).StartFrom, "03/06/2024 00:00:00");
    EXPECT_NE(ReadFile(file.FileName()).find("StartFrom=03/06/2024 00:00:00"), std::string::npos);

    std::shared_ptr<TJobHost> host;
    {
        auto log = std::make_unique<TStatusLog>();
        TStatusLog* logPtr = log.get();
        auto loop = std::make_unique<test::TTestLoop>(logPtr);
        test::TTestMemo memo;
        log->Attach(&memo, loop.get());
        log->SetDetailLevel(dlHigh);
        TVidUduzadevGroups groups;
        auto late = DailyGroup(6, "03/06/2024 00:00:00");
        late->AfterRun = "/bin/sh -c 'sleep 1' \"" + FOut + "rain 2024-03-06.CSV\"";
        groups.Add(std::move(late));
        auto s = std::make_unique<TScheduler>(groups, nullptr, *log, FConnection, *loop, nullptr,
                                              TSchedulerOptions{FDir.Dir(), false, 5000ms});
        FClock.Set(At(2024, 3, 7, 5, 59, 59));
        s->RebuildRunQueue();
        FClock.Set(At(2024, 3, 7, 6, 0, 1));
        s->tmrRunReportTimer();
        ASSERT_EQ(s->RunningJobCount(), 1);
        ASSERT_TRUE(loop->RunUntil([&] { return memo.Has("Now ready to run the report."); }));
        EXPECT_FALSE(s->Shutdown(100ms));
        host = s->Host();
        s.reset();
        log.reset();
        loop.reset();
    }
    EXPECT_TRUE(host->WaitForThreads(30s));
}

}  // namespace
}  // namespace mv
