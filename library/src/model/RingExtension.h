#pragma once

#include "Arealis/Rectangle.h"
#include "Arealis/SegmentsSet.h"

#include <cstdint>
#include <memory>

namespace Arealis
{

// The record that long rings (and rings searched through an edge index) carry: cached derived
// values and the R-tree of the ring's edges. Every change of the ring drops the edge index and
// the valid bits.
struct RingExtension
{
    static constexpr std::uint8_t AreaValid = 0x01;
    static constexpr std::uint8_t SecondValueValid = 0x02;
    static constexpr std::uint8_t BoundsValid = 0x04;

    std::unique_ptr<SegmentsSet> EdgeIndex;
    // The edges again, for the point-in-ring ray test of long rings; unlike EdgeIndex it
    // stays when the spatial index is switched off, and goes only when the ring changes.
    std::unique_ptr<SegmentsSet> HeightIndex;
    double Area = 0.0;
    // Reserved cache slot (valid bit 1); no operation uses it yet.
    double SecondValue = 0.0;
    Rectangle Bounds;
    std::uint8_t ValidBits = 0;

    void Invalidate() noexcept
    {
        EdgeIndex.reset();
        HeightIndex.reset();
        ValidBits = 0;
    }
};

} // namespace Arealis
