#include "Arealis/Overlay.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Rectangle.h"
#include "Arealis/SegmentIntersection.h"
#include "Collections/PlainArray.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"
#include "model/OperandPrecision.h"
#include "overlay/LayerOverlay.h"
#include "overlay/OverlayGraph.h"
#include "overlay/ResultRings.h"
#include "overlay/SnappedPoints.h"

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

// Intersects the edges of each operand that lie near the other one and cuts the graph's rings
// there.
void BuildOverlay(OverlayGraph& graph, const Polygon& a, const Polygon& b)
{
    // Room for all edges of the small polygons that most overlays combine, so that the lists
    // are allocated once; lists of larger polygons grow from there.
    constexpr std::int32_t usualEdges = 64;
    constexpr std::int32_t usualMeetings = 32;
    EdgeList edgesOfA;
    EdgeList edgesOfB;
    edgesOfA.Reserve(std::min(a.GetNodeCount(), usualEdges));
    edgesOfB.Reserve(std::min(b.GetNodeCount(), usualEdges));
    a.GetEdgesInRectangle(Enlarged(graph.SecondBounds()), edgesOfA);
    b.GetEdgesInRectangle(Enlarged(graph.FirstBounds()), edgesOfB);
    IntersectionList intersections;
    intersections.Reserve(usualMeetings);
    SelectIntersectionAlgorithm(edgesOfA, edgesOfB, intersections, false);
    Detail::KeepNearestSnaps(intersections);
    graph.CutRings(intersections);
}

void TraceInto(OverlayGraph& graph, OverlayOperation operation, Polygon& result)
{
    // The traced rings' records are kept for the thread's next trace: most overlays are small,
    // and the next one then refills the same vertex arrays instead of allocating its own.
    thread_local Detail::TracedRings rings;
    graph.Trace(operation, rings);
    Detail::AddResultRings(rings, result);
    rings.Clear(); // what a large trace needed goes now, not at the thread's next trace
    result.Clean(false);
    Detail::SeparateTouchingParts(result);
}

template <std::size_t N>
std::array<std::unique_ptr<Polygon>, N>
FreeResults(Polygon& a, Polygon& b, const std::array<OverlayOperation, N>& operations)
{
    const PrecisionScope scope(
        Detail::OperandPrecision{Detail::PrecisionOf(a), Detail::PrecisionOf(b)}.Get());
    OverlayGraph graph(a, b);
    BuildOverlay(graph, a, b);
    std::array<std::unique_ptr<Polygon>, N> results;
    for (std::size_t i = 0; i < N; ++i)
    {
        results[i] = std::make_unique<Polygon>(nullptr);
        TraceInto(graph, operations[i], *results[i]);
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

std::pair<Polygon*, std::unique_ptr<Polygon>> IntersectIntoLayerAndSubstract(Polygon& a, Polygon& b,
                                                                             PolygonLayer& layer)
{
    OverlayGraph graph(a, b);
    BuildOverlay(graph, a, b);
    LayerResults created(layer);
    Polygon* common = created.Create();
    TraceInto(graph, OverlayOperation::Intersection, *common);
    auto rest = std::make_unique<Polygon>(nullptr);
    TraceInto(graph, OverlayOperation::FirstMinusSecond, *rest);
    if (common->IsEmpty())
    {
        return {nullptr, std::move(rest)}; // deleted from the layer with `created`
    }
    created.Keep();
    return {common, std::move(rest)};
}

namespace
{

// A copy of the polygon's rings as a new free polygon.
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

// One polygon of a pass of UnitePolygons: an enumerated polygon, or a temporary union that the
// pass owns and deletes once it has been used.
struct PassItem
{
    Polygon* pPolygon = nullptr;
    std::unique_ptr<Polygon> pTemporary;
};

// Counts the unions of two polygons and reports them to the optional callback.
class UnionCounter
{
public:
    UnionCounter(const UniteProgress& progress, std::int64_t total)
        : m_progress(progress), m_total(total)
    {
    }

    void Step()
    {
        ++m_done;
        if (m_progress)
        {
            m_progress(m_done, m_total);
        }
    }

private:
    const UniteProgress& m_progress;
    std::int64_t m_done = 0;
    std::int64_t m_total;
};

PassItem UniteGroup(std::vector<PassItem>& group, UnionCounter& counter)
{
    if (group.size() == 1)
    {
        return std::move(group.front());
    }
    std::unique_ptr<Polygon> united = Union(*group[0].pPolygon, *group[1].pPolygon);
    counter.Step();
    group[0].pTemporary.reset();
    group[1].pTemporary.reset();
    if (group.size() == 3)
    {
        united = Union(*united, *group[2].pPolygon);
        counter.Step();
        group[2].pTemporary.reset();
    }
    PassItem item;
    item.pPolygon = united.get();
    item.pTemporary = std::move(united);
    return item;
}

// The union of all enumerated polygons, in groups of three per pass. The enumerated polygons
// that belong to a layer are appended to pParents when it is given. The polygons are read
// first, so that the number of unions (one fewer than the polygons) is known from the start.
// The polygons' topologies and pTarget's, when given, must share their precision.
PassItem UniteAll(Collections::IEnumerator<Polygon*>& polygons,
                  Collections::PlainArray<Polygon*>* pParents, const UniteProgress& progress,
                  const PolygonLayer* pTarget)
{
    std::vector<PassItem> items;
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
        items.push_back(PassItem{pPolygon, nullptr});
    }
    const PrecisionScope scope(precision.Get());
    UnionCounter counter(progress, items.empty() ? 0 : static_cast<std::int64_t>(items.size()) - 1);
    std::vector<PassItem> group;
    // The first pass unites the enumerated polygons, the following ones the unions of the pass
    // before, three at a time; a group of one passes its polygon on as it is.
    while (items.size() > 1)
    {
        std::vector<PassItem> next;
        for (std::size_t i = 0; i < items.size(); i += 3)
        {
            group.clear();
            for (std::size_t j = i; j < items.size() && j < i + 3; ++j)
            {
                group.push_back(std::move(items[j]));
            }
            next.push_back(UniteGroup(group, counter));
        }
        items = std::move(next);
    }
    return items.empty() ? PassItem{} : std::move(items.front());
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
    PassItem united = UniteAll(*pPolygons, nullptr, progress, nullptr);
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
    const PassItem united =
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
