#include "overlay/LayerSetOperations.h"

#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/PolygonsSet.h"
#include "Arealis/Topology.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"
#include "model/LayerThreads.h"
#include "model/OperandPrecision.h"
#include "overlay/LayerOverlay.h"
#include "overlay/ParallelLayerOperations.h"
#include "overlay/RemainderMap.h"
#include "overlay/UnionTree.h"
#include "support/ParallelWork.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <numbers>
#include <span>
#include <utility>

namespace Arealis
{

namespace
{

constexpr const char* Unit = "LayerSetOperations";

// Checks the operands and returns the precision that the operation works with: that of the
// result's topology, which the operands' topologies must share.
Precision CheckOperands(const Topology& result, const PolygonLayer* pA, const PolygonLayer* pB,
                        int line)
{
    if (pA == nullptr || pB == nullptr)
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::InvalidPointer,
                                            Exceptions::MakeLocation(Unit, line));
    }
    return Detail::OperandPrecision{result.GetPrecision(), Detail::PrecisionOf(pA),
                                    Detail::PrecisionOf(pB)}
        .Get();
}

} // namespace

// --- Topology entry points ------------------------------------------------------------------

PolygonLayer* Topology::Union(PolygonLayer* pA, PolygonLayer* pB, bool /*recordParents*/,
                              const LayerProgress& progress)
{
    const PrecisionScope scope(CheckOperands(*this, pA, pB, __LINE__));
    PolygonLayer* result = CreatePolygonLayer(false);
    LayerOperations::Unite(*pA, *pB, *result, progress);
    return result;
}

PolygonLayer* Topology::Intersection(PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                                     const LayerProgress& progress)
{
    const PrecisionScope scope(CheckOperands(*this, pA, pB, __LINE__));
    PolygonLayer* result = CreatePolygonLayer(pA->AllowsOverlap() || pB->AllowsOverlap());
    LayerOperations::Intersect(*pA, *pB, *result, recordParents, progress);
    return result;
}

PolygonLayer* Topology::Substract(PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                                  const LayerProgress& progress)
{
    const PrecisionScope scope(CheckOperands(*this, pA, pB, __LINE__));
    PolygonLayer* result = CreatePolygonLayer(pA->AllowsOverlap());
    LayerOperations::Substract(*pA, *pB, *result, recordParents, progress);
    return result;
}

PolygonLayer* Topology::Join(PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                             const LayerProgress& progress)
{
    return LayerOperations::JoinKeeping(*this, pA, pB, recordParents, progress, {});
}

PolygonLayer* LayerOperations::JoinKeeping(Topology& topology, PolygonLayer* pA,
                                           PolygonLayer* pB, bool recordParents,
                                           const Progress& progress, JoinPieces kept)
{
    const PrecisionScope scope(CheckOperands(topology, pA, pB, __LINE__));
    PolygonLayer* result =
        topology.CreatePolygonLayer(pA->AllowsOverlap() || pB->AllowsOverlap());
    LayerOperations::Join(*pA, *pB, *result, recordParents, progress, kept);
    return result;
}

namespace LayerOperations
{

namespace
{


// Intersection and join enumerate the layer with fewer polygons (A on a tie) and query the
// other one.
struct OperandOrder
{
    PolygonLayer& Enumerated;
    PolygonLayer& Queried;
};

// Whether the committed polygons of the operands are small enough for one thread (see
// NodesForThreads; a layer given twice counts once). Their nodes are counted only until they
// are too many.
bool AreSmall(const PolygonLayer& a, const PolygonLayer& b)
{
    if (std::min(a.GetCommittedCount(), b.GetCommittedCount()) >= PolygonsForThreads)
    {
        return false;
    }
    std::int64_t nodes = 0;
    for (const PolygonLayer* layer : {&a, &b})
    {
        if (layer == &b && &b == &a)
        {
            break;
        }
        const auto committed = layer->GetIndex().GetEnumerator();
        while (committed->MoveNext())
        {
            nodes += committed->Current()->GetNodeCount();
            if (nodes >= NodesForThreads)
            {
                return false;
            }
        }
    }
    return true;
}

// The threads of an intersection or a join: their work items are pairs chained by candidate,
// so that a single enumerated polygon with many candidates (a large polygon over many small
// ones) spreads over the threads as well as many polygons do.
unsigned PairThreads(const PolygonLayer& result, const PolygonList& polygons,
                     const PolygonLayer& enumerated, const PolygonLayer& queried)
{
    const std::size_t items =
        polygons.size() == 1 ? Candidates(queried, *polygons.front()).size() : polygons.size();
    return OperationThreads(result, items, enumerated, queried);
}

OperandOrder FewerPolygonsFirst(PolygonLayer& a, PolygonLayer& b)
{
    if (b.GetPolygonCount() < a.GetPolygonCount())
    {
        return {b, a};
    }
    return {a, b};
}

// The union of the polygons on the given number of threads (the same whatever their number);
// null for none.
TreeItem UniteAll(const PolygonList& polygons, unsigned threads)
{
    return std::move(UniteGroups({polygons}, threads).front());
}

// The candidates of every polygon, found before the first pair is made, so that each
// candidate's pairs can be counted down to its last one (see RemainderMap::TakenLater).
class CandidateRuns
{
public:
    // With countPairs, each candidate's pairs are counted in remainders.
    CandidateRuns(const PolygonLayer& queried, const PolygonList& polygons,
                  RemainderMap& remainders, bool countPairs)
        : m_first(polygons.size() + 1, 0)
    {
        for (std::size_t i = 0; i < polygons.size(); ++i)
        {
            for (Polygon* candidate : Candidates(queried, *polygons[i]))
            {
                m_all.push_back(candidate);
                if (countPairs)
                {
                    remainders.CountPair(*candidate);
                }
            }
            m_first[i + 1] = m_all.size();
        }
    }

    std::span<Polygon* const> Of(std::size_t i) const
    {
        return {m_all.data() + m_first[i], m_all.data() + m_first[i + 1]};
    }

private:
    std::vector<Polygon*> m_all;
    std::vector<std::size_t> m_first;
};

// Adds the common part of polygon with each candidate's remainder to the result, and cuts the
// polygon out of those remainders, where a later pair takes them.
void IntersectCandidates(Polygon& polygon, std::span<Polygon* const> candidates,
                         RemainderMap& remainders, PolygonLayer& result, bool recordParents)
{
    for (Polygon* candidate : candidates)
    {
        Polygon& remainder = remainders.Get(*candidate);
        const bool restWanted = remainders.TakenLater(*candidate);
        if (remainder.IsEmpty())
        {
            continue;
        }
        auto [common, rest] =
            Overlay::IntersectIntoLayerAndSubstract(remainder, polygon, result, restWanted);
        if (common != nullptr && recordParents)
        {
            RecordParents(result, common, {&polygon, candidate});
        }
        if (restWanted)
        {
            remainders.Replace(*candidate, std::move(rest));
        }
        else
        {
            remainders.Drop(*candidate);
        }
    }
}

// --- Join -----------------------------------------------------------------------------------

// Partitions the polygon's rest with each candidate's remainder in turn. Null when the polygon
// met no candidate remainder (it is its own rest) or when the rest is not kept.
std::unique_ptr<Polygon> JoinPairwise(Polygon& polygon, std::span<Polygon* const> candidates,
                                      RemainderMap& remainders, PolygonLayer& result,
                                      bool recordParents, const JoinKeep& keep)
{
    std::unique_ptr<Polygon> rest;
    for (std::size_t j = 0; j < candidates.size(); ++j)
    {
        Polygon* candidate = candidates[j];
        Polygon& own = rest ? *rest : polygon;
        if (own.IsEmpty())
        {
            break;
        }
        Polygon& other = remainders.Get(*candidate);
        const bool remainderTaken = remainders.TakenLater(*candidate);
        if (other.IsEmpty())
        {
            continue;
        }
        const bool restTaken = keep.Enumerated || j + 1 < candidates.size();
        auto parts =
            Overlay::PartitionParts(other, own, {keep.Common, remainderTaken, restTaken});
        if (keep.Common && !parts[0]->IsEmpty())
        {
            AddResult(result, *parts[0], recordParents, {&polygon, candidate});
        }
        if (remainderTaken)
        {
            remainders.Replace(*candidate, std::move(parts[1]));
        }
        else
        {
            remainders.Drop(*candidate);
        }
        rest = std::move(parts[2]);
    }
    return rest;
}

// For many candidates: the common parts pair by pair with the polygon's edges indexed, then,
// when the rest is kept, one subtraction of the united candidates.
std::unique_ptr<Polygon> JoinThroughUnion(Polygon& polygon, std::span<Polygon* const> candidates,
                                          RemainderMap& remainders, PolygonLayer& result,
                                          bool recordParents, const JoinKeep& keep)
{
    const unsigned threads = UnionThreads(result);
    const EdgeIndexScope edgeIndex(polygon, true);
    if (keep.Common)
    {
        IntersectCandidates(polygon, candidates, remainders, result, recordParents);
    }
    else
    {
        for (Polygon* candidate : candidates)
        {
            Polygon& remainder = remainders.Get(*candidate);
            if (!remainders.TakenLater(*candidate))
            {
                remainders.Drop(*candidate);
            }
            else if (!remainder.IsEmpty())
            {
                remainders.Replace(*candidate, Overlay::Substract(remainder, polygon));
            }
        }
    }
    if (!keep.Enumerated)
    {
        return nullptr;
    }
    const TreeItem united = UniteAll(PolygonList(candidates.begin(), candidates.end()), threads);
    return Overlay::Substract(polygon, *united.pPolygon);
}

void AddRemainders(const PolygonList& polygons, const RemainderMap& remainders,
                   PolygonLayer& result, bool recordParents, bool keep, ProgressCounter& counter)
{
    for (Polygon* polygon : polygons)
    {
        const Polygon& remainder = remainders.Get(*polygon);
        if (keep && !remainder.IsEmpty())
        {
            AddResult(result, remainder, recordParents, {polygon});
        }
        counter.Step();
    }
}

} // namespace

// --- Shared pieces ----------------------------------------------------------------------------

// Whether uniting the candidates and subtracting the union once is expected to be cheaper
// than subtracting them one by one from a shrinking remainder.
bool ShouldUniteFirst(const Polygon& polygon, const PolygonList& candidates)
{
    const std::size_t k = candidates.size();
    if (k < 2)
    {
        return false;
    }
    double candidateNodes = 0.0;
    for (const Polygon* candidate : candidates)
    {
        candidateNodes += candidate->GetNodeCount();
    }
    const double n = polygon.GetNodeCount();
    const auto count = static_cast<double>(k);
    return std::log(count) * n * (count - 1.0) > std::numbers::ln2 * candidateNodes;
}

unsigned OperationThreads(const PolygonLayer& result, std::size_t items, const PolygonLayer& a,
                          const PolygonLayer& b)
{
    const Topology& topology = *result.GetTopology();
    if (items < 2 || (topology.GetLayerThreads() <= 0 && AreSmall(a, b)))
    {
        return 1;
    }
    return Detail::LayerThreadsOf(topology);
}

unsigned UnionThreads(const PolygonLayer& result)
{
    return Detail::LayerThreadsOf(*result.GetTopology());
}

// Null when nothing was cut off: the polygon is its own rest.
std::unique_ptr<Polygon> SubstractUnited(Polygon& polygon, const PolygonList& candidates,
                                         unsigned threads)
{
    const TreeItem united = UniteAll(candidates, threads);
    if (united.pPolygon == nullptr || united.pPolygon->IsEmpty())
    {
        return nullptr;
    }
    return Overlay::Substract(polygon, *united.pPolygon);
}

std::unique_ptr<Polygon> SubstractOneByOne(Polygon& polygon, const PolygonList& candidates)
{
    std::unique_ptr<Polygon> rest;
    for (Polygon* candidate : candidates)
    {
        rest = Overlay::Substract(rest ? *rest : polygon, *candidate);
        if (rest->IsEmpty())
        {
            break;
        }
    }
    return rest;
}

PolygonList PolygonsOf(const PolygonLayer& layer)
{
    PolygonList list;
    list.reserve(static_cast<std::size_t>(layer.GetCommittedCount()));
    // Without polygons being edited, the index holds them all, in the order the layer's
    // enumerator lists them: taken straight from there, the list costs neither the
    // enumerator's snapshot of the index nor a look at every polygon record, on the calling
    // thread of every layer operation.
    if (layer.GetEditingCount() == 0)
    {
        const auto committed = layer.GetIndex().GetEnumerator();
        while (committed->MoveNext())
        {
            list.push_back(committed->Current());
        }
        return list;
    }
    PolygonEnumerator polygons = layer.GetPolygons();
    if (polygons.IsEmpty())
    {
        throw Exceptions::InvalidOperationException(Exceptions::Messages::UninitializedEnumerator,
                                                    Exceptions::MakeLocation(Unit, __LINE__));
    }
    while (polygons.MoveNext())
    {
        if (!polygons.Current()->IsEditing())
        {
            list.push_back(polygons.Current());
        }
    }
    return list;
}

PolygonList Candidates(const PolygonLayer& layer, const Polygon& polygon)
{
    constexpr std::size_t usualCount = 20;
    PolygonList list;
    list.reserve(usualCount);
    // The layer's index holds exactly its committed polygons, in the order its queries list
    // them.
    layer.GetIndex().VisitOverlapping(polygon.GetBounds(),
                                      [&list](Polygon* pCandidate)
                                      {
                                          list.push_back(pCandidate);
                                          return true;
                                      });
    return list;
}

void RecordParents(PolygonLayer& result, Polygon* added, std::initializer_list<Polygon*> parents)
{
    // The list is the thread's own and keeps its storage: a layer operation records the
    // parents of every piece it adds, on the merging thread, and a list allocated and freed
    // for each of hundreds of thousands of pieces was allocator work on the serial path.
    thread_local Collections::PlainArray<Polygon*> list;
    list.Clear();
    for (Polygon* parent : parents)
    {
        list.Append(parent);
    }
    result.SetParents(added, list);
}

void AddResult(PolygonLayer& result, const Polygon& source, bool recordParents,
               std::initializer_list<Polygon*> parents)
{
    Polygon* added = result.AddPolygon(&source);
    if (recordParents)
    {
        RecordParents(result, added, parents);
    }
}

EdgeIndexScope::EdgeIndexScope(Polygon& polygon, bool on) : m_polygon(polygon)
{
    m_polygon.SetUseSpatialIndex(on);
}

EdgeIndexScope::~EdgeIndexScope()
{
    try
    {
        m_polygon.SetUseSpatialIndex(false);
    }
    catch (...) // NOLINT(bugprone-empty-catch): dropping an index cannot fail in practice
    {
    }
}

ProgressCounter::ProgressCounter(const Progress& progress, std::int64_t total)
    : m_progress(progress), m_total(total)
{
}

void ProgressCounter::Step(std::int64_t work)
{
    m_done += work;
    Report();
}

void ProgressCounter::AddToTotal(std::int64_t work)
{
    m_total += work;
}

void ProgressCounter::Finish()
{
    m_done = m_total;
    Report();
}

void ProgressCounter::Report() const
{
    if (m_progress)
    {
        m_progress(m_done, std::max(m_done, m_total));
    }
}

// --- Operations -------------------------------------------------------------------------------

void Intersect(PolygonLayer& a, PolygonLayer& b, PolygonLayer& result, bool recordParents,
               const Progress& progress)
{
    const OperandOrder order = FewerPolygonsFirst(a, b);
    const PolygonList polygons = PolygonsOf(order.Enumerated);
    const unsigned threads = PairThreads(result, polygons, order.Enumerated, order.Queried);
    if (threads > 1 &&
        IntersectInParallel(polygons, order.Queried, result, recordParents, progress, threads))
    {
        return;
    }
    // One thread, or a worker failed: this run fails the same way.
    ProgressCounter counter(progress, static_cast<std::int64_t>(polygons.size()));
    RemainderMap remainders;
    const CandidateRuns runs(order.Queried, polygons, remainders, true);
    for (std::size_t i = 0; i < polygons.size(); ++i)
    {
        const std::span<Polygon* const> candidates = runs.Of(i);
        if (!candidates.empty())
        {
            const EdgeIndexScope edgeIndex(*polygons[i], candidates.size() > EdgeIndexThreshold);
            IntersectCandidates(*polygons[i], candidates, remainders, result, recordParents);
        }
        counter.Step();
    }
    counter.Finish();
}

void Substract(PolygonLayer& a, PolygonLayer& b, PolygonLayer& result, bool recordParents,
               const Progress& progress)
{
    const PolygonList polygons = PolygonsOf(a);
    const unsigned threads = OperationThreads(result, polygons.size(), a, b);
    if (threads > 1 &&
        SubstractInParallel(polygons, b, result, recordParents, progress, threads))
    {
        return;
    }
    // One thread, or a worker failed: this run fails the same way.
    ProgressCounter counter(progress, static_cast<std::int64_t>(polygons.size()));
    const unsigned unionThreads = UnionThreads(result);
    for (Polygon* polygon : polygons)
    {
        const PolygonList candidates = Candidates(b, *polygon);
        const std::unique_ptr<Polygon> rest =
            ShouldUniteFirst(*polygon, candidates)
                ? SubstractUnited(*polygon, candidates, unionThreads)
                : SubstractOneByOne(*polygon, candidates);
        const Polygon& remaining = rest ? *rest : *polygon;
        if (!remaining.IsEmpty())
        {
            AddResult(result, remaining, recordParents, {polygon});
        }
        counter.Step();
    }
    counter.Finish();
}

void Join(PolygonLayer& a, PolygonLayer& b, PolygonLayer& result, bool recordParents,
          const Progress& progress, JoinPieces kept)
{
    const OperandOrder order = FewerPolygonsFirst(a, b);
    const PolygonList polygons = PolygonsOf(order.Enumerated);
    const PolygonList queried = PolygonsOf(order.Queried);
    // The outside parts by the layer they come from (a layer joined with itself is both).
    const auto keepsOutside = [&](const PolygonLayer& layer)
    { return (&layer == &a && kept.OutsideB) || (&layer == &b && kept.OutsideA); };
    const JoinKeep keep{kept.Common, keepsOutside(order.Enumerated), keepsOutside(order.Queried)};
    const unsigned threads = PairThreads(result, polygons, order.Enumerated, order.Queried);
    if (threads > 1 && JoinInParallel(polygons, order.Queried, queried, result, recordParents,
                                      progress, threads, keep))
    {
        return;
    }
    // One thread, or a worker failed: this run fails the same way.
    ProgressCounter counter(progress, static_cast<std::int64_t>(polygons.size() + queried.size()));
    RemainderMap remainders;
    // The remainders of the queried polygons are taken by their pairs in turn, and at the end
    // by the result if it keeps them.
    const CandidateRuns runs(order.Queried, polygons, remainders, !keep.Queried);
    for (std::size_t i = 0; i < polygons.size(); ++i)
    {
        Polygon* polygon = polygons[i];
        const std::span<Polygon* const> candidates = runs.Of(i);
        const std::unique_ptr<Polygon> rest =
            candidates.size() > PairwiseJoinLimit
                ? JoinThroughUnion(*polygon, candidates, remainders, result, recordParents, keep)
                : JoinPairwise(*polygon, candidates, remainders, result, recordParents, keep);
        const Polygon& remaining = rest ? *rest : *polygon;
        if (keep.Enumerated && !remaining.IsEmpty())
        {
            AddResult(result, remaining, recordParents, {polygon});
        }
        counter.Step();
    }
    AddRemainders(queried, remainders, result, recordParents, keep.Queried, counter);
    counter.Finish();
}

} // namespace LayerOperations

} // namespace Arealis
