#include "model/OverlapTestsAhead.h"

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "overlay/ParallelLayerOperations.h"
#include "overlay/UnionTree.h"

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

void RunInBlocks(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& task)
{
    LayerOperations::RunItems(
        (count + BlockSize - 1) / BlockSize, threads,
        [&](std::size_t block)
        {
            const std::size_t end = std::min(count, (block + 1) * BlockSize);
            for (std::size_t k = block * BlockSize; k < end; ++k)
            {
                task(k);
            }
        },
        {});
}

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
    LayerOperations::PrepareForSharedReads(polygon, indexed);
}

} // namespace

OverlapTestsAhead::OverlapTestsAhead(std::size_t count)
{
    if (count > std::numeric_limits<std::uint32_t>::max())
    {
        throw std::length_error("OverlapTestsAhead: more than 2^32 - 1 polygons");
    }
    m_polygons.reserve(count);
    m_bounds.reserve(count);
}

void OverlapTestsAhead::Add(Polygon* pPolygon, const Rectangle& bounds)
{
    PrepareForTests(*pPolygon);
    m_order[pPolygon] = static_cast<std::uint32_t>(m_polygons.size());
    m_index.Insert(pPolygon, bounds);
    // Within the room reserved: the polygon is either in all three or in none of these.
    m_polygons.push_back(pPolygon);
    m_bounds.push_back(bounds);
}

void OverlapTestsAhead::Run(const PolygonsSet& committed, unsigned threads) noexcept
{
    const std::size_t count = m_polygons.size();
    try
    {
        std::vector<std::vector<const Polygon*>> candidates(count);
        RunInBlocks(count, threads,
                    [&](std::size_t k) { candidates[k] = CandidatesOf(committed, k); });
        // The committed candidates are read by several threads at once from here on.
        if (committed.Count() > 0)
        {
            for (const std::vector<const Polygon*>& of : candidates)
            {
                for (const Polygon* candidate : of)
                {
                    if (m_order.Find(candidate) == nullptr)
                    {
                        PrepareForTests(*candidate);
                    }
                }
            }
        }
        m_outcomes.resize(count);
        RunInBlocks(count, threads,
                    [&](std::size_t k) { m_outcomes[k] = Test(k, candidates[k]); });
    }
    catch (...)
    {
        m_outcomes.clear();
    }
}

std::vector<const Polygon*> OverlapTestsAhead::CandidatesOf(const PolygonsSet& committed,
                                                            std::size_t k) const
{
    std::vector<const Polygon*> candidates;
    const Rectangle& bounds = m_bounds[k];
    committed.VisitOverlapping(bounds,
                               [&candidates](const Polygon* pCommitted)
                               {
                                   candidates.push_back(pCommitted);
                                   return true;
                               });
    const std::size_t fromCommitted = candidates.size();
    m_index.VisitOverlapping(bounds,
                             [&](const Polygon* pOther)
                             {
                                 if (*m_order.Find(pOther) < k)
                                 {
                                     candidates.push_back(pOther);
                                 }
                                 return true;
                             });
    std::sort(candidates.begin() + static_cast<std::ptrdiff_t>(fromCommitted), candidates.end(),
              [this](const Polygon* a, const Polygon* b)
              { return *m_order.Find(a) < *m_order.Find(b); });
    return candidates;
}

OverlapTestsAhead::Outcomes
OverlapTestsAhead::Test(std::size_t k, const std::vector<const Polygon*>& candidates) const
{
    Outcomes outcomes;
    outcomes.Tests.reserve(candidates.size());
    bool apart = true;
    for (std::size_t c = 0; c < candidates.size() && apart; ++c)
    {
        Outcome& outcome = outcomes.Tests.emplace_back();
        outcome.pOther = candidates[c];
        try
        {
            outcome.Overlap = m_polygons[k]->Overlaps(candidates[c]);
        }
        catch (...)
        {
            outcome.Error = std::current_exception();
        }
        apart = !outcome.Overlap && outcome.Error == nullptr;
    }
    outcomes.Complete = apart;
    std::sort(outcomes.Tests.begin(), outcomes.Tests.end(),
              [](const Outcome& a, const Outcome& b)
              { return std::less<const Polygon*>()(a.pOther, b.pOther); });
    return outcomes;
}

bool OverlapTestsAhead::AllApart() const noexcept
{
    return m_outcomes.size() == m_polygons.size() &&
           std::all_of(m_outcomes.begin(), m_outcomes.end(),
                       [](const Outcomes& outcomes) { return outcomes.Complete; });
}

bool OverlapTestsAhead::Overlaps(std::size_t k, const Polygon* pCommitted) const
{
    if (k < m_outcomes.size())
    {
        const std::vector<Outcome>& tests = m_outcomes[k].Tests;
        const auto found = std::lower_bound(
            tests.begin(), tests.end(), pCommitted, [](const Outcome& outcome, const Polygon* p)
            { return std::less<const Polygon*>()(outcome.pOther, p); });
        if (found != tests.end() && found->pOther == pCommitted)
        {
            if (found->Error != nullptr)
            {
                std::rethrow_exception(found->Error);
            }
            return found->Overlap;
        }
    }
    return m_polygons[k]->Overlaps(pCommitted);
}

} // namespace Arealis::Detail
