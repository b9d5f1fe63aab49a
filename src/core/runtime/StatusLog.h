#pragma once
// The status log: time-stamped one-line messages from any thread, shown
// newest first in the main window's memo and, while logging is on, appended
// to a log file.
//
// Posting (PostStatus) is allowed on every thread. Everything else runs on
// the main thread, which is the thread that created the TStatusLog. The
// window plugs in three things it owns: the memo (IStatusMemo), a way to run
// DrainStatus() on its event loop (IStatusWaker) and, for "&Log Status
// Messages", its file-save dialog (ILogFileDialog). A headless program can
// do without a memo and echo every line to standard error instead
// (SetEcho).
//
// A poster on another thread waits until the main thread has drained its
// message, but never longer than the post wait (1000 ms): a busy main thread
// slows jobs down a little and never stalls them. A message whose drain did
// not happen in time stays queued and is shown by a later drain; messages
// always appear in the order they were posted.
//
// Lifetime: the log must outlive every thread that may post to it. The
// window calls Detach() when it goes away; from then on posters no longer
// wait and nothing touches the memo, so a job that ends late is harmless as
// long as the TStatusLog itself still exists.

#include "core/runtime/StatusMessages.h"
#include "core/runtime/ThreadSafeStrings.h"
#include "core/timing/DateTime.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

namespace mv {

// A log file that cannot be opened; the message names the file and the
// system's reason.
class EStatusLogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The window's status memo, newest line first. Called on the main thread only.
class IStatusMemo {
public:
    virtual ~IStatusMemo() = default;
    virtual int LineCount() const = 0;
    // Removes the `count` bottom lines (the oldest), 0 < count <= LineCount().
    virtual void DeleteLastLines(int count) = 0;
    virtual void InsertFirstLine(const std::string& line) = 0;
    // Caret to the start of the text, scrolled into view.
    virtual void ShowFirstLine() = 0;
};

// Asks the main thread to call TStatusLog::DrainStatus() soon. Called from
// any thread; must return without waiting for the main thread (the Qt
// window queues a call onto its event loop).
class IStatusWaker {
public:
    virtual ~IStatusWaker() = default;
    virtual void RequestDrain() = 0;
};

// The window's file-save dialog for the log file. Main thread only.
class ILogFileDialog {
public:
    virtual ~ILogFileDialog() = default;
    virtual std::string InitialDir() const = 0;
    virtual void SetInitialDir(const std::string& dir) = 0;
    // Shows the dialog; the chosen file name, or nullopt when cancelled.
    // `filter` lists "caption|pattern" pairs joined by "|".
    virtual std::optional<std::string> Execute(std::string_view title, std::string_view filter,
                                               std::string_view defaultExt) = 0;
};

inline constexpr std::chrono::milliseconds kStatusPostWait{1000};
inline constexpr int kMemoCutAt = 640;      // a drain that finds this many lines or more ...
inline constexpr int kMemoKeepLines = 511;  // ... cuts the memo down to this many first
inline constexpr std::string_view kLogDialogTitle = "Log Status Messages";
inline constexpr std::string_view kLogDialogFilter = "Log Files|*.log|All Files|*.*";
inline constexpr std::string_view kLogDialogDefaultExt = "log";

class TStatusLog {
public:
    // The calling thread becomes the main thread.
    explicit TStatusLog(std::chrono::milliseconds postWait = kStatusPostWait);
    ~TStatusLog();  // Detach() and StopLogging()
    TStatusLog(const TStatusLog&) = delete;
    TStatusLog& operator=(const TStatusLog&) = delete;

    // Main thread. Either may be null (no memo: lines go only to the log
    // file and the echo; no waker: posters do not wait). Attach before the
    // first message is posted, or the memo misses what was drained before.
    void Attach(IStatusMemo* memo, IStatusWaker* waker);
    // Main thread. The window is going away: waiting posters are released
    // and later posts only queue their text.
    void Detach();

    // Any thread. An empty text is ignored. On the main thread the message
    // is drained at once, inside this call.
    void PostStatus(std::string_view text);
    // Any thread: posts `text` only when the detail level shows progress.
    void PostProgress(std::string_view text);

    // Main thread: moves every waiting message into the memo, the log file
    // and the echo. Never throws; a message not yet taken when something
    // fails stays queued for the next drain.
    void DrainStatus();

    // The detail level (TDetailLevel); read by posters on any thread.
    void SetDetailLevel(int level) { FDetailLevel.store(level, std::memory_order_relaxed); }
    int DetailLevel() const { return FDetailLevel.load(std::memory_order_relaxed); }
    bool ShowsProgress() const { return mv::ShowsProgress(DetailLevel()); }

    // Main thread. Logging is off at start.
    bool Logging() const { return FLogging; }
    // "&Log Status Messages": StopLogging() when logging, else StartLogging().
    void ToggleLogging(ILogFileDialog& dialog, const std::string& appDir);
    // Asks for a file (the dialog opens in `appDir` the first time) and logs
    // to it, appending when it exists. Cancel or a file that cannot be opened
    // leave logging off, silently.
    void StartLogging(ILogFileDialog& dialog, const std::string& appDir);
    // Logs to `fileName` without a dialog, appending when it exists; throws
    // EStatusLogError (logging stays off) when it cannot be opened.
    void OpenLogFile(const std::string& fileName);
    // Flushes and closes the log file; never throws; logging is off after.
    void StopLogging();

    // Main thread. Called with every shown line (time stamp included) at each
    // drain; exceptions from it are swallowed. Empty function: no echo.
    void SetEcho(std::function<void(const std::string& line)> echo);
    // An echo that writes each line to standard error.
    static std::function<void(const std::string& line)> StdErrEcho();

    // The queue itself (FStatusMessages).
    TThreadSafeStrings& Messages() { return FMessages; }
    bool IsMainThread() const { return std::this_thread::get_id() == FMainThread; }

    // "<time stamp>    <text>": the moment as "mm/dd/yyyy hh:nn:ss" (the
    // time left out at exactly midnight), four blanks, the text.
    static std::string ShownLine(TDateTime dateTime, std::string_view text);

private:
    struct TFileCloser {
        void operator()(std::FILE* f) const;
    };

    const std::thread::id FMainThread;
    const std::chrono::milliseconds FPostWait;
    TThreadSafeStrings FMessages;
    std::atomic<int> FDetailLevel{dlMedium};

    // Posters and the drain meet here.
    std::mutex FWaitLock;
    std::condition_variable FDrained;
    IStatusWaker* FWaker = nullptr;     // guarded by FWaitLock
    bool FDrainRequested = false;       // guarded by FWaitLock; a drain is asked for and not begun
    std::uint64_t FDrainedSerial = 0;   // guarded by FWaitLock; every message up to it is taken

    // Main thread only.
    IStatusMemo* FMemo = nullptr;
    bool FDraining = false;
    bool FLogging = false;
    std::unique_ptr<std::FILE, TFileCloser> FLogFile;
    std::function<void(const std::string&)> FEcho;
};

}  // namespace mv
