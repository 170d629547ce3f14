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
#include <system_error>

namespace Arealis::Detail
{

namespace
{

// Polygons handed to a thread at a time: a test takes some microseconds, a block of them
// repays taking it from the shared ranges.
constexpr std::size_t BlockSize = 32;

// A polygon with more candidates than this has its tests split over the threads, in parts of
// PartCandidates: the few large polygons of a union (each over thousands of others) are added
// last in commit order, so that their tests were the commit's end on a single thread.
constexpr std::size_t SplitCandidates = 256;
constexpr std::size_t PartCandidates = 64;

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
    m_polygons.resize(count);
    m_bounds.resize(count);
    m_candidates.resize((count + BlockSize - 1) / BlockSize);
    m_starts.resize(count);
    m_counts.resize(count);
    m_collected.resize(count);
    m_apart.resize(count);
    m_stops.resize(count);
}

void OverlapTestsAhead::Add(Polygon* pPolygon, const Rectangle& bounds)
{
    const std::size_t k = m_added;
    if (k == m_polygons.size())
    {
        throw std::length_error("OverlapTestsAhead: more polygons than room was made for");
    }
    PrepareForTests(*pPolygon);
    std::vector<const Polygon*>& candidates = m_candidates[k / BlockSize];
    const std::size_t first = candidates.size();
    // Once the room is used up, a polygon's candidates are not even looked for: a search
    // alone may meet every polygon added before.
    const bool collected = m_candidateCount < m_candidateRoom;
    try
    {
        if (collected)
        {
            m_committed.VisitOverlapping(bounds,
                                         [&](Polygon* pCommitted)
                                         {
                                             // Read by several threads at once from here on.
                                             bool& prepared = m_committedPrepared[pCommitted];
                                             if (!prepared)
                                             {
                                                 PrepareForTests(*pCommitted);
                                                 prepared = true;
                                             }
                                             candidates.push_back(pCommitted);
                                             return true;
                                         });
            m_index.VisitOverlapping(bounds,
                                     [&](Polygon* pEarlier)
                                     {
                                         candidates.push_back(pEarlier);
                                         return true;
                                     });
        }
        m_index.Insert(pPolygon, bounds);
    }
    catch (...)
    {
        candidates.resize(first);
        throw;
    }
    m_polygons[k] = pPolygon;
    m_bounds[k] = bounds;
    m_starts[k] = first;
    m_counts[k] = static_cast<std::uint32_t>(candidates.size() - first);
    m_candidateCount += candidates.size() - first;
    m_collected[k] = collected ? 1 : 0;
    m_added = k + 1;
    if (m_added % BlockSize == 0)
    {
        m_published.store(m_added, std::memory_order_release);
    }
}

void OverlapTestsAhead::AddAndTest(unsigned threads, const std::function<void()>& addAll)
{
    m_threads = threads;
    bool addingDone = false;
    std::exception_ptr addingFailure;
    const auto add = [&]
    {
        if (addingDone)
        {
            return false;
        }
        addingDone = true;
        try
        {
            addAll();
        }
        catch (...)
        {
            addingFailure = std::current_exception();
        }
        m_published.store(m_added, std::memory_order_release);
        m_addingEnded.store(true, std::memory_order_release);
        return true;
    };
    // A block may be tested once it is complete, or once no more polygons come.
    const auto mayStart = [this](std::size_t block)
    {
        return m_addingEnded.load(std::memory_order_acquire) ||
               (block + 1) * BlockSize <= m_published.load(std::memory_order_acquire);
    };
    bool tested = false;
    try
    {
        tested = Parallel::ForEach(
                     m_candidates.size(), threads, [this](std::size_t block) { TestBlock(block); },
                     {}, add, true, mayStart) == nullptr;
    }
    catch (const std::system_error&) // no thread to be had: the filing makes every test
    {
    }
    if (!addingDone)
    {
        add();
    }
    if (!tested)
    {
        m_apart.clear();
        m_stops.clear();
    }
    if (addingFailure != nullptr)
    {
        std::rethrow_exception(addingFailure);
    }
}

void OverlapTestsAhead::TestBlock(std::size_t block) noexcept
{
    const std::size_t end =
        std::min((block + 1) * BlockSize, m_published.load(std::memory_order_acquire));
    for (std::size_t k = block * BlockSize; k < end; ++k)
    {
        Test(k);
    }
}

std::vector<const Polygon*>::iterator OverlapTestsAhead::CandidatesBegin(std::size_t k)
{
    return m_candidates[k / BlockSize].begin() + static_cast<std::ptrdiff_t>(m_starts[k]);
}

std::vector<const Polygon*>::const_iterator OverlapTestsAhead::CandidatesBegin(std::size_t k) const
{
    return m_candidates[k / BlockSize].begin() + static_cast<std::ptrdiff_t>(m_starts[k]);
}

void OverlapTestsAhead::Test(std::size_t k)
{
    if (m_collected[k] == 0)
    {
        return;
    }
    const std::size_t count = m_counts[k];
    std::size_t stopAt = count;
    if (count > SplitCandidates && m_threads > 1)
    {
        stopAt = TestSplit(k);
    }
    else
    {
        stopAt = TestInTurn(k, 0, count, m_stops[k]);
    }
    const auto begin = CandidatesBegin(k);
    std::sort(begin, begin + static_cast<std::ptrdiff_t>(stopAt), ByAddress);
    m_apart[k] = static_cast<std::uint32_t>(stopAt);
}

std::size_t OverlapTestsAhead::TestInTurn(std::size_t k, std::size_t first, std::size_t end,
                                          Stop& stop) const
{
    const auto begin = CandidatesBegin(k);
    for (std::size_t i = first; i < end; ++i)
    {
        const Polygon* candidate = begin[static_cast<std::ptrdiff_t>(i)];
        try
        {
            stop.Overlap = m_polygons[k]->Overlaps(candidate);
        }
        catch (...)
        {
            stop.Error = std::current_exception();
        }
        if (stop.Overlap || stop.Error != nullptr)
        {
            stop.pOther = candidate;
            return i;
        }
    }
    return end;
}

std::size_t OverlapTestsAhead::TestSplit(std::size_t k)
{
    const std::size_t count = m_counts[k];
    const std::size_t parts = (count + PartCandidates - 1) / PartCandidates;
    const auto endOf = [count](std::size_t part)
    { return std::min(count, (part + 1) * PartCandidates); };
    try
    {
        std::vector<Stop> stops(parts);
        std::vector<std::size_t> stopsAt(parts);
        const auto testPart = [&](std::size_t part)
        {
            stops[part] = Stop{};
            stopsAt[part] = TestInTurn(k, part * PartCandidates, endOf(part), stops[part]);
        };
        try
        {
            Parallel::RunItems(parts, m_threads, testPart, {});
        }
        catch (const std::system_error&) // no thread to be had: each part in turn
        {
            for (std::size_t part = 0; part < parts; ++part)
            {
                testPart(part);
            }
        }
        for (std::size_t part = 0; part < parts; ++part)
        {
            if (stopsAt[part] < endOf(part))
            {
                m_stops[k] = std::move(stops[part]);
                return stopsAt[part];
            }
        }
        return count;
    }
    catch (...) // no room for the parts: the candidates in turn
    {
        m_stops[k] = Stop{};
        return TestInTurn(k, 0, count, m_stops[k]);
    }
}

bool OverlapTestsAhead::AllApart() const noexcept
{
    const auto added = static_cast<std::ptrdiff_t>(m_added);
    return m_stops.size() == m_polygons.size() &&
           std::all_of(m_stops.begin(), m_stops.begin() + added,
                       [](const Stop& stop) { return stop.pOther == nullptr; }) &&
           std::all_of(m_collected.begin(), m_collected.begin() + added,
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
        const auto begin = CandidatesBegin(k);
        const auto end = begin + m_apart[k];
        if (std::binary_search(begin, end, pCommitted, ByAddress))
        {
            return false;
        }
    }
    return m_polygons[k]->Overlaps(pCommitted);
}

} // namespace Arealis::Detail
