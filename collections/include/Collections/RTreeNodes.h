#pragma once

#include "Collections/TreeNodes.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace Collections
{

// Rectangle arithmetic of the R-tree on any type with MinX, MinY, MaxX and MaxY whose default
// value is the empty rectangle (minimum above maximum).
namespace RectangleMath
{

template <class TRect>
TRect Union(TRect a, const TRect& b) noexcept
{
    a.MinX = std::min(a.MinX, b.MinX);
    a.MinY = std::min(a.MinY, b.MinY);
    a.MaxX = std::max(a.MaxX, b.MaxX);
    a.MaxY = std::max(a.MaxY, b.MaxY);
    return a;
}

// Closed containment: a covers b when b lies inside a or on its border.
template <class TRect>
bool Covers(const TRect& a, const TRect& b) noexcept
{
    return a.MinX <= b.MinX && b.MaxX <= a.MaxX && a.MinY <= b.MinY && b.MaxY <= a.MaxY;
}

// Closed overlap: rectangles that share only a border point overlap.
template <class TRect>
bool Overlap(const TRect& a, const TRect& b) noexcept
{
    return a.MinX <= b.MaxX && b.MinX <= a.MaxX && a.MinY <= b.MaxY && b.MinY <= a.MaxY;
}

// Growth of the area of bounds when it is extended to cover r.
template <class TRect>
double Enlargement(const TRect& bounds, const TRect& r) noexcept
{
    return Union(bounds, r).Area() - bounds.Area();
}

} // namespace RectangleMath

// R-tree behaviour shared by leaves and index nodes: entries in insertion order, Key the
// bounding rectangle of the entries (the empty rectangle for a node without entries).
template <class TDerived, class TBase, class TRect>
class RTreeNodeMixin : public TBase
{
public:
    static constexpr bool IsKeyOrdered() noexcept { return false; }

    // Extends the bounds to cover r; tells whether they changed.
    bool UpdateKey(const TRect& r)
    {
        if (RectangleMath::Covers(this->Key, r))
        {
            return false;
        }
        this->Key = RectangleMath::Union(this->Key, r);
        return true;
    }

    void RecomputeKey()
    {
        TRect bounds{};
        for (const TRect& key : this->EntryKeys)
        {
            bounds = RectangleMath::Union(bounds, key);
        }
        this->Key = bounds;
    }

    // Splits an overfull node in two. Two seeds are picked by the linear method: on each axis
    // the entry with the highest low side and the one with the lowest high side (the earlier
    // entry on ties); the axis with the larger separation relative to the node's extent wins,
    // Y on ties. The node keeps the group of the first seed, the new node takes the group of
    // the second. The other entries go in order to the group whose area grows less (the new
    // node's on ties), unless one group already holds more than half of them.
    std::unique_ptr<TDerived> Split(std::int32_t capacity)
    {
        const auto [first, second] = PickSeeds();
        const std::int32_t half = this->Count() / 2;

        std::vector<bool> toSibling(this->EntryKeys.size(), false);
        toSibling[static_cast<std::size_t>(second)] = true;
        TRect boundsA = this->GetEntryKey(first);
        TRect boundsB = this->GetEntryKey(second);
        std::int32_t countA = 1;
        std::int32_t countB = 1;
        for (std::int32_t i = 0; i < this->Count(); ++i)
        {
            if (i == first || i == second)
            {
                continue;
            }
            const TRect& key = this->GetEntryKey(i);
            bool intoB = false;
            if (countA > half)
            {
                intoB = true;
            }
            else if (countB <= half)
            {
                intoB = RectangleMath::Enlargement(boundsB, key) <=
                        RectangleMath::Enlargement(boundsA, key);
            }
            if (intoB)
            {
                boundsB = RectangleMath::Union(boundsB, key);
                ++countB;
                toSibling[static_cast<std::size_t>(i)] = true;
            }
            else
            {
                boundsA = RectangleMath::Union(boundsA, key);
                ++countA;
            }
        }

        // Room for every entry in both nodes first: the entries below are in flight and
        // must not meet an allocation failure.
        auto sibling = std::make_unique<TDerived>(capacity);
        sibling->Reserve(this->Count());
        auto [keys, entries] = this->TakeAll();
        // Each group starts with its seed, followed by its other entries in order.
        this->AppendEntry(keys[static_cast<std::size_t>(first)],
                          std::move(entries[static_cast<std::size_t>(first)]));
        sibling->AppendEntry(keys[static_cast<std::size_t>(second)],
                             std::move(entries[static_cast<std::size_t>(second)]));
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(keys.size()); ++i)
        {
            const auto at = static_cast<std::size_t>(i);
            if (i == first || i == second)
            {
                continue;
            }
            if (toSibling[at])
            {
                sibling->AppendEntry(keys[at], std::move(entries[at]));
            }
            else
            {
                this->AppendEntry(keys[at], std::move(entries[at]));
            }
        }
        this->Key = boundsA;
        sibling->Key = boundsB;
        return sibling;
    }

protected:
    using TBase::TBase;

    // Appends an entry; tells whether the bounds changed.
    template <class TEntry>
    bool AppendCovered(const TRect& key, TEntry&& entry)
    {
        const bool wasEmpty = this->Count() == 0;
        this->AppendEntry(key, std::forward<TEntry>(entry));
        if (wasEmpty)
        {
            this->Key = key;
            return true;
        }
        return UpdateKey(key);
    }

private:
    std::pair<std::int32_t, std::int32_t> PickSeeds() const
    {
        std::int32_t highestMinX = 0;
        std::int32_t lowestMaxX = 0;
        std::int32_t highestMinY = 0;
        std::int32_t lowestMaxY = 0;
        for (std::int32_t i = 1; i < this->Count(); ++i)
        {
            const TRect& key = this->GetEntryKey(i);
            if (key.MinX > this->GetEntryKey(highestMinX).MinX)
            {
                highestMinX = i;
            }
            if (key.MaxX < this->GetEntryKey(lowestMaxX).MaxX)
            {
                lowestMaxX = i;
            }
            if (key.MinY > this->GetEntryKey(highestMinY).MinY)
            {
                highestMinY = i;
            }
            if (key.MaxY < this->GetEntryKey(lowestMaxY).MaxY)
            {
                lowestMaxY = i;
            }
        }
        const double separationX =
            this->GetEntryKey(highestMinX).MinX - this->GetEntryKey(lowestMaxX).MaxX;
        const double separationY =
            this->GetEntryKey(highestMinY).MinY - this->GetEntryKey(lowestMaxY).MaxY;
        const double width = this->Key.MaxX - this->Key.MinX;
        const double height = this->Key.MaxY - this->Key.MinY;

        std::pair<std::int32_t, std::int32_t> seeds{highestMinX, lowestMaxX};
        if (separationX * height <= separationY * width)
        {
            seeds = {highestMinY, lowestMaxY};
        }
        if (seeds.first == seeds.second)
        {
            seeds.second = seeds.first == 0 ? 1 : seeds.first - 1;
        }
        return seeds;
    }
};

template <class TRect, class TItem>
class RTreeLeafNode final
    : public RTreeNodeMixin<RTreeLeafNode<TRect, TItem>, LeafNode<TRect, TItem>, TRect>
{
public:
    explicit RTreeLeafNode(std::int32_t capacity)
        : RTreeNodeMixin<RTreeLeafNode, LeafNode<TRect, TItem>, TRect>(capacity)
    {
    }

    // Position of the first entry equal to item, or -1.
    std::int32_t FindIndex(const TItem& item) const
    {
        for (std::int32_t i = 0; i < this->Count(); ++i)
        {
            if (this->GetEntry(i) == item)
            {
                return i;
            }
        }
        return -1;
    }

    // Appends an item with its bounds; tells whether the node's bounds changed.
    template <class TEntry>
    bool InsertItem(const TRect& bounds, TEntry&& item)
    {
        return this->AppendCovered(bounds, std::forward<TEntry>(item));
    }

    TItem RemoveAt(std::int32_t i) { return this->RemoveEntryAt(i); }
};

template <class TRect>
class RTreeIndexNode final : public RTreeNodeMixin<RTreeIndexNode<TRect>, IndexNode<TRect>, TRect>
{
public:
    explicit RTreeIndexNode(std::int32_t capacity)
        : RTreeNodeMixin<RTreeIndexNode, IndexNode<TRect>, TRect>(capacity)
    {
    }

    // The child to insert r into: the first child whose area does not grow by covering r,
    // otherwise the child whose area grows least (the first on ties).
    TreeNode<TRect>& ChooseSubtree(const TRect& r) const
    {
        std::int32_t best = 0;
        double bestEnlargement = 0.0;
        for (std::int32_t i = 0; i < this->Count(); ++i)
        {
            const double enlargement = RectangleMath::Enlargement(this->GetEntryKey(i), r);
            if (enlargement == 0.0)
            {
                return this->Child(i);
            }
            if (i == 0 || enlargement < bestEnlargement)
            {
                best = i;
                bestEnlargement = enlargement;
            }
        }
        return this->Child(best);
    }

    // Appends a child; tells whether this node's bounds changed.
    bool InsertChild(std::unique_ptr<TreeNode<TRect>> child)
    {
        const TRect key = child->Key;
        return this->AppendCovered(key, std::move(child));
    }

    // Destroys a child and recomputes the bounds.
    void RemoveChild(const TreeNode<TRect>& child)
    {
        this->DestroyChild(child);
        this->RecomputeKey();
    }
};

} // namespace Collections
