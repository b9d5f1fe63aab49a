#pragma once
// The list of status messages waiting to be shown.
//
// Any thread appends; the main thread takes them off the front. One lock is
// held for one append or one removal, never across a caller's work.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

namespace mv {

class TThreadSafeStrings {
public:
    // Appends `text` (empty texts and duplicates too) and returns its serial
    // number: 1 for the first text ever added, then one more for each, so
    // serials follow list order. A poster uses it to know when its own text
    // has been taken.
    std::uint64_t Add(std::string text);

    // Removes the first text into `text`; false when the list is empty
    // (`text` is then untouched).
    bool TakeFirst(std::string& text);
    // The same, also giving the serial that Add() returned for it.
    bool TakeFirst(std::string& text, std::uint64_t& serial);

    std::size_t Count() const;

private:
    mutable std::mutex FLock;
    std::deque<std::pair<std::uint64_t, std::string>> FList;  // guarded by FLock
    std::uint64_t FLastSerial = 0;                            // guarded by FLock
};

}  // namespace mv
