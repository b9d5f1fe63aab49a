// Soak run of the scheduler on the real clock: many groups with one-minute
// free intervals, each exporting a report of the demo database every minute.
// At the end every period must have been produced exactly once, without an
// error, and the process must not have grown in threads, descriptors or
// memory.
//
//   bench_runtime_soak [--minutes 30] [--groups 50] [--engine librpeng32.so]
//
// Needs the demo data source MVDEMO: run with ODBCSYSINI/ODBCINI set (for
// example to the test services' folder, or a folder made by
// scripts/make-demo DIR --end 2024-03-07).
#include "core/runtime/RunTimes.h"
#include "core/runtime/Scheduler.h"
#include "core/runtime/StatusLog.h"
#include "core/timing/Clock.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include <malloc.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TLoop : public mv::IMainLoop, public mv::IStatusWaker {
public:
    mv::TStatusLog* Log = nullptr;
    void Post(std::function<void()> call) override {
        std::lock_guard lock(FLock);
        FCalls.push_back(std::move(call));
        FWake.notify_all();
    }
    void RequestDrain() override {
        Post([this] { Log->DrainStatus(); });
    }
    void RunFor(std::chrono::milliseconds d) {
        const auto end = std::chrono::steady_clock::now() + d;
        while (std::chrono::steady_clock::now() < end) {
            std::function<void()> call;
            {
                std::unique_lock lock(FLock);
                if (FCalls.empty()) FWake.wait_until(lock, end);
                if (FCalls.empty()) continue;
                call = std::move(FCalls.front());
                FCalls.pop_front();
            }
            call();
        }
    }

private:
    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<std::function<void()>> FCalls;
};

struct TSample {
    int Threads = 0, Fds = 0;
    long RssKb = 0;
    long HeapKb = 0;  // allocated and not yet freed (malloc's own count)
};

TSample Sample() {
    TSample s;
    for ([[maybe_unused]] auto& e : fs::directory_iterator("/proc/self/task")) ++s.Threads;
    for ([[maybe_unused]] auto& e : fs::directory_iterator("/proc/self/fd")) ++s.Fds;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) s.RssKb = std::atol(line.c_str() + 6);
    const struct mallinfo2 m = mallinfo2();
    s.HeapKb = static_cast<long>((m.uordblks + m.hblkhd) / 1024);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    int minutes = 30, groupCount = 50;
    std::string engine = RPENG32;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--minutes") minutes = std::atoi(argv[i + 1]);
        else if (a == "--groups") groupCount = std::atoi(argv[i + 1]);
        else if (a == "--engine") engine = argv[i + 1];
    }
    if (!std::getenv("ODBCSYSINI")) {
        std::fprintf(stderr, "ODBCSYSINI is not set: point it at a folder with the MVDEMO data source\n");
        return 2;
    }
    setenv("MV_RPENG_LIBRARY", engine.c_str(), 1);
    char tmpl[] = "/tmp/mv-soak-XXXXXX";
    const std::string dir = std::string(mkdtemp(tmpl)) + "/";

    mv::TStatusLog log;
    TLoop loop;
    loop.Log = &log;
    // Times each output file was named, by group and minute: sized up front,
    // so that the bookkeeping allocates nothing while the heap is watched.
    const mv::TDateTime firstPeriod = std::floor(mv::Now() * 1440) / 1440;  // this minute
    const int slots = minutes + 4;
    std::vector<int> posted(static_cast<std::size_t>((groupCount + 1) * slots), 0);
    int errors = 0, strays = 0;
    struct TMemo : mv::IStatusMemo {
        std::vector<int>* Posted;
        int* Errors;
        int* Strays;
        int Slots = 0;
        mv::TDateTime First = 0;
        std::string Dir;
        int LineCount() const override { return 0; }
        void DeleteLastLines(int) override {}
        void InsertFirstLine(const std::string& line) override {
            const std::string text = line.substr(line.find("    ") + 4);
            if (text.rfind("File Name: ", 0) == 0) {
                // "<dir>g<group> yyyymmdd hhnn.CSV"
                int group = 0, y = 0, mo = 0, d = 0, h = 0, mi = 0;
                const std::string name = text.substr(11);
                if (name.rfind(Dir, 0) == 0 &&
                    std::sscanf(name.c_str() + Dir.size(), "g%d %4d%2d%2d %2d%2d.CSV", &group, &y, &mo, &d, &h, &mi) == 6) {
                    const mv::TDateTime t = mv::EncodeDateTime(y, mo, d, h, mi, 0, 0);
                    const long slot = std::lround((t - First) * 1440);
                    if (group >= 1 && static_cast<std::size_t>(group) * Slots + slot < Posted->size() && slot >= 0 &&
                        slot < Slots)
                        ++(*Posted)[static_cast<std::size_t>(group * Slots + slot)];
                    else
                        ++*Strays;
                } else {
                    ++*Strays;
                }
            }
            if (text.rfind("Error", 0) == 0) {
                ++*Errors;
                std::fprintf(stderr, "%s\n", line.c_str());
            }
        }
        void ShowFirstLine() override {}
    } memo;
    memo.Posted = &posted;
    memo.Errors = &errors;
    memo.Strays = &strays;
    memo.Slots = slots;
    memo.First = firstPeriod;
    memo.Dir = dir;
    log.Attach(&memo, &loop);
    log.SetDetailLevel(mv::dlHigh);

    mv::TConnectionValues connection;
    connection.Set({"MVDEMO", "", ""});
    mv::TVidUduzadevGroups groups;
    for (int i = 1; i <= groupCount; ++i) {
        auto g = std::make_unique<mv::TVidUduzadevGroupItem>();
        g->RGIndex = i;
        g->Enabled = true;
        g->Report.Title = "Period counts";
        g->Report.FileName = MV_SOURCE_DIR "/tests/data/runtime/period_counts.xml";
        g->Report.TimeRange = true;
        g->IntType = 6;
        g->Interval = 1.0 / 1440;
        g->BaseTime = 0;
        g->StartFrom = mv::FormatDateTime(mv::kStartFromPattern, firstPeriod);
        g->TimeFrom = g->TimeTo = "As Entered Below:";
        g->AbsTimeFrom = mv::EncodeDate(2024, 3, 6);
        g->AbsTimeTo = mv::EncodeDate(2024, 3, 7);
        g->OtherParams = {"Sensor=RAIN"};
        g->SpecialParams = {"pReportTime"};
        g->Output = 2;
        g->OutputFormat = 4;
        g->OutputDir = dir;
        g->OutputName = "g" + std::to_string(i) + " yyyymmdd hhmi";
        groups.Add(std::move(g));
    }
    mv::TScheduler scheduler(groups, nullptr, log, connection, loop, nullptr, mv::TSchedulerOptions{dir, false, 5000ms});
    scheduler.RebuildRunQueue();

    const TSample before = Sample();
    std::printf("minute threads fds rss_kb heap_kb\n");
    const auto start = std::chrono::steady_clock::now();
    TSample peak = before;
    for (int m = 1; m <= minutes; ++m) {
        for (int s = 0; s < 60; ++s) {
            scheduler.tmrRunReportTimer();
            loop.RunFor(1000ms);
        }
        const TSample x = Sample();
        peak.Threads = std::max(peak.Threads, x.Threads);
        peak.Fds = std::max(peak.Fds, x.Fds);
        peak.RssKb = std::max(peak.RssKb, x.RssKb);
        peak.HeapKb = std::max(peak.HeapKb, x.HeapKb);
        std::printf("%6d %7d %3d %6ld %7ld\n", m, x.Threads, x.Fds, x.RssKb, x.HeapKb);
        std::fflush(stdout);
    }
    // Let running jobs end, then check every group's periods.
    while (scheduler.RunningJobCount() > 0 && std::chrono::steady_clock::now() - start < std::chrono::minutes(minutes + 2))
        loop.RunFor(100ms);
    const TSample after = Sample();

    int missing = 0, duplicates = 0, produced = 0;
    for (int i = 0; i < groups.Count(); ++i) {
        const mv::TVidUduzadevGroupItem& g = groups.Items(i);
        const mv::TDateTime end = mv::StartFromToDateTime(g.StartFrom, 0);
        int slot = 0;
        for (mv::TDateTime p = firstPeriod; p < end - 1e-7; p = std::round((p + 1.0 / 1440) * 86400) / 86400, ++slot) {
            const std::string name = dir + "g" + std::to_string(g.RGIndex) + " " + mv::FormatDateTime("yyyymmdd hhnn", p) + ".CSV";
            const int times = slot < slots ? posted[static_cast<std::size_t>(g.RGIndex * slots + slot)] : 0;
            if (times == 0 || !fs::exists(name)) ++missing;
            if (times > 1) ++duplicates;
            ++produced;
        }
    }
    std::printf("groups %d, minutes %d: %d periods produced, %d missing, %d repeated, %d errors, %d unexpected files\n",
                groupCount, minutes, produced, missing, duplicates, errors, strays);
    std::printf("threads %d -> %d (peak %d), fds %d -> %d (peak %d), rss %ld kB -> %ld kB (peak %ld kB), "
                "heap in use %ld kB -> %ld kB (peak at a minute's end %ld kB)\n",
                before.Threads, after.Threads, peak.Threads, before.Fds, after.Fds, peak.Fds, before.RssKb,
                after.RssKb, peak.RssKb, before.HeapKb, after.HeapKb, peak.HeapKb);
    scheduler.Shutdown(10s);
    log.Detach();
    fs::remove_all(dir);
    return missing == 0 && duplicates == 0 && errors == 0 && strays == 0 ? 0 : 1;
}
