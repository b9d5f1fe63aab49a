#pragma once
// The station tree of the "Sites and Sensors" frame, built from the cache
// for one view: items with equal level captions (compared without regard to
// ASCII case) that arrive one after another share their nodes. Plain data,
// so that a Qt model can show it without copying 200,000 nodes into widgets.

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "core/sites/StationSensorCache.h"

namespace mv {

struct TSiteTreeNode {
    std::string Caption;
    int Icon = kNoLevel;
    // The cache's item the node stands for; a shared node holds the last item
    // added to it. Null for a node that only groups others.
    const TStationSensorItem* Data = nullptr;
    TSiteTreeNode* Parent = nullptr;
    std::size_t Row = 0;  // index among the parent's children (or the roots)
    std::vector<TSiteTreeNode*> Children;
};

class TSiteTree {
public:
    // The caption of a top-level node whose level-1 text is blank.
    static constexpr const char* kNullCaption = "<NULL>";

    TSiteTree() = default;
    TSiteTree(const TSiteTree&) = delete;
    TSiteTree& operator=(const TSiteTree&) = delete;

    // Removes every node. The nodes point into the cache: clear the tree
    // before the cache is cleared or re-sorted.
    void Clear() noexcept;
    // Sorts the cache for `view`, writes every item's tree path and rebuilds
    // the tree from it in cache order.
    void Build(TStationSensorCache& cache, TSiteView view, bool sensorLists);
    // Adds one item whose TreeLevels are written, sharing the nodes of the
    // item added just before when the captions agree.
    void AddTreeEntry(const TStationSensorItem& item);

    const std::vector<TSiteTreeNode*>& Roots() const noexcept { return FRoots; }
    std::size_t NodeCount() const noexcept { return FNodes.size(); }

private:
    TSiteTreeNode& NewNode(std::string caption, int icon, TSiteTreeNode* parent);

    std::deque<TSiteTreeNode> FNodes;  // stable addresses
    std::vector<TSiteTreeNode*> FRoots;
    TSiteTreeNode* FLastNode = nullptr;  // the cursor of AddTreeEntry; empty at each build
};

}  // namespace mv
