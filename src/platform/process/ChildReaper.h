#pragma once
// Collects after-run programs that outlived their wait.
//
// A child that has ended stays a zombie until its parent waits for it. The
// reaper keeps the pids of children handed to it and waits for exactly
// those pids, never with waitpid(-1), so the exit status of any other child
// of the process (a QProcess, a test's own child) is left for its owner.
// A small thread, started with the first adopted child, looks at the pending
// children every 100 ms while there are any and sleeps otherwise.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace mv {

class TChildReaper {
public:
    // The one reaper of the process.
    static TChildReaper& Instance();

    // Takes over a running child of this process; it is reaped soon after
    // it ends.
    void Adopt(pid_t pid);

    // Reaps the adopted children that have ended, without blocking; returns
    // how many it reaped. The thread calls this; callers may too.
    std::size_t ReapFinished();

    // Adopted children not reaped yet.
    std::size_t PendingCount() const;

    ~TChildReaper();
    TChildReaper(const TChildReaper&) = delete;
    TChildReaper& operator=(const TChildReaper&) = delete;

private:
    TChildReaper() = default;
    void Run();

    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::vector<pid_t> FPending;  // guarded by FLock
    bool FStopping = false;       // guarded by FLock
    std::thread FThread;          // started by the first Adopt
};

}  // namespace mv
