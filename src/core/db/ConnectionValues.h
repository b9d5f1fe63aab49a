#pragma once
// The process-wide connection values: data source, user name and password.
// The main thread changes them at a login; report jobs take a copy when they
// start, under the lock, so a login never hands a job a torn set.

#include <mutex>
#include <string>

namespace mv {

struct TConnectionSettings {
    std::string DataSource;
    std::string UserName;
    std::string Password;  // in clear, in memory only; never put into a message
};

class TConnectionValues {
public:
    TConnectionSettings Get() const {
        std::lock_guard lock(FLock);
        return FValues;
    }
    void Set(TConnectionSettings values) {
        std::lock_guard lock(FLock);
        FValues = std::move(values);
    }

private:
    mutable std::mutex FLock;
    TConnectionSettings FValues;
};

}  // namespace mv
