#include "core/runtime/Scheduler.h"

#include "core/runtime/RunTimes.h"
#include "core/runtime/StatusLog.h"
#include "core/runtime/StatusMessages.h"
#include "core/schedule/ScheduleFile.h"
#include "core/timing/Clock.h"

#include <algorithm>

namespace mv {

namespace {
constexpr std::string_view kError1700 = "Error 1700: ";

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
      FHost(std::make_shared<TJobHost>(log, loop, [this](TWorkThread& job) { JobFinished(job); })) {}

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
        FRunQueue.Clear();
        for (int i = 0; i < FScheduleGroups.Count(); ++i) {
            TVidUduzadevGroupItem& g = FScheduleGroups.Items(i);
            if (!g.Enabled) continue;
            EvaluateOrPark(g, FLog);
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
        TJobSettings settings{FOptions.AppDir, FConnection.Get(), FOptions.Debug, FOptions.ProgramWait};
        auto job = std::make_shared<TWorkThread>(FHost, std::move(settings));
        job->Group().Assign(group);
        group.Running = true;
        try {
            job->Start();
        } catch (...) {
            group.Running = false;
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
        if (c.Enabled && !orphaned) {
            try {
                for (int i = 0; i < FScheduleGroups.Count(); ++i) {
                    TVidUduzadevGroupItem& g = FScheduleGroups.Items(i);
                    if (g.RGIndex != c.RGIndex) continue;
                    g.StartFrom = c.StartFrom;
                    g.PeriodStart = c.PeriodStart;
                    g.NextRun = c.NextRun;
                    g.CatchUpRun = c.CatchUpRun;
                    ApplyStartFromRule(g);
                    EvaluateOrPark(g, FLog);
                    g.Running = false;
                    FRunQueue.Insert(g);
                    break;
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
    FHost->Detach();
    FShutDown = true;
    FRunningJobs.clear();
    FRunQueue.Clear();
    FNextGroup = nullptr;
    return allEnded;
}

}  // namespace mv
