#include "core/runtime/RunQueue.h"

#include "core/runtime/RunTimes.h"

#include <algorithm>

namespace mv {

namespace {
// std heap algorithms keep the largest first: "a after b" puts the earliest due on top.
bool After(const TVidUduzadevGroupItem* a, const TVidUduzadevGroupItem* b) {
    return CompareDueTimes(*a, *b) > 0;
}
}  // namespace

bool TRunQueue::Insert(TVidUduzadevGroupItem& group) {
    if (Contains(group)) return false;
    FHeap.push_back(&group);
    std::push_heap(FHeap.begin(), FHeap.end(), After);
    return true;
}

TVidUduzadevGroupItem* TRunQueue::DeleteMin() {
    if (FHeap.empty()) return nullptr;
    std::pop_heap(FHeap.begin(), FHeap.end(), After);
    TVidUduzadevGroupItem* g = FHeap.back();
    FHeap.pop_back();
    return g;
}

bool TRunQueue::Remove(const TVidUduzadevGroupItem& group) {
    auto it = std::find(FHeap.begin(), FHeap.end(), &group);
    if (it == FHeap.end()) return false;
    FHeap.erase(it);
    std::make_heap(FHeap.begin(), FHeap.end(), After);
    return true;
}

bool TRunQueue::Contains(const TVidUduzadevGroupItem& group) const {
    return std::find(FHeap.begin(), FHeap.end(), &group) != FHeap.end();
}

void TRunQueue::Reorder() { std::make_heap(FHeap.begin(), FHeap.end(), After); }

}  // namespace mv
