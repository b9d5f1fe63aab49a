#pragma once
// A plain main loop, a status memo that keeps its lines, and a scratch
// folder, for driving the scheduler without a window.

#include "core/runtime/MainLoop.h"
#include "support/TestFiles.h"
#include "core/runtime/StatusLog.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace mv::test {

// The main thread's loop: calls queued from any thread run when the test
// thread turns the loop.
class TTestLoop : public IMainLoop, public IStatusWaker {
public:
    explicit TTestLoop(TStatusLog*& log) : FLog(log) {}
    void Post(std::function<void()> call) override {
        std::lock_guard lock(FLock);
        FCalls.push_back(std::move(call));
        FWake.notify_all();
    }
    void RequestDrain() override {
        Post([this] {
            if (FLog) FLog->DrainStatus();
        });
    }
    // Runs queued calls (and `tick` every round) until `done` holds or
    // `timeout` of real time has passed.
    bool RunUntil(const std::function<bool()>& done, const std::function<void()>& tick = {},
                  std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            RunPending();
            if (tick) tick();
            RunPending();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            std::unique_lock lock(FLock);
            FWake.wait_for(lock, std::chrono::milliseconds(5), [this] { return !FCalls.empty(); });
        }
    }
    void RunPending() {
        for (;;) {
            std::function<void()> call;
            {
                std::lock_guard lock(FLock);
                if (FCalls.empty()) return;
                call = std::move(FCalls.front());
                FCalls.pop_front();
            }
            call();
        }
    }

private:
    TStatusLog*& FLog;
    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<std::function<void()>> FCalls;
};

// Keeps every shown message text (without its time stamp), oldest first.
class TTestMemo : public IStatusMemo {
public:
    int LineCount() const override { return static_cast<int>(FLines.size()); }
    void DeleteLastLines(int count) override { FLines.erase(FLines.begin(), FLines.begin() + count); }
    void InsertFirstLine(const std::string& line) override {
        const auto at = line.find("    ");
        FLines.push_back(at == std::string::npos ? line : line.substr(at + 4));
        if (OnLine) OnLine(FLines.back());
    }
    void ShowFirstLine() override {}
    std::function<void(const std::string&)> OnLine;
    std::vector<std::string> FLines;

    bool Has(const std::string& text) const {
        for (const auto& l : FLines)
            if (l == text) return true;
        return false;
    }
    bool HasPrefix(const std::string& prefix) const {
        for (const auto& l : FLines)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }
    std::string All() const {
        std::string s;
        for (const auto& l : FLines) s += l + "\n";
        return s;
    }
};

class TScratch {
public:
    TScratch() {
        char tmpl[] = "/tmp/mv-runtime-XXXXXX";
        FPath = mkdtemp(tmpl);
    }
    ~TScratch() {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    const std::string& Path() const { return FPath; }
    std::string Dir() const { return FPath + "/"; }

private:
    std::string FPath;
};

}  // namespace mv::test
