#include "core/runtime/Scheduler.h"

#include "core/runtime/RunTimes.h"
#include "core/runtime/StatusLog.h"
#include "core/runtime/StatusMessages.h"
#include "core/schedule/ScheduleFile.h"
#include "core/timing/Clock.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace mv {

namespace {
constexpr std::string_view kError1700 = "Error 1700: ";

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// Times that do not fit the time scale: reported, and the group is queued
// at the end as never due instead of firing at a wrapped-around time.
void EvaluateOrPark(TVidUduzadevGroupItem& g, TStatusLog& log) {
    try {
        EvaluateStartFrom(g);
    } catch (const std::exception& e) {
        g.NextRun = -1;
        log.PostStatus(std::string(kError1700) + "Group " + std::to_string(g.RGIndex) + ": " + e.what());
    }
}
}  // namespace

TScheduler::TScheduler(TVidUduzadevGroups& groups, TScheduleFile* scheduleFile, TStatusLog& log,
                       const TConnectionValues& connection, IMainLoop& loop, ISchedulerView* view,
                       TSchedulerOptions options)
    : FScheduleGroups(groups),
      FScheduleFile(scheduleFile),
      FLog(log),
      FConnection(connection),
      FView(view),
      FOptions(std::move(options)),
      FHost(std::make_shared<TJobHost>(
          log, loop, [this](TWorkThread& job) { JobFinished(job); },
          [this](TWorkThread& job) { PeriodDelivered(job); })) {}

TScheduler::~TScheduler() {
    if (!FShutDown) Shutdown(kJobStopWait);
}

void TScheduler::Post(std::string_view text) { FLog.PostStatus(text); }

void TScheduler::RebuildRunQueue() {
    BuildRunQueue();
    FNextGroup = FRunQueue.DeleteMin();
    ShowNextGroup();
}

void TScheduler::BuildRunQueue() {
    try {
        std::unordered_set<const TVidUduzadevGroupItem*> waiting(FRunQueue.Items().begin(), FRunQueue.Items().end());
        if (FNextGroup) waiting.insert(FNextGroup);
        FRunQueue.Clear();
        for (int i = 0; i < FScheduleGroups.Count(); ++i) {
            TVidUduzadevGroupItem& g = FScheduleGroups.Items(i);
            // A running group comes back when its job ends, with the job's
            // run state; queued now, its due time would change under the queue.
            if (!g.Enabled || g.Running) continue;
            if (waiting.count(&g) && g.NextRun > 0 && g.EvaluatedFrom == g.StartFrom &&
                IsStartFromKeyword(g.StartFrom) && !SameText(g.StartFrom, "Now")) {
                // A waiting group keeps the period its keyword gave: read
                // again after midnight, "Today" would skip the day it meant.
                try {
                    ComputeRunTimes(g, true);
                } catch (const std::exception&) {
                    EvaluateOrPark(g, FLog);
                }
            } else {
                EvaluateOrPark(g, FLog);
            }
            FRunQueue.Insert(g);
        }
    } catch (const std::exception& e) {
        Post(std::string(kError1700) + e.what());
    }
}

void TScheduler::ShowNextGroup() {
    if (!FView) return;
    if (FNextGroup)
        FView->ShowNextGroup(std::to_string(FNextGroup->RGIndex),
                             FormatDateTime(kStartFromPattern, DueTime(*FNextGroup)));
    else
        FView->ShowNextGroup(kNextGroupDisabled, kNextGroupDisabled);
}

void TScheduler::tmrRunReportTimer() {
    if (FTimerBusy || FShutDown) return;
    FTimerBusy = true;
    try {
        const TDateTime now = Now();
        if (FNextGroup && FNextGroup->NextRun > 0 && DueTime(*FNextGroup) <= now) {
            StartGroupJob(*FNextGroup);
            FNextGroup = FRunQueue.DeleteMin();
            ShowNextGroup();
        }
    } catch (...) {
    }
    FTimerBusy = false;
}

void TScheduler::StartGroupJob(TVidUduzadevGroupItem& group) {
    try {
        if (group.Running) return;
        if (!group.Enabled) {
            Post("Error 1705: Report not enabled.");
            return;
        }
        // A keyword start that names a due period is held as that period's
        // date from now on, and saved: read again after a crash or an exit
        // during this job, it would name a later period.
        if (IsStartFromKeyword(group.StartFrom) && group.Period > 0 && group.PeriodStart <= Now()) {
            group.StartFrom = FormatDateTime(kStartFromPattern, group.PeriodStart);
            group.EvaluatedFrom = group.StartFrom;
            if (FScheduleFile) FScheduleFile->SaveScheduleFile();
        }
        TJobSettings settings{FOptions.AppDir, FConnection.Get(), FOptions.Debug, FOptions.ProgramWait};
        auto job = std::make_shared<TWorkThread>(FHost, std::move(settings));
        job->Group().Assign(group);
        group.Running = true;
        FJobStartFrom[job.get()] = group.StartFrom;
        try {
            job->Start();
        } catch (...) {
            group.Running = false;
            FJobStartFrom.erase(job.get());
            throw;
        }
        FRunningJobs.push_back(std::move(job));
    } catch (const std::exception& e) {
        Post(std::string("Error Thread: ") + e.what());
    }
}

void TScheduler::StartProcessNow(IStartNowDialog& dialog) {
    try {
        std::vector<std::string> lines;
        for (int i = 0; i < FScheduleGroups.Count(); ++i)
            lines.push_back(std::to_string(FScheduleGroups.Items(i).RGIndex));
        std::optional<std::vector<int>> selected = dialog.Execute(lines);
        if (!selected) return;
        std::sort(selected->begin(), selected->end());
        for (int i : *selected) {
            if (i < 0 || i >= FScheduleGroups.Count()) continue;
            TVidUduzadevGroupItem& g = FScheduleGroups.Items(i);
            if (!g.Enabled) continue;
            // A running group stays where it is: starting it would be refused anyway.
            if (g.Running) continue;
            if (&g == FNextGroup) {
                FNextGroup = FRunQueue.DeleteMin();
                ShowNextGroup();
            } else {
                FRunQueue.Remove(g);
            }
            StartGroupJob(g);
        }
    } catch (const std::exception& e) {
        Post(std::string(kError1700) + e.what());
    }
}

void TScheduler::StopProcess() {
    for (auto it = FRunningJobs.rbegin(); it != FRunningJobs.rend(); ++it)
        if (!(*it)->Terminated()) (*it)->Terminate();
}

void TScheduler::JobFinished(TWorkThread& job) {
    try {
        auto it = std::find_if(FRunningJobs.begin(), FRunningJobs.end(),
                               [&](const std::shared_ptr<TWorkThread>& j) { return j.get() == &job; });
        if (it == FRunningJobs.end()) return;
        const std::shared_ptr<TWorkThread> keep = *it;
        FRunningJobs.erase(it);
        if (FNextGroup) {
            FRunQueue.Insert(*FNextGroup);
            FNextGroup = nullptr;
        }
        const TVidUduzadevGroupItem& c = job.Group();
        const auto orphan = std::find(FOrphanedJobs.begin(), FOrphanedJobs.end(), &job);
        const bool orphaned = orphan != FOrphanedJobs.end();
        if (orphaned) FOrphanedJobs.erase(orphan);
        const auto written = FJobStartFrom.find(&job);
        const std::string jobStartFrom = written == FJobStartFrom.end() ? c.StartFrom : written->second;
        if (written != FJobStartFrom.end()) FJobStartFrom.erase(written);
        if (c.Enabled && !orphaned) {
            try {
                if (TVidUduzadevGroupItem* found = GroupOf(c.RGIndex)) {
                    TVidUduzadevGroupItem& g = *found;
                    // Its times are about to change: out of the queue first.
                    FRunQueue.Remove(g);
                    // A start the operator set in the editor while the job ran
                    // stands; otherwise the group continues where the job ended.
                    if (g.StartFrom == jobStartFrom) {
                        g.StartFrom = c.StartFrom;
                        g.PeriodStart = c.PeriodStart;
                        g.NextRun = c.NextRun;
                        g.CatchUpRun = c.CatchUpRun;
                        g.EvaluatedFrom = c.EvaluatedFrom;
                        // A keyword start whose period was due but not delivered
                        // (the job failed or was stopped) is held at that period:
                        // read again later, it would name a later one.
                        if (IsStartFromKeyword(g.StartFrom) && c.Period > 0 && c.PeriodStart <= Now())
                            g.StartFrom = FormatDateTime(kStartFromPattern, c.PeriodStart);
                    }
                    ApplyStartFromRule(g);
                    EvaluateOrPark(g, FLog);
                    g.Running = false;
                    // Disabled in the editor while its job ran: it waits for no start.
                    if (g.Enabled) FRunQueue.Insert(g);
                }
            } catch (...) {
            }
        }
        // The advanced period start goes to disk before any further job
        // starts, so a crash never makes the delivered reports run again.
        if (FScheduleFile) FScheduleFile->SaveScheduleFile();
        FNextGroup = FRunQueue.DeleteMin();
        ShowNextGroup();
        if (FLog.ShowsProgress())
            Post(GroupStatusText(kProgressThreadFreed, c.RGIndex, c.Report.Title));
    } catch (...) {
    }
}

TVidUduzadevGroupItem* TScheduler::GroupOf(int rgIndex) {
    for (int i = 0; i < FScheduleGroups.Count(); ++i)
        if (FScheduleGroups.Items(i).RGIndex == rgIndex) return &FScheduleGroups.Items(i);
    return nullptr;
}

void TScheduler::PeriodDelivered(TWorkThread& job) {
    try {
        if (std::find_if(FRunningJobs.begin(), FRunningJobs.end(),
                         [&](const std::shared_ptr<TWorkThread>& j) { return j.get() == &job; }) == FRunningJobs.end())
            return;
        if (TakeDeliveredPeriod(job) && FScheduleFile) FScheduleFile->SaveScheduleFile();
    } catch (const std::exception& e) {
        Post(std::string(kError1700) + e.what());
    }
}

bool TScheduler::TakeDeliveredPeriod(TWorkThread& job) {
    const std::optional<TDeliveredPeriod> d = job.LastDelivered();
    if (!d || std::find(FOrphanedJobs.begin(), FOrphanedJobs.end(), &job) != FOrphanedJobs.end()) return false;
    auto written = FJobStartFrom.find(&job);
    TVidUduzadevGroupItem* g = GroupOf(job.Group().RGIndex);
    if (written == FJobStartFrom.end() || !g || g->StartFrom != written->second) return false;
    // Several deliveries queued behind a slow save are taken by the first:
    // the rest find nothing new and cost no save.
    if (g->StartFrom == d->StartFrom) return false;
    // Only the text and the period start: the group is not queued while
    // its job runs, and its times are computed when the job ends.
    g->StartFrom = d->StartFrom;
    g->PeriodStart = d->PeriodStart;
    written->second = d->StartFrom;
    return true;
}

void TScheduler::RemoveGroup(const TVidUduzadevGroupItem& group) {
    // Group numbers are unique in the container, so a running job of this
    // group is the one with its number.
    if (group.Running)
        for (const auto& j : FRunningJobs)
            if (j->Group().RGIndex == group.RGIndex &&
                std::find(FOrphanedJobs.begin(), FOrphanedJobs.end(), j.get()) == FOrphanedJobs.end())
                FOrphanedJobs.push_back(j.get());
    FRunQueue.Remove(group);
    if (FNextGroup == &group) {
        FNextGroup = FRunQueue.DeleteMin();
        ShowNextGroup();
    }
}

bool TScheduler::Shutdown(std::chrono::milliseconds wait) {
    if (FShutDown) return FHost->LiveThreads() == 0;
    StopProcess();
    // The main loop does not turn while we wait here, so drain the status
    // messages ourselves: a job posting one would otherwise wait for it.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool allEnded = false;
    for (;;) {
        FLog.DrainStatus();
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            allEnded = FHost->LiveThreads() == 0;
            break;
        }
        const auto slice = std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20));
        if (FHost->WaitForThreads(std::chrono::duration_cast<std::chrono::milliseconds>(slice) +
                                  std::chrono::milliseconds(1))) {
            allEnded = true;
            break;
        }
    }
    FLog.DrainStatus();
    // Jobs that ended while we waited: their end calls are still queued on
    // the main loop, which no longer runs. Take their run state now.
    std::vector<std::shared_ptr<TWorkThread>> ended;
    for (const auto& job : FRunningJobs)
        if (job->Finished()) ended.push_back(job);
    for (const auto& job : ended) JobFinished(*job);
    // Jobs left running keep the reports they delivered: their groups
    // continue after the last of them when the schedule is saved.
    for (const auto& job : FRunningJobs) TakeDeliveredPeriod(*job);
    FHost->Detach();
    FShutDown = true;
    FRunningJobs.clear();
    FRunQueue.Clear();
    FNextGroup = nullptr;
    return allEnded;
}

}  // namespace mv
