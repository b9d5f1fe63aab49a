#include "core/runtime/StatusLog.h"

#include "core/timing/Clock.h"

#include <cerrno>
#include <system_error>

namespace mv {

namespace {
bool IsBlankText(std::string_view s) {
    return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
}
}  // namespace

void TStatusLog::TFileCloser::operator()(std::FILE* f) const { std::fclose(f); }

TStatusLog::TStatusLog(std::chrono::milliseconds postWait)
    : FMainThread(std::this_thread::get_id()), FPostWait(postWait) {}

TStatusLog::~TStatusLog() {
    Detach();
    StopLogging();
}

void TStatusLog::Attach(IStatusMemo* memo, IStatusWaker* waker) {
    FMemo = memo;
    std::lock_guard lock(FWaitLock);
    FWaker = waker;
    FDrainRequested = false;
}

void TStatusLog::Detach() {
    FMemo = nullptr;
    {
        std::lock_guard lock(FWaitLock);
        FWaker = nullptr;
    }
    FDrained.notify_all();
}

void TStatusLog::PostStatus(std::string_view text) {
    if (text.empty()) return;
    const auto serial = FMessages.Add(std::string(text));
    if (IsMainThread()) {
        // Inside a drain already (a memo or echo that posts): the running
        // drain loop takes this message before it returns.
        DrainStatus();
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + FPostWait;
    std::unique_lock lock(FWaitLock);
    if (!FWaker || FDrainedSerial >= serial) return;
    // One request covers every message queued before the drain begins, so
    // many posters do not flood the main loop with wake-ups.
    if (!FDrainRequested) {
        FDrainRequested = true;
        try {
            FWaker->RequestDrain();
        } catch (...) {
            FDrainRequested = false;
            return;
        }
    }
    const bool drained = FDrained.wait_until(
        lock, deadline, [&] { return FDrainedSerial >= serial || FWaker == nullptr; });
    // The main thread is busy or the request went astray: let the next
    // poster ask again.
    if (!drained) FDrainRequested = false;
}

void TStatusLog::PostProgress(std::string_view text) {
    if (ShowsProgress()) PostStatus(text);
}

std::string TStatusLog::ShownLine(TDateTime dateTime, std::string_view text) {
    std::string line = DateTimeToStr(dateTime);
    line += "    ";
    line += text;
    return line;
}

void TStatusLog::DrainStatus() {
    if (FDraining) return;
    FDraining = true;
    std::uint64_t taken = 0;  // serial of the last message taken off the list
    try {
        {
            std::lock_guard lock(FWaitLock);
            FDrainRequested = false;
        }
        // Cut once per drain, before the new lines go in, so inserting at the
        // top stays cheap. The bottom lines are the oldest.
        if (FMemo) {
            const int lines = FMemo->LineCount();
            if (lines >= kMemoCutAt) FMemo->DeleteLastLines(lines - kMemoKeepLines);
        }
        std::string text;
        std::uint64_t serial = 0;
        while (FMessages.TakeFirst(text, serial)) {
            taken = serial;
            const std::string line = ShownLine(Now(), text);
            // The file first: a failing memo must not cost the log its line.
            if (FLogging && FLogFile) {
                std::fwrite(line.data(), 1, line.size(), FLogFile.get());
                std::fwrite("\r\n", 1, 2, FLogFile.get());
            }
            if (FEcho) {
                try {
                    FEcho(line);
                } catch (...) {
                }
            }
            if (FMemo) FMemo->InsertFirstLine(line);
        }
        if (FMemo) FMemo->ShowFirstLine();
    } catch (...) {
        // Messages not taken yet stay queued for the next drain.
    }
    // Once per drain, not per line. Write errors are ignored: logging stays
    // on and the lines are still in the memo.
    if (FLogging && FLogFile) std::fflush(FLogFile.get());
    FDraining = false;
    if (taken != 0) {
        {
            std::lock_guard lock(FWaitLock);
            if (taken > FDrainedSerial) FDrainedSerial = taken;
        }
        FDrained.notify_all();
    }
}

void TStatusLog::ToggleLogging(ILogFileDialog& dialog, const std::string& appDir) {
    if (FLogging)
        StopLogging();
    else
        StartLogging(dialog, appDir);
}

void TStatusLog::StartLogging(ILogFileDialog& dialog, const std::string& appDir) {
    try {
        // Only the first time: later the dialog opens where it was last left.
        if (IsBlankText(dialog.InitialDir())) dialog.SetInitialDir(appDir);
        const auto fileName =
            dialog.Execute(kLogDialogTitle, kLogDialogFilter, kLogDialogDefaultExt);
        if (!fileName) return;
        OpenLogFile(*fileName);
    } catch (...) {
        StopLogging();
    }
}

void TStatusLog::OpenLogFile(const std::string& fileName) {
    // "a": appends to an existing file, creates a missing one; "e": close on exec.
    std::FILE* f = std::fopen(fileName.c_str(), "abe");
    if (!f) {
        const int err = errno;
        throw EStatusLogError("Cannot open the log file '" + fileName +
                              "': " + std::generic_category().message(err));
    }
    StopLogging();
    FLogFile.reset(f);
    FLogging = true;
}

void TStatusLog::StopLogging() {
    if (FLogFile) {
        std::fflush(FLogFile.get());
        FLogFile.reset();
    }
    FLogging = false;
}

void TStatusLog::SetEcho(std::function<void(const std::string& line)> echo) {
    FEcho = std::move(echo);
}

std::function<void(const std::string& line)> TStatusLog::StdErrEcho() {
    return [](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
    };
}

}  // namespace mv
