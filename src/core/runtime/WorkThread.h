#pragma once
// A report job: one group's report, on a thread of its own, once for every
// period from the group's PeriodStart up to the moment the job started.
//
// The job works on its own copy of the group and its own engine binding.
// It reaches the rest of the program only through its TJobHost: status
// messages and, when its work is over, the end call that the host queues
// onto the main loop. The host outlives the scheduler, so a job that ends
// after the window has gone finds a detached host and touches nothing else.

#include "core/db/ConnectionValues.h"
#include "core/runtime/MainLoop.h"
#include "core/schedule/ScheduleDataDef.h"
#include "platform/process/Process.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>

namespace mv {

class TRpe;
class TStatusLog;
class TWorkThread;

// What jobs share with the main thread. Created by the scheduler, kept
// alive by every job that still runs.
class TJobHost : public std::enable_shared_from_this<TJobHost> {
public:
    using TFinisher = std::function<void(TWorkThread&)>;

    // `advanced` (may be empty) runs on the main thread after a job has
    // delivered a period (TWorkThread::LastDelivered has moved on).
    TJobHost(TStatusLog& log, IMainLoop& loop, TFinisher finisher, TFinisher advanced = {});

    // Any thread; nothing happens after Detach().
    void PostStatus(std::string_view text);
    bool ShowsProgress();
    // Job thread, as its last act: queues the finisher for `job` onto the
    // main loop.
    void JobEnded(const std::shared_ptr<TWorkThread>& job);
    // Job thread, after each delivered period: queues the `advanced` call.
    void PeriodDelivered(const std::shared_ptr<TWorkThread>& job);

    // Main thread: a job thread is about to start / has ended.
    void ThreadStarting();
    void ThreadEnded();
    int LiveThreads();
    // Main thread: waits until no job thread is left, at most `wait`.
    bool WaitForThreads(std::chrono::milliseconds wait);
    // Main thread: from now on posts are dropped and queued end calls do
    // nothing. A poster inside PostStatus is waited for (at most the
    // status log's post wait).
    void Detach();

private:
    void Deliver(const std::shared_ptr<TWorkThread>& job, TFinisher TJobHost::*call);

    std::shared_mutex FLock;  // guards the four members below
    TStatusLog* FLog;
    IMainLoop* FLoop;
    TFinisher FFinisher;
    TFinisher FAdvanced;

    std::mutex FThreadsLock;
    std::condition_variable FThreadsGone;
    int FLiveThreads = 0;
};

struct TJobSettings {
    std::string AppDir;                // with a trailing "/"
    TConnectionSettings Connection;    // copied when the job is created
    bool Debug = false;                // post each report's SQL ("/debug")
    std::chrono::milliseconds ProgramWait = kProgramWait;  // per after-run program
};

// A group with Output 0 has no destination the scheduler can serve: the
// engine's preview needs an operator at a screen.
inline constexpr std::string_view kNoOutputMessage =
    " has no output chosen (printer or file); a preview cannot be shown by the scheduler. "
    "Choose printer or file output in the group editor.";

// Where a job stands after a delivered period: the group's next period.
struct TDeliveredPeriod {
    std::string StartFrom;
    TDateTime PeriodStart = 0;
};

class TWorkThread : public std::enable_shared_from_this<TWorkThread> {
public:
    TWorkThread(std::shared_ptr<TJobHost> host, TJobSettings settings);
    ~TWorkThread();
    TWorkThread(const TWorkThread&) = delete;
    TWorkThread& operator=(const TWorkThread&) = delete;

    // The job's copy of its group: filled (Assign) before Start(), read by
    // the main thread only once the work is over.
    TVidUduzadevGroupItem& Group() { return FGroup; }

    // Starts the thread (detached): the thread body, then the host's end
    // call. Throws std::system_error when no thread can be created.
    void Start();
    // "Stop &Process": the job finishes the report that is running and
    // stops before the next one.
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }
    // The thread body has returned (the group copy is final).
    bool Finished() const { return FFinished.load(std::memory_order_acquire); }
    // Any thread: the group's next period after the last report this job
    // delivered (with its after-run programs); nullopt before the first.
    std::optional<TDeliveredPeriod> LastDelivered() const;

    // The thread body: start and stop messages around RunJob with its own
    // binding. Public so that tests can run a job on their own thread.
    void Execute();
    // Every period due, with the binding `rpe`.
    void RunJob(TRpe& rpe);
    // The after-run programs of one report; outputFile empty for a print.
    void RunAfterPrograms(const std::string& programs, const std::string& outputFile);

private:
    enum class TParamResult { Done, LeaveLoop, EndJob };
    void Post(std::string_view text);
    void Progress(std::string_view prefix);
    std::string FindReportFile() const;
    TParamResult FillParameters(TRpe& rpe);

    std::shared_ptr<TJobHost> FHost;
    const TJobSettings FSettings;
    TVidUduzadevGroupItem FGroup;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    mutable std::mutex FDeliveredLock;
    std::optional<TDeliveredPeriod> FDelivered;
};

}  // namespace mv
