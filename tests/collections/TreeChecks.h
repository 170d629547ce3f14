#pragma once

// Structural checks shared by the tree tests: every node within MaxItems entries, every
// index node's entry keys equal to its children's Keys and their Parent pointing back, all
// leaves at one depth, and a tree-specific check of each node's Key against its entries.

#include "Collections/TreeNodes.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>

namespace TreeChecks
{

template <class TKey>
using NodeCheck = std::function<void(const Collections::TreeNode<TKey>&)>;

template <class TKey>
void CheckNode(const Collections::TreeNode<TKey>& node, std::int32_t maxItems, int depth,
               int& leafDepth, const NodeCheck<TKey>& checkKey, std::int64_t& items)
{
    ASSERT_LE(node.Count(), maxItems);
    checkKey(node);
    if (node.IsLeaf())
    {
        if (leafDepth < 0)
        {
            leafDepth = depth;
        }
        ASSERT_EQ(depth, leafDepth) << "leaves at different depths";
        items += node.Count();
        return;
    }
    ASSERT_GT(node.Count(), 0) << "empty index node";
    const auto& index = static_cast<const Collections::IndexNode<TKey>&>(node);
    for (std::int32_t i = 0; i < index.Count(); ++i)
    {
        const auto& child = index.Child(i);
        ASSERT_EQ(child.Parent, &index);
        ASSERT_TRUE(index.GetEntryKey(i) == child.Key) << "stale copy of a child's Key";
        CheckNode(child, maxItems, depth + 1, leafDepth, checkKey, items);
    }
}

// Checks the whole tree and that it holds expectedCount items.
template <class TTree>
void CheckTree(const TTree& tree, const NodeCheck<typename TTree::KeyType>& checkKey,
               std::int64_t expectedCount)
{
    int leafDepth = -1;
    std::int64_t items = 0;
    ASSERT_EQ(tree.Root().Parent, nullptr);
    if (!tree.Root().IsLeaf())
    {
        ASSERT_GT(tree.Root().Count(), 0);
    }
    CheckNode(tree.Root(), tree.MaxItems(), 0, leafDepth, checkKey, items);
    ASSERT_EQ(items, expectedCount);
    ASSERT_EQ(tree.Count(), expectedCount);
}

} // namespace TreeChecks
