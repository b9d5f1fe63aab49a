#include "core/sites/SiteTree.h"

namespace mv {

void TSiteTree::Clear() noexcept
{
    FRoots.clear();
    FNodes.clear();
    FLastNode = nullptr;
}

TSiteTreeNode& TSiteTree::NewNode(std::string caption, int icon, TSiteTreeNode* parent)
{
    TSiteTreeNode& node = FNodes.emplace_back();
    node.Caption = std::move(caption);
    node.Icon = icon;
    node.Parent = parent;
    auto& siblings = parent ? parent->Children : FRoots;
    node.Row = siblings.size();
    siblings.push_back(&node);
    return node;
}

void TSiteTree::Build(TStationSensorCache& cache, TSiteView view, bool sensorLists)
{
    Clear();
    cache.SortBy(static_cast<int>(view) + kFirstSortKind);
    for (std::size_t i = 0; i < cache.Count(); ++i) {
        TStationSensorItem& item = cache.Items(i);
        SetTreeLevels(item, view, sensorLists);
        AddTreeEntry(item);
    }
}

void TSiteTree::AddTreeEntry(const TStationSensorItem& item)
{
    TSiteTreeNode* candidate = FLastNode;
    if (!candidate && !FRoots.empty()) {
        candidate = FRoots.back();
        while (!candidate->Children.empty()) candidate = candidate->Children.back();
    }
    while (candidate && candidate->Parent) candidate = candidate->Parent;

    const TTreeLevel& first = item.TreeLevels[0];
    const TTreeLevel& second = item.TreeLevels[1];
    std::string_view trimmed = TrimBlanks(first.Caption);
    std::string rootCaption = trimmed.empty() ? std::string(kNullCaption) : first.Caption;

    TSiteTreeNode* root = candidate;
    if (!root || !SameTextAscii(root->Caption, rootCaption))
        root = &NewNode(std::move(rootCaption), first.Icon, nullptr);

    if (second.Icon != kNoLevel) {
        TSiteTreeNode* child = root->Children.empty() ? nullptr : root->Children.back();
        if (!child || !SameTextAscii(child->Caption, second.Caption))
            child = &NewNode(second.Caption, second.Icon, root);
        child->Icon = second.Icon;
        child->Data = &item;
        FLastNode = child;
    } else {
        root->Data = &item;
        FLastNode = root;
    }
}

}  // namespace mv
