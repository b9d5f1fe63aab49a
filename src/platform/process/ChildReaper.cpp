#include "platform/process/ChildReaper.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <sys/wait.h>

namespace mv {

namespace {
constexpr std::chrono::milliseconds kReapInterval{100};
}

TChildReaper& TChildReaper::Instance() {
    static TChildReaper reaper;
    return reaper;
}

TChildReaper::~TChildReaper() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
    // Children still running now are inherited by init when we exit.
}

void TChildReaper::Adopt(pid_t pid) {
    if (pid <= 0) return;
    {
        std::lock_guard lock(FLock);
        FPending.push_back(pid);
        if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    }
    FWake.notify_all();
}

std::size_t TChildReaper::ReapFinished() {
    std::lock_guard lock(FLock);
    const auto before = FPending.size();
    std::erase_if(FPending, [](pid_t pid) {
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(pid, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        // r == 0: still running. r < 0 (ECHILD): someone else already waited
        // for it, or SIGCHLD is ignored; either way nothing is left to reap.
        return r != 0;
    });
    return before - FPending.size();
}

std::size_t TChildReaper::PendingCount() const {
    std::lock_guard lock(FLock);
    return FPending.size();
}

void TChildReaper::Run() {
    for (;;) {
        ReapFinished();
        std::unique_lock lock(FLock);
        if (FStopping) return;
        if (FPending.empty())
            FWake.wait(lock, [this] { return FStopping || !FPending.empty(); });
        else
            FWake.wait_for(lock, kReapInterval, [this] { return FStopping; });
        if (FStopping) return;
    }
}

}  // namespace mv
