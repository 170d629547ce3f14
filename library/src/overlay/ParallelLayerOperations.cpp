#include "overlay/ParallelLayerOperations.h"

#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "model/PolygonTable.h"
#include "model/SnapshotEnumerator.h"
#include "support/ParallelWork.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

namespace Arealis::LayerOperations
{

namespace
{

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

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

// Adds the common parts of one enumerated polygon with its candidates to the result, in
// candidate order, each with its two parents, and frees them as it goes.
void MergeCommonParts(PolygonLayer& result, bool recordParents, Polygon* pPolygon,
                      const PolygonList& candidates,
                      std::vector<std::unique_ptr<Polygon>>& pieces)
{
    for (std::size_t j = 0; j < pieces.size(); ++j)
    {
        if (pieces[j] != nullptr)
        {
            AddResult(result, *pieces[j], recordParents, {pPolygon, candidates[j]});
            pieces[j].reset();
        }
    }
}

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


// The pairs of a join and the order they must keep: a pair (i, j) of polygon i and its j-th
// candidate follows the candidate's previous pair (whose remainder it takes) and, when polygon
// i is partitioned pair by pair, its own previous pair (whose rest it takes). Workers take
// pairs whose predecessors are done; pairs of different chains run at once.
class JoinSchedule
{
public:
    JoinSchedule(const std::vector<PolygonList>& candidates, const std::vector<std::uint8_t>& pairwise)
    {
        const std::size_t n = candidates.size();
        m_first.resize(n + 1);
        for (std::size_t i = 0; i < n; ++i)
        {
            m_first[i + 1] = m_first[i] + candidates[i].size();
        }
        const std::size_t count = m_first[n];
        m_waiting.assign(count, 0);
        m_chainNext.assign(count, None);
        m_polygonOf.resize(count);
        PolygonTable<std::size_t> lastOf;
        for (std::size_t i = 0; i < n; ++i)
        {
            for (std::size_t j = 0; j < candidates[i].size(); ++j)
            {
                const std::size_t p = m_first[i] + j;
                m_polygonOf[p] = static_cast<std::uint32_t>(i);
                if (pairwise[i] != 0 && j > 0)
                {
                    ++m_waiting[p];
                }
                std::size_t* last = lastOf.Find(candidates[i][j]);
                if (last != nullptr)
                {
                    m_chainNext[*last] = p;
                    ++m_waiting[p];
                    *last = p;
                }
                else
                {
                    lastOf[candidates[i][j]] = p;
                }
            }
        }
        m_pairwise = &pairwise;
        for (std::size_t p = 0; p < count; ++p)
        {
            if (m_waiting[p] == 0)
            {
                m_ready.push_back(p);
            }
        }
        m_left = count;
    }

    std::size_t PairCount() const { return m_polygonOf.size(); }
    std::size_t Polygon(std::size_t p) const { return m_polygonOf[p]; }
    std::size_t Candidate(std::size_t p) const { return p - m_first[m_polygonOf[p]]; }
    // The pair that continues the candidate's chain; None at its end.
    std::size_t ChainNext(std::size_t p) const { return m_chainNext[p]; }
    static constexpr std::size_t None = static_cast<std::size_t>(-1);

    // The next pair to run, waiting while none is ready; None when all ran or the run stopped.
    std::size_t Take()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stopped || m_left == 0 || !m_ready.empty(); });
        if (m_stopped || m_ready.empty())
        {
            return None;
        }
        const std::size_t p = m_ready.front();
        m_ready.pop_front();
        return p;
    }

    // Marks a pair done and releases what waited for it. Returns a released pair for the
    // caller to run next (the polygon's next pair first: its data is still in the cache), or
    // None; others go to the ready list.
    std::size_t Done(std::size_t p)
    {
        std::size_t next = None;
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            const auto release = [&](std::size_t q)
            {
                if (q == None || --m_waiting[q] != 0)
                {
                    return;
                }
                if (next == None)
                {
                    next = q;
                }
                else
                {
                    m_ready.push_back(q);
                    wake = true;
                }
            };
            const std::size_t i = m_polygonOf[p];
            if ((*m_pairwise)[i] != 0 && p + 1 < m_first[i + 1])
            {
                release(p + 1);
            }
            release(m_chainNext[p]);
            --m_left;
            wake = wake || m_left == 0;
            if (m_stopped)
            {
                next = None; // another worker failed: the run ends
            }
        }
        if (wake)
        {
            m_changed.notify_all();
        }
        return next;
    }

    void Stop()
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }

private:
    std::vector<std::size_t> m_first; // first pair of each polygon, and the pair count
    std::vector<std::uint32_t> m_polygonOf;
    std::vector<std::size_t> m_chainNext;
    std::vector<std::uint32_t> m_waiting; // predecessors not done yet
    const std::vector<std::uint8_t>* m_pairwise = nullptr;
    std::deque<std::size_t> m_ready;
    std::size_t m_left = 0;
    bool m_stopped = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

} // namespace

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

ParallelPhases& LastParallelPhases() noexcept
{
    thread_local ParallelPhases phases;
    return phases;
}

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
    ParallelPhases& phases = LastParallelPhases();
    phases = {};
    Clock::time_point start = Clock::now();

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
    phases.Prepare = SecondsSince(start);
    start = Clock::now();
    if (!RunItems(chains.size(), threads, intersectChain, done, counter, reported))
    {
        return false;
    }
    phases.Work = SecondsSince(start);
    start = Clock::now();

    // The merge, in the single-thread order: by polygon, then by candidate.
    for (std::size_t i = 0; i < n; ++i)
    {
        MergeCommonParts(result, recordParents, polygons[i], candidates[i], pieces[i]);
        counter.Step();
    }
    counter.Finish();
    phases.Merge = SecondsSince(start);
    return true;
}

bool JoinInParallel(const PolygonList& polygons, const PolygonLayer& queried,
                    const PolygonList& queriedPolygons, PolygonLayer& result, bool recordParents,
                    const Progress& progress, unsigned threads)
{
    const std::size_t n = polygons.size();
    std::vector<PolygonList> candidates(n);
    std::vector<std::uint8_t> pairwise(n, 1);
    EdgeIndexes indexes(polygons);
    std::atomic<std::int64_t> done{0};
    std::int64_t reported = 0;
    // The pairs count as the work once known, then the merge of each polygon.
    ProgressCounter counter(progress, static_cast<std::int64_t>(n + queriedPolygons.size()));
    ParallelPhases& phases = LastParallelPhases();
    phases = {};
    Clock::time_point start = Clock::now();

    // Candidates, and every polygon prepared: chains of different polygons may read the same
    // operand polygon at once (a layer joined with itself).
    const bool self = !polygons.empty() && polygons.front()->GetLayer() == &queried;
    const auto findCandidates = [&](std::size_t block)
    {
        ForEachInBlock(block, n,
                       [&](std::size_t i)
                       {
                           candidates[i] = Candidates(queried, *polygons[i]);
                           const bool united = candidates[i].size() > PairwiseJoinLimit;
                           if (united)
                           {
                               pairwise[i] = 0;
                               indexes.SwitchOn(i);
                           }
                           PrepareForSharedReads(*polygons[i], united);
                       });
    };
    const auto prepareQueried = [&](std::size_t block)
    {
        ForEachInBlock(block, queriedPolygons.size(),
                       [&](std::size_t i) { PrepareForSharedReads(*queriedPolygons[i], false); });
    };
    if (!RunItems(BlockCount(n), threads, findCandidates, done, counter, reported) ||
        (!self && !RunItems(BlockCount(queriedPolygons.size()), threads, prepareQueried, done,
                            counter, reported)))
    {
        return false;
    }

    JoinSchedule schedule(candidates, pairwise);
    counter.AddToTotal(static_cast<std::int64_t>(schedule.PairCount()));
    std::vector<std::vector<std::unique_ptr<Polygon>>> pieces(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        pieces[i].resize(candidates[i].size());
    }
    // Each polygon's rest so far (null: the polygon itself), and whether partitioning stopped
    // because nothing was left of it.
    std::vector<std::unique_ptr<Polygon>> rests(n);
    std::vector<std::uint8_t> used(n, 0);
    // Each pair's remainder of its candidate, handed on along the chain.
    std::vector<std::unique_ptr<Polygon>> remainders(schedule.PairCount());
    phases.Prepare = SecondsSince(start);
    start = Clock::now();

    const auto runPair = [&](std::size_t p)
    {
        const std::size_t i = schedule.Polygon(p);
        const std::size_t j = schedule.Candidate(p);
        Polygon& polygon = *polygons[i];
        Polygon& candidate = *candidates[i][j];
        std::unique_ptr<Polygon> remainder = std::move(remainders[p]);
        Polygon& other = remainder ? *remainder : candidate;
        if (pairwise[i] == 0)
        {
            if (!other.IsEmpty())
            {
                auto [common, rest] = Overlay::IntersectAndSubstract(other, polygon);
                if (!common->IsEmpty())
                {
                    pieces[i][j] = std::move(common);
                }
                remainder = std::move(rest);
            }
        }
        else if (used[i] == 0)
        {
            Polygon& own = rests[i] ? *rests[i] : polygon;
            if (own.IsEmpty())
            {
                used[i] = 1;
            }
            else if (!other.IsEmpty())
            {
                auto parts = Overlay::Partition(other, own);
                if (!parts[0]->IsEmpty())
                {
                    pieces[i][j] = std::move(parts[0]);
                }
                remainder = std::move(parts[1]);
                rests[i] = std::move(parts[2]);
            }
        }
        const std::size_t next = schedule.ChainNext(p);
        if (next != JoinSchedule::None)
        {
            remainders[next] = std::move(remainder);
        }
        else
        {
            remainders[p] = std::move(remainder); // the candidate's final remainder
        }
    };
    const auto work = [&](std::size_t)
    {
        try
        {
            for (std::size_t p = schedule.Take(); p != JoinSchedule::None; p = schedule.Take())
            {
                while (p != JoinSchedule::None)
                {
                    runPair(p);
                    done.fetch_add(1, std::memory_order_relaxed);
                    p = schedule.Done(p);
                }
            }
        }
        catch (...)
        {
            schedule.Stop();
            throw;
        }
    };
    bool finished = false;
    try
    {
        finished = RunItems(threads, threads, work, done, counter, reported);
    }
    catch (...)
    {
        schedule.Stop();
        throw;
    }
    if (!finished)
    {
        return false;
    }

    // The polygons with many candidates lose the united candidates in one subtraction.
    const auto substractUnited = [&](std::size_t block)
    {
        ForEachInBlock(block, n,
                       [&](std::size_t i)
                       {
                           if (pairwise[i] == 0)
                           {
                               SnapshotEnumerator<Polygon*> enumeration(candidates[i]);
                               const std::unique_ptr<Polygon> united =
                                   Overlay::UnitePolygons(&enumeration);
                               rests[i] = Overlay::Substract(*polygons[i], *united);
                           }
                       });
    };
    if (!RunItems(BlockCount(n), threads, substractUnited, done, counter, reported))
    {
        return false;
    }
    phases.Work = SecondsSince(start);
    start = Clock::now();

    // The merge: each polygon's common parts and rest, then the candidates' remainders.
    for (std::size_t i = 0; i < n; ++i)
    {
        MergeCommonParts(result, recordParents, polygons[i], candidates[i], pieces[i]);
        const Polygon& remaining = rests[i] ? *rests[i] : *polygons[i];
        if (!remaining.IsEmpty())
        {
            AddResult(result, remaining, recordParents, {polygons[i]});
        }
        rests[i].reset();
        counter.Step();
    }
    PolygonTable<std::size_t> lastPair;
    for (std::size_t p = 0; p < schedule.PairCount(); ++p)
    {
        if (schedule.ChainNext(p) == JoinSchedule::None)
        {
            lastPair[candidates[schedule.Polygon(p)][schedule.Candidate(p)]] = p;
        }
    }
    for (Polygon* polygon : queriedPolygons)
    {
        const std::size_t* last = lastPair.Find(polygon);
        const Polygon& remainder =
            last != nullptr && remainders[*last] ? *remainders[*last] : *polygon;
        if (!remainder.IsEmpty())
        {
            AddResult(result, remainder, recordParents, {polygon});
        }
        counter.Step();
    }
    counter.Finish();
    phases.Merge = SecondsSince(start);
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
    ParallelPhases& phases = LastParallelPhases();
    phases = {};
    Clock::time_point start = Clock::now();

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

    phases.Prepare = SecondsSince(start);
    start = Clock::now();
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
    phases.Work = SecondsSince(start);
    start = Clock::now();

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
    phases.Merge = SecondsSince(start);
    return true;
}

} // namespace Arealis::LayerOperations
