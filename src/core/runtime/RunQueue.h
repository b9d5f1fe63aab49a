#pragma once
// The run queue: enabled groups ordered by due time (CompareDueTimes).
// It holds references and owns nothing. A group is in it at most once, and a
// group about to be deleted can be taken out (Remove), so that the queue
// never touches a destroyed group.

#include "core/schedule/ScheduleDataDef.h"

#include <vector>

namespace mv {

class TRunQueue {
public:
    TRunQueue() { FHeap.reserve(16); }

    // Adds `group`; a group already queued stays queued once (false).
    bool Insert(TVidUduzadevGroupItem& group);
    // Removes and returns the first group by due time; nullptr when empty.
    // Groups of equal order come out in no particular order.
    TVidUduzadevGroupItem* DeleteMin();
    // Takes `group` out wherever it is; false when it was not queued.
    bool Remove(const TVidUduzadevGroupItem& group);
    bool Contains(const TVidUduzadevGroupItem& group) const;
    void Clear() { FHeap.clear(); }
    int Count() const { return static_cast<int>(FHeap.size()); }
    // The queued groups, in no particular order.
    const std::vector<TVidUduzadevGroupItem*>& Items() const { return FHeap; }

    // Reorders after the due times of queued groups were changed in place.
    void Reorder();

private:
    std::vector<TVidUduzadevGroupItem*> FHeap;
};

}  // namespace mv
