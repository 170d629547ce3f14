#include "model/RingBoundsIndex.h"

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "support/BoxLevels.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <numeric>

namespace Arealis::Detail
{

namespace
{

bool HasFewRings(const Polygon& polygon)
{
    RingEnumerator rings = polygon.GetRings();
    for (std::int32_t seen = 0; seen < RingBoundsIndex::ManyRings; ++seen)
    {
        if (!rings.MoveNext())
        {
            return true;
        }
    }
    return false;
}

// A box with a coordinate that is not a number meets every query in a plain test but is lost
// from the boxes that group it.
bool IsOrdered(const Rectangle& box) noexcept
{
    return !std::isnan(box.MinX) && !std::isnan(box.MinY) && !std::isnan(box.MaxX) &&
           !std::isnan(box.MaxY);
}

double CentreX(const Rectangle& box) noexcept
{
    return 0.5 * box.MinX + 0.5 * box.MaxX;
}

double CentreY(const Rectangle& box) noexcept
{
    return 0.5 * box.MinY + 0.5 * box.MaxY;
}

} // namespace

RingBoundsIndex::RingBoundsIndex(const Polygon& polygon)
{
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring* ring = rings.Current();
        m_rings.push_back(ring);
        m_ringBounds.push_back(ring->GetBounds());
        m_nodeCount += ring->Count();
        if (ring->Count() > 0)
        {
            m_bounds.Extend(m_ringBounds.back());
        }
    }
    // Sort-tile packing: vertical slices by the boxes' centres, each slice by height, so that
    // each group of Fanout consecutive rings is compact.
    const std::size_t count = m_rings.size();
    m_order.resize(count);
    std::iota(m_order.begin(), m_order.end(), std::uint32_t{0});
    const auto byX = [this](std::uint32_t a, std::uint32_t b)
    { return CentreX(m_ringBounds[a]) < CentreX(m_ringBounds[b]); };
    const auto byY = [this](std::uint32_t a, std::uint32_t b)
    { return CentreY(m_ringBounds[a]) < CentreY(m_ringBounds[b]); };
    std::sort(m_order.begin(), m_order.end(), byX);
    const std::size_t groups = (count + Fanout - 1) / Fanout;
    const auto slices = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(groups))));
    const std::size_t sliceSize = std::max<std::size_t>(1, (groups + slices - 1) / slices) * Fanout;
    for (std::size_t start = 0; start < count; start += sliceSize)
    {
        std::sort(m_order.begin() + static_cast<std::ptrdiff_t>(start),
                  m_order.begin() + static_cast<std::ptrdiff_t>(std::min(count, start + sliceSize)),
                  byY);
    }
    m_levels.emplace_back(groups);
    for (std::size_t k = 0; k < count; ++k)
    {
        m_levels.back()[k / Fanout].Extend(m_ringBounds[m_order[k]]);
    }
    AddLevelsAbove(m_levels, Fanout);
}

const RingBoundsIndex* RingBoundsIndex::Of(const Polygon& polygon)
{
    enum : std::uint8_t
    {
        Unknown = 0,
        Unindexed = 1,
        Built = 2
    };
    // A polygon being edited may change at any time; a free one changes without notice.
    if (polygon.IsEditing() || polygon.GetLayer() == nullptr)
    {
        return nullptr;
    }
    std::atomic<std::uint8_t>& state = polygon.m_ringIndexState;
    const std::uint8_t seen = state.load(std::memory_order_acquire);
    if (seen != Unknown)
    {
        return seen == Built ? polygon.m_ringIndex.get() : nullptr;
    }
    // Most polygons have few rings: told so without the lock (any thread finds the same).
    if (HasFewRings(polygon))
    {
        state.store(Unindexed, std::memory_order_relaxed);
        return nullptr;
    }
    // Builds are rare (once per large polygon and commit), so one lock serves every polygon.
    static std::mutex buildLock;
    const std::lock_guard<std::mutex> lock(buildLock);
    if (state.load(std::memory_order_relaxed) == Unknown)
    {
        auto index = std::make_unique<RingBoundsIndex>(polygon);
        if (!std::all_of(index->m_ringBounds.begin(), index->m_ringBounds.end(), IsOrdered))
        {
            index.reset();
        }
        polygon.m_ringIndex = std::move(index);
        state.store(polygon.m_ringIndex ? Built : Unindexed, std::memory_order_release);
    }
    return polygon.m_ringIndex.get();
}

void RingBoundsIndex::FindRings(const Rectangle& query, std::vector<std::uint32_t>& found) const
{
    found.clear();
    if (m_rings.empty())
    {
        return;
    }
    // Groups still to open, as (level, group).
    std::vector<std::pair<std::size_t, std::size_t>> open;
    const std::size_t top = m_levels.size() - 1;
    for (std::size_t g = 0; g < m_levels[top].size(); ++g)
    {
        open.emplace_back(top, g);
    }
    while (!open.empty())
    {
        const auto [level, group] = open.back();
        open.pop_back();
        if (!m_levels[level][group].Intersects(query))
        {
            continue;
        }
        const std::size_t first = group * Fanout;
        if (level > 0)
        {
            const std::size_t end = std::min(m_levels[level - 1].size(), first + Fanout);
            for (std::size_t g = first; g < end; ++g)
            {
                open.emplace_back(level - 1, g);
            }
            continue;
        }
        const std::size_t end = std::min(m_order.size(), first + Fanout);
        for (std::size_t k = first; k < end; ++k)
        {
            if (m_ringBounds[m_order[k]].Intersects(query))
            {
                found.push_back(m_order[k]);
            }
        }
    }
    std::sort(found.begin(), found.end());
}

} // namespace Arealis::Detail
