#pragma once

#include "Arealis/Point.h"
#include "Arealis/SortedPointRun.h"
#include "support/PositionSort.h"

#include <cstdint>
#include <vector>

namespace Arealis
{

struct SortedPointRun::State
{
    // The points, snapped, with their place in the run, and room to sort them.
    std::vector<Detail::IndexedPosition> Positions;
    std::vector<std::uint32_t> Buckets;
    std::vector<Detail::IndexedPosition> Sorted;
    // For each place in the run: its group of equal positions.
    std::vector<std::uint32_t> GroupOf;
    // For each group, in the index's order: its position.
    std::vector<Point> GroupPositions;
    // The grid step that the points were snapped to.
    double GridStep = 0.0;
};

} // namespace Arealis
