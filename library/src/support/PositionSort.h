#pragma once

#include "Arealis/Point.h"

#include <cstdint>
#include <span>
#include <vector>

namespace Arealis::Detail
{

// A point with the place it came from.
struct IndexedPosition
{
    Point Position;
    std::uint32_t Index;
};

// The items sorted by position in the node index's order (X, then Y; the two zeros alike),
// equal positions in any order: items itself, sorted in place, or scratch, which then holds
// them sorted while items keeps some order of its own. The items are spread over about one
// bucket per two by their X (see LinearBuckets), then each bucket is sorted. Every coordinate
// must be finite. buckets and scratch are working room, kept by the caller from call to call.
std::span<const IndexedPosition> SortByPosition(std::span<IndexedPosition> items,
                                                std::vector<std::uint32_t>& buckets,
                                                std::vector<IndexedPosition>& scratch);

} // namespace Arealis::Detail
