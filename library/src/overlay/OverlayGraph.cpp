#include "overlay/OverlayGraph.h"

#include "Arealis/Polygon.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Collections/LowerBoundFrom.h"
#include "overlay/EdgeLineFilter.h"
#include "support/AngleOrder.h"
#include "support/PointGrid.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <utility>

namespace Arealis::Detail
{

OverlayGraph::OverlayGraph(const Polygon& a, const Polygon& b) : m_first(a), m_second(b)
{
    AddWalks(a, Operand::First, m_firstBounds);
    AddWalks(b, Operand::Second, m_secondBounds);
}

void OverlayGraph::CutRings(const IntersectionList& intersections)
{
    CutWalks(intersections);
    SortCrossingsByPosition();
    CutWalksAtCrossingNodes();
    CutWalksAtCrossingsInsideEdges();
    RemoveSpikes();
    AddDirections();
}

// The operand's bounds come out as Polygon::GetBounds makes them: the bounds of its rings that
// have nodes, extended in ring order.
void OverlayGraph::AddWalks(const Polygon& polygon, Operand side, Rectangle& bounds)
{
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring* pRing = rings.Current();
        RingWalk walk{
            pRing,      side, false, -1, std::pmr::map<std::int32_t, std::int32_t>(&m_memory),
            Rectangle{}};
        m_walks.push_back(std::move(walk));
        const auto walkIndex = static_cast<std::int32_t>(m_walks.size() - 1);
        if (pRing->Count() == 0)
        {
            continue;
        }
        m_walks[walkIndex].Bounds = pRing->GetBounds();
        bounds.Extend(m_walks[walkIndex].Bounds);
        const std::int32_t chain = NewPiece(walkIndex);
        m_pieces[chain].First = 0;
        m_pieces[chain].Last = pRing->Count() - 1;
        m_pieces[chain].Prev = chain;
        m_pieces[chain].Next = chain;
        m_walks[walkIndex].Head = chain;
        m_walks[walkIndex].NodePieces.emplace(0, chain);
    }
}

void OverlayGraph::CutWalks(const IntersectionList& intersections)
{
    // The same ring may stand in both operands (a polygon overlaid with itself), so rings are
    // looked up per operand: in arrays sorted by ring, as most overlays have a few rings only.
    using WalkOfRing = std::pair<const Ring*, std::int32_t>;
    std::pmr::vector<WalkOfRing> firstWalks(&m_memory);
    std::pmr::vector<WalkOfRing> secondWalks(&m_memory);
    firstWalks.reserve(m_walks.size());
    secondWalks.reserve(m_walks.size());
    for (std::size_t i = 0; i < m_walks.size(); ++i)
    {
        auto& walks = m_walks[i].Side == Operand::First ? firstWalks : secondWalks;
        walks.emplace_back(m_walks[i].pRing, static_cast<std::int32_t>(i));
    }
    const auto byRing = [](const WalkOfRing& x, const WalkOfRing& y)
    { return std::less<const Ring*>()(x.first, y.first); };
    std::sort(firstWalks.begin(), firstWalks.end(), byRing);
    std::sort(secondWalks.begin(), secondWalks.end(), byRing);
    // The cuts of all walks in entry order, each with its walk; grouped by walk below.
    const auto entries = static_cast<std::size_t>(intersections.Count());
    std::pmr::vector<std::pair<std::size_t, Cut>> found(&m_memory);
    found.reserve(2 * entries);
    std::pmr::vector<std::size_t> firstOfWalk(m_walks.size() + 1, 0, &m_memory);
    const auto addCut = [&](const std::pmr::vector<WalkOfRing>& walks, const LinearEdge& edge,
                            const Point& location)
    {
        const auto walk =
            std::lower_bound(walks.begin(), walks.end(), WalkOfRing{edge.Ring, 0}, byRing);
        if (walk == walks.end() || walk->first != edge.Ring)
        {
            return;
        }
        const Point& start = edge.Start()->Position;
        const auto w = static_cast<std::size_t>(walk->second);
        found.emplace_back(w, Cut{edge.EdgeNumber(), SquaredDistance(start, location), location});
        ++firstOfWalk[w + 1];
    };
    // Each entry adds at most two crossing pieces to each operand, each with two ways out, and
    // at most one crossing point.
    m_pieces.reserve(m_pieces.size() + 4 * entries);
    m_directions.reserve(4 * entries);
    m_crossings.reserve(entries);
    m_crossingTable.Reserve(entries);
    for (const EdgeIntersection& entry : intersections)
    {
        addCut(firstWalks, entry.FirstEdge, entry.Location);
        addCut(secondWalks, entry.SecondEdge, entry.Location);
    }
    // One array for the cuts of all walks, each walk's in entry order: a counting sort by walk,
    // instead of a growing array per walk.
    for (std::size_t w = 0; w < m_walks.size(); ++w)
    {
        firstOfWalk[w + 1] += firstOfWalk[w];
    }
    std::pmr::vector<Cut> cuts(found.size(), &m_memory);
    std::pmr::vector<std::size_t> next(firstOfWalk.begin(), firstOfWalk.end() - 1, &m_memory);
    for (const auto& [walk, cut] : found)
    {
        cuts[next[walk]++] = cut;
    }
    for (std::size_t w = 0; w < m_walks.size(); ++w)
    {
        CutWalk(static_cast<std::int32_t>(w),
                std::span<Cut>(cuts.data() + firstOfWalk[w], cuts.data() + firstOfWalk[w + 1]));
    }
}

void OverlayGraph::CutWalk(std::int32_t walk, std::span<Cut> cuts)
{
    // Cuts at the same distance along one edge at different points (rounded distances) go
    // by position: the pieces then do not depend on the order in which the search reported
    // the points, which differs between the search's ways.
    const auto before = [](const Cut& x, const Cut& y)
    {
        if (x.Edge != y.Edge)
        {
            return x.Edge < y.Edge;
        }
        if (x.SquaredDistance != y.SquaredDistance)
        {
            return x.SquaredDistance < y.SquaredDistance;
        }
        return x.Location < y.Location;
    };
    // A ring is usually cut a few times only: a stable insertion sort then needs neither the
    // merge sort's buffer nor its allocation, and gives the same order.
    constexpr std::size_t FewCuts = 16;
    if (cuts.size() <= FewCuts)
    {
        for (auto it = cuts.begin(); it != cuts.end(); ++it)
        {
            std::rotate(std::upper_bound(cuts.begin(), it, *it, before), it, std::next(it));
        }
    }
    else
    {
        std::stable_sort(cuts.begin(), cuts.end(), before);
    }
    const Ring& ring = *WalkAt(walk).pRing;
    const std::int32_t n = ring.Count();
    for (const Cut& cut : cuts)
    {
        if (cut.Edge < 0 || cut.Edge >= n)
        {
            continue;
        }
        const std::int32_t next = (cut.Edge + 1) % n;
        std::int32_t piece = -1;
        if (cut.Location == ring.GetNode(cut.Edge)->Position)
        {
            piece = CutAtNode(walk, cut.Edge);
        }
        else if (cut.Location == ring.GetNode(next)->Position)
        {
            piece = CutAtNode(walk, next);
        }
        else
        {
            piece = InsertOnEdge(walk, cut.Edge, cut);
        }
        if (PieceAt(piece).Crossing < 0)
        {
            PieceAt(piece).Crossing = FindOrAddCrossing(cut.Location);
        }
        WalkAt(walk).Crossed = true;
    }
}

// A ring passing through a crossing point at one of its nodes must be cut there even when no
// entry names it: two rings sharing a stretch of boundary report no touch at the stretch's
// inner vertices, yet another ring may meet one of them at such a vertex. The way on from that
// point must then see both rings sharing the stretch.
void OverlayGraph::CutWalksAtCrossingNodes()
{
    const Rectangle& crossingBounds = m_crossingBounds;
    if (crossingBounds.IsEmpty())
    {
        return;
    }
    std::pmr::vector<std::int32_t> nearEdges(&m_memory);
    for (std::size_t w = 0; w < m_walks.size(); ++w)
    {
        const auto walk = static_cast<std::int32_t>(w);
        const Ring& ring = *WalkAt(walk).pRing;
        if (ring.Count() == 0 || !WalkAt(walk).Bounds.Intersects(crossingBounds))
        {
            continue;
        }
        const auto cutAtNode = [&](std::int32_t i)
        {
            const Point& position = ring.GetNode(i)->Position;
            if (!crossingBounds.Contains(position))
            {
                return;
            }
            const std::int32_t crossing = FindCrossing(position);
            if (crossing < 0)
            {
                return;
            }
            const std::int32_t piece = CutAtNode(walk, i);
            PieceAt(piece).Crossing = crossing;
            WalkAt(walk).Crossed = true;
        };
        // A node inside the bounds starts an edge whose box meets them.
        if (EdgesNearCrossings(ring, nearEdges))
        {
            std::for_each(nearEdges.begin(), nearEdges.end(), cutAtNode);
            continue;
        }
        for (std::int32_t i = 0; i < ring.Count(); ++i)
        {
            cutAtNode(i);
        }
    }
}

bool OverlayGraph::EdgesNearCrossings(const Ring& ring, std::pmr::vector<std::int32_t>& edges) const
{
    // Below this many nodes the scan costs less than the search.
    constexpr std::int32_t IndexedFrom = 256;
    if (ring.Count() < IndexedFrom || !ring.HasEdgeSearchIndex())
    {
        return false;
    }
    thread_local Collections::PlainArray<LinearEdge> found;
    found.SetCount(0);
    ring.GetEdgesInRectangle(m_crossingBounds, found);
    edges.clear();
    edges.reserve(static_cast<std::size_t>(found.Count()));
    for (std::int32_t k = 0; k < found.Count(); ++k)
    {
        edges.push_back(found[k].EdgeNumber());
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    return true;
}

// The same for a crossing point inside an edge: where an edge of one operand runs along an
// edge of the other, only the ends of the common stretch are reported, so a third ring that
// meets the stretch inside (a hole touching its exterior ring there, say) cuts one of the two
// coinciding edges but not the other. The way on from that point would then miss the uncut
// ring's boundary, and the tracing would lose whole parts of the result.
void OverlayGraph::CutWalksAtCrossingsInsideEdges()
{
    const Rectangle& crossingBounds = m_crossingBounds;
    if (crossingBounds.IsEmpty())
    {
        return;
    }
    // Many crossing points (crossing stars) are found through a grid: a long edge then meets
    // the few points of the cells it passes, not all points in its x range.
    constexpr std::size_t GridFrom = 64;
    std::optional<PointGrid> grid;
    if (m_crossingsByPosition.size() >= GridFrom)
    {
        grid.emplace(
            m_crossingsByPosition.size(),
            [this](std::size_t i) { return m_crossingsByPosition[i].Location; }, &m_memory);
    }
    std::pmr::vector<std::int32_t> candidates(&m_memory);
    std::pmr::vector<std::int32_t> found(&m_memory);
    // Consecutive edges of a ring lie close together: each search starts from the last answer.
    auto nearest = m_crossingsByPosition.begin();
    // The probe square around a point is one grid step wide.
    const double probeSide = CurrentPrecision().GridStep;
    std::pmr::vector<std::int32_t> nearEdges(&m_memory);
    for (std::size_t w = 0; w < m_walks.size(); ++w)
    {
        const auto walk = static_cast<std::int32_t>(w);
        const Ring& ring = *WalkAt(walk).pRing;
        const std::int32_t n = ring.Count();
        if (n < 2 || !WalkAt(walk).Bounds.Intersects(crossingBounds))
        {
            continue;
        }
        const auto cutEdge = [&](std::int32_t i, const Point& start, const Point& end)
        {
            const Rectangle edgeBounds(start, end);
            if (!edgeBounds.Intersects(crossingBounds))
            {
                return;
            }
            // A long edge whose box meets the crossings' bounds often passes them by: its line
            // then misses them all. One inside the bounds (most edges of two dense operands)
            // surely meets them.
            const EdgeLineFilter line(start, end, probeSide);
            if (!crossingBounds.Contains(edgeBounds) && !line.MayMeet(crossingBounds))
            {
                return;
            }
            // Crossing points within the reach of the probe square around a point and on the
            // edge, as positions in m_crossingsByPosition.
            const double reach = probeSide;
            const auto isOnEdge = [&](const Point& p)
            {
                return p.X >= edgeBounds.MinX - reach && p.X <= edgeBounds.MaxX + reach &&
                       p.Y >= edgeBounds.MinY - reach && p.Y <= edgeBounds.MaxY + reach &&
                       !(p == start) && !(p == end) && line.MayBeOn(p) &&
                       IsPointOnSegment(p, start, end, ProximityMode::Exact);
            };
            found.clear();
            if (grid)
            {
                candidates.clear();
                grid->CollectNearSegment(start, end, reach, candidates);
                for (const std::int32_t candidate : candidates)
                {
                    const auto position = static_cast<std::size_t>(candidate);
                    if (isOnEdge(m_crossingsByPosition[position].Location))
                    {
                        found.push_back(candidate);
                    }
                }
            }
            else
            {
                const auto leftOf = [](const PlacedCrossing& crossing, double x)
                { return crossing.Location.X < x; };
                nearest = Collections::LowerBoundFrom(m_crossingsByPosition.begin(),
                                                      m_crossingsByPosition.end(), nearest,
                                                      edgeBounds.MinX - reach, leftOf);
                for (auto it = nearest;
                     it != m_crossingsByPosition.end() && it->Location.X <= edgeBounds.MaxX + reach;
                     ++it)
                {
                    if (isOnEdge(it->Location))
                    {
                        found.push_back(
                            static_cast<std::int32_t>(it - m_crossingsByPosition.begin()));
                    }
                }
            }
            // In the order of their positions, whichever way they were found: points at the
            // same distance from the start are then inserted in the same order.
            if (found.size() > 1)
            {
                std::sort(found.begin(), found.end());
            }
            for (const std::int32_t position : found)
            {
                const std::int32_t crossing =
                    m_crossingsByPosition[static_cast<std::size_t>(position)].Crossing;
                const Point& location = CrossingPointAt(crossing).Location;
                const std::int32_t piece =
                    InsertOnEdge(walk, i, Cut{i, SquaredDistance(start, location), location});
                PieceAt(piece).Crossing = crossing;
                WalkAt(walk).Crossed = true;
            }
        };
        if (EdgesNearCrossings(ring, nearEdges))
        {
            for (const std::int32_t i : nearEdges)
            {
                cutEdge(i, ring.GetNode(i)->Position,
                        ring.GetNode(i + 1 < n ? i + 1 : 0)->Position);
            }
            continue;
        }
        // Each edge's end is the next edge's start: one node read per edge.
        Point end = ring.GetNode(0)->Position;
        for (std::int32_t i = 0; i < n; ++i)
        {
            const Point start = end;
            // The ring's last edge closes it; no division for the wrap round in this loop
            // over every edge.
            end = ring.GetNode(i + 1 < n ? i + 1 : 0)->Position;
            cutEdge(i, start, end);
        }
    }
}

// A point within the snapping distance of an edge is put on it, and that can fold a ring back
// on itself: where corners of the two operands lie one grid step apart, the edges on both
// sides of one corner are each cut at the other corner, and the ring runs X, Y, X. Such a spike
// bounds no area, but it leaves corners of zero angle at X and Y for the way-on choice to test
// against, which then takes a ring for inside the other operand when it only touches it. The
// spike is taken out of the walk: Y and the second visit of X.
void OverlayGraph::RemoveSpikes()
{
    for (RingWalk& walk : m_walks)
    {
        if (!walk.Crossed)
        {
            continue;
        }
        std::int32_t piece = walk.Head;
        std::int32_t unchanged = 0; // pieces passed since the last removal
        std::int32_t length = 1;
        for (std::int32_t p = PieceAt(walk.Head).Next; p != walk.Head; p = PieceAt(p).Next)
        {
            ++length;
        }
        while (length >= 4 && unchanged < length)
        {
            if (IsSpikeAt(piece))
            {
                const std::int32_t tip = PieceAt(piece).Next;
                const std::int32_t back = PieceAt(tip).Next;
                const std::int32_t after = PieceAt(back).Next;
                PieceAt(piece).Next = after;
                PieceAt(after).Prev = piece;
                if (walk.Head == tip || walk.Head == back)
                {
                    walk.Head = piece;
                }
                length -= 2;
                unchanged = 0;
                // Taking the spike out may have made one that ends here.
                piece = PieceAt(piece).Prev;
                continue;
            }
            piece = PieceAt(piece).Next;
            ++unchanged;
        }
    }
}

bool OverlayGraph::IsSpikeAt(std::int32_t piece) const
{
    const Piece& first = PieceAt(piece);
    const Piece& tip = PieceAt(first.Next);
    const Piece& back = PieceAt(tip.Next);
    return first.IsPoint && tip.IsPoint && back.IsPoint && first.Crossing == back.Crossing &&
           tip.Crossing != first.Crossing;
}

// The node becomes a point piece of its own; a node that already is one is returned as it is.
std::int32_t OverlayGraph::CutAtNode(std::int32_t walk, std::int32_t node)
{
    RingWalk& ringWalk = WalkAt(walk);
    const std::int32_t holder = std::prev(ringWalk.NodePieces.upper_bound(node))->second;
    if (PieceAt(holder).IsPoint)
    {
        return holder;
    }
    const std::int32_t first = PieceAt(holder).First;
    const std::int32_t last = PieceAt(holder).Last;
    if (first == node && last == node)
    {
        PieceAt(holder).IsPoint = true;
        return holder;
    }
    const std::int32_t point = NewPiece(walk);
    PieceAt(point).IsPoint = true;
    PieceAt(point).First = node;
    PieceAt(point).Last = node;
    if (first == node)
    {
        // The chain keeps the nodes after the point.
        InsertAfter(PieceAt(holder).Prev, point);
        PieceAt(holder).First = node + 1;
        ringWalk.NodePieces[node] = point;
        ringWalk.NodePieces[node + 1] = holder;
        if (ringWalk.Head == holder)
        {
            ringWalk.Head = point;
        }
        return point;
    }
    PieceAt(holder).Last = node - 1;
    InsertAfter(holder, point);
    ringWalk.NodePieces[node] = point;
    if (node < last)
    {
        const std::int32_t rest = NewPiece(walk);
        PieceAt(rest).First = node + 1;
        PieceAt(rest).Last = last;
        InsertAfter(point, rest);
        ringWalk.NodePieces[node + 1] = rest;
    }
    return point;
}

// A point inside the edge from node edge to node edge + 1: placed after the points already on
// that edge that lie nearer to its start; a point already there is returned.
std::int32_t OverlayGraph::InsertOnEdge(std::int32_t walk, std::int32_t edge, const Cut& cut)
{
    RingWalk& ringWalk = WalkAt(walk);
    std::int32_t current = std::prev(ringWalk.NodePieces.upper_bound(edge))->second;
    if (!PieceAt(current).IsPoint && PieceAt(current).Last > edge)
    {
        const std::int32_t last = PieceAt(current).Last;
        PieceAt(current).Last = edge;
        const std::int32_t rest = NewPiece(walk);
        PieceAt(rest).First = edge + 1;
        PieceAt(rest).Last = last;
        InsertAfter(current, rest);
        ringWalk.NodePieces[edge + 1] = rest;
    }
    for (std::int32_t next = PieceAt(current).Next;; next = PieceAt(next).Next)
    {
        const Piece& candidate = PieceAt(next);
        if (!candidate.IsPoint || candidate.Edge != edge)
        {
            break;
        }
        if (CrossingPointAt(candidate.Crossing).Location == cut.Location)
        {
            return next;
        }
        if (candidate.SquaredDistance > cut.SquaredDistance)
        {
            break;
        }
        current = next;
    }
    const std::int32_t point = NewPiece(walk);
    Piece& inserted = PieceAt(point);
    inserted.IsPoint = true;
    inserted.Edge = edge;
    inserted.SquaredDistance = cut.SquaredDistance;
    InsertAfter(current, point);
    return point;
}

// Two ways out of every point piece, added once all rings are cut, so that each points at the
// piece that finally neighbours it.
void OverlayGraph::AddDirections()
{
    for (const RingWalk& walk : m_walks)
    {
        if (!walk.Crossed)
        {
            continue;
        }
        std::int32_t piece = walk.Head;
        do
        {
            if (PieceAt(piece).IsPoint)
            {
                const Point before = EndPointOf(PieceAt(piece).Prev);
                const Point after = StartPointOf(PieceAt(piece).Next);
                const std::int32_t backward = AddDirection(piece, Way::Backward, before);
                const std::int32_t forward = AddDirection(piece, Way::Forward, after);
                PieceAt(piece).BackwardDirection = backward;
                PieceAt(piece).ForwardDirection = forward;
            }
            piece = PieceAt(piece).Next;
        } while (piece != walk.Head);
    }
}

std::int32_t OverlayGraph::NewPiece(std::int32_t walk)
{
    Piece piece;
    piece.Walk = walk;
    m_pieces.push_back(piece);
    return static_cast<std::int32_t>(m_pieces.size() - 1);
}

void OverlayGraph::InsertAfter(std::int32_t existing, std::int32_t piece) noexcept
{
    const std::int32_t next = PieceAt(existing).Next;
    PieceAt(piece).Prev = existing;
    PieceAt(piece).Next = next;
    PieceAt(existing).Next = piece;
    PieceAt(next).Prev = piece;
}

std::int32_t OverlayGraph::FindOrAddCrossing(const Point& location)
{
    const auto next = static_cast<std::int32_t>(m_crossings.size());
    const std::int32_t crossing = m_crossingTable.FindOrInsert(
        location, next, [this](std::int32_t i) { return CrossingPointAt(i).Location; });
    if (crossing == next)
    {
        m_crossings.push_back(CrossingPoint{location, std::pmr::vector<std::int32_t>(&m_memory)});
        // Two rings crossing leave four ways out.
        m_crossings.back().Directions.reserve(4);
    }
    return crossing;
}

std::int32_t OverlayGraph::FindCrossing(const Point& location) const
{
    return m_crossingTable.Find(location,
                                [this](std::int32_t i) { return CrossingPointAt(i).Location; });
}

// Locations are distinct, so the order is the same whatever the sort. The bounds of all
// crossing points come with it.
void OverlayGraph::SortCrossingsByPosition()
{
    m_crossingsByPosition.clear();
    m_crossingsByPosition.reserve(m_crossings.size());
    for (std::size_t i = 0; i < m_crossings.size(); ++i)
    {
        m_crossingsByPosition.push_back(
            PlacedCrossing{m_crossings[i].Location, static_cast<std::int32_t>(i)});
        m_crossingBounds.Extend(m_crossings[i].Location);
    }
    std::sort(m_crossingsByPosition.begin(), m_crossingsByPosition.end(),
              [](const PlacedCrossing& x, const PlacedCrossing& y)
              { return x.Location < y.Location; });
}

std::int32_t OverlayGraph::AddDirection(std::int32_t piece, Way way, const Point& towards)
{
    const Piece& owner = PieceAt(piece);
    CrossingPoint& crossing = CrossingPointAt(owner.Crossing);
    Direction direction;
    direction.Piece = piece;
    direction.Dx = towards.X - crossing.Location.X;
    direction.Dy = towards.Y - crossing.Location.Y;
    if (direction.Dx == 0.0 && direction.Dy == 0.0)
    {
        direction.Dx = 1.0;
        direction.Dy = 0.0;
    }
    direction.WayOut = way;
    direction.Side = WalkAt(owner.Walk).Side;
    m_directions.push_back(direction);
    const auto index = static_cast<std::int32_t>(m_directions.size() - 1);
    // After the ways out in the same direction, as the insertion order keeps them.
    const auto position =
        std::upper_bound(crossing.Directions.begin(), crossing.Directions.end(), index,
                         [this](std::int32_t added, std::int32_t other)
                         {
                             const Direction& x = DirectionAt(added);
                             const Direction& y = DirectionAt(other);
                             return IsAngleBelow(x.Dx, x.Dy, y.Dx, y.Dy);
                         });
    crossing.Directions.insert(position, index);
    return index;
}

Point OverlayGraph::PointReachedBy(const Direction& direction) const
{
    const Piece& p = PieceAt(direction.Piece);
    return direction.WayOut == Way::Forward ? StartPointOf(p.Next) : EndPointOf(p.Prev);
}

} // namespace Arealis::Detail
