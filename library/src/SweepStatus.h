#pragma once

#include "EdgePairTest.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <set>
#include <vector>

namespace Arealis::Detail
{

struct SweepEvent;

// Orders edges with pairwise disjoint y intervals; such intervals ascend in their minimum and
// in their maximum alike, so a y value can be searched against the maxima.
struct IntervalOrder
{
    using is_transparent = void;
    bool operator()(const SweepEvent* a, const SweepEvent* b) const noexcept;
    bool operator()(const SweepEvent* a, double y) const noexcept;
    bool operator()(double y, const SweepEvent* b) const noexcept;
};

// The sets take their tree nodes from the status's pool: an edge enters and leaves the status
// once, and the nodes of retired edges serve the next ones.
using IntervalSet = std::pmr::set<SweepEvent*, IntervalOrder>;

// Where an edge of the sweep is kept while it is active.
enum class StatusSlot : std::int8_t
{
    Inactive,
    FirstIntervals,
    SecondIntervals,
    Overflow
};

// One edge of the sweep: its end points in sweep order and its place in the status.
struct SweepEvent
{
    EdgeSnapshot Snapshot;
    bool FromFirst = true;
    // Position in its input list; in self mode the earlier edge of a pair is compared first.
    std::int32_t Position = 0;
    Point Left;
    Point Right;
    bool Rising = false;
    double MinY = 0.0;
    double MaxY = 0.0;

    StatusSlot Slot = StatusSlot::Inactive;
    IntervalSet::iterator IntervalPosition;
    std::size_t OverflowPosition = 0;

    SweepEvent(const LinearEdge& edge, bool fromFirst, std::int32_t position);
};

// The active edges of one input list: two sets of edges with pairwise disjoint y intervals,
// searched in order, and an overflow of edges that overlap an edge in both sets. Every edge
// can be removed in constant time.
class SweepStatus
{
public:
    SweepStatus() : m_intervals{IntervalSet(&m_pool), IntervalSet(&m_pool)} {}
    SweepStatus(const SweepStatus&) = delete;
    SweepStatus& operator=(const SweepStatus&) = delete;

    void Insert(SweepEvent* pEvent);
    void Remove(SweepEvent* pEvent) noexcept;
    void Clear() noexcept;

    // Calls visit(candidate, fromOverflow) for the edges whose y interval meets the event's
    // interval widened by the tolerance, then for every edge of the overflow; stops as soon as
    // visit returns false, and then returns false.
    template <class F>
    bool VisitCandidates(const SweepEvent& event, F&& visit) const
    {
        for (const IntervalSet& set : m_intervals)
        {
            if (!VisitIntervalCandidates(set, event, visit))
            {
                return false;
            }
        }
        for (const SweepEvent* pCandidate : m_overflow)
        {
            if (!visit(*pCandidate, true))
            {
                return false;
            }
        }
        return true;
    }

private:
    template <class F>
    static bool VisitIntervalCandidates(const IntervalSet& set, const SweepEvent& event, F& visit)
    {
        const double low = event.MinY - IntersectionTolerance;
        const double high = event.MaxY + IntersectionTolerance;
        const auto start = set.lower_bound(event.MinY);
        for (auto it = start; it != set.end() && (*it)->MinY < high; ++it)
        {
            if (!visit(**it, false))
            {
                return false;
            }
        }
        for (auto it = start; it != set.begin();)
        {
            --it;
            if (!((*it)->MaxY > low))
            {
                break;
            }
            if (!visit(**it, false))
            {
                return false;
            }
        }
        return true;
    }

    static bool OverlapsAny(const IntervalSet& set, const SweepEvent& event);

    std::pmr::unsynchronized_pool_resource m_pool;
    std::array<IntervalSet, 2> m_intervals;
    std::vector<SweepEvent*> m_overflow;
};

} // namespace Arealis::Detail
