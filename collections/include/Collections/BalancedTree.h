#pragma once

#include "Collections/IEnumerator.h"
#include "Collections/InternalEnumerator.h"
#include "Collections/TreeNodes.h"
#include "Exceptions/ArgumentException.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace Collections
{

// Skeleton shared by BTree and RTree: a root node that owns the tree, with every item in a
// leaf and all leaves at one depth. A node holding more than MaxItems entries after an
// insertion is split; removal drops nodes that became empty and never merges underfull ones
// (MinItems is kept for the record). TLeaf and TIndex supply the ordering or spatial rules.
template <class TKey, class TLeaf, class TIndex>
class BalancedTree
{
public:
    using KeyType = TKey;
    using ItemType = typename TLeaf::ItemType;
    using LeafNodeType = TLeaf;
    using IndexNodeType = TIndex;

    std::int32_t Count() const noexcept { return m_count; }
    bool IsEmpty() const noexcept { return m_count == 0; }
    std::int32_t MinItems() const noexcept { return m_minItems; }
    std::int32_t MaxItems() const noexcept { return m_maxItems; }
    const TreeNode<TKey>& Root() const noexcept { return *m_root; }

    // All items in stored order (key order for the B-tree).
    std::unique_ptr<IEnumerator<ItemType>> GetEnumerator() const
    {
        return MakeEnumerator(InternalMatchAllCriterion{});
    }

protected:
    // maxItems must allow a split into two non-empty nodes.
    BalancedTree(std::int32_t minItems, std::int32_t maxItems)
        : m_root(NewLeaf(CheckedMaxItems(minItems, maxItems))), m_minItems(minItems),
          m_maxItems(maxItems)
    {
    }

    BalancedTree(const BalancedTree& other)
        : m_root(CloneNode(*other.m_root, other.m_maxItems)), m_minItems(other.m_minItems),
          m_maxItems(other.m_maxItems), m_count(other.m_count)
    {
    }

    // The moved-from tree is left empty and usable, which takes a new root leaf: the move may
    // therefore throw the allocation failure.
    BalancedTree(BalancedTree&& other) // NOLINT(performance-noexcept-move-constructor)
        : m_root(std::exchange(other.m_root, NewLeaf(other.m_maxItems))),
          m_minItems(other.m_minItems), m_maxItems(other.m_maxItems),
          m_count(std::exchange(other.m_count, 0))
    {
    }

    BalancedTree& operator=(const BalancedTree& other)
    {
        if (this != &other)
        {
            BalancedTree copy(other);
            Swap(copy);
        }
        return *this;
    }

    // The moved-from tree receives this tree's former contents.
    BalancedTree& operator=(BalancedTree&& other) noexcept
    {
        Swap(other);
        return *this;
    }

    ~BalancedTree() = default;

    void Swap(BalancedTree& other) noexcept
    {
        std::swap(m_root, other.m_root);
        std::swap(m_minItems, other.m_minItems);
        std::swap(m_maxItems, other.m_maxItems);
        std::swap(m_count, other.m_count);
    }

    template <class TCriterion>
    std::unique_ptr<IEnumerator<ItemType>> MakeEnumerator(TCriterion criterion) const
    {
        return std::make_unique<InternalEnumerator<TKey, TLeaf, TCriterion>>(*m_root,
                                                                             std::move(criterion));
    }

    static TLeaf& AsLeaf(TreeNode<TKey>& node) noexcept { return static_cast<TLeaf&>(node); }
    static const TLeaf& AsLeaf(const TreeNode<TKey>& node) noexcept
    {
        return static_cast<const TLeaf&>(node);
    }
    static TIndex& AsIndex(TreeNode<TKey>& node) noexcept { return static_cast<TIndex&>(node); }
    static const TIndex& AsIndex(const TreeNode<TKey>& node) noexcept
    {
        return static_cast<const TIndex&>(node);
    }

    TreeNode<TKey>& MutableRoot() noexcept { return *m_root; }

    // Finishes an insertion into leaf: splits overfull nodes from the leaf upwards, lets every
    // ancestor widen its Key, and grows a new root when the old one was split. keyChanged
    // tells whether the insertion changed the leaf's Key; the walk stops early once no Key
    // changes any more, since every ancestor's Key already covers its descendants'. added is
    // the number of items the leaf received, at most one more than it has room for.
    void CompleteInsertion(TLeaf& leaf, bool keyChanged, std::int32_t added = 1)
    {
        m_count += added;
        std::unique_ptr<TreeNode<TKey>> sibling;
        if (!ShareWithNeighbour(leaf))
        {
            sibling = SplitIfOverfull(leaf);
        }
        keyChanged = keyChanged || sibling != nullptr;
        TreeNode<TKey>* child = &leaf;
        while (child->Parent != nullptr && (keyChanged || sibling != nullptr))
        {
            TIndex& parent = AsIndex(*child->Parent);
            parent.SyncChildKey(*child);
            keyChanged = parent.UpdateKey(child->Key);
            if (sibling != nullptr)
            {
                keyChanged = parent.InsertChild(std::move(sibling)) || keyChanged;
                sibling = SplitIfOverfull(parent);
                keyChanged = keyChanged || sibling != nullptr;
            }
            child = &parent;
        }
        if (sibling != nullptr)
        {
            GrowRoot(std::move(sibling));
        }
    }

    // Takes the item at position i out of leaf. The leaf recomputes its Key; a leaf that
    // became empty is removed with every ancestor that becomes empty in turn.
    ItemType RemoveFromLeaf(TLeaf& leaf, std::int32_t i)
    {
        ItemType item = leaf.RemoveAt(i);
        --m_count;
        if (leaf.Count() > 0)
        {
            leaf.RecomputeKey();
            SyncKeyWithParent(leaf);
        }
        else
        {
            RemoveEmptyNodes(leaf);
        }
        return item;
    }

    // Removes node from its parent when it has no entries, and so on upwards. An index node
    // that loses a child recomputes its Key. An empty root gives way to a new empty leaf.
    void RemoveEmptyNodes(TreeNode<TKey>& emptyNode)
    {
        TreeNode<TKey>* node = &emptyNode;
        while (node->Count() == 0 && node->Parent != nullptr)
        {
            TIndex& parent = AsIndex(*node->Parent);
            parent.RemoveChild(*node);
            SyncKeyWithParent(parent);
            node = &parent;
        }
        if (m_root->Count() == 0)
        {
            m_root = NewLeaf(m_maxItems);
        }
    }

    // A tree of the items that next(item) gives one at a time, their keys strictly ascending,
    // until it returns false; keyOf(item) gives an item's key. Built bottom-up, level by
    // level: leaves of MaxItems entries (the last two share what is left evenly), then index
    // nodes over them the same way. Returns the root (a new empty leaf for no items) and
    // counts the items; the tree itself does not change, so that a failing allocation leaves
    // it as it was (see AdoptRoot).
    template <class TNext, class TKeyOf>
    std::unique_ptr<TreeNode<TKey>> BuildAscending(TNext&& next, TKeyOf keyOf,
                                                   std::int32_t& count) const
    {
        const auto width = static_cast<std::size_t>(m_maxItems);
        std::vector<std::unique_ptr<TreeNode<TKey>>> level;
        const auto addLeaf = [&](std::span<const ItemType> items)
        {
            auto leaf = std::make_unique<TLeaf>(NodeCapacity(m_maxItems));
            leaf->AppendAscending(items, keyOf);
            level.push_back(std::move(leaf));
        };
        // Up to two leaves' items wait, so that the last two can share them.
        std::vector<ItemType> pending;
        pending.reserve(2 * width);
        std::size_t taken = 0;
        ItemType item{};
        while (next(item))
        {
            ++taken;
            pending.push_back(item);
            if (pending.size() == 2 * width)
            {
                addLeaf(std::span<const ItemType>(pending).first(width));
                pending.erase(pending.begin(),
                              pending.begin() + static_cast<std::ptrdiff_t>(width));
            }
        }
        if (pending.size() > width)
        {
            const std::size_t half = pending.size() / 2;
            addLeaf(std::span<const ItemType>(pending).first(half));
            addLeaf(std::span<const ItemType>(pending).subspan(half));
        }
        else if (!pending.empty() || level.empty())
        {
            addLeaf(pending);
        }
        while (level.size() > 1)
        {
            std::vector<std::unique_ptr<TreeNode<TKey>>> above;
            above.reserve(NodesFor(level.size()));
            ForEachShare(level.size(),
                         [&](std::size_t first, std::size_t share)
                         {
                             auto index = std::make_unique<TIndex>(NodeCapacity(m_maxItems));
                             for (std::size_t k = first; k < first + share; ++k)
                             {
                                 index->AppendChild(std::move(level[k]));
                             }
                             index->Key = index->GetEntryKey(index->Count() - 1);
                             above.push_back(std::move(index));
                         });
            level = std::move(above);
        }
        count = static_cast<std::int32_t>(taken);
        return std::move(level.front());
    }

    // Makes root, built by BuildAscending with count items, the tree's root in place of the
    // current one, which is destroyed.
    void AdoptRoot(std::unique_ptr<TreeNode<TKey>> root, std::int32_t count) noexcept
    {
        m_root = std::move(root);
        m_count = count;
    }

    static void SyncKeyWithParent(const TreeNode<TKey>& node)
    {
        if (node.Parent != nullptr)
        {
            node.Parent->SyncChildKey(node);
        }
    }

private:
    static std::int32_t CheckedMaxItems(std::int32_t minItems, std::int32_t maxItems)
    {
        if (maxItems < 2 || maxItems == std::numeric_limits<std::int32_t>::max() || minItems < 0 ||
            minItems > maxItems)
        {
            throw Exceptions::ArgumentOutOfRangeException();
        }
        return maxItems;
    }

    // Room reserved in a new node: an overfull node (MaxItems + 1 entries) fits without
    // reallocation; very wide nodes grow on demand instead.
    static std::int32_t NodeCapacity(std::int32_t maxItems) noexcept
    {
        constexpr std::int32_t widestReserved = 256;
        return std::min(maxItems + 1, widestReserved);
    }

    // Nodes of a level built from count entries below.
    std::size_t NodesFor(std::size_t count) const noexcept
    {
        const auto width = static_cast<std::size_t>(m_maxItems);
        return (count + width - 1) / width;
    }

    // Calls share(first, count) for the entries of each node of a level built from count
    // entries below, in order: NodesFor(count) nodes whose sizes differ by one at most.
    template <class F>
    void ForEachShare(std::size_t count, F&& share) const
    {
        const std::size_t nodes = NodesFor(count);
        std::size_t first = 0;
        for (std::size_t n = 0; n < nodes; ++n)
        {
            const std::size_t end = count * (n + 1) / nodes;
            share(first, end - first);
            first = end;
        }
    }

    static std::unique_ptr<TreeNode<TKey>> NewLeaf(std::int32_t maxItems)
    {
        return std::make_unique<TLeaf>(NodeCapacity(maxItems));
    }

    // An overfull leaf of a key-ordered tree first hands entries to the emptier of its two
    // neighbours under the same parent, when that one has room, so that both end about
    // equally full; only a leaf between full neighbours is split. Splitting alone leaves
    // leaves little more than half full where keys arrive in runs (the half behind the run
    // never gets another key), and a node index of millions of entries would then take twice
    // the memory its entries need. Tells whether the leaf handed entries over.
    bool ShareWithNeighbour(TLeaf& leaf)
    {
        if constexpr (TLeaf::IsKeyOrdered() && std::is_nothrow_move_constructible_v<ItemType> &&
                      std::is_nothrow_move_assignable_v<ItemType>)
        {
            if (leaf.Count() <= m_maxItems || leaf.Parent == nullptr)
            {
                return false;
            }
            TIndex& parent = AsIndex(*leaf.Parent);
            const std::int32_t i = parent.IndexOfChild(leaf);
            TLeaf* previous = i > 0 ? &AsLeaf(parent.Child(i - 1)) : nullptr;
            TLeaf* next = i + 1 < parent.Count() ? &AsLeaf(parent.Child(i + 1)) : nullptr;
            const auto room = [this](const TLeaf* pLeaf)
            { return pLeaf == nullptr ? 0 : m_maxItems - pLeaf->Count(); };
            TLeaf* target = room(next) >= room(previous) ? next : previous;
            if (room(target) <= 0)
            {
                return false;
            }
            const std::int32_t count = (leaf.Count() - target->Count() + 1) / 2;
            if (target == next)
            {
                leaf.MoveTailToFrontOf(count, *next);
            }
            else
            {
                leaf.MoveHeadToEndOf(count, *previous);
            }
            parent.SyncChildKey(*target);
            parent.SyncChildKey(leaf);
            return true;
        }
        else
        {
            return false;
        }
    }

    template <class TNode>
    std::unique_ptr<TreeNode<TKey>> SplitIfOverfull(TNode& node)
    {
        if (node.Count() <= m_maxItems)
        {
            return nullptr;
        }
        return node.Split(NodeCapacity(m_maxItems));
    }

    void GrowRoot(std::unique_ptr<TreeNode<TKey>> sibling)
    {
        auto root = std::make_unique<TIndex>(NodeCapacity(m_maxItems));
        root->InsertChild(std::move(m_root));
        root->InsertChild(std::move(sibling));
        m_root = std::move(root);
    }

    static std::unique_ptr<TreeNode<TKey>> CloneNode(const TreeNode<TKey>& node,
                                                     std::int32_t maxItems)
    {
        if (node.IsLeaf())
        {
            auto leaf = std::make_unique<TLeaf>(NodeCapacity(maxItems));
            leaf->Key = node.Key;
            leaf->CopyEntriesOf(AsLeaf(node));
            return leaf;
        }
        const TIndex& source = AsIndex(node);
        auto index = std::make_unique<TIndex>(NodeCapacity(maxItems));
        for (std::int32_t i = 0; i < source.Count(); ++i)
        {
            index->AppendChild(CloneNode(source.Child(i), maxItems));
        }
        index->Key = node.Key;
        return index;
    }

    std::unique_ptr<TreeNode<TKey>> m_root;
    std::int32_t m_minItems;
    std::int32_t m_maxItems;
    std::int32_t m_count = 0;
};

} // namespace Collections
