#include "platform/process/Process.h"

#include "platform/process/ChildReaper.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mv {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string ErrnoText(int code) { return std::generic_category().message(code); }

// Owns the spawn attributes and file actions so every path releases them.
struct TSpawnSetup {
    posix_spawn_file_actions_t Actions;
    posix_spawnattr_t Attr;
    int Error = 0;

    TSpawnSetup() {
        posix_spawn_file_actions_init(&Actions);
        posix_spawnattr_init(&Attr);
        // stdin from /dev/null: a program must not read the scheduler's
        // terminal. stdout and stderr stay shared, everything above them is
        // closed so the child holds none of our files, sockets or pipes.
        Error = posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
        if (!Error) Error = posix_spawn_file_actions_addclosefrom_np(&Actions, 3);
        // Signals we block or ignore must not leak into the program.
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        if (!Error) Error = posix_spawnattr_setsigmask(&Attr, &none);
        if (!Error) Error = posix_spawnattr_setsigdefault(&Attr, &all);
        if (!Error)
            Error = posix_spawnattr_setflags(&Attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~TSpawnSetup() {
        posix_spawnattr_destroy(&Attr);
        posix_spawn_file_actions_destroy(&Actions);
    }
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;
};

// Debian 12's <sys/pidfd.h> lacks C linkage for C++, so call the kernel
// directly. -1 where the kernel has no pidfds; the caller then polls.
int OpenPidFd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

struct TFdCloser {
    int Fd;
    ~TFdCloser() {
        if (Fd >= 0) ::close(Fd);
    }
};

void RecordStatus(TProgramOutcome& out, int status) {
    out.Finished = true;
    if (WIFEXITED(status)) {
        out.Exited = true;
        out.ExitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        out.Signal = WTERMSIG(status);
    }
}

// Waits for `pid` until it ends or `maxWait` has passed; records its status
// when it ended. Sleeps on a pidfd where the kernel has them, else polls.
void WaitBounded(TProgramOutcome& out, std::chrono::milliseconds maxWait) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + maxWait;
    TFdCloser pidfd{OpenPidFd(out.Pid)};
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(out.Pid, &status, WNOHANG);
        if (r == out.Pid) {
            RecordStatus(out, status);
            return;
        }
        if (r < 0 && errno != EINTR) {
            // ECHILD: SIGCHLD is ignored in this process and the kernel reaped
            // it; it has ended, its status is lost.
            out.Finished = true;
            return;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        if (pidfd.Fd >= 0) {
            pollfd p{pidfd.Fd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        } else {
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(5)));
        }
    }
}

}  // namespace

std::vector<std::string> SplitProgramText(std::string_view text) {
    std::vector<std::string> args;
    std::string word;
    bool inWord = false;  // distinguishes '' (an empty argument) from nothing
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (IsBlank(c)) {
            if (inWord) args.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            // A lone backslash at the very end stays as it is.
            word += (i + 1 < n) ? text[++i] : '\\';
        } else if (c == '\'') {
            const auto close = text.find('\'', i + 1);
            if (close == std::string_view::npos)
                throw EProcessError("unmatched single quote in program text '" + std::string(text) +
                                    "'");
            word.append(text.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (; j < n && text[j] != '"'; ++j) {
                if (text[j] == '\\' && j + 1 < n && std::strchr("\"\\$`", text[j + 1])) ++j;
                word += text[j];
            }
            if (j >= n)
                throw EProcessError("unmatched double quote in program text '" + std::string(text) +
                                    "'");
            i = j;
        } else {
            word += c;
        }
    }
    if (inWord) args.push_back(std::move(word));
    return args;
}

bool TProgramOutcome::Failed() const {
    if (!Started) return true;
    if (!Finished) return false;
    if (Exited) return ExitCode != 0;
    return Signal != 0;
}

std::string TProgramOutcome::Describe() const {
    if (!Started) return StartError;
    if (!Finished) return {};
    if (Exited) return ExitCode != 0 ? "exit status " + std::to_string(ExitCode) : std::string();
    if (Signal != 0) {
        const char* abbrev = ::sigabbrev_np(Signal);
        return "killed by signal " + std::to_string(Signal) +
               (abbrev ? std::string(" (SIG") + abbrev + ")" : std::string());
    }
    return {};
}

TProgramOutcome RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds maxWait) {
    TProgramOutcome out;
    out.Arguments = argv;
    if (argv.empty() || argv.front().empty()) {
        out.StartError = "no program named";
        return out;
    }

    std::vector<char*> cargv;
    cargv.reserve(argv.size() + 1);
    for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);

    TSpawnSetup setup;
    if (setup.Error) {
        out.StartError = ErrnoText(setup.Error);
        return out;
    }
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, cargv[0], &setup.Actions, &setup.Attr, cargv.data(), environ);
    if (rc != 0) {
        out.StartError = ErrnoText(rc);
        return out;
    }
    out.Started = true;
    out.Pid = pid;

    WaitBounded(out, maxWait);
    if (!out.Finished) TChildReaper::Instance().Adopt(pid);
    return out;
}

TProgramOutcome RunProgram(std::string_view programText, std::string_view fileArgument,
                           std::chrono::milliseconds maxWait) {
    std::vector<std::string> argv;
    try {
        argv = SplitProgramText(programText);
    } catch (const EProcessError& e) {
        TProgramOutcome out;
        out.StartError = e.what();
        return out;
    }
    if (argv.empty()) {
        TProgramOutcome out;
        out.StartError = "no program named in '" + std::string(programText) + "'";
        return out;
    }
    if (!fileArgument.empty()) argv.emplace_back(fileArgument);
    return RunProgram(argv, maxWait);
}

}  // namespace mv
