#pragma once

#include "intersection/SweepIntervalSet.h"
#include "support/UninitialisedAllocator.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Arealis::Detail
{

// Where an edge of the sweep is kept while it is active.
enum class StatusSlot : std::int8_t
{
    FirstIntervals,
    SecondIntervals,
    Overflow
};

// The active edges of one input list: two sets of edges with pairwise disjoint y intervals,
// searched in order, and an overflow of edges that overlap an edge in both sets.
class SweepStatus
{
public:
    // Prepares for the edges numbered below edgeCount.
    void Start(std::size_t edgeCount) noexcept { m_edgeCount = edgeCount; }

    // Puts the edge into the first set whose intervals it does not overlap, else into the
    // overflow, where it is kept with overflowRange for the visits' filter; returns where it
    // went.
    StatusSlot Insert(const IntervalEntry& entry, const IntervalEntry& overflowRange);

    // Removes an edge from where Insert put it. An overflow edge's place is taken by the last
    // overflow edge, which changes the order in which the overflow is visited.
    void Remove(std::uint32_t edge, double minY, StatusSlot slot) noexcept;

    bool HasOverflow() const noexcept { return !m_overflow.empty(); }
    void Clear() noexcept;

    // Calls visit(candidate, overflowRange) for the edges of both sets whose y interval meets
    // [minY, maxY] widened by the tolerance, with a null range, then for every edge of the
    // overflow with the range it was inserted with; stops as soon as visit returns false, and
    // then returns false.
    template <class F>
    bool VisitCandidates(double minY, double maxY, double tolerance, F&& visit) const
    {
        const auto visitInterval = [&visit](std::uint32_t candidate)
        { return visit(candidate, static_cast<const IntervalEntry*>(nullptr)); };
        for (const IntervalSet& set : m_intervals)
        {
            if (!set.VisitNear(minY, maxY, tolerance, visitInterval))
            {
                return false;
            }
        }
        for (const IntervalEntry& candidate : m_overflow)
        {
            if (!visit(candidate.Edge, &candidate))
            {
                return false;
            }
        }
        return true;
    }

private:
    std::array<IntervalSet, 2> m_intervals;
    // The overflow edges with their y ranges, which a visit compares without reading nodes.
    std::vector<IntervalEntry> m_overflow;
    // The place of every overflow edge in m_overflow, by edge number; allocated for the first
    // overflow edge of a call. Only the places of overflow edges are ever read, and those are
    // written first, so the buffer is not zeroed.
    std::vector<std::uint32_t, UninitialisedAllocator<std::uint32_t>> m_overflowPlaces;
    std::size_t m_edgeCount = 0;
};

} // namespace Arealis::Detail
