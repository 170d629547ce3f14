#include "SweepStatus.h"

#include <algorithm>

namespace Arealis::Detail
{

bool IntervalOrder::operator()(const SweepEvent* a, const SweepEvent* b) const noexcept
{
    return a->MinY < b->MinY;
}

bool IntervalOrder::operator()(const SweepEvent* a, double y) const noexcept
{
    return a->MaxY < y;
}

bool IntervalOrder::operator()(double y, const SweepEvent* b) const noexcept
{
    return y < b->MaxY;
}

SweepEvent::SweepEvent(const LinearEdge& edge, bool fromFirst, std::int32_t position)
    : Snapshot(edge), FromFirst(fromFirst), Position(position)
{
    Left = Snapshot.Start();
    Right = Snapshot.End();
    if (Right < Left)
    {
        std::swap(Left, Right);
    }
    Rising = Right.Y > Left.Y;
    MinY = std::min(Left.Y, Right.Y);
    MaxY = std::max(Left.Y, Right.Y);
}

bool SweepStatus::OverlapsAny(const IntervalSet& set, const SweepEvent& event)
{
    // The first interval reaching up to the event's minimum is the only one that can overlap
    // it from below; intervals after it start above its minimum.
    const auto it = set.lower_bound(event.MinY);
    return it != set.end() && (*it)->MinY <= event.MaxY;
}

void SweepStatus::Insert(SweepEvent* pEvent)
{
    for (std::size_t i = 0; i < m_intervals.size(); ++i)
    {
        IntervalSet& set = m_intervals[i];
        if (!OverlapsAny(set, *pEvent))
        {
            pEvent->IntervalPosition = set.insert(pEvent).first;
            pEvent->Slot = i == 0 ? StatusSlot::FirstIntervals : StatusSlot::SecondIntervals;
            return;
        }
    }
    pEvent->OverflowPosition = m_overflow.size();
    m_overflow.push_back(pEvent);
    pEvent->Slot = StatusSlot::Overflow;
}

void SweepStatus::Remove(SweepEvent* pEvent) noexcept
{
    switch (pEvent->Slot)
    {
    case StatusSlot::Inactive:
        return;
    case StatusSlot::FirstIntervals:
        m_intervals[0].erase(pEvent->IntervalPosition);
        break;
    case StatusSlot::SecondIntervals:
        m_intervals[1].erase(pEvent->IntervalPosition);
        break;
    case StatusSlot::Overflow:
    {
        // Moves the last overflow edge into the freed place.
        SweepEvent* pLast = m_overflow.back();
        m_overflow[pEvent->OverflowPosition] = pLast;
        pLast->OverflowPosition = pEvent->OverflowPosition;
        m_overflow.pop_back();
        break;
    }
    }
    pEvent->Slot = StatusSlot::Inactive;
}

void SweepStatus::Clear() noexcept
{
    for (IntervalSet& set : m_intervals)
    {
        set.clear();
    }
    m_overflow.clear();
    m_pool.release(); // the memory goes back between calls
}

} // namespace Arealis::Detail
