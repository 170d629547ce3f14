#pragma once

#include "Arealis/LinearEdge.h"
#include "Arealis/Rectangle.h"
#include "Collections/RTree.h"

#include <cstdint>
#include <memory>

namespace Arealis
{

using RingEdgeIndex = Collections::RTree<LinearEdge, Rectangle, GetBoundsFromSegment>;

// The record that long rings (and rings searched through an edge index) carry: cached derived
// values and the R-tree of the ring's edges. Every change of the ring drops the edge index and
// the valid bits.
struct RingExtension
{
    static constexpr std::uint8_t AreaValid = 0x01;
    static constexpr std::uint8_t SecondValueValid = 0x02;
    static constexpr std::uint8_t BoundsValid = 0x04;

    // Nominal node size of the edge index.
    static constexpr int EdgeIndexNodeSize = 10;

    std::unique_ptr<RingEdgeIndex> EdgeIndex;
    double Area = 0.0;
    // Reserved cache slot (valid bit 1); no operation uses it yet.
    double SecondValue = 0.0;
    Rectangle Bounds;
    std::uint8_t ValidBits = 0;

    void Invalidate() noexcept
    {
        EdgeIndex.reset();
        ValidBits = 0;
    }
};

} // namespace Arealis
