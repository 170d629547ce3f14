#include "overlay/ParallelLayerOperations.h"

#include "Arealis/NodeSet.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/PolygonTable.h"
#include "Arealis/Ring.h"
#include "Arealis/SortedPointRun.h"
#include "Arealis/Topology.h"
#include "model/PolygonSharedReads.h"
#include "overlay/FlatPolygon.h"
#include "overlay/LayerOverlay.h"
#include "overlay/PolygonPositions.h"
#include "overlay/UnionTree.h"
#include "support/ParallelWork.h"
#include "support/UninitialisedAllocator.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <span>
#include <utility>
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

// Polygons per item when work is handed out by blocks of a polygon list, at most.
constexpr std::size_t BlockSize = 64;

// The blocks of a polygon list handed out as items: of BlockSize polygons, or fewer in a short
// list, so that every thread gets several items. A layer of a hundred polygons in blocks of 64
// made two items, and the thread whose block held the large polygons (their edge indexes,
// their many candidates) worked on alone.
class PolygonBlocks
{
public:
    PolygonBlocks(std::size_t count, unsigned threads)
        : m_count(count), m_size(std::clamp<std::size_t>(
                              count / (ItemsPerThread * std::max(threads, 1U)), 1, BlockSize))
    {
    }

    std::size_t Size() const noexcept { return m_size; }
    std::size_t Count() const noexcept { return (m_count + m_size - 1) / m_size; }

    template <class F>
    void ForEachIn(std::size_t block, F&& each) const
    {
        const std::size_t end = std::min(m_count, (block + 1) * m_size);
        for (std::size_t i = block * m_size; i < end; ++i)
        {
            each(i);
        }
    }

private:
    static constexpr std::size_t ItemsPerThread = 16;
    std::size_t m_count;
    std::size_t m_size;
};

// The first of each block of consecutive entries, and the entry count at the end: a block
// ends after maxEntries entries, or once the points its entries are expected to bring reach
// maxPoints (no points given: blocks of maxEntries).
std::vector<std::size_t> BlockStarts(std::size_t count, std::span<const std::uint64_t> points,
                                     std::size_t maxEntries, std::uint64_t maxPoints)
{
    std::vector<std::size_t> first{0};
    if (count == 0)
    {
        return first;
    }
    std::uint64_t blockPoints = 0;
    for (std::size_t s = 0; s < count; ++s)
    {
        if (s - first.back() == maxEntries || (s > first.back() && blockPoints >= maxPoints))
        {
            first.push_back(s);
            blockPoints = 0;
        }
        blockPoints += points.empty() ? 0 : points[s];
    }
    first.push_back(count);
    return first;
}

// The state every parallel operation keeps: the work its workers count for the progress
// callback, the counter that reports it from the calling thread, and the phase timings.
class OperationRun
{
public:
    OperationRun(const Progress& progress, std::int64_t total, unsigned threads)
        : Counter(progress, total), m_threads(threads), m_phases(LastParallelPhases())
    {
        m_phases = {};
    }

    // Runs the items, reporting the work counted so far. Throws what the progress callback
    // throws; false when a task failed.
    bool Items(std::size_t count, const std::function<void(std::size_t)>& task)
    {
        return Items(count, m_threads, task, {});
    }

    // Items on the given number of workers, with the merge done on the calling thread as
    // pieces become ready (see Parallel::ForEach); the time spent merging counts as the merge.
    // With callerWorks, the calling thread also does items while no piece is ready to merge.
    // mayStart bounds how far the items run ahead of the merge (see Parallel::ForEach).
    bool Items(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& task,
               const std::function<bool()>& merge, bool callerWorks = false,
               const std::function<bool(std::size_t)>& mayStart = {})
    {
        std::function<bool()> timedMerge;
        if (merge)
        {
            timedMerge = [&]
            {
                // Timed by the steady clock, which the vDSO reads in some tens of
                // nanoseconds: the thread's processor-time clock is a system call (about 0.7 us
                // here), and a join asked it some 20,000 times on this serial path.
                const Clock::time_point start = Clock::now();
                const bool merged = merge();
                if (merged)
                {
                    m_phases.Merge += SecondsSince(start);
                }
                return merged;
            };
        }
        const auto report = [&]
        {
            const std::int64_t now = Done.load(std::memory_order_relaxed);
            Counter.Step(now - m_reported);
            m_reported = now;
        };
        // A failure on the calling thread (of the progress callback, or of the merge) must
        // also reach workers that run a loop of their own rather than single items.
        const auto stopping = [this](const auto& call)
        {
            try
            {
                return call();
            }
            catch (...)
            {
                if (m_onStop)
                {
                    m_onStop();
                }
                throw;
            }
        };
        const std::exception_ptr failure = Parallel::ForEach(
            count, workers, task, [&] { stopping(report); },
            timedMerge ? std::function<bool()>([&] { return stopping(timedMerge); })
                       : std::function<bool()>(),
            callerWorks, mayStart);
        return failure == nullptr;
    }

    // Takes seconds that the merge callback spent on other work than merging (items the
    // calling thread did meanwhile) out of the merge's time.
    void NotMerging(double seconds) { m_phases.Merge -= seconds; }

    // Called when the calling thread fails while the workers run.
    void OnStop(std::function<void()> stop) { m_onStop = std::move(stop); }

    // Ends the phase of preparing and starts that of the work.
    void EndPreparing()
    {
        m_phases.Prepare = SecondsSince(m_start);
        m_start = Clock::now();
    }
    // Ends the work with the merges overlapping it.
    void EndWork()
    {
        Counter.Finish();
        m_phases.Work = SecondsSince(m_start);
    }

    std::atomic<std::int64_t> Done{0};
    ProgressCounter Counter;

private:
    unsigned m_threads;
    std::function<void()> m_onStop;
    ParallelPhases& m_phases;
    std::int64_t m_reported = 0;
    Clock::time_point m_start = Clock::now();
};

// Slots of pieces merged into the result in slot order, each as soon as the work items it
// waits for are done. Workers count the items down after storing their pieces; the merge
// reads a slot once its count is zero, which orders the pieces' writes before its reads.
class OrderedSlots
{
public:
    explicit OrderedSlots(const std::vector<std::uint32_t>& pending)
        : m_count(pending.size()),
          m_pending(std::make_unique<std::atomic<std::uint32_t>[]>(pending.size()))
    {
        for (std::size_t s = 0; s < m_count; ++s)
        {
            m_pending[s].store(pending[s], std::memory_order_relaxed);
        }
    }

    // Called by a worker when one item of the slot is done; true when it was the last.
    bool Finish(std::size_t slot)
    {
        return m_pending[slot].fetch_sub(1, std::memory_order_acq_rel) == 1;
    }

    // Called by a worker when one item of the slot is done; true when one count is left, the
    // last step that the slot waits for (which the caller then does and finishes).
    bool FinishAllButOne(std::size_t slot)
    {
        return m_pending[slot].fetch_sub(1, std::memory_order_acq_rel) == 2;
    }

    // Merges the slots that are ready, in order, from the first not merged yet; whether it
    // merged any.
    template <class F>
    bool MergeReady(F&& merge)
    {
        const std::size_t first = m_next;
        while (m_next < m_count && m_pending[m_next].load(std::memory_order_acquire) == 0)
        {
            merge(m_next);
            ++m_next;
            m_head.store(m_next, std::memory_order_relaxed);
        }
        return m_next != first;
    }

    // The first slot not merged yet, read from any thread.
    std::size_t Head() const noexcept { return m_head.load(std::memory_order_relaxed); }

private:
    std::size_t m_count;
    std::unique_ptr<std::atomic<std::uint32_t>[]> m_pending;
    std::size_t m_next = 0;
    std::atomic<std::size_t> m_head{0};
};

class MergedPieces;

// Slots merged by blocks of consecutive slots, with the node lookups of each block prepared
// off the serial path: the worker that completes a block's last item puts all the points that
// its flat pieces bring, in merge order, into a sorted run (snapped, in the node index's order,
// equal points grouped), so that the merge walks the result's node index once per block
// instead of searching it for every point. The node set's content does not depend on the order
// in which its points arrive, so the result is the same.
class BlockRuns
{
public:
    static constexpr std::size_t SlotsPerBlock = 64;
    // A block also ends once the points its slots are expected to bring reach this: a block
    // of large polygons would otherwise hold back a large part of the result until its last
    // slot is ready, and its run would be as large.
    static constexpr std::uint64_t PointsPerBlock = std::uint64_t{1} << 15;

    // pending: the items each slot waits for; gridStep: that of the result's node set;
    // points: the points each slot is expected to bring (none given: blocks of SlotsPerBlock).
    BlockRuns(const std::vector<std::uint32_t>& pending, double gridStep,
              std::span<const std::uint64_t> points = {})
        : m_firstSlot(BlockStarts(pending.size(), points, SlotsPerBlock, PointsPerBlock)),
          m_blockOf(BlockOfSlots(m_firstSlot)), m_slots(BlockPending(pending, m_blockOf)),
          m_runs(m_firstSlot.size() - 1), m_gridStep(gridStep)
    {
    }

    // Blocks given by their first slots, and the slot count at the end.
    BlockRuns(std::vector<std::size_t> firstSlot, const std::vector<std::uint32_t>& pending,
              double gridStep)
        : m_firstSlot(std::move(firstSlot)), m_blockOf(BlockOfSlots(m_firstSlot)),
          m_slots(BlockPending(pending, m_blockOf)), m_runs(m_firstSlot.size() - 1),
          m_gridStep(gridStep)
    {
    }

    std::size_t BlockCount() const noexcept { return m_firstSlot.size() - 1; }
    std::size_t BlockOf(std::size_t slot) const noexcept { return m_blockOf[slot]; }
    // The first slot of a block; that of the block after the last is the slot count.
    std::size_t FirstSlot(std::size_t block) const noexcept { return m_firstSlot[block]; }
    // The first block not merged yet, read from any thread.
    std::size_t HeadBlock() const noexcept { return m_slots.Head(); }

    // Called by a worker when an item of the slot is done; the one that completes a block
    // prepares its run from collect(slot, points), which appends the points of a slot's flat
    // pieces in the order the merge adds them.
    template <class Collect>
    void Finish(std::size_t slot, Collect&& collect)
    {
        const std::size_t block = m_blockOf[slot];
        if (!m_slots.FinishAllButOne(block))
        {
            return;
        }
        std::vector<Point> points;
        for (std::size_t s = m_firstSlot[block]; s < m_firstSlot[block + 1]; ++s)
        {
            collect(s, points);
        }
        auto run = std::make_unique<SortedPointRun>();
        // A point that is not finite leaves the run empty: the merge then looks the points up
        // piece by piece, which reports it. So does a block that collected no points.
        if (!points.empty() && run->Prepare(points, m_gridStep))
        {
            run->ReleaseWorkingRoom(); // a block ahead of the merge waits with its run
            m_runs[block] = std::move(run);
        }
        m_slots.Finish(block);
    }

    // Merges the ready blocks in order: merge(slot) for each of their slots, with the nodes of
    // the block's run handed to the flat pieces that merged adds meanwhile.
    template <class Merge>
    bool MergeReady(MergedPieces& merged, Merge&& merge);

private:
    static std::vector<std::uint32_t> BlockOfSlots(const std::vector<std::size_t>& firstSlot)
    {
        std::vector<std::uint32_t> blockOf(firstSlot.back());
        for (std::size_t b = 0; b + 1 < firstSlot.size(); ++b)
        {
            std::fill(blockOf.begin() + static_cast<std::ptrdiff_t>(firstSlot[b]),
                      blockOf.begin() + static_cast<std::ptrdiff_t>(firstSlot[b + 1]),
                      static_cast<std::uint32_t>(b));
        }
        return blockOf;
    }

    static std::vector<std::uint32_t> BlockPending(const std::vector<std::uint32_t>& pending,
                                                   const std::vector<std::uint32_t>& blockOf)
    {
        std::vector<std::uint32_t> blocks(blockOf.empty() ? 0 : blockOf.back() + 1, 0);
        for (std::size_t s = 0; s < pending.size(); ++s)
        {
            blocks[blockOf[s]] += pending[s];
        }
        for (std::uint32_t& count : blocks)
        {
            count += count > 0 ? 1 : 0; // the preparing of the run
        }
        return blocks;
    }

    std::vector<std::size_t> m_firstSlot; // of each block, and the slot count at the end
    std::vector<std::uint32_t> m_blockOf; // of each slot
    OrderedSlots m_slots;
    std::vector<std::unique_ptr<SortedPointRun>> m_runs; // null: look the points up piece by piece
    double m_gridStep;
};

// Whether a copy of the polygon in the result layer may take its nodes from a sorted run:
// PolygonLayer::AddPolygon looks up a polygon's points by position unless its nodes are the
// result topology's own, which it shares instead.
bool CopiesThroughRun(const Polygon& polygon, const PolygonLayer& result)
{
    const PolygonLayer* pLayer = polygon.GetLayer();
    return !polygon.IsEmpty() &&
           (pLayer == nullptr || pLayer->GetTopology() != result.GetTopology());
}

// Appends the points of the polygon's rings, one ring after the other.
void AppendPoints(const Polygon& polygon, std::vector<Point>& points)
{
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring* ring = rings.Current();
        for (std::int32_t i = 0; i < ring->Count(); ++i)
        {
            points.push_back(ring->GetNode(i)->Position);
        }
    }
}

// A copy of the polygon in the layer with the nodes looked up already at its points (one
// reference each, which go to the rings), as FlatPolygon::AddTo makes one; when it throws,
// they are released and the layer is as it was.
Polygon* AddWithNodes(PolygonLayer& layer, const Polygon& source, std::span<Node* const> nodes)
{
    std::size_t taken = 0; // the references handed to rings so far
    Polygon* polygon = nullptr;
    try
    {
        polygon = layer.CreatePolygon();
        RingEnumerator rings = source.GetRings();
        while (rings.MoveNext())
        {
            AddRingTakingNodes(*polygon, rings.Current()->Count(), nodes, taken);
        }
    }
    catch (...)
    {
        DiscardPartlyMade(layer, polygon, nodes.subspan(taken));
        throw;
    }
    return polygon;
}

// The polygons merged into the result layer; they leave it again, unless kept, when the
// operation fails or is stopped, so that the caller finds the layer as it was.
class MergedPieces
{
public:
    explicit MergedPieces(PolygonLayer& result) : m_result(result) {}
    ~MergedPieces()
    {
        if (m_kept || m_added.empty())
        {
            return;
        }
        try
        {
            m_result.DeletePolygons(m_added);
        }
        catch (...) // NOLINT(bugprone-empty-catch): fresh result pieces are always deletable
        {
        }
    }
    MergedPieces(const MergedPieces&) = delete;
    MergedPieces& operator=(const MergedPieces&) = delete;

    // A copy of a polygon of an operand (a piece that is a whole operand polygon).
    void Add(const Polygon& source, bool recordParents, std::initializer_list<Polygon*> parents)
    {
        MakeRoom();
        Track(m_result.AddPolygon(&source), recordParents, parents);
    }

    // A copy of a polygon whose points the run holds next (see CopiesThroughRun), taking its
    // nodes from there; looked up as Add does outside a run.
    void AddFromRun(const Polygon& source, bool recordParents,
                    std::initializer_list<Polygon*> parents)
    {
        if (!m_inRun)
        {
            Add(source, recordParents, parents);
            return;
        }
        MakeRoom();
        const std::span<Node* const> nodes =
            std::span<Node* const>(m_nodes).subspan(m_taken, source.GetNodeCount());
        m_taken += nodes.size(); // AddWithNodes releases them when it fails
        Track(AddWithNodes(m_result, source, nodes), recordParents, parents);
    }

    // The polygons added so far, in their order.
    const std::vector<Polygon*>& Added() const noexcept { return m_added; }

    void Add(const FlatPolygon& piece, bool recordParents, std::initializer_list<Polygon*> parents)
    {
        MakeRoom();
        if (!m_inRun)
        {
            Track(piece.AddTo(m_result, m_nodes), recordParents, parents);
            return;
        }
        const std::span<Node* const> nodes =
            std::span<Node* const>(m_nodes).subspan(m_taken, piece.Points().size());
        m_taken += nodes.size(); // AddTo releases them when it fails
        Track(piece.AddTo(m_result, nodes), recordParents, parents);
    }

    // The flat pieces added until EndRun take their nodes from the run, one piece after the
    // other, instead of looking them up.
    void BeginRun(const SortedPointRun& run)
    {
        m_nodes.resize(run.Count());
        m_result.GetTopology()->GetNodeSet().GetNodes(run, m_nodes);
        m_taken = 0;
        m_inRun = true;
    }
    // Releases the nodes of the run that no piece took (none, unless adding failed).
    void EndRun() noexcept
    {
        if (!m_inRun)
        {
            return;
        }
        m_inRun = false;
        NodeSet& nodeSet = m_result.GetTopology()->GetNodeSet();
        for (std::size_t i = m_taken; i < m_nodes.size(); ++i)
        {
            try
            {
                nodeSet.ReleaseNode(m_nodes[i]);
            }
            catch (...) // NOLINT(bugprone-empty-catch): a node of the set is always releasable
            {
            }
        }
        m_nodes.clear();
    }

    void Keep() { m_kept = true; }

private:
    // Room first, so that a piece in the layer is always one the guard knows of. The layer's
    // edit list grows along, by as much: on its own it grows by a tenth at a time, and the
    // copies of a list of hundreds of thousands of pieces cost more than adding them.
    void MakeRoom()
    {
        if (m_added.size() == m_added.capacity())
        {
            const std::size_t capacity = 2 * m_added.size() + 64;
            m_added.reserve(capacity);
            m_result.ReserveEditing(static_cast<std::int32_t>(std::min<std::size_t>(
                capacity - m_added.size(), std::numeric_limits<std::int32_t>::max())));
        }
    }

    void Track(Polygon* added, bool recordParents, std::initializer_list<Polygon*> parents)
    {
        m_added.push_back(added);
        if (recordParents)
        {
            RecordParents(m_result, added, parents);
        }
    }

    PolygonLayer& m_result;
    std::vector<Polygon*> m_added;
    std::vector<Node*> m_nodes; // working room of the flat pieces' node lookups, or a run's nodes
    std::size_t m_taken = 0;    // the run's nodes handed to pieces
    bool m_inRun = false;
    bool m_kept = false;
};

template <class Merge>
bool BlockRuns::MergeReady(MergedPieces& merged, Merge&& merge)
{
    return m_slots.MergeReady(
        [&](std::size_t block)
        {
            const std::unique_ptr<SortedPointRun> run = std::move(m_runs[block]);
            if (run != nullptr)
            {
                merged.BeginRun(*run);
            }
            try
            {
                for (std::size_t s = m_firstSlot[block]; s < m_firstSlot[block + 1]; ++s)
                {
                    merge(s);
                }
            }
            catch (...)
            {
                merged.EndRun();
                throw;
            }
            merged.EndRun();
        });
}

// One intersection of a polygon with a candidate: the candidate's position j in the list of
// polygon i.
struct Pair
{
    std::uint32_t Polygon;
    std::uint32_t Candidate;
};

// Adds the common parts of one enumerated polygon with its candidates to the result, in
// candidate order, each with its two parents, and frees them as it goes; candidateAt(j) is
// the candidate of pieces[j].
template <class CandidateAt>
void MergeCommonParts(MergedPieces& merged, bool recordParents, Polygon* pPolygon,
                      const CandidateAt& candidateAt, std::vector<FlatPolygon>& pieces)
{
    for (std::size_t j = 0; j < pieces.size(); ++j)
    {
        if (!pieces[j].IsEmpty())
        {
            merged.Add(pieces[j], recordParents, {pPolygon, candidateAt(j)});
            pieces[j] = FlatPolygon();
        }
    }
}

// What is left of an operand polygon, flattened: nullopt while the polygon is whole.
using FlatRest = std::optional<FlatPolygon>;

// Adds what is left of an operand polygon to the result unless nothing is, with the polygon
// as its parent.
void MergeRest(MergedPieces& merged, bool recordParents, Polygon* pPolygon, const FlatRest& rest)
{
    if (!rest.has_value())
    {
        if (!pPolygon->IsEmpty())
        {
            merged.Add(*pPolygon, recordParents, {pPolygon});
        }
    }
    else if (!rest->IsEmpty())
    {
        merged.Add(*rest, recordParents, {pPolygon});
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

// The points a polygon's pieces are expected to bring to the merge: at most its own and its
// candidates' points, usually about that.
std::uint64_t ExpectedPoints(const Polygon& polygon, const PolygonList& candidates)
{
    auto points = static_cast<std::uint64_t>(polygon.GetNodeCount());
    for (const Polygon* candidate : candidates)
    {
        points += static_cast<std::uint64_t>(candidate->GetNodeCount());
    }
    return points;
}

std::atomic<std::size_t> g_pieceBytesAhead{DefaultPieceBytesAhead};

// The points of the copies of whole polygons that a join prepares ahead of the merge, at most
// (more only for a single block): some 200 blocks of small polygons, 2 MB or so of runs.
constexpr std::uint64_t WholePointsAhead = std::uint64_t{1} << 16;

// Whether the flat pieces waiting for the merge take so much room that only the work the
// first unmerged block waits for may start.
bool FarAhead(const FlatPolygonStore& store)
{
    return store.HeldBytes() >= g_pieceBytesAhead.load(std::memory_order_relaxed);
}

// What a join keeps of an enumerated polygon while its pairs run, a cache line each: the pairs
// of neighbouring polygons run on different threads at once, and state packed densely would
// pass its cache lines from core to core at every pair.
struct alignas(64) JoinPolygonState
{
    std::unique_ptr<Polygon> Rest; // the rest so far; null: the polygon itself
    std::atomic<std::uint32_t> PairsLeft{0};
    bool Used = false; // partitioning stopped because nothing was left of the polygon
};

// The pairs of a join and the order they must keep: a pair (i, j) of polygon i and its j-th
// candidate follows the candidate's previous pair (whose remainder it takes) and, when polygon
// i is partitioned pair by pair, its own previous pair (whose rest it takes). Threads take
// pairs whose predecessors are done; pairs of different chains run at once.
//
// Each polygon has a home thread, by the strip of the plane it lies in: a thread takes the
// ready pairs of its own polygons first and those of the others only when it has none, so that
// a candidate's remainder and a polygon's rest pass from one thread to another only where
// strips meet, instead of at almost every pair (each hand-over costs the receiving core cache
// misses and the freeing thread another thread's allocator). Within a home, the earliest pair
// in the single-thread order goes first: the work stays near that order, so that few polygons
// are open at once (their rests held, their slots waiting) and the merge, which goes in that
// order, finds its slots complete early.
class JoinSchedule
{
public:
    // candidateIds: the positions of each polygon's candidates in the list of the queried
    // layer, of queriedCount polygons; home: each polygon's home thread, below homeCount.
    JoinSchedule(const std::vector<std::vector<std::uint32_t>>& candidateIds,
                 std::size_t queriedCount, const std::vector<std::uint8_t>& pairwise,
                 std::vector<std::uint32_t> home, unsigned homeCount)
        : m_home(std::move(home)), m_ready(std::max(homeCount, 1U))
    {
        const std::size_t n = candidateIds.size();
        m_first.resize(n + 1);
        for (std::size_t i = 0; i < n; ++i)
        {
            m_first[i + 1] = m_first[i] + candidateIds[i].size();
        }
        const std::size_t count = m_first[n];
        m_waiting.assign(count, 0);
        m_chainNext.assign(count, None);
        m_polygonOf.resize(count);
        // The last pair so far of each queried polygon's chain.
        std::vector<std::size_t> lastOf(queriedCount, None);
        for (std::size_t i = 0; i < n; ++i)
        {
            for (std::size_t j = 0; j < candidateIds[i].size(); ++j)
            {
                const std::size_t p = m_first[i] + j;
                m_polygonOf[p] = static_cast<std::uint32_t>(i);
                if (pairwise[i] != 0 && j > 0)
                {
                    ++m_waiting[p];
                }
                std::size_t& last = lastOf[candidateIds[i][j]];
                if (last != None)
                {
                    m_chainNext[last] = p;
                    ++m_waiting[p];
                }
                last = p;
            }
        }
        m_pairwise = &pairwise;
        for (std::size_t p = 0; p < count; ++p)
        {
            if (m_waiting[p] == 0)
            {
                Push(p);
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

    // Holds back the pairs for which mayStart(p) is false: they wait among the ready ones
    // until it is true. It is called under the schedule's lock, from any worker, and must
    // hold back no pair unless it holds back every later one (pairs are numbered by polygon).
    void HoldBack(std::function<bool(std::size_t)> mayStart) { m_mayStart = std::move(mayStart); }

    // The next pair for the thread of the given home, waiting while none is ready (or every
    // ready one is held back); None when all ran or the run stopped.
    std::size_t Take(unsigned home)
    {
        // How long to wait before asking again for pairs held back.
        constexpr auto heldBackWait = std::chrono::milliseconds(1);
        std::unique_lock lock(m_mutex);
        for (;;)
        {
            if (m_stopped || m_left == 0)
            {
                return None;
            }
            const std::size_t p = Pop(home);
            if (p != None)
            {
                return p;
            }
            ++m_sleepers;
            if (m_readyCount == 0)
            {
                m_changed.wait(lock, [&] { return m_stopped || m_left == 0 || m_readyCount > 0; });
            }
            else
            {
                m_changed.wait_for(lock, heldBackWait);
            }
            --m_sleepers;
        }
    }

    // Take, waiting at most the given time; None also when no pair became ready meanwhile.
    std::size_t TakeWithin(unsigned home, std::chrono::microseconds wait)
    {
        std::unique_lock lock(m_mutex);
        ++m_sleepers;
        m_changed.wait_for(lock, wait,
                           [&] { return m_stopped || m_left == 0 || m_readyCount > 0; });
        --m_sleepers;
        return m_stopped ? None : Pop(home);
    }

    // Whether every pair ran or the run stopped.
    bool Ended()
    {
        const std::lock_guard lock(m_mutex);
        return m_stopped || m_left == 0;
    }

    bool Stopped()
    {
        const std::lock_guard lock(m_mutex);
        return m_stopped;
    }

    // Marks a pair done and releases what waited for it. Returns the pair for the thread of
    // the given home to run next: the polygon's next pair when this one released it (its rest
    // is still in the cache), otherwise as Take would choose; None when none is ready.
    std::size_t Done(std::size_t p, unsigned home)
    {
        std::size_t next = None;
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            const std::size_t i = m_polygonOf[p];
            if ((*m_pairwise)[i] != 0 && p + 1 < m_first[i + 1] && --m_waiting[p + 1] == 0)
            {
                if (MayStart(p + 1))
                {
                    next = p + 1;
                }
                else
                {
                    Push(p + 1);
                }
            }
            const std::size_t chained = m_chainNext[p];
            if (chained != None && --m_waiting[chained] == 0)
            {
                Push(chained);
            }
            --m_left;
            if (m_stopped)
            {
                next = None; // another thread failed: the run ends
            }
            else if (next == None)
            {
                next = Pop(home);
            }
            wake = m_sleepers > 0 && (m_left == 0 || m_readyCount > 0);
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
    using Heap = std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>>;

    bool MayStart(std::size_t p) const { return !m_mayStart || m_mayStart(p); }

    // Called with the mutex held.
    void Push(std::size_t p)
    {
        m_ready[m_home[m_polygonOf[p]]].push(p);
        ++m_readyCount;
    }

    // The earliest ready pair of the home that may start, else of the next home that has
    // one; None when none is ready or every ready one is held back (when a home's earliest is
    // held back, so is every later pair of it). Called with the mutex held.
    std::size_t Pop(unsigned home)
    {
        if (m_readyCount == 0)
        {
            return None;
        }
        for (std::size_t k = 0; k < m_ready.size(); ++k)
        {
            Heap& heap = m_ready[(home + k) % m_ready.size()];
            if (!heap.empty() && MayStart(heap.top()))
            {
                const std::size_t p = heap.top();
                heap.pop();
                --m_readyCount;
                return p;
            }
        }
        return None;
    }

    std::vector<std::size_t> m_first; // first pair of each polygon, and the pair count
    std::vector<std::uint32_t> m_polygonOf;
    std::vector<std::size_t> m_chainNext;
    std::vector<std::uint32_t> m_waiting; // predecessors not done yet
    const std::vector<std::uint8_t>* m_pairwise = nullptr;
    std::vector<std::uint32_t> m_home; // of each polygon
    // Ready pairs by home, the first in merge order (by polygon) on top: held-back threads
    // take the pairs that the merge needs next first, and one look per home tells whether
    // any may start.
    std::vector<Heap> m_ready;
    std::size_t m_readyCount = 0;
    std::function<bool(std::size_t)> m_mayStart;
    std::size_t m_left = 0;
    unsigned m_sleepers = 0; // threads waiting in Take
    bool m_stopped = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

// A polygon's place across the x axis, for its home strip: the centre of its bounds, ties
// broken by its position in the list, so that the order is total.
struct StripKey
{
    double Centre;
    std::uint32_t Position;

    bool operator<(const StripKey& other) const noexcept
    {
        return Centre < other.Centre || (Centre == other.Centre && Position < other.Position);
    }
};

StripKey StripKeyOf(const Polygon& polygon, std::size_t position)
{
    const Rectangle bounds = polygon.GetBounds();
    const double centre = (bounds.MinX + bounds.MaxX) / 2;
    // An empty polygon or one with coordinates that are not finite goes anywhere, but must
    // not break the order.
    return {std::isfinite(centre) ? centre : 0.0, static_cast<std::uint32_t>(position)};
}

// Each polygon's home thread: the plane cut into homeCount strips across the x axis, each
// with about as many polygons (by the centres of their bounds), so that every thread has its
// share and its neighbours mostly at home. keys holds StripKeyOf each polygon, in any order
// (it is reordered). The polygon of rank r goes to strip r * homeCount / n; only the strips'
// boundaries are found, each by a selection over the keys from the one before, not a whole
// sort: this runs on the calling thread alone before the pairs start.
std::vector<std::uint32_t> HomesByStrips(std::span<StripKey> keys, unsigned homeCount)
{
    const std::size_t n = keys.size();
    std::vector<std::uint32_t> home(n, 0);
    auto from = keys.begin();
    for (unsigned h = 0; h < homeCount; ++h)
    {
        // The ranks r with r * homeCount / n == h end here.
        const std::size_t end = ((std::size_t{h} + 1) * n + homeCount - 1) / homeCount;
        const auto to = keys.begin() + static_cast<std::ptrdiff_t>(end);
        if (to != keys.end())
        {
            std::nth_element(from, to, keys.end());
        }
        for (auto key = from; key != to; ++key)
        {
            home[key->Position] = h;
        }
        from = to;
    }
    return home;
}

// The order in which a join delivers the polygons it made in another order: the pieces of the
// enumerated polygons in the order made, then those of the queried polygons by position. The
// queried polygons come in two kinds, each made in position order.
class DeliveryOrder
{
public:
    enum Kind : std::uint32_t
    {
        Enumerated = 0,
        ChainEnd = 1,
        Whole = 2
    };

    // The polygons made since the last call, up to the made-th, are of the kind (and of the
    // queried polygon at position q).
    void Add(std::size_t made, Kind kind, std::uint32_t q = 0)
    {
        m_keys.resize(made, kind == Enumerated ? 0 : (std::uint64_t{q} << 2 | kind));
    }

    // The edit list positions of the polygons made (from first on) in delivery order.
    std::vector<std::int32_t> Positions(std::int32_t first) const
    {
        std::vector<std::int32_t> positions;
        positions.reserve(m_keys.size());
        std::vector<std::int32_t> ends;
        std::vector<std::int32_t> wholes;
        for (std::size_t k = 0; k < m_keys.size(); ++k)
        {
            const auto position = first + static_cast<std::int32_t>(k);
            switch (m_keys[k] & 3)
            {
            case Enumerated:
                positions.push_back(position);
                break;
            case ChainEnd:
                ends.push_back(position);
                break;
            default:
                wholes.push_back(position);
                break;
            }
        }
        // Both in position order, and no queried polygon in both.
        const auto before = [&](std::int32_t a, std::int32_t b)
        {
            return m_keys[static_cast<std::size_t>(a - first)] >> 2 <
                   m_keys[static_cast<std::size_t>(b - first)] >> 2;
        };
        std::merge(ends.begin(), ends.end(), wholes.begin(), wholes.end(),
                   std::back_inserter(positions), before);
        return positions;
    }

private:
    std::vector<std::uint64_t> m_keys; // of each polygon made: its kind and position
};

} // namespace

std::size_t SetPieceBytesAhead(std::size_t bytes) noexcept
{
    return g_pieceBytesAhead.exchange(bytes, std::memory_order_relaxed);
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
    std::vector<std::uint64_t> expectedPoints(n);
    OperationRun run(progress, static_cast<std::int64_t>(2 * n), threads);

    // Candidates of each polygon; the polygons that many chains read at once are prepared.
    const PolygonBlocks blocks(n, threads);
    const auto findCandidates = [&](std::size_t block)
    {
        blocks.ForEachIn(block,
                         [&](std::size_t i)
                         {
                             candidates[i] = Candidates(queried, *polygons[i]);
                             expectedPoints[i] = ExpectedPoints(*polygons[i], candidates[i]);
                             Detail::PrepareForSharedReads(*polygons[i], false);
                             if (candidates[i].size() > EdgeIndexThreshold)
                             {
                                 Detail::PrepareEdgeSearches(*polygons[i]);
                             }
                         });
    };
    if (!run.Items(blocks.Count(), findCandidates))
    {
        return false;
    }

    // Each chain of one candidate on one worker; the common parts go to their pair's slot.
    const std::vector<std::vector<Pair>> chains = ChainsByCandidate(candidates);
    FlatPolygonStore store; // before the pieces in it, which go first
    std::vector<std::vector<FlatPolygon>> pieces(n);
    std::vector<std::uint32_t> pairsOf(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        pieces[i].resize(candidates[i].size());
        pairsOf[i] = static_cast<std::uint32_t>(candidates[i].size());
    }
    BlockRuns slots(pairsOf, result.GetTopology()->GetNodeSet().GetGridStep(), expectedPoints);
    // The last chain that each block waits for.
    std::vector<std::size_t> lastChain(slots.BlockCount(), 0);
    for (std::size_t k = 0; k < chains.size(); ++k)
    {
        for (const Pair& pair : chains[k])
        {
            std::size_t& last = lastChain[slots.BlockOf(pair.Polygon)];
            last = std::max(last, k);
        }
    }
    const auto mayStart = [&](std::size_t k)
    {
        const std::size_t head = slots.HeadBlock();
        return !FarAhead(store) || (head < lastChain.size() && k <= lastChain[head]);
    };
    const auto collect = [&](std::size_t i, std::vector<Point>& points)
    {
        for (const FlatPolygon& piece : pieces[i])
        {
            points.insert(points.end(), piece.Points().begin(), piece.Points().end());
        }
    };
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
            // Once nothing is left of the candidate, its remaining pairs have no common part.
            Polygon& current = remainder ? *remainder : candidate;
            if (!current.IsEmpty())
            {
                // The chain's last pair leaves its remainder to nobody: not traced.
                auto parts = Overlay::PartitionParts(current, *polygons[pair.Polygon],
                                                     {true, &pair != &chain.back(), false});
                if (!parts[0]->IsEmpty())
                {
                    pieces[pair.Polygon][pair.Candidate] = FlatPolygon(*parts[0], store);
                }
                remainder = std::move(parts[1]);
            }
            slots.Finish(pair.Polygon, collect);
        }
        // The pairs of a chain count as the work of polygons, to keep the total at 2 n.
        run.Done.fetch_add(static_cast<std::int64_t>(chain.size()) * static_cast<std::int64_t>(n) /
                               std::max<std::int64_t>(pairCount, 1),
                           std::memory_order_relaxed);
    };
    // The merge, in the single-thread order: by polygon, then by candidate.
    MergedPieces merged(result);
    const auto merge = [&]
    {
        return slots.MergeReady(merged,
                                [&](std::size_t i)
                                {
                                    MergeCommonParts(
                                        merged, recordParents, polygons[i],
                                        [&](std::size_t j) { return candidates[i][j]; },
                                        pieces[i]);
                                    run.Counter.Step();
                                });
    };
    run.EndPreparing();
    if (!run.Items(chains.size(), threads, intersectChain, merge, true, mayStart))
    {
        return false;
    }
    run.EndWork();
    merged.Keep();
    return true;
}

bool JoinInParallel(const PolygonList& polygons, const PolygonLayer& queried,
                    const PolygonList& queriedPolygons, PolygonLayer& result, bool recordParents,
                    const Progress& progress, unsigned threads, JoinKeep keep)
{
    const std::size_t n = polygons.size();
    const std::size_t queriedCount = queriedPolygons.size();
    // The position of each candidate in queriedPolygons, which stands for it from then on:
    // the lists of candidates themselves are freed as soon as their positions are known (on
    // the thread that found them, whose next lists take their room), but for the polygons
    // with many candidates, which unite them. Kept for every polygon, they were a sixth of the
    // operation's peak at 100,000 polygons, much of it fresh pages of the worker's heap.
    std::vector<PolygonList> candidates(n);
    std::vector<std::vector<std::uint32_t>> candidateIds(n);
    std::vector<std::uint8_t> pairwise(n, 1);
    FlatPolygonStore store; // before the pieces in it, which go first
    // Each polygon's common parts with its candidates, when they are kept (none otherwise).
    std::vector<std::vector<FlatPolygon>> pieces(keep.Common ? n : 0);
    // The pairs count as the work once known, then the merge of each polygon.
    OperationRun run(progress, static_cast<std::int64_t>(n + queriedCount), threads);

    // The points each polygon's pieces are expected to bring, and which queried polygons may
    // be copied with nodes from a sorted run, are filled in by the threads that prepare the
    // polygons: left uninitialised until then, their pages are first touched there rather
    // than on the calling thread.
    const std::size_t slotCount = n + queriedCount;
    std::vector<std::uint64_t, Detail::UninitialisedAllocator<std::uint64_t>> expectedPoints(
        slotCount);
    std::vector<std::uint8_t, Detail::UninitialisedAllocator<std::uint8_t>> copiesThroughRun(
        queriedCount);

    // Every queried polygon prepared (chains of different polygons may read the same operand
    // polygon at once), then every enumerated polygon with its candidates. A layer joined
    // with itself has its polygons prepared with their candidates.
    const bool self = !polygons.empty() && polygons.front()->GetLayer() == &queried;
    const PolygonBlocks blocks(n, threads);
    const PolygonBlocks queriedBlocks(queriedCount, threads);
    const auto prepareQueried = [&](std::size_t block)
    {
        queriedBlocks.ForEachIn(block,
                                [&](std::size_t q)
                                {
                                    const Polygon& polygon = *queriedPolygons[q];
                                    if (!self)
                                    {
                                        Detail::PrepareForSharedReads(polygon, false);
                                    }
                                    expectedPoints[n + q] =
                                        static_cast<std::uint64_t>(polygon.GetNodeCount());
                                    copiesThroughRun[q] =
                                        keep.Queried && CopiesThroughRun(polygon, result) ? 1 : 0;
                                });
    };
    if (!run.Items(queriedBlocks.Count(), prepareQueried))
    {
        return false;
    }
    const PolygonPositions positions(queriedPolygons);
    // Each polygon's key for its home strip, noted by the thread that finds its candidates.
    std::vector<StripKey, Detail::UninitialisedAllocator<StripKey>> stripKeys(n);
    // Set when a candidate is not in queriedPolygons, which the index of a layer and the list
    // of its committed polygons rule out: the one-thread join then does without positions.
    std::atomic<bool> unlisted{false};
    const auto findCandidates = [&](std::size_t block)
    {
        blocks.ForEachIn(
            block,
            [&](std::size_t i)
            {
                stripKeys[i] = StripKeyOf(*polygons[i], i);
                PolygonList found = Candidates(queried, *polygons[i]);
                const std::size_t count = found.size();
                candidateIds[i].resize(count);
                auto points = static_cast<std::uint64_t>(polygons[i]->GetNodeCount());
                for (std::size_t j = 0; j < count; ++j)
                {
                    const std::uint32_t id = positions.Find(found[j]);
                    if (id == PolygonPositions::None)
                    {
                        unlisted.store(true, std::memory_order_relaxed);
                        return;
                    }
                    candidateIds[i][j] = id;
                    points += expectedPoints[n + id];
                }
                // At most the polygon's and its candidates' points, usually about that.
                expectedPoints[i] = points;
                const bool united = count > PairwiseJoinLimit;
                Detail::PrepareForSharedReads(*polygons[i], false);
                if (united)
                {
                    pairwise[i] = 0;
                    Detail::PrepareEdgeSearches(*polygons[i]);
                    candidates[i] = std::move(found);
                }
                // The common parts have a place only when they are kept.
                if (keep.Common)
                {
                    pieces[i].resize(count);
                }
            });
    };
    if (!run.Items(blocks.Count(), findCandidates) || unlisted.load(std::memory_order_relaxed))
    {
        return false;
    }

    JoinSchedule schedule(candidateIds, queriedCount, pairwise, HomesByStrips(stripKeys, threads),
                          threads);
    run.Counter.AddToTotal(static_cast<std::int64_t>(schedule.PairCount()));
    // The slots merged in order: each polygon of the enumerated layer with its common parts
    // and its rest, ready once its pairs (and, with many candidates, the subtraction of their
    // union) are done.
    std::vector<std::uint32_t> pending(n, 0);
    const auto states = std::make_unique<JoinPolygonState[]>(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        states[i].PairsLeft.store(static_cast<std::uint32_t>(candidateIds[i].size()),
                                  std::memory_order_relaxed);
        pending[i] = candidateIds[i].empty() ? 0 : 1;
    }
    // The queried polygons, each with what is left of it, in two kinds merged apart: the ends
    // of chains, whose remainders the chains' last pairs leave, and the polygons that no pair
    // reaches, which pass whole. Each kind goes into the result in blocks in its own queried
    // polygon order as soon as a block is ready, while the pairs run, with node lookups from
    // sorted runs; at the end, the result layer's edit list is put in delivery order (the
    // enumerated polygons' pieces, then the queried polygons' by position). Merged at their
    // turn, after every enumerated polygon, they were the serial end of a join of a layer
    // mostly outside the other. The copies of whole polygons are prepared ahead by the threads.
    constexpr std::uint32_t notEnd = PolygonPositions::None;
    std::vector<std::uint32_t> endOf(queriedCount, notEnd); // position in ends
    for (std::size_t p = 0; p < schedule.PairCount(); ++p)
    {
        if (schedule.ChainNext(p) == JoinSchedule::None)
        {
            endOf[candidateIds[schedule.Polygon(p)][schedule.Candidate(p)]] = 0;
        }
    }
    std::vector<std::uint32_t> ends;   // queried polygons by position, in order
    std::vector<std::uint32_t> wholes; // likewise
    std::vector<std::uint64_t> endPoints;
    std::vector<std::uint64_t> wholePoints;
    // Room for every polygon in each, which only the pages written take: no growth steps.
    for (auto* list : {&ends, &wholes})
    {
        list->reserve(queriedCount);
    }
    for (auto* list : {&endPoints, &wholePoints})
    {
        list->reserve(queriedCount);
    }
    for (std::size_t q = 0; q < queriedCount; ++q)
    {
        const auto position = static_cast<std::uint32_t>(q);
        if (endOf[q] != notEnd)
        {
            endOf[q] = static_cast<std::uint32_t>(ends.size());
            ends.push_back(position);
            endPoints.push_back(expectedPoints[n + q]);
        }
        else
        {
            wholes.push_back(position);
            wholePoints.push_back(copiesThroughRun[q] != 0 ? expectedPoints[n + q] : 0);
        }
    }
    const double gridStep = result.GetTopology()->GetNodeSet().GetGridStep();
    BlockRuns slots(pending, gridStep, std::span<const std::uint64_t>(expectedPoints.data(), n));
    BlockRuns endBlocks(std::vector<std::uint32_t>(ends.size(), 1), gridStep, endPoints);
    BlockRuns wholeBlocks(std::vector<std::uint32_t>(wholes.size(), 1), gridStep, wholePoints);
    // The next whole block to prepare, and the points of those prepared and not merged yet:
    // while pairs are left, a thread prepares one only while fewer than WholePointsAhead wait
    // (each block with its run). The merge takes them only when no other slot is ready, so
    // that a bound of a few blocks (of small polygons) left most of them for after the pairs.
    std::atomic<std::size_t> nextWholeBlock{0};
    std::atomic<std::uint64_t> wholePointsAhead{0};
    // Each pair's remainder of its candidate, handed on along the chain.
    std::vector<std::unique_ptr<Polygon>> remainders(schedule.PairCount());
    // What the merge takes: each enumerated polygon's final rest, each chain end's final
    // remainder.
    std::vector<FlatRest> finalRests(n);
    std::vector<FlatRest> finalRemainders(ends.size());
    const auto append = [](const FlatPolygon& piece, std::vector<Point>& points)
    { points.insert(points.end(), piece.Points().begin(), piece.Points().end()); };
    // The points of a slot's flat pieces in the order the merge adds them.
    const auto collect = [&](std::size_t i, std::vector<Point>& points)
    {
        if (keep.Common)
        {
            for (const FlatPolygon& piece : pieces[i])
            {
                append(piece, points);
            }
        }
        if (finalRests[i].has_value())
        {
            append(*finalRests[i], points);
        }
    };
    const auto collectEnd = [&](std::size_t e, std::vector<Point>& points)
    {
        if (finalRemainders[e].has_value())
        {
            append(*finalRemainders[e], points);
        }
    };
    const auto collectWhole = [&](std::size_t w, std::vector<Point>& points)
    {
        if (copiesThroughRun[wholes[w]] != 0)
        {
            AppendPoints(*queriedPolygons[wholes[w]], points);
        }
    };
    // Prepares the next whole block; false when none is left or, with bounded, when enough
    // wait for the merge.
    const auto prepareWholes = [&](bool bounded)
    {
        std::size_t block = nextWholeBlock.load(std::memory_order_relaxed);
        do
        {
            if (block >= wholeBlocks.BlockCount() ||
                (bounded && wholePointsAhead.load(std::memory_order_relaxed) >= WholePointsAhead))
            {
                return false;
            }
        } while (
            !nextWholeBlock.compare_exchange_weak(block, block + 1, std::memory_order_relaxed));
        std::uint64_t points = 0;
        for (std::size_t w = wholeBlocks.FirstSlot(block); w < wholeBlocks.FirstSlot(block + 1);
             ++w)
        {
            points += wholePoints[w];
        }
        wholePointsAhead.fetch_add(points, std::memory_order_relaxed);
        for (std::size_t w = wholeBlocks.FirstSlot(block); w < wholeBlocks.FirstSlot(block + 1);
             ++w)
        {
            wholeBlocks.Finish(w, collectWhole);
        }
        return true;
    };

    // The polygons with many candidates lose the united candidates in one subtraction, made
    // by the worker that ends the polygon's last pair.
    const auto finishPolygon = [&](std::size_t i)
    {
        if (pairwise[i] == 0 && keep.Enumerated)
        {
            const TreeItem united = std::move(UniteGroups({candidates[i]}, threads).front());
            states[i].Rest = Overlay::Substract(*polygons[i], *united.pPolygon);
        }
        if (keep.Enumerated && states[i].Rest != nullptr)
        {
            finalRests[i] = FlatPolygon(*states[i].Rest, store);
        }
        states[i].Rest.reset();
        slots.Finish(i, collect);
    };
    const auto runPair = [&](std::size_t p)
    {
        const std::size_t i = schedule.Polygon(p);
        const std::size_t j = schedule.Candidate(p);
        Polygon& polygon = *polygons[i];
        Polygon& candidate = *queriedPolygons[candidateIds[i][j]];
        std::unique_ptr<Polygon> remainder = std::move(remainders[p]);
        Polygon& other = remainder ? *remainder : candidate;
        const std::size_t next = schedule.ChainNext(p);
        // Only the parts that someone takes are traced: the common part when it is kept, the
        // candidate's remainder when a later pair or the result takes it.
        const bool remainderTaken = next != JoinSchedule::None || keep.Queried;
        if (pairwise[i] == 0)
        {
            if (!other.IsEmpty())
            {
                auto parts = Overlay::PartitionParts(other, polygon,
                                                     {keep.Common, remainderTaken, false});
                if (keep.Common && !parts[0]->IsEmpty())
                {
                    pieces[i][j] = FlatPolygon(*parts[0], store);
                }
                remainder = std::move(parts[1]);
            }
        }
        else if (!states[i].Used)
        {
            std::unique_ptr<Polygon>& rest = states[i].Rest;
            Polygon& own = rest ? *rest : polygon;
            if (own.IsEmpty())
            {
                states[i].Used = true;
            }
            else if (!other.IsEmpty())
            {
                // The polygon's rest goes on to its next pair, and after its last one to the
                // result if that keeps it.
                const bool restTaken = keep.Enumerated || j + 1 < candidateIds[i].size();
                auto parts =
                    Overlay::PartitionParts(other, own, {keep.Common, remainderTaken, restTaken});
                if (keep.Common && !parts[0]->IsEmpty())
                {
                    pieces[i][j] = FlatPolygon(*parts[0], store);
                }
                remainder = std::move(parts[1]);
                rest = std::move(parts[2]);
            }
        }
        if (next != JoinSchedule::None)
        {
            remainders[next] = std::move(remainder);
        }
        else
        {
            // The candidate's final remainder.
            const std::uint32_t e = endOf[candidateIds[i][j]];
            if (keep.Queried && remainder != nullptr)
            {
                finalRemainders[e] = FlatPolygon(*remainder, store, FlatWait::UntilTheEnd);
            }
            remainder.reset();
            endBlocks.Finish(e, collectEnd);
        }
        if (states[i].PairsLeft.fetch_sub(1, std::memory_order_acq_rel) == 1)
        {
            finishPolygon(i);
        }
    };
    // Worker k is the thread of home k + 1, the calling thread that of home 0.
    const auto work = [&](std::size_t k)
    {
        const auto home = static_cast<unsigned>(k + 1);
        try
        {
            for (std::size_t p = schedule.Take(home); p != JoinSchedule::None;
                 p = schedule.Take(home))
            {
                while (p != JoinSchedule::None)
                {
                    prepareWholes(true);
                    runPair(p);
                    run.Done.fetch_add(1, std::memory_order_relaxed);
                    p = schedule.Done(p, home);
                }
            }
            while (!schedule.Stopped() && prepareWholes(false))
            {
            }
        }
        catch (...)
        {
            schedule.Stop();
            throw;
        }
    };
    // The calling thread runs pairs too while no slot is ready to merge, a short batch at a
    // time: two threads are the caller and one worker, not two workers and a merging caller
    // taking turns on two cores. Its failure ends the run like a worker's.
    std::size_t callerPair = JoinSchedule::None; // released to the caller by its last pair
    std::exception_ptr callerFailure;
    // Waits for a pair to become ready at most this long, then looks for slots to merge.
    constexpr auto callerWait = std::chrono::microseconds(500);
    // How long a batch of its pairs runs before it looks for slots to merge again.
    constexpr auto callerBatch = std::chrono::microseconds(300);
    const auto callerWork = [&]
    {
        std::size_t p =
            callerPair != JoinSchedule::None ? callerPair : schedule.TakeWithin(0, callerWait);
        callerPair = JoinSchedule::None;
        if (p == JoinSchedule::None)
        {
            // Called again at once unless the pairs are all done: a merge may be ready. Then
            // the whole polygons' slots are left to complete.
            if (!schedule.Ended())
            {
                return true;
            }
            try
            {
                return !schedule.Stopped() && prepareWholes(false);
            }
            catch (...)
            {
                callerFailure = std::current_exception();
                schedule.Stop();
                return false;
            }
        }
        const Clock::time_point start = Clock::now();
        const Clock::time_point until = start + callerBatch;
        try
        {
            for (;;)
            {
                runPair(p);
                run.Done.fetch_add(1, std::memory_order_relaxed);
                callerPair = schedule.Done(p, 0);
                p = callerPair;
                if (p == JoinSchedule::None || Clock::now() >= until)
                {
                    break;
                }
            }
        }
        catch (...)
        {
            callerFailure = std::current_exception();
            schedule.Stop();
        }
        run.NotMerging(SecondsSince(start));
        return callerFailure == nullptr;
    };

    // The merge: each polygon's common parts and rest in order, the queried polygons' blocks
    // when ready.
    MergedPieces merged(result);
    const std::int32_t firstAdded = result.GetEditingCount();
    DeliveryOrder order;
    const auto mergeSlot = [&](std::size_t i)
    {
        if (keep.Common)
        {
            MergeCommonParts(
                merged, recordParents, polygons[i],
                [&](std::size_t j) { return queriedPolygons[candidateIds[i][j]]; }, pieces[i]);
            pieces[i].clear();
        }
        if (keep.Enumerated)
        {
            MergeRest(merged, recordParents, polygons[i], finalRests[i]);
        }
        order.Add(merged.Added().size(), DeliveryOrder::Enumerated);
        finalRests[i].reset();
        run.Counter.Step();
    };
    const auto mergeEnd = [&](std::size_t e)
    {
        const std::uint32_t q = ends[e];
        if (keep.Queried)
        {
            MergeRest(merged, recordParents, queriedPolygons[q], finalRemainders[e]);
        }
        order.Add(merged.Added().size(), DeliveryOrder::ChainEnd, q);
        finalRemainders[e].reset();
        run.Counter.Step();
    };
    const auto mergeWhole = [&](std::size_t w)
    {
        const std::uint32_t q = wholes[w];
        if (copiesThroughRun[q] != 0)
        {
            merged.AddFromRun(*queriedPolygons[q], recordParents, {queriedPolygons[q]});
        }
        else if (keep.Queried)
        {
            MergeRest(merged, recordParents, queriedPolygons[q], FlatRest());
        }
        order.Add(merged.Added().size(), DeliveryOrder::Whole, q);
        wholePointsAhead.fetch_sub(wholePoints[w], std::memory_order_relaxed);
        run.Counter.Step();
    };
    // Only the pairs that the first unmerged block waits for start while far ahead of the
    // merge: those of its polygons and of earlier ones (a chain runs in polygon order); once
    // the merge has taken every enumerated polygon, it waits for every pair.
    schedule.HoldBack(
        [&](std::size_t p)
        {
            const std::size_t head = slots.HeadBlock();
            return !FarAhead(store) || head >= slots.BlockCount() ||
                   slots.BlockOf(schedule.Polygon(p)) <= head;
        });
    run.EndPreparing();
    run.OnStop([&] { schedule.Stop(); });
    const unsigned workers = threads - 1;
    if (!run.Items(workers, workers, work,
                   [&]
                   {
                       return callerFailure == nullptr &&
                              (slots.MergeReady(merged, mergeSlot) ||
                               endBlocks.MergeReady(merged, mergeEnd) ||
                               wholeBlocks.MergeReady(merged, mergeWhole) || callerWork());
                   }) ||
        callerFailure != nullptr)
    {
        return false;
    }
    result.ReorderEditing(firstAdded, order.Positions(firstAdded));
    run.EndWork();
    merged.Keep();
    return true;
}

namespace
{

// Polygons of at least this many points are large for the subtraction's schedule.
constexpr std::uint64_t LargePolygonPoints = 8192;

// Counts a large block as ended when its work ends, by failure too.
class LargeBlockEnd
{
public:
    explicit LargeBlockEnd(std::atomic<std::size_t>* ended) noexcept : m_ended(ended) {}
    ~LargeBlockEnd()
    {
        if (m_ended != nullptr)
        {
            m_ended->fetch_add(1, std::memory_order_release);
        }
    }
    LargeBlockEnd(const LargeBlockEnd&) = delete;
    LargeBlockEnd& operator=(const LargeBlockEnd&) = delete;

private:
    std::atomic<std::size_t>* m_ended;
};

} // namespace

bool SubstractInParallel(const PolygonList& polygons, const PolygonLayer& b, PolygonLayer& result,
                         bool recordParents, const Progress& progress, unsigned threads)
{
    const std::size_t n = polygons.size();
    const PolygonList others = PolygonsOf(b);
    OperationRun run(progress, static_cast<std::int64_t>(2 * n), threads);

    // Every polygon of B may be read by several workers at once. The points of A's polygons
    // are counted on the threads too (left uninitialised until then, the array's pages are
    // first touched there).
    const PolygonBlocks otherBlocks(others.size(), threads);
    const PolygonBlocks ownBlocks(n, threads);
    std::vector<std::uint64_t, Detail::UninitialisedAllocator<std::uint64_t>> points(n);
    const auto prepare = [&](std::size_t block)
    {
        if (block < otherBlocks.Count())
        {
            otherBlocks.ForEachIn(block, [&](std::size_t i)
                                  { Detail::PrepareForSharedReads(*others[i], false); });
        }
        if (block < ownBlocks.Count())
        {
            ownBlocks.ForEachIn(
                block, [&](std::size_t i)
                { points[i] = static_cast<std::uint64_t>(polygons[i]->GetNodeCount()); });
        }
    };
    if (!run.Items(std::max(otherBlocks.Count(), ownBlocks.Count()), prepare))
    {
        return false;
    }

    FlatPolygonStore store; // before the rests in it, which go first
    // Blocks of large polygons are shorter: a block's rests wait for the whole block, and
    // with no sorted run to fill, a short block costs nothing.
    constexpr std::uint64_t pointsPerBlock = 8192;
    const std::vector<std::size_t> first =
        BlockStarts(n, points, PolygonBlocks(n, threads).Size(), pointsPerBlock);
    const std::size_t blockCount = first.size() - 1;
    // What is left of each polygon, by block; nullopt where the polygon is its own rest. Each
    // block's item makes its block's room, which the merge frees after the block: room for
    // every polygon at once, made on the calling thread, was a serial part of the subtraction.
    std::vector<std::vector<FlatRest>> blockRests(blockCount);
    const auto inBlock = [&first](std::size_t block, const auto& each)
    {
        for (std::size_t i = first[block]; i < first[block + 1]; ++i)
        {
            each(i);
        }
    };
    // Each polygon is a slot of its block's run, in which the block's item collects the points
    // of its rests and of the polygons that pass whole (most of a layer mostly outside B), so
    // that the merge walks the node index once per block instead of searching it for each
    // point. Blocks with a large polygon collect none: their rests are merged piece by piece
    // as before, without a run's room waiting beside them.
    BlockRuns slots(first, std::vector<std::uint32_t>(n, 1),
                    result.GetTopology()->GetNodeSet().GetGridStep());
    const auto restOf = [&](std::size_t i) -> FlatRest&
    {
        const std::size_t block = slots.BlockOf(i);
        return blockRests[block][i - first[block]];
    };
    // Blocks with a large polygon run one at a time: the working room of its overlay and the
    // rest it leaves grow with it, and two at once, beside the merge of an earlier large rest,
    // make the operation's peak. A large block starts once every earlier one has ended, which
    // holds none back for ever: those were taken before it and are running.
    std::vector<std::size_t> largeBefore(blockCount + 1, 0);
    for (std::size_t block = 0; block < blockCount; ++block)
    {
        bool large = false;
        inBlock(block, [&](std::size_t i) { large = large || points[i] >= LargePolygonPoints; });
        largeBefore[block + 1] = largeBefore[block] + (large ? 1 : 0);
    }
    const auto isLarge = [&](std::size_t block)
    { return largeBefore[block + 1] != largeBefore[block]; };
    // The polygons that pass whole and take their nodes from their block's run.
    std::vector<std::uint8_t> wholeThroughRun(n, 0);
    const auto collect = [&](std::size_t i, std::vector<Point>& collected)
    {
        if (isLarge(slots.BlockOf(i)))
        {
            return;
        }
        if (const FlatRest& rest = restOf(i); rest.has_value())
        {
            collected.insert(collected.end(), rest->Points().begin(), rest->Points().end());
        }
        else if (CopiesThroughRun(*polygons[i], result))
        {
            wholeThroughRun[i] = 1;
            AppendPoints(*polygons[i], collected);
        }
    };
    std::atomic<std::size_t> largeEnded{0};
    const auto substract = [&](std::size_t block)
    {
        const LargeBlockEnd end{isLarge(block) ? &largeEnded : nullptr};
        blockRests[block].resize(first[block + 1] - first[block]);
        inBlock(block,
                [&](std::size_t i)
                {
                    Polygon& polygon = *polygons[i];
                    const PolygonList candidates = Candidates(b, polygon);
                    const std::unique_ptr<Polygon> rest =
                        ShouldUniteFirst(polygon, candidates)
                            ? SubstractUnited(polygon, candidates, threads)
                            : SubstractOneByOne(polygon, candidates);
                    if (rest != nullptr)
                    {
                        restOf(i) = FlatPolygon(*rest, store);
                    }
                    slots.Finish(i, collect);
                });
        run.Done.fetch_add(static_cast<std::int64_t>(first[block + 1] - first[block]),
                           std::memory_order_relaxed);
    };
    MergedPieces merged(result);
    const auto merge = [&]
    {
        return slots.MergeReady(merged,
                                [&](std::size_t i)
                                {
                                    if (wholeThroughRun[i] != 0)
                                    {
                                        merged.AddFromRun(*polygons[i], recordParents,
                                                          {polygons[i]});
                                    }
                                    else
                                    {
                                        MergeRest(merged, recordParents, polygons[i], restOf(i));
                                    }
                                    restOf(i).reset();
                                    if (i + 1 == first[slots.BlockOf(i) + 1])
                                    {
                                        blockRests[slots.BlockOf(i)] = std::vector<FlatRest>();
                                    }
                                    run.Counter.Step();
                                });
    };
    run.EndPreparing();
    const auto mayStart = [&](std::size_t block)
    {
        return (!FarAhead(store) || block <= slots.HeadBlock()) &&
               (!isLarge(block) ||
                largeEnded.load(std::memory_order_acquire) == largeBefore[block]);
    };
    if (!run.Items(blockCount, threads, substract, merge, true, mayStart))
    {
        return false;
    }
    run.EndWork();
    merged.Keep();
    return true;
}

} // namespace Arealis::LayerOperations
