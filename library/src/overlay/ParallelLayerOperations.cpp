#include "overlay/ParallelLayerOperations.h"

#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "model/PolygonTable.h"
#include "support/ParallelWork.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

namespace Arealis::LayerOperations
{

namespace
{

// Polygons per item when work is handed out by blocks of a polygon list.
constexpr std::size_t BlockSize = 64;

std::size_t BlockCount(std::size_t count)
{
    return (count + BlockSize - 1) / BlockSize;
}

template <class F>
void ForEachInBlock(std::size_t block, std::size_t count, F&& each)
{
    const std::size_t end = std::min(count, (block + 1) * BlockSize);
    for (std::size_t i = block * BlockSize; i < end; ++i)
    {
        each(i);
    }
}

// Fills a ring's lazily computed values (bounds, area, and the edge index when switched on)
// so that threads reading the polygon at once afterwards only read.
void PrepareForSharedReads(const Polygon& polygon, bool indexed)
{
    RingEnumerator rings = polygon.GetRings();
    Collections::PlainArray<LinearEdge> edges;
    while (rings.MoveNext())
    {
        const Ring* ring = rings.Current();
        const Rectangle bounds = ring->GetBounds();
        ring->GetSignedArea();
        if (indexed)
        {
            ring->GetEdgesInRectangle(bounds, edges);
            edges.SetCount(0);
        }
    }
}

// Runs the items, reporting the work counted so far to the counter. Throws what the progress
// callback throws; false when a task failed.
bool RunItems(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& task,
              const std::atomic<std::int64_t>& done, ProgressCounter& counter,
              std::int64_t& reported)
{
    const std::exception_ptr failure = Parallel::ForEach(
        count, threads, task,
        [&]
        {
            const std::int64_t now = done.load(std::memory_order_relaxed);
            counter.Step(now - reported);
            reported = now;
        });
    return failure == nullptr;
}

// Switches the edge index off again on the polygons that had it switched on, also when an
// exception leaves the operation.
class EdgeIndexes
{
public:
    explicit EdgeIndexes(const PolygonList& polygons) : m_polygons(polygons), m_on(polygons.size()) {}
    ~EdgeIndexes()
    {
        for (std::size_t i = 0; i < m_polygons.size(); ++i)
        {
            if (m_on[i] != 0)
            {
                try
                {
                    m_polygons[i]->SetUseSpatialIndex(false);
                }
                catch (...) // NOLINT(bugprone-empty-catch): dropping an index cannot fail in practice
                {
                }
            }
        }
    }
    EdgeIndexes(const EdgeIndexes&) = delete;
    EdgeIndexes& operator=(const EdgeIndexes&) = delete;

    // Called by the one worker that handles polygon i.
    void SwitchOn(std::size_t i)
    {
        m_polygons[i]->SetUseSpatialIndex(true);
        m_on[i] = 1;
    }

private:
    const PolygonList& m_polygons;
    std::vector<std::uint8_t> m_on;
};

// One intersection of a polygon with a candidate: the candidate's position j in the list of
// polygon i.
struct Pair
{
    std::uint32_t Polygon;
    std::uint32_t Candidate;
};

// The pairs of each candidate in the order of the enumerated polygons: a candidate's remainder
// passes along its chain, and different chains share nothing that changes.
std::vector<std::vector<Pair>> ChainsByCandidate(const std::vector<PolygonList>& candidates)
{
    std::vector<std::vector<Pair>> chains;
    PolygonTable<std::size_t> chainOf;
    for (std::size_t i = 0; i < candidates.size(); ++i)
    {
        for (std::size_t j = 0; j < candidates[i].size(); ++j)
        {
            const Polygon* candidate = candidates[i][j];
            const std::size_t* found = chainOf.Find(candidate);
            std::size_t chain = 0;
            if (found != nullptr)
            {
                chain = *found;
            }
            else
            {
                chain = chains.size();
                chainOf[candidate] = chain;
                chains.emplace_back();
            }
            chains[chain].push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j)});
        }
    }
    return chains;
}

} // namespace

bool IntersectInParallel(const PolygonList& polygons, const PolygonLayer& queried,
                         PolygonLayer& result, bool recordParents, const Progress& progress,
                         unsigned threads)
{
    const std::size_t n = polygons.size();
    std::vector<PolygonList> candidates(n);
    EdgeIndexes indexes(polygons);
    std::atomic<std::int64_t> done{0};
    std::int64_t reported = 0;
    ProgressCounter counter(progress, static_cast<std::int64_t>(2 * n));

    // Candidates of each polygon; the polygons that many chains read at once are prepared.
    const auto findCandidates = [&](std::size_t block)
    {
        ForEachInBlock(block, n,
                       [&](std::size_t i)
                       {
                           candidates[i] = Candidates(queried, *polygons[i]);
                           const bool indexed = candidates[i].size() > EdgeIndexThreshold;
                           if (indexed)
                           {
                               indexes.SwitchOn(i);
                           }
                           PrepareForSharedReads(*polygons[i], indexed);
                       });
    };
    if (!RunItems(BlockCount(n), threads, findCandidates, done, counter, reported))
    {
        return false;
    }

    // Each chain of one candidate on one worker; the common parts go to their pair's slot.
    const std::vector<std::vector<Pair>> chains = ChainsByCandidate(candidates);
    std::vector<std::vector<std::unique_ptr<Polygon>>> pieces(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        pieces[i].resize(candidates[i].size());
    }
    const std::int64_t pairCount = [&]
    {
        std::int64_t count = 0;
        for (const auto& chain : chains)
        {
            count += static_cast<std::int64_t>(chain.size());
        }
        return count;
    }();
    const auto intersectChain = [&](std::size_t k)
    {
        const std::vector<Pair>& chain = chains[k];
        Polygon& candidate = *candidates[chain.front().Polygon][chain.front().Candidate];
        std::unique_ptr<Polygon> remainder;
        for (const Pair& pair : chain)
        {
            Polygon& current = remainder ? *remainder : candidate;
            if (current.IsEmpty())
            {
                break;
            }
            auto [common, rest] = Overlay::IntersectAndSubstract(current, *polygons[pair.Polygon]);
            if (!common->IsEmpty())
            {
                pieces[pair.Polygon][pair.Candidate] = std::move(common);
            }
            remainder = std::move(rest);
        }
        // The pairs of a chain count as the work of polygons, to keep the total at 2 n.
        done.fetch_add(static_cast<std::int64_t>(chain.size()) * static_cast<std::int64_t>(n) /
                           std::max<std::int64_t>(pairCount, 1),
                       std::memory_order_relaxed);
    };
    if (!RunItems(chains.size(), threads, intersectChain, done, counter, reported))
    {
        return false;
    }

    // The merge, in the single-thread order: by polygon, then by candidate.
    for (std::size_t i = 0; i < n; ++i)
    {
        for (std::size_t j = 0; j < pieces[i].size(); ++j)
        {
            if (pieces[i][j] != nullptr)
            {
                AddResult(result, *pieces[i][j], recordParents, {polygons[i], candidates[i][j]});
                pieces[i][j].reset();
            }
        }
        counter.Step();
    }
    counter.Finish();
    return true;
}

bool SubstractInParallel(const PolygonList& polygons, const PolygonLayer& b, PolygonLayer& result,
                         bool recordParents, const Progress& progress, unsigned threads)
{
    const std::size_t n = polygons.size();
    const PolygonList others = PolygonsOf(b);
    std::atomic<std::int64_t> done{0};
    std::int64_t reported = 0;
    ProgressCounter counter(progress, static_cast<std::int64_t>(2 * n));

    // Every polygon of B may be read by several workers at once.
    const auto prepare = [&](std::size_t block)
    {
        ForEachInBlock(block, others.size(),
                       [&](std::size_t i) { PrepareForSharedReads(*others[i], false); });
    };
    if (!RunItems(BlockCount(others.size()), threads, prepare, done, counter, reported))
    {
        return false;
    }

    // What is left of each polygon; null where the polygon is its own rest.
    std::vector<std::unique_ptr<Polygon>> rests(n);
    const auto substract = [&](std::size_t block)
    {
        ForEachInBlock(block, n,
                       [&](std::size_t i)
                       {
                           Polygon& polygon = *polygons[i];
                           const PolygonList candidates = Candidates(b, polygon);
                           rests[i] = ShouldUniteFirst(polygon, candidates)
                                          ? SubstractUnited(polygon, candidates)
                                          : SubstractOneByOne(polygon, candidates);
                       });
        done.fetch_add(static_cast<std::int64_t>(std::min(BlockSize, n - block * BlockSize)),
                       std::memory_order_relaxed);
    };
    if (!RunItems(BlockCount(n), threads, substract, done, counter, reported))
    {
        return false;
    }

    for (std::size_t i = 0; i < n; ++i)
    {
        const Polygon& remaining = rests[i] ? *rests[i] : *polygons[i];
        if (!remaining.IsEmpty())
        {
            AddResult(result, remaining, recordParents, {polygons[i]});
        }
        rests[i].reset();
        counter.Step();
    }
    counter.Finish();
    return true;
}

} // namespace Arealis::LayerOperations
