#pragma once

#include "Arealis/Rectangle.h"
#include "Arealis/SegmentsSet.h"
#include "model/EdgeBoxHierarchy.h"

#include <atomic>
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
    // The edges' bounds again, for the point-in-ring ray test and the rectangle searches of
    // long rings; unlike EdgeIndex it stays when the spatial index is switched off, and goes
    // only when the ring changes. It is built by whichever thread reading the ring needs it
    // first, under a lock: the flag publishes the finished index to the others.
    std::unique_ptr<Detail::EdgeBoxHierarchy> HeightIndex;
    std::atomic<bool> HeightIndexBuilt{false};
    // Height searches answered by a scan since the last change: the index is built only for a
    // ring searched often enough to repay it.
    std::atomic<std::uint32_t> HeightScans{0};
    double Area = 0.0;
    // Reserved cache slot (valid bit 1); no operation uses it yet.
    double SecondValue = 0.0;
    Rectangle Bounds;
    std::uint8_t ValidBits = 0;

    void Invalidate() noexcept
    {
        EdgeIndex.reset();
        HeightIndexBuilt.store(false, std::memory_order_relaxed);
        HeightScans.store(0, std::memory_order_relaxed);
        HeightIndex.reset();
        ValidBits = 0;
    }
};

} // namespace Arealis
