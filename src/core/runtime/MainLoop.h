#pragma once
// The main thread's event loop, as the runtime sees it: a place to queue a
// call from any thread. The Qt window implements it with a queued
// invocation; tests with a plain loop they run themselves.

#include <functional>

namespace mv {

class IMainLoop {
public:
    virtual ~IMainLoop() = default;
    // Any thread. Queues `call` to run later on the main thread; must not
    // wait for it and must not run it inside this call.
    virtual void Post(std::function<void()> call) = 0;
};

}  // namespace mv
