#include "Arealis/SortedPointRun.h"

#include "Arealis/Geometry.h"
#include "model/SortedPointRunState.h"

#include <cmath>
#include <limits>

namespace Arealis
{

SortedPointRun::SortedPointRun() : m_state(std::make_unique<State>()) {}

SortedPointRun::~SortedPointRun() = default;
SortedPointRun::SortedPointRun(SortedPointRun&&) noexcept = default;
SortedPointRun& SortedPointRun::operator=(SortedPointRun&&) noexcept = default;

bool SortedPointRun::Prepare(std::span<const Point> points, double gridStep)
{
    if (!m_state)
    {
        m_state = std::make_unique<State>(); // moved from
    }
    Clear();
    if (points.size() > std::numeric_limits<std::uint32_t>::max())
    {
        return false;
    }
    State& state = *m_state;
    state.GridStep = gridStep;
    // Grown one by one, a large run's arrays would take up to twice its size, and the old
    // and the new array at once while they grow.
    state.Positions.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
    {
        const Point position = SnapToNodeGrid(points[i], gridStep);
        if (!std::isfinite(position.X) || !std::isfinite(position.Y))
        {
            Clear();
            return false;
        }
        state.Positions.push_back(Detail::IndexedPosition{position, static_cast<std::uint32_t>(i)});
    }
    const std::span<const Detail::IndexedPosition> sorted =
        Detail::SortByPosition(state.Positions, state.Buckets, state.Sorted);
    std::vector<Point>& groups = state.GroupPositions;
    groups.reserve(sorted.size());
    state.GroupOf.resize(sorted.size());
    // Equal positions lie next to each other: each run of them is one group.
    for (const Detail::IndexedPosition& item : sorted)
    {
        if (groups.empty() || !(item.Position == groups.back()))
        {
            groups.push_back(item.Position);
        }
        state.GroupOf[item.Index] = static_cast<std::uint32_t>(groups.size() - 1);
    }
    return true;
}

void SortedPointRun::Clear() noexcept
{
    if (m_state)
    {
        m_state->Positions.clear();
        m_state->GroupOf.clear();
        m_state->GroupPositions.clear();
    }
}

void SortedPointRun::ReleaseWorkingRoom() noexcept
{
    if (m_state)
    {
        // Swapped out rather than shrunk: shrink_to_fit may allocate.
        std::vector<Detail::IndexedPosition>().swap(m_state->Positions);
        std::vector<std::uint32_t>().swap(m_state->Buckets);
        std::vector<Detail::IndexedPosition>().swap(m_state->Sorted);
    }
}

std::size_t SortedPointRun::Count() const noexcept
{
    return m_state ? m_state->GroupOf.size() : 0;
}

} // namespace Arealis
