#pragma once
// The scheduler's main-thread state without a window: the groups, the run
// queue and the group held as next, the run timer's step, the running jobs,
// the start-now and stop actions and the end of every job.
//
// Everything here runs on the main thread (the thread the window lives on),
// except what report jobs do on their own threads (WorkThread.h). The
// window forwards its timer ticks and menu actions to this object and shows
// what it is told through ISchedulerView.

#include "core/db/ConnectionValues.h"
#include "core/runtime/MainLoop.h"
#include "core/runtime/RunQueue.h"
#include "core/runtime/WorkThread.h"
#include "core/schedule/ScheduleDataDef.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mv {

class TScheduleFile;
class TStatusLog;

// The labels "Next Group" and "Next Time".
class ISchedulerView {
public:
    virtual ~ISchedulerView() = default;
    virtual void ShowNextGroup(std::string_view group, std::string_view time) = 0;
};

// The start-now dialog "Groups": one line per group; the indexes of the
// selected lines in ascending order on OK, nullopt on Cancel.
class IStartNowDialog {
public:
    virtual ~IStartNowDialog() = default;
    virtual std::optional<std::vector<int>> Execute(const std::vector<std::string>& lines) = 0;
};

inline constexpr std::string_view kNextGroupDisabled = "Disabled";
// How long the program waits for its running jobs at exit.
inline constexpr std::chrono::milliseconds kJobStopWait{10000};

struct TSchedulerOptions {
    std::string AppDir;    // the executable's folder with a trailing "/"
    bool Debug = false;    // "/debug": jobs post each report's SQL
    std::chrono::milliseconds ProgramWait = kProgramWait;
};

class TScheduler {
public:
    // `scheduleFile` may be null (nothing is saved). Every reference must
    // outlive this object; jobs that outlive it are detached by Shutdown().
    TScheduler(TVidUduzadevGroups& groups, TScheduleFile* scheduleFile, TStatusLog& log,
               const TConnectionValues& connection, IMainLoop& loop, ISchedulerView* view,
               TSchedulerOptions options);
    ~TScheduler();  // Shutdown(kJobStopWait) unless done already
    TScheduler(const TScheduler&) = delete;
    TScheduler& operator=(const TScheduler&) = delete;

    // BuildRunQueue, the head as next group, ShowNextGroup: at start and
    // after the group editor changed groups.
    void RebuildRunQueue();
    // Every enabled group evaluated and queued (once). A group whose times
    // cannot be computed is reported and queued as never due.
    void BuildRunQueue();
    void ShowNextGroup();

    // The run timer's tick (every 1000 ms): starts the next group when due.
    void tmrRunReportTimer();
    // Starts a report job for `group` unless one is running.
    void StartGroupJob(TVidUduzadevGroupItem& group);
    // "&Start Process Now...".
    void StartProcessNow(IStartNowDialog& dialog);
    // "Stop &Process": every running job is asked to stop; no waiting.
    void StopProcess();
    // The end of a job, on the main thread.
    void JobFinished(TWorkThread& job);
    // After a job delivered a period, on the main thread: its group's
    // StartFrom moves on and the schedule file is saved, so that a crash
    // in a long catch-up does not deliver those reports again.
    void PeriodDelivered(TWorkThread& job);
    // Before the editor deletes `group`: it leaves the queue and the next
    // slot, so nothing touches it afterwards; a job still running for it
    // hands its run state to no group when it ends (a new group may be
    // given the same number meanwhile).
    void RemoveGroup(const TVidUduzadevGroupItem& group);

    // At exit: asks the jobs to stop, waits for them at most `wait`, takes
    // the run state of those that ended, saves the schedule file and
    // detaches the rest (their later messages and ends are dropped).
    // True when no job was left running.
    bool Shutdown(std::chrono::milliseconds wait = kJobStopWait);

    TRunQueue& RunQueue() { return FRunQueue; }
    TVidUduzadevGroupItem* NextGroup() const { return FNextGroup; }
    int RunningJobCount() const { return static_cast<int>(FRunningJobs.size()); }
    // Job threads still alive, also those detached by Shutdown.
    int LiveThreads() const { return FHost->LiveThreads(); }
    // The host the jobs share; it outlives this object while jobs run.
    std::shared_ptr<TJobHost> Host() const { return FHost; }

private:
    void Post(std::string_view text);
    TVidUduzadevGroupItem* GroupOf(int rgIndex);
    // Gives the job's group the period after the job's last delivered
    // report, unless the operator set another start meanwhile; true when
    // the group changed.
    bool TakeDeliveredPeriod(TWorkThread& job);

    TVidUduzadevGroups& FScheduleGroups;
    TScheduleFile* FScheduleFile;
    TStatusLog& FLog;
    const TConnectionValues& FConnection;
    ISchedulerView* FView;
    const TSchedulerOptions FOptions;
    std::shared_ptr<TJobHost> FHost;

    TRunQueue FRunQueue;
    TVidUduzadevGroupItem* FNextGroup = nullptr;
    bool FTimerBusy = false;
    std::vector<std::shared_ptr<TWorkThread>> FRunningJobs;
    std::vector<const TWorkThread*> FOrphanedJobs;  // running for a deleted group
    // Per running job: the StartFrom its group had at the start or was last
    // given by the job; any other text was set by the operator meanwhile.
    std::unordered_map<const TWorkThread*, std::string> FJobStartFrom;
    bool FShutDown = false;
};

}  // namespace mv
