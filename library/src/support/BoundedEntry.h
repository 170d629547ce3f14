#pragma once

#include "Arealis/Rectangle.h"
#include "Collections/RTree.h"

namespace Arealis::Detail
{

// An R-tree entry for items that do not carry their bounds themselves (a ring whose bounds were
// taken once, a number that places a ring among others): the item beside the bounds it is
// indexed by. Entries are equal when their items are, which is what removal from the index
// compares.
template <class Item>
struct BoundedEntry
{
    Item Value{};
    Rectangle Bounds;

    bool operator==(const BoundedEntry& other) const noexcept { return Value == other.Value; }
};

// Key extractor of such an index: the bounds stored with the item.
template <class Item>
struct GetBoundsFromEntry
{
    Rectangle operator()(const BoundedEntry<Item>& entry) const noexcept { return entry.Bounds; }
};

template <class Item>
using BoundsIndex = Collections::RTree<BoundedEntry<Item>, Rectangle, GetBoundsFromEntry<Item>>;

} // namespace Arealis::Detail
