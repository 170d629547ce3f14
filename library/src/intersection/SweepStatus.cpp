#include "intersection/SweepStatus.h"

namespace Arealis::Detail
{

StatusSlot SweepStatus::Insert(const IntervalEntry& entry, const IntervalEntry& overflowRange)
{
    for (std::size_t i = 0; i < m_intervals.size(); ++i)
    {
        if (m_intervals[i].InsertIfDisjoint(entry))
        {
            return i == 0 ? StatusSlot::FirstIntervals : StatusSlot::SecondIntervals;
        }
    }
    if (m_overflowPlaces.empty())
    {
        m_overflowPlaces.resize(m_edgeCount);
    }
    m_overflowPlaces[entry.Edge] = static_cast<std::uint32_t>(m_overflow.size());
    m_overflow.push_back(overflowRange);
    return StatusSlot::Overflow;
}

void SweepStatus::Remove(std::uint32_t edge, double minY, StatusSlot slot) noexcept
{
    switch (slot)
    {
    case StatusSlot::FirstIntervals:
        m_intervals[0].Erase(minY);
        return;
    case StatusSlot::SecondIntervals:
        m_intervals[1].Erase(minY);
        return;
    case StatusSlot::Overflow:
    {
        const std::uint32_t place = m_overflowPlaces[edge];
        const IntervalEntry last = m_overflow.back();
        m_overflow[place] = last;
        m_overflowPlaces[last.Edge] = place;
        m_overflow.pop_back();
        return;
    }
    }
}

void SweepStatus::Clear() noexcept
{
    for (IntervalSet& set : m_intervals)
    {
        set.Clear();
    }
    // The memory goes back between calls.
    std::vector<IntervalEntry>().swap(m_overflow);
    decltype(m_overflowPlaces)().swap(m_overflowPlaces);
    m_edgeCount = 0;
}

} // namespace Arealis::Detail
