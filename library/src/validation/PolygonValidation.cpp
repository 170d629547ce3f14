// The polygon operations that rest on area relations between rings (the polygon overlay):
// organisation into exterior rings and holes, validation, overlap. The repairs are in
// PolygonRepairs.cpp.

#include "Arealis/Geometry.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/SegmentIntersection.h"
#include "Collections/InlineArray.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"
#include "model/OperandPrecision.h"
#include "model/RingBoundsIndex.h"
#include "support/BoundedEntry.h"
#include "support/OverlappingBoxes.h"
#include "support/PointGrid.h"
#include "validation/ApartPolygons.h"
#include "validation/RingAreas.h"
#include "validation/RingEdgeGrid.h"
#include "validation/RingWidth.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <numeric>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Arealis
{

namespace
{

constexpr const char* Unit = "Polygon";
constexpr int OverlapsNullLine = 692;
constexpr int InteriorNotEnclosedLine = 853;
constexpr int NoExteriorLine = 857;
constexpr int ExteriorOverlapsInteriorLine = 891;
constexpr int ExteriorEnclosesExteriorLine = 896;
constexpr int ExteriorOverlapsExteriorLine = 899;
constexpr int InteriorOverlapsInteriorLine = 915;

[[noreturn]] void ThrowInvalidPolygon(const char* message, int line)
{
    throw InvalidPolygonException(message, Exceptions::MakeLocation(Unit, line));
}

[[noreturn]] void ThrowRingsShareAStretch(const Ring& first, const Ring& second)
{
    if (first.IsExterior() && second.IsExterior())
    {
        ThrowInvalidPolygon(Exceptions::Messages::ExteriorOverlapsExterior,
                            ExteriorOverlapsExteriorLine);
    }
    if (first.IsExterior() || second.IsExterior())
    {
        ThrowInvalidPolygon(Exceptions::Messages::ExteriorOverlapsInterior,
                            ExteriorOverlapsInteriorLine);
    }
    ThrowInvalidPolygon(Exceptions::Messages::InteriorOverlapsInterior,
                        InteriorOverlapsInteriorLine);
}

// An edge with its ends in order, so that the same edge of two rings compares equal whichever
// way each ring runs.
struct UndirectedEdge
{
    Point Low;
    Point High;
    const Ring* Owner;

    friend bool operator<(const UndirectedEdge& a, const UndirectedEdge& b) noexcept
    {
        if (!(a.Low == b.Low))
        {
            return a.Low < b.Low;
        }
        return a.High < b.High;
    }
    bool SameEnds(const UndirectedEdge& other) const noexcept
    {
        return Low == other.Low && High == other.High;
    }
};

// Whether two edges of different rings may share a stretch: a cheap search that never misses
// such a pair (it may name more), so that the exact search below runs only when it finds one.
// Two edges that share a stretch have an end of one on the other, so each edge is compared
// with the edges whose ends lie near it, found through a grid over the ends: a long edge meets
// the cells it passes, where a sweep compares it with every edge whose bounds it overlaps.
bool MayRingsShareAStretch(const EdgeList& edges)
{
    const auto count = static_cast<std::size_t>(edges.Count());
    std::vector<Point> ends(2 * count);
    for (std::size_t i = 0; i < count; ++i)
    {
        const LinearEdge& edge = edges[static_cast<std::int32_t>(i)];
        ends[2 * i] = edge.Start()->Position;
        ends[2 * i + 1] = edge.End()->Position;
    }
    std::pmr::monotonic_buffer_resource memory;
    const Detail::PointGrid grid(
        ends.size(), [&](std::size_t k) { return ends[k]; }, &memory);
    // An end meets an edge, to Classify, inside a square of the grid step around the end.
    const double reach = 2.0 * CurrentPrecision().GridStep;
    std::pmr::vector<std::int32_t> near(&memory);
    for (std::size_t i = 0; i < count; ++i)
    {
        const Point& start = ends[2 * i];
        const Point& end = ends[2 * i + 1];
        const Ring* owner = edges[static_cast<std::int32_t>(i)].Ring;
        near.clear();
        grid.CollectNearSegment(start, end, reach, near);
        for (const std::int32_t k : near)
        {
            const auto j = static_cast<std::size_t>(k) / 2;
            if (edges[static_cast<std::int32_t>(j)].Ring == owner)
            {
                continue;
            }
            const IntersectionKind kind =
                SegmentsIntersection::Classify(ends[2 * j], ends[2 * j + 1], start, end,
                                               ProximityMode::Exact)
                    .Kind;
            if (kind == IntersectionKind::Overlapping || kind == IntersectionKind::Identical)
            {
                return true;
            }
        }
    }
    return false;
}

// Rings of one polygon may touch at points, but not run along each other: between two rings
// that share a stretch of boundary there is no area, and the overlay, which follows each ring
// on its own, would take that stretch once for each ring and lose the area on both sides.
// Edges with the same two ends are found by sorting; edges that share part of their length are
// found by the intersection search (the edges compared as two lists, not in self mode, so that
// edges of different rings meet) and judged exactly, up to the node grid.
void ThrowIfRingsShareAStretch(const Polygon& polygon)
{
    EdgeList edges;
    polygon.GetEdgesInRectangle(polygon.GetBounds(), edges);

    std::vector<UndirectedEdge> undirected;
    undirected.reserve(static_cast<std::size_t>(edges.Count()));
    for (std::int32_t i = 0; i < edges.Count(); ++i)
    {
        const Point start = edges[i].Start()->Position;
        const Point end = edges[i].End()->Position;
        undirected.push_back(end < start ? UndirectedEdge{end, start, edges[i].Ring}
                                         : UndirectedEdge{start, end, edges[i].Ring});
    }
    std::sort(undirected.begin(), undirected.end());
    for (std::size_t i = 1; i < undirected.size(); ++i)
    {
        if (undirected[i].SameEnds(undirected[i - 1]) &&
            undirected[i].Owner != undirected[i - 1].Owner)
        {
            ThrowRingsShareAStretch(*undirected[i - 1].Owner, *undirected[i].Owner);
        }
    }

    if (!MayRingsShareAStretch(edges))
    {
        return;
    }
    // The sweep finds the same pairs in the order the messages have always followed.
    const EdgeList sameEdges(edges);
    IntersectionList meetings;
    SelectIntersectionAlgorithm(edges, sameEdges, meetings, false);
    for (std::int32_t i = 0; i < meetings.Count(); ++i)
    {
        const EdgeIntersection& meeting = meetings[i];
        if (meeting.FirstEdge.Ring == meeting.SecondEdge.Ring)
        {
            continue;
        }
        const IntersectionKind kind =
            SegmentsIntersection::Classify(meeting.FirstEdge.Start()->Position,
                                           meeting.FirstEdge.End()->Position,
                                           meeting.SecondEdge.Start()->Position,
                                           meeting.SecondEdge.End()->Position, ProximityMode::Exact)
                .Kind;
        if (kind == IntersectionKind::Overlapping || kind == IntersectionKind::Identical)
        {
            ThrowRingsShareAStretch(*meeting.FirstEdge.Ring, *meeting.SecondEdge.Ring);
        }
    }
}

// The rings of a polygon, most often one or two, kept without a heap block up to this many.
using RingList = Collections::InlineArray<Ring*, 4>;

std::vector<Ring*> CollectRings(RingEnumerator rings)
{
    std::vector<Ring*> result;
    while (rings.MoveNext())
    {
        result.push_back(rings.Current());
    }
    return result;
}

// The indices of RingOrder: each ring's bounds with the number that orders it among others.
using NumberedBounds = Detail::BoundedEntry<std::size_t>;
using NumberedIndex = Detail::BoundsIndex<std::size_t>;

// Below this many exterior rings, or holes placed in one exterior ring, every one is looked
// at; from it on, an R-tree of their bounds names those that can matter. A polygon of tens of
// thousands of rings (a large polygon with the holes a layer operation cuts into it, and the
// small pieces beside it) otherwise took minutes to organise.
constexpr std::size_t IndexedRings = 32;
constexpr std::int32_t IndexNodeSize = 10;

// The canonical order under construction: exterior rings by decreasing area, the holes
// assigned to each, and the interior rings still to place or left unassigned.
struct RingOrder
{
    std::vector<Ring*> Exteriors;
    std::vector<std::vector<Ring*>> Holes;
    // The bounds of each of Holes' rings, in the same places: the placing of a hole compares
    // them with those of the holes placed before it whose bounds meet its own.
    std::vector<std::vector<Rectangle>> HoleBounds;
    // The placing number of each of Holes' rings, rising along each list.
    std::vector<std::vector<std::size_t>> HoleNumbers;
    std::vector<Ring*> Unplaced;

    explicit RingOrder(const std::vector<Ring*>& rings)
    {
        std::vector<std::pair<double, Ring*>> exteriors;
        for (Ring* ring : rings)
        {
            const double area = ring->GetSignedArea();
            if (area <= 0.0)
            {
                Unplaced.push_back(ring);
                continue;
            }
            exteriors.emplace_back(area, ring);
        }
        // By decreasing area; equal areas keep list order.
        const bool ordered = std::none_of(exteriors.begin(), exteriors.end(),
                                          [](const auto& x) { return std::isnan(x.first); });
        if (ordered)
        {
            std::stable_sort(exteriors.begin(), exteriors.end(),
                             [](const auto& x, const auto& y) { return x.first > y.first; });
            for (const auto& [area, ring] : exteriors)
            {
                Exteriors.push_back(ring);
            }
        }
        else
        {
            // An area that overflowed has no order: each ring goes before the first one not
            // known to be at least as large, as it always went.
            std::vector<double> areas;
            for (const auto& [area, ring] : exteriors)
            {
                std::size_t at = 0;
                while (at < areas.size() && areas[at] >= area)
                {
                    ++at;
                }
                areas.insert(areas.begin() + static_cast<std::ptrdiff_t>(at), area);
                Exteriors.insert(Exteriors.begin() + static_cast<std::ptrdiff_t>(at), ring);
            }
        }
        Holes.resize(Exteriors.size());
        HoleBounds.resize(Exteriors.size());
        HoleNumbers.resize(Exteriors.size());
        m_holeIndex.resize(Exteriors.size());
        if (Exteriors.size() >= IndexedRings && !Unplaced.empty())
        {
            m_exteriorIndex = std::make_unique<NumberedIndex>(IndexNodeSize);
            for (std::size_t e = 0; e < Exteriors.size(); ++e)
            {
                if (Exteriors[e]->Count() > 0)
                {
                    const Rectangle bounds = Exteriors[e]->GetBounds();
                    m_exteriorIndex->Insert(NumberedBounds{e, bounds}, bounds);
                }
            }
        }
    }

    // The exterior rings that may enclose a ring of these bounds, last to first: all of them,
    // or those whose bounds contain the bounds (no other encloses it).
    void ExteriorsAround(const Rectangle& bounds, std::vector<std::size_t>& candidates) const
    {
        candidates.clear();
        if (!m_exteriorIndex)
        {
            for (std::size_t e = Exteriors.size(); e-- > 0;)
            {
                candidates.push_back(e);
            }
            return;
        }
        if (bounds.IsEmpty())
        {
            return;
        }
        m_exteriorIndex->VisitOverlapping(bounds,
                                          [&](const NumberedBounds& entry)
                                          {
                                              if (entry.Bounds.Contains(bounds))
                                              {
                                                  candidates.push_back(entry.Value);
                                              }
                                              return true;
                                          });
        std::sort(candidates.rbegin(), candidates.rend());
    }

    // The places in exterior e's hole list of the holes whose bounds contain these bounds or
    // lie within them (one of two holes can only enclose the other if so), first to last: all
    // of them for a short list. The thin holes that a star's spikes leave in a large polygon
    // meet each other's bounds in their thousands near the centre, and few are nested.
    void HolesNested(std::size_t e, const Rectangle& bounds, std::vector<std::size_t>& places) const
    {
        places.clear();
        const std::vector<std::size_t>& numbers = HoleNumbers[e];
        if (!m_holeIndex[e])
        {
            for (std::size_t g = 0; g < numbers.size(); ++g)
            {
                places.push_back(g);
            }
            return;
        }
        m_holeIndex[e]->VisitOverlapping(bounds,
                                         [&](const NumberedBounds& entry)
                                         {
                                             if (entry.Bounds.Contains(bounds) ||
                                                 bounds.Contains(entry.Bounds))
                                             {
                                                 places.push_back(entry.Value);
                                             }
                                             return true;
                                         });
        std::sort(places.begin(), places.end());
        for (std::size_t& place : places)
        {
            place = static_cast<std::size_t>(
                std::lower_bound(numbers.begin(), numbers.end(), place) - numbers.begin());
        }
    }

    void PlaceHole(std::size_t e, Ring* hole, const Rectangle& bounds)
    {
        Holes[e].push_back(hole);
        HoleBounds[e].push_back(bounds);
        HoleNumbers[e].push_back(m_nextNumber++);
        if (m_holeIndex[e])
        {
            m_holeIndex[e]->Insert(NumberedBounds{HoleNumbers[e].back(), bounds}, bounds);
        }
        else if (Holes[e].size() >= IndexedRings)
        {
            m_holeIndex[e] = std::make_unique<NumberedIndex>(IndexNodeSize);
            for (std::size_t g = 0; g < Holes[e].size(); ++g)
            {
                m_holeIndex[e]->Insert(NumberedBounds{HoleNumbers[e][g], HoleBounds[e][g]},
                                       HoleBounds[e][g]);
            }
        }
    }

    void RemoveHole(std::size_t e, std::size_t g)
    {
        if (m_holeIndex[e])
        {
            m_holeIndex[e]->Remove(NumberedBounds{HoleNumbers[e][g], HoleBounds[e][g]});
        }
        const auto at = static_cast<std::ptrdiff_t>(g);
        Holes[e].erase(Holes[e].begin() + at);
        HoleBounds[e].erase(HoleBounds[e].begin() + at);
        HoleNumbers[e].erase(HoleNumbers[e].begin() + at);
    }

    std::vector<Ring*> Sequence() const
    {
        std::vector<Ring*> sequence;
        for (std::size_t e = 0; e < Exteriors.size(); ++e)
        {
            sequence.push_back(Exteriors[e]);
            sequence.insert(sequence.end(), Holes[e].begin(), Holes[e].end());
        }
        sequence.insert(sequence.end(), Unplaced.begin(), Unplaced.end());
        return sequence;
    }

private:
    std::unique_ptr<NumberedIndex> m_exteriorIndex;
    std::vector<std::unique_ptr<NumberedIndex>> m_holeIndex;
    std::size_t m_nextNumber = 0;
};

// Visits the pairs (a, b), a < b, of rings whose bounds overlap with some area (the test that
// Ring::Overlaps starts with), in no particular order, until visit(a, b, boundsOfA, boundsOfB)
// returns false; returns whether it saw them all. The bounds are computed once, and the pairs
// found in strips (see BoxStrips), so that a polygon of many rings is not checked pair by pair:
// a result of 50,000 rings took minutes.
template <typename Visit>
bool VisitPairsWithOverlappingBounds(std::span<Ring* const> rings, Visit visit)
{
    if (rings.size() < 2)
    {
        return true;
    }
    std::vector<Rectangle> bounds;
    bounds.reserve(rings.size());
    for (const Ring* ring : rings)
    {
        bounds.push_back(ring->Count() == 0 ? Rectangle::Empty() : ring->GetBounds());
    }
    return Detail::VisitOverlappingBoxPairs(std::span<const Rectangle>(bounds),
                                            [&](std::size_t a, std::size_t b)
                                            { return visit(a, b, bounds[a], bounds[b]); });
}

// The same pairs in the order of a loop over a and then b.
std::vector<std::pair<std::size_t, std::size_t>>
PairsWithOverlappingBounds(std::span<Ring* const> rings)
{
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    VisitPairsWithOverlappingBounds(
        rings,
        [&](std::size_t a, std::size_t b, const Rectangle&, const Rectangle&)
        {
            pairs.emplace_back(a, b);
            return true;
        });
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

// Whether no edge of one ring comes within reach of an edge of the other, edge pair by edge pair
// (for small rings; a grid of a large ring's edges answers the same for large ones).
bool AreBoundariesApart(const Ring& first, const Ring& second, double reach)
{
    const std::int32_t n = first.Count();
    const std::int32_t m = second.Count();
    for (std::int32_t i = 0; i < n; ++i)
    {
        const Point& a = first.GetNode(i)->Position;
        const Point& b = first.GetNode(i + 1 < n ? i + 1 : 0)->Position;
        for (std::int32_t k = 0; k < m; ++k)
        {
            if (!Detail::AreSegmentsApart(a, b, second.GetNode(k)->Position,
                                          second.GetNode(k + 1 < m ? k + 1 : 0)->Position, reach))
            {
                return false;
            }
        }
    }
    return true;
}

// Whether exterior encloses ring, as Ring::Contains tells, but for a large exterior ring through
// a grid of its edges where that decides: when none of its edges comes near the ring, the ring
// lies wholly inside or wholly outside, as one of its nodes does. The grids are made on first
// need, one per exterior ring.
class EnclosureTest
{
public:
    explicit EnclosureTest(const std::vector<Ring*>& exteriors)
        : m_grids(exteriors.size()), m_unclear(exteriors.size(), false)
    {
    }

    bool Encloses(const std::vector<Ring*>& exteriors, std::size_t e, const Ring* ring)
    {
        const Ring* exterior = exteriors[e];
        constexpr std::int32_t LargeRing = 64;
        if (exterior->Count() < LargeRing || !HasClearArea(*ring))
        {
            return m_relations.Contains(*exterior, *ring);
        }
        if (!m_grids[e])
        {
            if (m_unclear[e] || !HasClearArea(*exterior))
            {
                m_unclear[e] = true;
                return m_relations.Contains(*exterior, *ring);
            }
            m_grids[e] = std::make_unique<Detail::RingEdgeGrid>(*exterior);
        }
        const Detail::RingEdgeGrid& grid = *m_grids[e];
        const Rectangle bounds = ring->GetBounds();
        if (!grid.Bounds().Contains(bounds))
        {
            return false;
        }
        // Well beyond the distances at which the overlay joins points.
        const double reach = 4.0 * CurrentPrecision().Tolerance;
        if (grid.HasEdgeNear(bounds, reach) && grid.HasEdgeNear(*ring, reach))
        {
            return m_relations.Contains(*exterior, *ring);
        }
        return grid.Encloses(ring->GetNode(0)->Position);
    }

    // Whether one hole encloses another, as Ring::Contains tells; small pairs whose boundaries
    // are clearly apart are decided by one node.
    static bool HoleEncloses(const Ring* outer, const Ring* inner)
    {
        const std::int64_t pairs = std::int64_t{outer->Count()} * inner->Count();
        constexpr std::int64_t FewPairs = 4096;
        if (pairs == 0 || pairs > FewPairs || !HasClearArea(*outer) || !HasClearArea(*inner) ||
            !AreBoundariesApart(*outer, *inner, 4.0 * CurrentPrecision().Tolerance))
        {
            return outer->Contains(inner);
        }
        return outer->GetBounds().Contains(inner->GetBounds()) &&
               Detail::IsInsideRing(*outer, inner->GetNode(0)->Position);
    }

private:
    // Rings without area, which the overlay may drop whole, are left to it.
    static bool HasClearArea(const Ring& ring)
    {
        const double area = ring.GetSignedArea();
        return ring.Count() >= 3 && area != 0.0 && !Detail::IsThinnerThanNodeGrid(ring, area);
    }

    std::vector<std::unique_ptr<Detail::RingEdgeGrid>> m_grids;
    std::vector<bool> m_unclear; // exterior rings left to Ring::Contains
    Detail::RingAreaRelations m_relations;
};

// Whether two rings of a valid polygon's candidate overlap, as Ring::Overlaps tells, without an
// overlay where their boundaries stay clearly apart: then they overlap only if one lies inside
// the other, as one node of it does. The thin pieces of a crossing-heavy result lie side by
// side in their thousands, and an overlay per pair of them cost most of committing it. Every
// ring asked about has a clear area (validation rejects the others first).
class OverlapTest
{
public:
    bool Overlaps(const Ring* first, const Ring* second)
    {
        if (first->Count() == 0 || second->Count() == 0)
        {
            return false;
        }
        return Overlaps(first, second, first->GetBounds(), second->GetBounds());
    }

    // The same for non-empty rings whose bounds are known.
    bool Overlaps(const Ring* first, const Ring* second, const Rectangle& a, const Rectangle& b)
    {
        if (!(b.MaxX > a.MinX && b.MinX < a.MaxX && b.MaxY > a.MinY && b.MinY < a.MaxY))
        {
            return false;
        }
        // Well beyond the distances at which the overlay joins points.
        const double reach = 4.0 * CurrentPrecision().Tolerance;
        constexpr std::int32_t LargeRing = 64;
        constexpr std::int64_t FewPairs = 4096;
        const bool firstLarger = first->Count() >= second->Count();
        const Ring& large = firstLarger ? *first : *second;
        const Ring& small = firstLarger ? *second : *first;
        const Rectangle& smallBounds = firstLarger ? b : a;
        if (large.Count() >= LargeRing && std::int64_t{large.Count()} * small.Count() > FewPairs)
        {
            // The large ring's grid tells both whether its boundary comes near and, if not,
            // whether it encloses the small ring, without a walk along all its edges.
            const Detail::RingEdgeGrid& grid = GridOf(large);
            if (grid.HasEdgeNear(smallBounds, reach) && grid.HasEdgeNear(small, reach))
            {
                return m_relations.Overlaps(*first, *second);
            }
            return grid.Encloses(small.GetNode(0)->Position) ||
                   Detail::IsInsideRing(small, large.GetNode(0)->Position);
        }
        if (!AreBoundariesApart(*first, *second, reach))
        {
            return m_relations.Overlaps(*first, *second);
        }
        return Detail::IsInsideRing(*first, second->GetNode(0)->Position) ||
               Detail::IsInsideRing(*second, first->GetNode(0)->Position);
    }

    // Ring::Contains, sharing the large rings' temporary polygons with the overlap tests.
    bool Contains(const Ring* outer, const Ring* inner)
    {
        return m_relations.Contains(*outer, *inner);
    }

private:
    const Detail::RingEdgeGrid& GridOf(const Ring& ring)
    {
        std::unique_ptr<Detail::RingEdgeGrid>& grid = m_grids[&ring];
        if (!grid)
        {
            grid = std::make_unique<Detail::RingEdgeGrid>(ring);
        }
        return *grid;
    }

    std::unordered_map<const Ring*, std::unique_ptr<Detail::RingEdgeGrid>> m_grids;
    Detail::RingAreaRelations m_relations;
};

} // namespace

void Polygon::Organise()
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(*this));
    if (!IsModified() || GetRingCount() <= 1)
    {
        SetPolygonFlag(PolygonFlags::Modified, false);
        return;
    }
    RingOrder order(CollectRings(GetRings()));
    EnclosureTest enclosure(order.Exteriors);

    // Each interior ring goes to the smallest exterior ring that directly encloses it, that is
    // without one of that exterior ring's holes in between. Holes of that exterior ring found
    // inside the new one lose their place and are examined again right after it. The holes
    // wait on a stack, the next on top; those no exterior ring takes stay unplaced in the
    // order they were examined last.
    std::vector<Ring*> waiting(order.Unplaced.rbegin(), order.Unplaced.rend());
    order.Unplaced.clear();
    std::vector<std::size_t> exteriors;
    std::vector<std::size_t> places;
    std::vector<Ring*> displaced;
    while (!waiting.empty())
    {
        Ring* hole = waiting.back();
        waiting.pop_back();
        hole->SetFlag(Flags::Assigned, false);
        const Rectangle bounds = hole->GetBounds();
        bool placed = false;
        order.ExteriorsAround(bounds, exteriors);
        for (std::size_t k = 0; k < exteriors.size() && !placed; ++k)
        {
            const std::size_t e = exteriors[k];
            if (!enclosure.Encloses(order.Exteriors, e, hole))
            {
                continue;
            }
            displaced.clear();
            bool direct = true;
            // Ring::Contains starts with the same test of the bounds: most pairs end there.
            order.HolesNested(e, bounds, places);
            std::size_t removed = 0;
            for (const std::size_t place : places)
            {
                const std::size_t g = place - removed;
                Ring* other = order.Holes[e][g];
                const Rectangle& otherBounds = order.HoleBounds[e][g];
                if (otherBounds.Contains(bounds) && EnclosureTest::HoleEncloses(other, hole))
                {
                    direct = false;
                    break;
                }
                if (bounds.Contains(otherBounds) && EnclosureTest::HoleEncloses(hole, other))
                {
                    other->SetFlag(Flags::Assigned, false);
                    displaced.push_back(other);
                    order.RemoveHole(e, g);
                    ++removed;
                }
            }
            waiting.insert(waiting.end(), displaced.rbegin(), displaced.rend());
            if (direct)
            {
                order.PlaceHole(e, hole, bounds);
                hole->SetFlag(Flags::Assigned, true);
                placed = true;
            }
        }
        if (!placed)
        {
            order.Unplaced.push_back(hole);
        }
    }

    // Relink the circle in the new order; the head moves to the first ring.
    DropRingIndex();
    const std::vector<Ring*> sequence = order.Sequence();
    for (std::size_t k = 0; k < sequence.size(); ++k)
    {
        sequence[k]->SetFlag(Flags::IsFirst, k == 0);
        sequence[k]->SetNext(sequence[(k + 1) % sequence.size()]);
    }
    if (!HasPolygonFlag(PolygonFlags::OwnRingUsed))
    {
        SetNext(sequence.front());
    }
    SetModified(false);
}

void Polygon::ValidateStructure(bool validateRings)
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(*this));
    Organise();
    RingList exteriors;
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        Ring* ring = rings.Current();
        if (validateRings)
        {
            ring->Validate();
        }
        const double area = ring->GetSignedArea();
        if (area == 0.0 || Detail::IsThinnerThanNodeGrid(*ring, area))
        {
            // A degenerate ring (a triangle with a repeated or collinear node, or a sliver
            // thinner than the node grid) encloses nothing the overlay can cut: every exterior
            // ring around it "contains" it, and taken for a hole it would make the overlay cut
            // the polygon along it.
            throw InvalidRingException(Exceptions::Messages::RingZeroArea,
                                       Exceptions::MakeLocation(Unit, InteriorNotEnclosedLine));
        }
        if (area > 0.0)
        {
            exteriors.push_back(ring);
        }
        else if (!ring->HasFlag(Flags::Assigned))
        {
            ThrowInvalidPolygon(Exceptions::Messages::InteriorNotEnclosed, InteriorNotEnclosedLine);
        }
    }
    if (exteriors.empty())
    {
        ThrowInvalidPolygon(Exceptions::Messages::NoExteriorRing, NoExteriorLine);
    }
    OverlapTest overlap;
    // Most polygons have no exterior ring over another, which a look at the pairs in any order
    // tells; otherwise they are examined in order, so that the same fault is named each time.
    const bool anyOverlap = !VisitPairsWithOverlappingBounds(
        exteriors,
        [&](std::size_t a, std::size_t b, const Rectangle& boundsOfA, const Rectangle& boundsOfB)
        { return !overlap.Overlaps(exteriors[a], exteriors[b], boundsOfA, boundsOfB); });
    for (const auto& [a, b] : anyOverlap ? PairsWithOverlappingBounds(exteriors)
                                         : std::vector<std::pair<std::size_t, std::size_t>>{})
    {
        Ring* outer = exteriors[a];
        Ring* inner = exteriors[b];
        if (!overlap.Overlaps(outer, inner))
        {
            continue;
        }
        if (!overlap.Contains(outer, inner))
        {
            ThrowInvalidPolygon(Exceptions::Messages::ExteriorOverlapsExterior,
                                ExteriorOverlapsExteriorLine);
        }
        Ring* between = nullptr;
        RingEnumerator holes(outer->GetNext(), RingEnumerator::AssignedHoles);
        while (holes.MoveNext())
        {
            if (overlap.Overlaps(holes.Current(), inner))
            {
                between = holes.Current();
                break;
            }
        }
        if (between == nullptr)
        {
            ThrowInvalidPolygon(Exceptions::Messages::ExteriorEnclosesExterior,
                                ExteriorEnclosesExteriorLine);
        }
        if (!overlap.Contains(between, inner))
        {
            ThrowInvalidPolygon(Exceptions::Messages::ExteriorOverlapsInterior,
                                ExteriorOverlapsInteriorLine);
        }
    }
    // Without a second ring there are neither holes to compare nor stretches to share.
    if (GetRingCount() <= 1)
    {
        return;
    }
    for (Ring* exterior : exteriors)
    {
        const std::vector<Ring*> holes =
            CollectRings(RingEnumerator(exterior->GetNext(), RingEnumerator::AssignedHoles));
        if (!VisitPairsWithOverlappingBounds(
                holes, [&](std::size_t a, std::size_t b, const Rectangle& boundsOfA,
                           const Rectangle& boundsOfB)
                { return !overlap.Overlaps(holes[a], holes[b], boundsOfA, boundsOfB); }))
        {
            ThrowInvalidPolygon(Exceptions::Messages::InteriorOverlapsInterior,
                                InteriorOverlapsInteriorLine);
        }
    }
    ThrowIfRingsShareAStretch(*this);
}

void Polygon::Validate(bool validateRings)
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(*this));
    if (!NeedsValidation() && HasPolygonFlag(PolygonFlags::Valid))
    {
        return;
    }
    try
    {
        ValidateStructure(validateRings);
    }
    catch (...)
    {
        // Known to be invalid until the polygon changes again.
        SetPolygonFlag(PolygonFlags::Unchecked | PolygonFlags::Valid, false);
        throw;
    }
    SetPolygonFlag(PolygonFlags::Unchecked, false);
    SetPolygonFlag(PolygonFlags::Valid, true);
}

bool Polygon::IsValid()
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(*this));
    if (NeedsValidation())
    {
        try
        {
            Validate(true);
        }
        catch (const InvalidPolygonException&)
        {
            // reported through the result
        }
    }
    return HasPolygonFlag(PolygonFlags::Valid);
}

namespace
{

using Detail::PointPlace;

// Where p lies against a valid polygon, by the even-odd count of its rings' crossings with the
// ray from p to the right; unsure when an edge comes within margin of p.
PointPlace PlaceOfClearPoint(const Polygon& polygon, const Point& p, double margin)
{
    bool inside = false;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const PointPlace place = Detail::PlaceOfClearPoint(*rings.Current(), p, margin);
        if (place == PointPlace::Unsure)
        {
            return PointPlace::Unsure;
        }
        inside = inside != (place == PointPlace::Inside);
    }
    return inside ? PointPlace::Inside : PointPlace::Outside;
}

// Whether the polygon has fewer rings than count, or fewer nodes: counted only as far as
// needed, as a polygon of many rings is asked for each of its neighbours.
bool HasFewerRings(const Polygon& polygon, std::int32_t count)
{
    RingEnumerator rings = polygon.GetRings();
    for (std::int32_t seen = 0; seen < count; ++seen)
    {
        if (!rings.MoveNext())
        {
            return true;
        }
    }
    return false;
}

bool HasFewerNodes(const Polygon& polygon, std::int32_t count)
{
    if (const Detail::RingBoundsIndex* index = Detail::RingBoundsIndex::Of(polygon))
    {
        return index->NodeCount() < count;
    }
    std::int32_t seen = 0;
    RingEnumerator rings = polygon.GetRings();
    while (seen < count && rings.MoveNext())
    {
        seen += rings.Current()->Count();
    }
    return seen < count;
}

// A committed polygon, validated since its last change: its rings neither cross themselves nor
// each other, so the even-odd count reads its area as the overlay does.
bool IsCommittedValid(const Polygon& polygon)
{
    return !polygon.IsEditing() && polygon.HasPolygonFlag(Polygon::PolygonFlags::Valid) &&
           !polygon.HasPolygonFlag(Polygon::PolygonFlags::Unchecked);
}

// Whether two committed polygons surely share area: the centre of their common bounds lies
// inside both, with both boundaries farther from it than the overlay ever moves an edge. Then
// their intersection has that area, and two large overlapping polygons (the pairs a union
// joins) need not be overlaid only to be told so. No answer is "not sure". The look walks all
// edges of both; a polygon of few nodes meets a large one's edge index in a few cells, so the
// overlay is the cheaper way there.
bool SurelyShareArea(const Polygon& a, const Rectangle& first, const Polygon& b,
                     const Rectangle& second)
{
    constexpr std::int32_t FewNodes = 64;
    const Rectangle common{std::max(first.MinX, second.MinX), std::max(first.MinY, second.MinY),
                           std::min(first.MaxX, second.MaxX), std::min(first.MaxY, second.MaxY)};
    // Far beyond the tolerance and the node grid, by which the overlay snaps.
    const double margin =
        64.0 * std::max(CurrentPrecision().Tolerance, CurrentPrecision().GridStep);
    if (!(common.Width() > 2.0 * margin && common.Height() > 2.0 * margin) ||
        !IsCommittedValid(a) || !IsCommittedValid(b) || HasFewerNodes(a, FewNodes) ||
        HasFewerNodes(b, FewNodes))
    {
        return false;
    }
    const Point centre{common.MinX + 0.5 * common.Width(), common.MinY + 0.5 * common.Height()};
    return PlaceOfClearPoint(a, centre, margin) == PointPlace::Inside &&
           PlaceOfClearPoint(b, centre, margin) == PointPlace::Inside;
}

void CopyRing(const Ring& ring, Polygon& target)
{
    Ring* copy = target.CreateRing();
    for (std::int32_t i = 0; i < ring.Count(); ++i)
    {
        const Point& position = ring.GetNode(i)->Position;
        copy->AddNode(position.X, position.Y);
    }
}

// The rings of a polygon of many rings near the bounds of another polygon, as a free polygon
// in the same ring order; null for a polygon of few rings or with every ring near. A ring whose
// bounds stay farther from the other's than the overlay ever snaps bounds no area the other
// could share, and neither does the ring that holds it (its bounds are larger) depend on it:
// the common part with the near rings is the common part with all of them. A union that puts
// thousands of small pieces into a large polygon leaves it to be tested against each of its
// small neighbours, and an overlay with all its rings cost as much each time; the index of its
// ring bounds (pIndex, when it has one) finds the near rings without reading the others.
std::unique_ptr<Polygon> RingsNear(const Polygon& polygon, const Detail::RingBoundsIndex* pIndex,
                                   const Rectangle& bounds)
{
    if (pIndex == nullptr && HasFewerRings(polygon, Detail::RingBoundsIndex::ManyRings))
    {
        return nullptr;
    }
    const double margin =
        64.0 * std::max(CurrentPrecision().Tolerance, CurrentPrecision().GridStep);
    const Rectangle reach{bounds.MinX - margin, bounds.MinY - margin, bounds.MaxX + margin,
                          bounds.MaxY + margin};
    auto near = std::make_unique<Polygon>(nullptr);
    if (pIndex != nullptr)
    {
        std::vector<std::uint32_t> found;
        pIndex->FindRings(reach, found);
        if (found.size() == pIndex->Rings().size())
        {
            return nullptr;
        }
        for (const std::uint32_t k : found)
        {
            CopyRing(*pIndex->Rings()[k], *near);
        }
        return near;
    }
    std::int32_t left = 0;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring& ring = *rings.Current();
        if (ring.GetBounds().Intersects(reach))
        {
            CopyRing(ring, *near);
        }
        else
        {
            ++left;
        }
    }
    return left == 0 ? nullptr : std::move(near);
}

} // namespace

bool Polygon::Overlaps(const Polygon* pOther) const
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(*this));
    if (pOther == nullptr)
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::InvalidPointer,
                                            Exceptions::MakeLocation(Unit, OverlapsNullLine));
    }
    // A committed polygon of many rings answers its bounds, node count and near rings from
    // its index, without reading every ring for each neighbour.
    const Detail::RingBoundsIndex* index = Detail::RingBoundsIndex::Of(*this);
    const Detail::RingBoundsIndex* otherIndex = Detail::RingBoundsIndex::Of(*pOther);
    if ((index != nullptr ? index->NodeCount() == 0 : IsEmpty()) ||
        (otherIndex != nullptr ? otherIndex->NodeCount() == 0 : pOther->IsEmpty()))
    {
        return false;
    }
    // Taken once: a polygon of many small rings reads all their nodes for its bounds.
    const Rectangle bounds = index != nullptr ? index->Bounds() : GetBounds();
    const Rectangle otherBounds =
        otherIndex != nullptr ? otherIndex->Bounds() : pOther->GetBounds();
    if (!bounds.Intersects(otherBounds))
    {
        return false; // no common point, so no common part
    }
    if (SurelyShareArea(*this, bounds, *pOther, otherBounds))
    {
        return true;
    }
    // Only polygons of one ring are told apart so; an indexed one has many.
    if (index == nullptr && otherIndex == nullptr && IsCommittedValid(*this) &&
        IsCommittedValid(*pOther) && Detail::SurelyApart(*this, bounds, *pOther, otherBounds))
    {
        return false; // neighbours that meet along their boundaries, told without an overlay
    }
    const std::unique_ptr<Polygon> nearOther = RingsNear(*this, index, otherBounds);
    const std::unique_ptr<Polygon> nearThis = RingsNear(*pOther, otherIndex, bounds);
    // The overlay reads its operands without changing them.
    const std::unique_ptr<Polygon> common =
        Overlay::Intersection(nearOther ? *nearOther : *const_cast<Polygon*>(this),
                              nearThis ? *nearThis : *const_cast<Polygon*>(pOther));
    return common->GetNodeCount() > 0;
}

} // namespace Arealis
