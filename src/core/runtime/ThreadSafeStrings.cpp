#include "core/runtime/ThreadSafeStrings.h"

namespace mv {

std::uint64_t TThreadSafeStrings::Add(std::string text) {
    std::lock_guard lock(FLock);
    FList.emplace_back(FLastSerial + 1, std::move(text));
    return ++FLastSerial;  // only after the append succeeded
}

bool TThreadSafeStrings::TakeFirst(std::string& text) {
    std::uint64_t serial = 0;
    return TakeFirst(text, serial);
}

bool TThreadSafeStrings::TakeFirst(std::string& text, std::uint64_t& serial) {
    std::lock_guard lock(FLock);
    if (FList.empty()) return false;
    serial = FList.front().first;
    text = std::move(FList.front().second);
    FList.pop_front();
    return true;
}

std::size_t TThreadSafeStrings::Count() const {
    std::lock_guard lock(FLock);
    return FList.size();
}

}  // namespace mv
