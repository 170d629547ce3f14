#include "OverlayGraph.h"

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

namespace Arealis::Detail
{

namespace
{

// Angle of the vector from c to p in [0, 2 pi). Negative zero differences count as zero, so
// that a way straight to the left gets pi like any other.
double AngleTowards(const Point& c, const Point& p) noexcept
{
    const double angle = std::atan2(p.Y - c.Y, p.X - c.X);
    return angle < 0.0 ? angle + 2.0 * std::numbers::pi : angle;
}

} // namespace

OverlayGraph::OverlayGraph(const Polygon& a, const Polygon& b,
                           const IntersectionList& intersections)
    : m_first(a), m_second(b)
{
    AddWalks(a, Operand::First);
    AddWalks(b, Operand::Second);
    CutWalks(intersections);
    AddDirections();
}

void OverlayGraph::AddWalks(const Polygon& polygon, Operand side)
{
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring* pRing = rings.Current();
        RingWalk walk;
        walk.pRing = pRing;
        walk.Side = side;
        m_walks.push_back(std::move(walk));
        const auto walkIndex = static_cast<std::int32_t>(m_walks.size() - 1);
        if (pRing->Count() == 0)
        {
            continue;
        }
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
    // looked up per operand.
    std::unordered_map<const Ring*, std::int32_t> firstWalks;
    std::unordered_map<const Ring*, std::int32_t> secondWalks;
    for (std::size_t i = 0; i < m_walks.size(); ++i)
    {
        auto& walks = m_walks[i].Side == Operand::First ? firstWalks : secondWalks;
        walks.emplace(m_walks[i].pRing, static_cast<std::int32_t>(i));
    }
    std::vector<std::vector<Cut>> cuts(m_walks.size());
    const auto addCut = [&](const std::unordered_map<const Ring*, std::int32_t>& walks,
                            const LinearEdge& edge, const Point& location)
    {
        const auto found = walks.find(edge.Ring);
        if (found == walks.end())
        {
            return;
        }
        const Point& start = edge.Start()->Position;
        cuts[static_cast<std::size_t>(found->second)].push_back(
            Cut{edge.EdgeNumber(), SquaredDistance(start, location), location});
    };
    for (const EdgeIntersection& entry : intersections)
    {
        addCut(firstWalks, entry.FirstEdge, entry.Location);
        addCut(secondWalks, entry.SecondEdge, entry.Location);
    }
    for (std::size_t i = 0; i < m_walks.size(); ++i)
    {
        CutWalk(static_cast<std::int32_t>(i), cuts[i]);
    }
}

void OverlayGraph::CutWalk(std::int32_t walk, std::vector<Cut>& cuts)
{
    std::stable_sort(cuts.begin(), cuts.end(),
                     [](const Cut& x, const Cut& y) {
                         return x.Edge < y.Edge ||
                                (x.Edge == y.Edge && x.SquaredDistance < y.SquaredDistance);
                     });
    const Ring& ring = *m_walks[static_cast<std::size_t>(walk)].pRing;
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
        if (m_pieces[static_cast<std::size_t>(piece)].Crossing < 0)
        {
            m_pieces[static_cast<std::size_t>(piece)].Crossing = CrossingAt(cut.Location);
        }
        m_walks[static_cast<std::size_t>(walk)].Crossed = true;
    }
}

// The node becomes a point piece of its own; a node that already is one is returned as it is.
std::int32_t OverlayGraph::CutAtNode(std::int32_t walk, std::int32_t node)
{
    RingWalk& ringWalk = m_walks[static_cast<std::size_t>(walk)];
    const std::int32_t holder = std::prev(ringWalk.NodePieces.upper_bound(node))->second;
    if (m_pieces[static_cast<std::size_t>(holder)].IsPoint)
    {
        return holder;
    }
    const std::int32_t first = m_pieces[static_cast<std::size_t>(holder)].First;
    const std::int32_t last = m_pieces[static_cast<std::size_t>(holder)].Last;
    if (first == node && last == node)
    {
        m_pieces[static_cast<std::size_t>(holder)].IsPoint = true;
        return holder;
    }
    const std::int32_t point = NewPiece(walk);
    m_pieces[static_cast<std::size_t>(point)].IsPoint = true;
    m_pieces[static_cast<std::size_t>(point)].First = node;
    m_pieces[static_cast<std::size_t>(point)].Last = node;
    if (first == node)
    {
        // The chain keeps the nodes after the point.
        InsertAfter(m_pieces[static_cast<std::size_t>(holder)].Prev, point);
        m_pieces[static_cast<std::size_t>(holder)].First = node + 1;
        ringWalk.NodePieces[node] = point;
        ringWalk.NodePieces[node + 1] = holder;
        if (ringWalk.Head == holder)
        {
            ringWalk.Head = point;
        }
        return point;
    }
    m_pieces[static_cast<std::size_t>(holder)].Last = node - 1;
    InsertAfter(holder, point);
    ringWalk.NodePieces[node] = point;
    if (node < last)
    {
        const std::int32_t rest = NewPiece(walk);
        m_pieces[static_cast<std::size_t>(rest)].First = node + 1;
        m_pieces[static_cast<std::size_t>(rest)].Last = last;
        InsertAfter(point, rest);
        ringWalk.NodePieces[node + 1] = rest;
    }
    return point;
}

// A point inside the edge from node edge to node edge + 1: placed after the points already on
// that edge that lie nearer to its start; a point already there is returned.
std::int32_t OverlayGraph::InsertOnEdge(std::int32_t walk, std::int32_t edge, const Cut& cut)
{
    RingWalk& ringWalk = m_walks[static_cast<std::size_t>(walk)];
    std::int32_t current = std::prev(ringWalk.NodePieces.upper_bound(edge))->second;
    Piece& holder = m_pieces[static_cast<std::size_t>(current)];
    if (!holder.IsPoint && holder.Last > edge)
    {
        const std::int32_t last = holder.Last;
        holder.Last = edge;
        const std::int32_t rest = NewPiece(walk);
        m_pieces[static_cast<std::size_t>(rest)].First = edge + 1;
        m_pieces[static_cast<std::size_t>(rest)].Last = last;
        InsertAfter(current, rest);
        ringWalk.NodePieces[edge + 1] = rest;
    }
    for (std::int32_t next = m_pieces[static_cast<std::size_t>(current)].Next;;
         next = m_pieces[static_cast<std::size_t>(next)].Next)
    {
        const Piece& candidate = m_pieces[static_cast<std::size_t>(next)];
        if (!candidate.IsPoint || candidate.Edge != edge)
        {
            break;
        }
        if (m_crossings[static_cast<std::size_t>(candidate.Crossing)].Location == cut.Location)
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
    Piece& inserted = m_pieces[static_cast<std::size_t>(point)];
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
            if (m_pieces[static_cast<std::size_t>(piece)].IsPoint)
            {
                const Point before = EndPointOf(m_pieces[static_cast<std::size_t>(piece)].Prev);
                const Point after = StartPointOf(m_pieces[static_cast<std::size_t>(piece)].Next);
                const std::int32_t backward = AddDirection(piece, Way::Backward, before);
                const std::int32_t forward = AddDirection(piece, Way::Forward, after);
                m_pieces[static_cast<std::size_t>(piece)].BackwardDirection = backward;
                m_pieces[static_cast<std::size_t>(piece)].ForwardDirection = forward;
            }
            piece = m_pieces[static_cast<std::size_t>(piece)].Next;
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
    const std::int32_t next = m_pieces[static_cast<std::size_t>(existing)].Next;
    m_pieces[static_cast<std::size_t>(piece)].Prev = existing;
    m_pieces[static_cast<std::size_t>(piece)].Next = next;
    m_pieces[static_cast<std::size_t>(existing)].Next = piece;
    m_pieces[static_cast<std::size_t>(next)].Prev = piece;
}

std::int32_t OverlayGraph::CrossingAt(const Point& location)
{
    const auto [it, inserted] =
        m_crossingIndex.emplace(location, static_cast<std::int32_t>(m_crossings.size()));
    if (inserted)
    {
        m_crossings.push_back(CrossingPoint{location, {}});
    }
    return it->second;
}

std::int32_t OverlayGraph::AddDirection(std::int32_t piece, Way way, const Point& towards)
{
    const Piece& owner = m_pieces[static_cast<std::size_t>(piece)];
    CrossingPoint& crossing = m_crossings[static_cast<std::size_t>(owner.Crossing)];
    Direction direction;
    direction.Piece = piece;
    direction.Angle = AngleTowards(crossing.Location, towards);
    direction.WayOut = way;
    direction.Side = m_walks[static_cast<std::size_t>(owner.Walk)].Side;
    m_directions.push_back(direction);
    const auto index = static_cast<std::int32_t>(m_directions.size() - 1);
    const auto position =
        std::upper_bound(crossing.Directions.begin(), crossing.Directions.end(), direction.Angle,
                         [this](double angle, std::int32_t other)
                         { return angle < m_directions[static_cast<std::size_t>(other)].Angle; });
    crossing.Directions.insert(position, index);
    return index;
}

Point OverlayGraph::StartPointOf(std::int32_t piece) const
{
    const Piece& p = m_pieces[static_cast<std::size_t>(piece)];
    if (p.IsPoint)
    {
        return m_crossings[static_cast<std::size_t>(p.Crossing)].Location;
    }
    return m_walks[static_cast<std::size_t>(p.Walk)].pRing->GetNode(p.First)->Position;
}

Point OverlayGraph::EndPointOf(std::int32_t piece) const
{
    const Piece& p = m_pieces[static_cast<std::size_t>(piece)];
    if (p.IsPoint)
    {
        return m_crossings[static_cast<std::size_t>(p.Crossing)].Location;
    }
    return m_walks[static_cast<std::size_t>(p.Walk)].pRing->GetNode(p.Last)->Position;
}

Point OverlayGraph::PointReachedBy(const Direction& direction) const
{
    const Piece& p = m_pieces[static_cast<std::size_t>(direction.Piece)];
    return direction.WayOut == Way::Forward ? StartPointOf(p.Next) : EndPointOf(p.Prev);
}

} // namespace Arealis::Detail
