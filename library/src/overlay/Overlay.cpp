#include "Arealis/Overlay.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Rectangle.h"
#include "Arealis/SegmentIntersection.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"
#include "model/LayerThreads.h"
#include "model/OperandPrecision.h"
#include "overlay/LayerOverlay.h"
#include "overlay/NearEdges.h"
#include "overlay/OverlayGraph.h"
#include "overlay/ResultRings.h"
#include "overlay/SnappedPoints.h"
#include "overlay/UnionTree.h"
#include "support/ParallelWork.h"
#include "support/ReusedBuffer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

namespace Arealis::Overlay
{

namespace
{

using Detail::OverlayGraph;
using Detail::OverlayOperation;

constexpr const char* Unit = "Overlay";

// The bounds widened by the intersection tolerance on every side, or the empty rectangle.
Rectangle Enlarged(const Rectangle& bounds)
{
    const double tolerance = CurrentPrecision().Tolerance;
    Rectangle enlarged;
    enlarged.MinX = bounds.MinX - tolerance;
    enlarged.MinY = bounds.MinY - tolerance;
    enlarged.MaxX = bounds.MaxX + tolerance;
    enlarged.MaxY = bounds.MaxY + tolerance;
    if (enlarged.MinX > enlarged.MaxX || enlarged.MinY > enlarged.MaxY)
    {
        return Rectangle::Empty();
    }
    return enlarged;
}

// The edge and intersection lists of one overlay's construction. Each thread keeps its own
// from one overlay to the next: the layer operations build hundreds of thousands of small
// overlays, and three heap allocations each were a good part of their allocator work.
struct OverlayLists
{
    // Lists that grew beyond this many entries (a large overlay) are released after use
    // instead of holding their memory for the thread's life.
    static constexpr std::int32_t KeptEntries = 4096;

    EdgeList EdgesOfA;
    EdgeList EdgesOfB;
    IntersectionList Intersections;

    template <class List>
    static void Reset(List& list) noexcept
    {
        Detail::ResetBuffer(list, list.Capacity() <= KeptEntries);
    }
};

// Intersects the edges of each operand that lie near the other one and cuts the graph's rings
// there.
void BuildOverlay(OverlayGraph& graph, const Polygon& a, const Polygon& b)
{
    thread_local OverlayLists lists;
    // Emptied on the way out, also when the construction throws: the next overlay starts
    // from empty lists.
    struct Emptying
    {
        OverlayLists& Lists;
        ~Emptying()
        {
            OverlayLists::Reset(Lists.EdgesOfA);
            OverlayLists::Reset(Lists.EdgesOfB);
            OverlayLists::Reset(Lists.Intersections);
        }
    } emptying{lists};
    a.GetEdgesInRectangle(Enlarged(graph.SecondBounds()), lists.EdgesOfA);
    b.GetEdgesInRectangle(Enlarged(graph.FirstBounds()), lists.EdgesOfB);
    // The lists' lengths choose the search, as for any two lists; the sweep then runs over the
    // edges that can meet the other operand only. The graph takes its rings whole from the
    // operands, and cuts them where the entries say, in an order of its own (see CutWalk).
    SegmentsIntersectionAlgorithm& search =
        ChooseIntersectionAlgorithm(lists.EdgesOfA.Count(), lists.EdgesOfB.Count());
    if (&search == &SweepLineIntersectionAlgorithm::Instance())
    {
        Detail::KeepEdgesNearOtherList(lists.EdgesOfA, lists.EdgesOfB, graph.FirstBounds(),
                                       graph.SecondBounds());
    }
    search.FindIntersections(lists.EdgesOfA, lists.EdgesOfB, lists.Intersections, false);
    Detail::KeepNearestSnaps(lists.Intersections);
    graph.CutRings(lists.Intersections);
}

void TraceInto(OverlayGraph& graph, OverlayOperation operation, Polygon& result,
               Detail::GivenUpOperands givenUp = {})
{
    // The traced rings' records are kept for the thread's next trace: most overlays are small,
    // and the next one then refills the same vertex arrays instead of allocating its own.
    thread_local Detail::TracedRings rings;
    graph.Trace(operation, rings);
    Detail::AddResultRings(rings, result, givenUp);
    rings.Clear(); // what a large trace needed goes now, not at the thread's next trace
    result.Clean(false);
    Detail::SeparateTouchingParts(result);
}

template <std::size_t N>
constexpr std::array<bool, N> Filled(bool value)
{
    std::array<bool, N> values{};
    values.fill(value);
    return values;
}

// The results of the operations that are wanted (all when no mask is given), traced from one
// overlay graph; null for the others. Each trace starts afresh, so a result has the same rings
// whichever other results are traced beside it.
template <std::size_t N>
std::array<std::unique_ptr<Polygon>, N>
FreeResults(Polygon& a, Polygon& b, const std::array<OverlayOperation, N>& operations,
            const std::array<bool, N>& wanted = Filled<N>(true))
{
    const PrecisionScope scope(
        Detail::OperandPrecision{Detail::PrecisionOf(a), Detail::PrecisionOf(b)}.Get());
    OverlayGraph graph(a, b);
    BuildOverlay(graph, a, b);
    std::array<std::unique_ptr<Polygon>, N> results;
    for (std::size_t i = 0; i < N; ++i)
    {
        if (wanted[i])
        {
            results[i] = std::make_unique<Polygon>(nullptr);
            TraceInto(graph, operations[i], *results[i]);
        }
    }
    return results;
}

// Polygons that one operation creates in a layer: deleted again unless the operation
// completes, so that a failure leaves the layer as it was.
class LayerResults
{
public:
    explicit LayerResults(PolygonLayer& layer) noexcept : m_layer(layer) {}
    ~LayerResults()
    {
        for (std::size_t i = m_count; i-- > 0;)
        {
            try
            {
                m_layer.DeletePolygon(m_created[i]);
            }
            catch (...) // NOLINT(bugprone-empty-catch): a destructor must not throw
            {
            }
        }
    }
    LayerResults(const LayerResults&) = delete;
    LayerResults& operator=(const LayerResults&) = delete;

    Polygon* Create()
    {
        CheckRoom();
        Polygon* pPolygon = m_layer.CreatePolygon();
        m_created[m_count++] = pPolygon;
        return pPolygon;
    }

    // A copy of pSource made by the layer.
    Polygon* Add(const Polygon* pSource)
    {
        CheckRoom();
        Polygon* pPolygon = m_layer.AddPolygon(pSource);
        m_created[m_count++] = pPolygon;
        return pPolygon;
    }

    // The polygons stay in the layer.
    void Keep() noexcept { m_count = 0; }

private:
    // One operation makes at most three polygons (a partition): they are kept in place,
    // without an allocation per operation.
    static constexpr std::size_t MaxCreated = 3;

    void CheckRoom() const
    {
        if (m_count == MaxCreated)
        {
            throw Exceptions::ArgumentOutOfRangeException();
        }
    }

    PolygonLayer& m_layer;
    std::array<Polygon*, MaxCreated> m_created{};
    std::size_t m_count = 0;
};

void RecordParents(PolygonLayer& layer, Polygon* pResult,
                   const Collections::PlainArray<Polygon*>& parents)
{
    if (!pResult->IsEmpty())
    {
        layer.SetParents(pResult, parents);
    }
}

template <std::size_t N>
std::array<Polygon*, N> LayerResultsOf(Polygon& a, Polygon& b, PolygonLayer& layer,
                                       bool recordParents,
                                       const std::array<OverlayOperation, N>& operations)
{
    const PrecisionScope scope(Detail::OperandPrecision{Detail::PrecisionOf(a),
                                                        Detail::PrecisionOf(b),
                                                        Detail::PrecisionOf(&layer)}
                                   .Get());
    OverlayGraph graph(a, b);
    BuildOverlay(graph, a, b);
    LayerResults created(layer);
    std::array<Polygon*, N> results{};
    for (std::size_t i = 0; i < N; ++i)
    {
        results[i] = created.Create();
        TraceInto(graph, operations[i], *results[i]);
    }
    if (recordParents)
    {
        Collections::PlainArray<Polygon*> parents;
        parents.Append(&a);
        parents.Append(&b);
        for (Polygon* pResult : results)
        {
            RecordParents(layer, pResult, parents);
        }
    }
    created.Keep();
    return results;
}

} // namespace

std::pair<Polygon*, std::unique_ptr<Polygon>>
IntersectIntoLayerAndSubstract(Polygon& a, Polygon& b, PolygonLayer& layer, bool restWanted)
{
    OverlayGraph graph(a, b);
    BuildOverlay(graph, a, b);
    LayerResults created(layer);
    Polygon* common = created.Create();
    TraceInto(graph, OverlayOperation::Intersection, *common);
    std::unique_ptr<Polygon> rest;
    if (restWanted)
    {
        rest = std::make_unique<Polygon>(nullptr);
        TraceInto(graph, OverlayOperation::FirstMinusSecond, *rest);
    }
    if (common->IsEmpty())
    {
        return {nullptr, std::move(rest)}; // deleted from the layer with `created`
    }
    created.Keep();
    return {common, std::move(rest)};
}

namespace
{

// The thread count for uniting: that of the target layer's topology, or else of the first
// polygon's that belongs to a layer; one for free polygons only.
unsigned UniteThreads(const std::vector<Polygon*>& polygons, const PolygonLayer* pTarget)
{
    const PolygonLayer* pLayer = pTarget;
    for (std::size_t i = 0; pLayer == nullptr && i < polygons.size(); ++i)
    {
        pLayer = polygons[i]->GetLayer();
    }
    const Topology* pTopology = pLayer == nullptr ? nullptr : pLayer->GetTopology();
    return pTopology == nullptr ? 1 : Detail::LayerThreadsOf(*pTopology);
}

bool HasRepeats(std::vector<Polygon*> polygons)
{
    std::ranges::sort(polygons);
    return std::ranges::adjacent_find(polygons) != polygons.end();
}

// The union of all enumerated polygons, in groups of three per level (see UniteGroups). The
// enumerated polygons that belong to a layer are appended to pParents when it is given. The
// polygons are read first, so that the number of unions (one fewer than the polygons) is
// known from the start. The polygons' topologies and pTarget's, when given, must share their
// precision.
LayerOperations::TreeItem UniteAll(Collections::IEnumerator<Polygon*>& polygons,
                                   Collections::PlainArray<Polygon*>* pParents,
                                   const UniteProgress& progress, const PolygonLayer* pTarget)
{
    std::vector<std::vector<Polygon*>> groups(1);
    std::vector<Polygon*>& items = groups.front();
    Detail::OperandPrecision precision{Detail::PrecisionOf(pTarget)};
    while (polygons.MoveNext())
    {
        Polygon* pPolygon = polygons.Current();
        if (pPolygon == nullptr)
        {
            throw Exceptions::ArgumentException(Exceptions::Messages::InvalidPointer,
                                                Exceptions::MakeLocation(Unit, __LINE__));
        }
        if (pParents != nullptr && pPolygon->GetLayer() != nullptr)
        {
            pParents->Append(pPolygon);
        }
        precision.Add(Detail::PrecisionOf(*pPolygon));
        items.push_back(pPolygon);
    }
    const PrecisionScope scope(precision.Get());
    const std::int64_t total = LayerOperations::UnionsFor(items.size());
    LayerOperations::TreeProgress onUnions;
    if (progress)
    {
        onUnions = [&](std::int64_t done) { progress(done, total); };
    }
    unsigned threads = UniteThreads(items, pTarget);
    if (threads > 1 && HasRepeats(items))
    {
        threads = 1; // two unions could then read one polygon at once
    }
    return std::move(LayerOperations::UniteGroups(groups, threads, onUnions).front());
}

void CheckEnumeration(const Collections::IEnumerator<Polygon*>* pPolygons, int line)
{
    if (pPolygons == nullptr)
    {
        throw Exceptions::InvalidOperationException(Exceptions::Messages::UninitializedEnumerator,
                                                    Exceptions::MakeLocation(Unit, line));
    }
}

} // namespace

std::unique_ptr<Polygon> Union(Polygon& a, Polygon& b)
{
    return std::move(FreeResults<1>(a, b, {OverlayOperation::Union})[0]);
}

std::unique_ptr<Polygon> UnionTakingOver(Polygon& a, std::unique_ptr<Polygon> pOwnedA, Polygon& b,
                                         std::unique_ptr<Polygon> pOwnedB)
{
    const Detail::GivenUpOperands givenUp{pOwnedA != nullptr, pOwnedB != nullptr};
    if ((givenUp.First && pOwnedA.get() != &a) || (givenUp.Second && pOwnedB.get() != &b) ||
        &a == &b)
    {
        // Moving the rings of a polygon that is not the operand (or is both) would lose them.
        return Union(a, b);
    }
    const PrecisionScope scope(
        Detail::OperandPrecision{Detail::PrecisionOf(a), Detail::PrecisionOf(b)}.Get());
    OverlayGraph graph(a, b);
    BuildOverlay(graph, a, b);
    auto result = std::make_unique<Polygon>(nullptr);
    TraceInto(graph, OverlayOperation::Union, *result, givenUp);
    return result;
}

std::unique_ptr<Polygon> CopyAsFree(const Polygon& source)
{
    auto copy = std::make_unique<Polygon>(nullptr);
    RingEnumerator rings = source.GetRings();
    while (rings.MoveNext())
    {
        const Ring* pSource = rings.Current();
        Ring* pRing = copy->CreateRing();
        pRing->ReserveNodes(pSource->Count());
        for (std::int32_t i = 0; i < pSource->Count(); ++i)
        {
            pRing->AdoptNode(pSource->GetNode(i));
        }
    }
    return copy;
}

std::unique_ptr<Polygon> Intersection(Polygon& a, Polygon& b)
{
    return std::move(FreeResults<1>(a, b, {OverlayOperation::Intersection})[0]);
}

std::unique_ptr<Polygon> Substract(Polygon& a, Polygon& b)
{
    return std::move(FreeResults<1>(a, b, {OverlayOperation::FirstMinusSecond})[0]);
}

Polygon* Union(Polygon& a, Polygon& b, PolygonLayer& layer, bool recordParents)
{
    return LayerResultsOf<1>(a, b, layer, recordParents, {OverlayOperation::Union})[0];
}

Polygon* Intersection(Polygon& a, Polygon& b, PolygonLayer& layer, bool recordParents)
{
    return LayerResultsOf<1>(a, b, layer, recordParents, {OverlayOperation::Intersection})[0];
}

Polygon* Substract(Polygon& a, Polygon& b, PolygonLayer& layer, bool recordParents)
{
    return LayerResultsOf<1>(a, b, layer, recordParents, {OverlayOperation::FirstMinusSecond})[0];
}

std::array<std::unique_ptr<Polygon>, 2> IntersectAndSubstract(Polygon& a, Polygon& b)
{
    return FreeResults<2>(a, b,
                          {OverlayOperation::Intersection, OverlayOperation::FirstMinusSecond});
}

std::array<Polygon*, 2> IntersectAndSubstract(Polygon& a, Polygon& b, PolygonLayer& layer,
                                              bool recordParents)
{
    return LayerResultsOf<2>(a, b, layer, recordParents,
                             {OverlayOperation::Intersection, OverlayOperation::FirstMinusSecond});
}

std::array<std::unique_ptr<Polygon>, 3> Partition(Polygon& a, Polygon& b)
{
    return FreeResults<3>(a, b,
                          {OverlayOperation::Intersection, OverlayOperation::FirstMinusSecond,
                           OverlayOperation::SecondMinusFirst});
}

std::array<std::unique_ptr<Polygon>, 3> PartitionParts(Polygon& a, Polygon& b,
                                                      const PartsWanted& wanted)
{
    if (!wanted.Common && !wanted.FirstOutside && !wanted.SecondOutside)
    {
        return {};
    }
    return FreeResults<3>(a, b,
                          {OverlayOperation::Intersection, OverlayOperation::FirstMinusSecond,
                           OverlayOperation::SecondMinusFirst},
                          {wanted.Common, wanted.FirstOutside, wanted.SecondOutside});
}

std::array<Polygon*, 3> Partition(Polygon& a, Polygon& b, PolygonLayer& layer, bool recordParents)
{
    return LayerResultsOf<3>(a, b, layer, recordParents,
                             {OverlayOperation::Intersection, OverlayOperation::FirstMinusSecond,
                              OverlayOperation::SecondMinusFirst});
}

std::unique_ptr<Polygon> UnitePolygons(Collections::IEnumerator<Polygon*>* pPolygons,
                                       const UniteProgress& progress)
{
    CheckEnumeration(pPolygons, __LINE__);
    LayerOperations::TreeItem united = UniteAll(*pPolygons, nullptr, progress, nullptr);
    if (united.pTemporary)
    {
        return std::move(united.pTemporary);
    }
    // Nothing, or a single enumerated polygon that still belongs to its owner.
    return united.pPolygon == nullptr ? std::make_unique<Polygon>(nullptr)
                                      : CopyAsFree(*united.pPolygon);
}

Polygon* UnitePolygons(Collections::IEnumerator<Polygon*>* pPolygons, PolygonLayer& layer,
                       bool recordParents, const UniteProgress& progress)
{
    CheckEnumeration(pPolygons, __LINE__);
    Collections::PlainArray<Polygon*> parents;
    const LayerOperations::TreeItem united =
        UniteAll(*pPolygons, recordParents ? &parents : nullptr, progress, &layer);
    if (united.pPolygon == nullptr)
    {
        return layer.CreatePolygon();
    }
    LayerResults created(layer);
    Polygon* pResult = created.Add(united.pPolygon);
    if (recordParents && parents.Count() > 0)
    {
        layer.SetParents(pResult, parents);
    }
    created.Keep();
    return pResult;
}

} // namespace Arealis::Overlay
