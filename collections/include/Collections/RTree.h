#pragma once

#include "Collections/BalancedTree.h"
#include "Collections/IEnumerator.h"
#include "Collections/RTreeNodes.h"
#include "Exceptions/ArgumentException.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace Collections
{

// Admits the subtrees and items whose bounds overlap a rectangle, closed.
template <class TRect>
class InternalRectangleOverlapCriterion
{
public:
    explicit InternalRectangleOverlapCriterion(const TRect& query) : m_query(query) {}

    bool Admits(const TRect& bounds) const noexcept
    {
        return RectangleMath::Overlap(bounds, m_query);
    }

private:
    TRect m_query;
};

// Spatial index of items by their bounding rectangles (from the stateless functor
// TBoundsGetter). TRect has public MinX, MinY, MaxX, MaxY, default-constructs to the empty
// rectangle and has Area(). Nodes split above truncate(1.43 * n) entries for the nominal node
// size n given at construction. Items are compared with == when removed. Each item's bounds
// are taken when it is inserted: an item whose bounds change must be removed before the
// change and inserted again after it.
template <class TItem, class TRect, class TBoundsGetter>
class RTree : public BalancedTree<TRect, RTreeLeafNode<TRect, TItem>, RTreeIndexNode<TRect>>
{
    using Base = BalancedTree<TRect, RTreeLeafNode<TRect, TItem>, RTreeIndexNode<TRect>>;
    using Leaf = RTreeLeafNode<TRect, TItem>;
    using Node = TreeNode<TRect>;

public:
    // nominalSize from 2 to 1,000,000.
    explicit RTree(std::int32_t nominalSize)
        : Base(MinItemsFor(nominalSize), MaxItemsFor(nominalSize)), m_nominalSize(nominalSize)
    {
    }

    // truncate(1.43 * n): a node holding more entries is split.
    static std::int32_t MaxItemsFor(std::int32_t nominalSize)
    {
        return static_cast<std::int32_t>(1.43 * CheckedNominalSize(nominalSize));
    }
    // truncate(0.57 * n), kept for the record: nodes are never merged.
    static std::int32_t MinItemsFor(std::int32_t nominalSize)
    {
        return static_cast<std::int32_t>(0.57 * CheckedNominalSize(nominalSize));
    }

    std::int32_t NominalSize() const noexcept { return m_nominalSize; }

    // The bounds stored at the root: they cover every item, and may be wider after removals.
    TRect Bounds() const { return this->Root().Key; }

    void Insert(const TItem& item) { Insert(item, TBoundsGetter{}(item)); }

    // Insert(item) with the item's bounds as the bounds getter gives them, found beforehand.
    void Insert(const TItem& item, const TRect& bounds)
    {
        Node* node = &this->MutableRoot();
        while (!node->IsLeaf())
        {
            node = &Base::AsIndex(*node).ChooseSubtree(bounds);
        }
        Leaf& leaf = Base::AsLeaf(*node);
        const bool keyChanged = leaf.InsertItem(bounds, item);
        this->CompleteInsertion(leaf, keyChanged);
    }

    // Removes the item (compared with ==) from every leaf reached through nodes whose bounds
    // cover the item's present bounds; tells whether any was removed.
    bool Remove(const TItem& item)
    {
        const TRect bounds = TBoundsGetter{}(item);
        std::vector<Node*> level{&this->MutableRoot()};
        std::vector<Node*> next;
        while (!level.front()->IsLeaf())
        {
            next.clear();
            for (Node* node : level)
            {
                const auto& index = Base::AsIndex(*node);
                for (std::int32_t i = 0; i < index.Count(); ++i)
                {
                    if (RectangleMath::Covers(index.GetEntryKey(i), bounds))
                    {
                        next.push_back(&index.Child(i));
                    }
                }
            }
            if (next.empty())
            {
                return false;
            }
            std::swap(level, next);
        }
        bool removed = false;
        for (Node* node : level)
        {
            Leaf& leaf = Base::AsLeaf(*node);
            const std::int32_t i = leaf.FindIndex(item);
            if (i >= 0)
            {
                this->RemoveFromLeaf(leaf, i);
                removed = true;
            }
        }
        return removed;
    }

    // The items whose bounds overlap query (closed: touching counts), in stored order.
    std::unique_ptr<IEnumerator<TItem>> Search(const TRect& query) const
    {
        return this->MakeEnumerator(InternalRectangleOverlapCriterion<TRect>(query));
    }

    // Calls visit(item) for the items whose bounds overlap query, in stored order, until
    // visit returns false.
    template <class F>
    void VisitOverlapping(const TRect& query, F&& visit) const
    {
        VisitNode(this->Root(), query, visit);
    }

private:
    static std::int32_t CheckedNominalSize(std::int32_t nominalSize)
    {
        constexpr std::int32_t largest = 1'000'000;
        if (nominalSize < 2 || nominalSize > largest)
        {
            throw Exceptions::ArgumentOutOfRangeException();
        }
        return nominalSize;
    }

    template <class F>
    static bool VisitNode(const Node& node, const TRect& query, F& visit)
    {
        const std::int32_t count = node.Count();
        if (node.IsLeaf())
        {
            const Leaf& leaf = Base::AsLeaf(node);
            for (std::int32_t i = 0; i < count; ++i)
            {
                if (RectangleMath::Overlap(leaf.GetEntryKey(i), query) &&
                    !std::invoke(visit, leaf.GetEntry(i)))
                {
                    return false;
                }
            }
            return true;
        }
        // Find the children to descend into first and start loading them all, so that
        // their memory latencies overlap instead of adding up.
        const auto& index = Base::AsIndex(node);
        std::array<const Node*, InlineEntryCapacity> matches{};
        std::size_t matchCount = 0;
        for (std::int32_t i = 0; i < count; ++i)
        {
            if (RectangleMath::Overlap(index.GetEntryKey(i), query))
            {
                const Node& child = index.Child(i);
                if (matchCount == matches.size())
                {
                    if (!VisitChildren(matches.data(), matchCount, query, visit))
                    {
                        return false;
                    }
                    matchCount = 0;
                }
                Prefetch(child);
                matches[matchCount++] = &child;
            }
        }
        return VisitChildren(matches.data(), matchCount, query, visit);
    }

    template <class F>
    static bool VisitChildren(const Node* const* children, std::size_t count, const TRect& query,
                              F& visit)
    {
        for (std::size_t i = 0; i < count; ++i)
        {
            if (!VisitNode(*children[i], query, visit))
            {
                return false;
            }
        }
        return true;
    }

    // A hint to start loading the head of a node and its first entry keys.
    static void Prefetch(const Node& node) noexcept
    {
#if defined(__GNUC__) || defined(__clang__)
        const char* head = reinterpret_cast<const char*>(&node);
        __builtin_prefetch(head);
        __builtin_prefetch(head + 64);
        __builtin_prefetch(head + 128);
        __builtin_prefetch(head + 192);
#else
        (void)node;
#endif
    }

    std::int32_t m_nominalSize;
};

} // namespace Collections
