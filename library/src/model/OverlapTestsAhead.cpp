#include "model/OverlapTestsAhead.h"

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "model/PolygonSharedReads.h"
#include "support/ParallelWork.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <stdexcept>

namespace Arealis::Detail
{

namespace
{

// Polygons handed to a thread at a time: a test takes some microseconds, a block of them
// repays taking it from the shared ranges.
constexpr std::size_t BlockSize = 32;

// The candidates kept per polygon of a commit on average at most, and at least in all: the
// polygons of a layer that must not overlap meet a few neighbours each.
constexpr std::size_t CandidatesPerPolygon = 32;
constexpr std::size_t LeastCandidateRoom = std::size_t{1} << 16;

// Fills the values a polygon computes when first asked (bounds, area, and the edge index of
// rings that use one), so that the threads testing it at once only read it.
void PrepareForTests(const Polygon& polygon)
{
    bool indexed = false;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        indexed = indexed || rings.Current()->HasFlag(Ring::Flags::UseSpatialIndex);
    }
    PrepareForSharedReads(polygon, indexed);
}

bool ByAddress(const Polygon* pA, const Polygon* pB)
{
    return std::less<const Polygon*>()(pA, pB);
}

} // namespace

OverlapTestsAhead::OverlapTestsAhead(const PolygonsSet& committed, std::size_t count)
    : m_committed(committed),
      m_candidateRoom(std::max(LeastCandidateRoom, CandidatesPerPolygon * count))
{
    if (count >= std::numeric_limits<std::uint32_t>::max())
    {
        throw std::length_error("OverlapTestsAhead: 2^32 - 1 polygons or more");
    }
    m_polygons.reserve(count);
    m_bounds.reserve(count);
    m_starts.reserve(count + 1);
    m_collected.reserve(count);
}

void OverlapTestsAhead::Add(Polygon* pPolygon, const Rectangle& bounds)
{
    PrepareForTests(*pPolygon);
    const std::size_t first = m_candidates.size();
    // Once the room is used up, a polygon's candidates are not even looked for: a search
    // alone may meet every polygon added before.
    const bool collected = first < m_candidateRoom;
    try
    {
        if (collected)
        {
            m_committed.VisitOverlapping(bounds,
                                         [this](Polygon* pCommitted)
                                         {
                                             // Read by several threads at once from Run on.
                                             bool& prepared = m_committedPrepared[pCommitted];
                                             if (!prepared)
                                             {
                                                 PrepareForTests(*pCommitted);
                                                 prepared = true;
                                             }
                                             m_candidates.push_back(pCommitted);
                                             return true;
                                         });
            m_index.VisitOverlapping(bounds,
                                     [this](Polygon* pEarlier)
                                     {
                                         m_candidates.push_back(pEarlier);
                                         return true;
                                     });
        }
        m_index.Insert(pPolygon, bounds);
    }
    catch (...)
    {
        m_candidates.resize(first);
        throw;
    }
    // Within the room reserved: the polygon is now in every list or in none.
    m_polygons.push_back(pPolygon);
    m_bounds.push_back(bounds);
    m_starts.push_back(m_candidates.size());
    m_collected.push_back(collected ? 1 : 0);
}

void OverlapTestsAhead::Run(unsigned threads) noexcept
{
    const std::size_t count = m_polygons.size();
    try
    {
        m_apart.assign(count, 0);
        m_stops.assign(count, Stop{});
        Parallel::RunItems((count + BlockSize - 1) / BlockSize, threads,
                           [this, count](std::size_t block)
                           {
                               const std::size_t end = std::min(count, (block + 1) * BlockSize);
                               for (std::size_t k = block * BlockSize; k < end; ++k)
                               {
                                   Test(k);
                               }
                           },
                           {});
    }
    catch (...)
    {
        m_apart.clear();
        m_stops.clear();
    }
}

void OverlapTestsAhead::Test(std::size_t k)
{
    if (m_collected[k] == 0)
    {
        return;
    }
    const auto begin = m_candidates.begin() + static_cast<std::ptrdiff_t>(m_starts[k]);
    const auto end = m_candidates.begin() + static_cast<std::ptrdiff_t>(m_starts[k + 1]);
    auto next = begin;
    for (; next != end; ++next)
    {
        Stop& stop = m_stops[k];
        try
        {
            stop.Overlap = m_polygons[k]->Overlaps(*next);
        }
        catch (...)
        {
            stop.Error = std::current_exception();
        }
        if (stop.Overlap || stop.Error != nullptr)
        {
            stop.pOther = *next;
            break;
        }
    }
    std::sort(begin, next, ByAddress);
    m_apart[k] = static_cast<std::uint32_t>(next - begin);
}

bool OverlapTestsAhead::AllApart() const noexcept
{
    return m_stops.size() == m_polygons.size() &&
           std::all_of(m_stops.begin(), m_stops.end(),
                       [](const Stop& stop) { return stop.pOther == nullptr; }) &&
           std::all_of(m_collected.begin(), m_collected.end(),
                       [](std::uint8_t collected) { return collected != 0; });
}

bool OverlapTestsAhead::Overlaps(std::size_t k, const Polygon* pCommitted) const
{
    if (k < m_stops.size() && m_collected[k] != 0)
    {
        const Stop& stop = m_stops[k];
        if (stop.pOther == pCommitted)
        {
            if (stop.Error != nullptr)
            {
                std::rethrow_exception(stop.Error);
            }
            return stop.Overlap;
        }
        const auto begin = m_candidates.begin() + static_cast<std::ptrdiff_t>(m_starts[k]);
        const auto end = begin + m_apart[k];
        if (std::binary_search(begin, end, pCommitted, ByAddress))
        {
            return false;
        }
    }
    return m_polygons[k]->Overlaps(pCommitted);
}

} // namespace Arealis::Detail
