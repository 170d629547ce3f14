#include "overlay/ResultRings.h"

#include "Arealis/Geometry.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "model/AddByPositions.h"
#include "support/DisjointSets.h"
#include "support/PositionHash.h"
#include "support/PositionTable.h"
#include "validation/RingWidth.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Arealis::Detail
{

namespace
{

struct PositionHasher
{
    std::size_t operator()(const Point& position) const noexcept
    {
        return static_cast<std::size_t>(HashOfPosition(position));
    }
};

Point ResultPosition(const TracedVertex& vertex) noexcept
{
    return vertex.pNode != nullptr ? vertex.pNode->Position : SnapToNodeGrid(vertex.Location);
}

// Adds the vertices from..end as a ring; fewer than three (a spike walked out and back)
// bound nothing.
void AddLoop(const std::vector<TracedVertex>& vertices, std::size_t from, Polygon& result)
{
    if (vertices.size() - from < 3)
    {
        return;
    }
    Ring* pRing = result.CreateRing();
    pRing->ReserveNodes(static_cast<std::int32_t>(vertices.size() - from));
    // A ring of a layer whose vertices all come from other topologies gets them by position.
    const std::span<const TracedVertex> loop(vertices.data() + from, vertices.size() - from);
    if (!AddByPositions(
            loop, [](const TracedVertex& vertex) { return vertex.pNode; },
            [](const TracedVertex& vertex)
            { return vertex.pNode != nullptr ? vertex.pNode->Position : vertex.Location; },
            *pRing))
    {
        for (std::size_t i = from; i < vertices.size(); ++i)
        {
            const TracedVertex& vertex = vertices[i];
            if (vertex.pNode != nullptr)
            {
                pRing->AdoptNode(vertex.pNode);
            }
            else
            {
                pRing->AddNode(vertex.Location.X, vertex.Location.Y);
            }
        }
    }
    // A sliver thinner than the node grid (crossing points on two nearly coinciding edges
    // rounded next to each other) bounds no area the grid can hold; kept, it would make the
    // result invalid.
    if (IsThinnerThanNodeGrid(*pRing, pRing->GetSignedArea()))
    {
        result.RemoveRing(pRing);
    }
}

// The operand ring of a given-up operand as a ring of the result, under the rules of AddLoop:
// a free result takes its node records over, as a copy would hold them.
void AddWholeRing(const Ring& whole, Polygon& result)
{
    if (whole.Count() < 3)
    {
        return;
    }
    Ring* pRing = result.CreateRing();
    // The caller gave the operand up: its rings are no longer read by anyone.
    pRing->MoveNodesFrom(const_cast<Ring&>(whole));
    if (IsThinnerThanNodeGrid(*pRing, pRing->GetSignedArea()))
    {
        result.RemoveRing(pRing);
    }
}

// Whether two vertices of the ring stand at the same place (in the result's coordinates).
bool HasRepeatedPosition(const TracedRing& traced)
{
    // Most result rings are small pieces: compared pairwise on the stack, without a table.
    constexpr std::size_t SmallRing = 32;
    const std::size_t n = traced.Vertices.size();
    if (n <= SmallRing)
    {
        std::array<Point, SmallRing> small;
        for (std::size_t i = 0; i < n; ++i)
        {
            small[i] = ResultPosition(traced.Vertices[i]);
            for (std::size_t j = 0; j < i; ++j)
            {
                if (small[j] == small[i])
                {
                    return true;
                }
            }
        }
        return false;
    }
    std::vector<Point> positions;
    positions.reserve(n);
    for (const TracedVertex& vertex : traced.Vertices)
    {
        positions.push_back(ResultPosition(vertex));
    }
    PositionTable seen;
    seen.Reserve(n);
    const auto positionOf = [&positions](std::int32_t index)
    { return positions[static_cast<std::size_t>(index)]; };
    for (std::size_t i = 0; i < n; ++i)
    {
        const auto index = static_cast<std::int32_t>(i);
        if (seen.FindOrInsert(positions[i], index, positionOf) != index)
        {
            return true;
        }
    }
    return false;
}

void AddSplitRing(const TracedRing& traced, Polygon& result, GivenUpOperands givenUp = {})
{
    // A ring of an overlay result passes no position twice: taken whole, it needs no split.
    if (traced.pWhole != nullptr && (traced.WholeOfFirst ? givenUp.First : givenUp.Second))
    {
        AddWholeRing(*traced.pWhole, result);
        return;
    }
    // Most rings pass no vertex twice: they are taken as they are (when closed), without the
    // bookkeeping of the split below, which would come to the same.
    if (!HasRepeatedPosition(traced))
    {
        if (traced.Closed)
        {
            AddLoop(traced.Vertices, 0, result);
        }
        return;
    }
    std::vector<TracedVertex> vertices;
    std::vector<Point> positions;
    // Looked up, added and erased by position only, never walked in order: a hash table
    // (long rings of a chain of subtractions come here with many thousand vertices).
    std::unordered_map<Point, std::size_t, PositionHasher> seen;
    vertices.reserve(traced.Vertices.size());
    positions.reserve(traced.Vertices.size());
    seen.reserve(traced.Vertices.size());
    for (const TracedVertex& vertex : traced.Vertices)
    {
        const Point position = ResultPosition(vertex);
        const auto found = seen.find(position);
        if (found == seen.end())
        {
            seen.emplace(position, vertices.size());
            vertices.push_back(vertex);
            positions.push_back(position);
            continue;
        }
        // The ring comes back to a vertex it passed: the stretch since then is a loop of its
        // own, and the ring goes on from the first visit.
        const std::size_t first = found->second;
        AddLoop(vertices, first, result);
        for (std::size_t i = first + 1; i < positions.size(); ++i)
        {
            seen.erase(positions[i]);
        }
        vertices.resize(first + 1);
        positions.resize(first + 1);
    }
    if (traced.Closed)
    {
        AddLoop(vertices, 0, result);
    }
}

// --- Pieces of the area ---------------------------------------------------------------------

// One vertex of a result ring, which also stands for the edge that leaves it.
struct RingVertex
{
    const Node* pNode;
    std::int32_t Ring;
    std::int32_t Next; // the ring's next vertex
    std::int32_t Prev; // the ring's vertex before
};

// 0 for directions up to half a turn counter-clockwise from reference (half a turn included),
// 1 for the rest of the turn (the reference's own direction last).
int HalfTurn(const Point& reference, const Point& d) noexcept
{
    const double cross = reference.X * d.Y - reference.Y * d.X;
    if (cross != 0.0)
    {
        return cross > 0.0 ? 0 : 1;
    }
    return reference.X * d.X + reference.Y * d.Y < 0.0 ? 0 : 1;
}

// Whether a comes before b turning counter-clockwise from reference.
bool TurnsEarlier(const Point& reference, const Point& a, const Point& b) noexcept
{
    const int halfA = HalfTurn(reference, a);
    const int halfB = HalfTurn(reference, b);
    if (halfA != halfB)
    {
        return halfA < halfB;
    }
    return a.X * b.Y - a.Y * b.X > 0.0;
}

class PieceOutlines
{
public:
    explicit PieceOutlines(Polygon& result) : m_result(result) {}

    void Run()
    {
        if (!Collect() || !HasClosedLoop())
        {
            return;
        }
        std::vector<TracedRing> outlines;
        if (!TraceOutlines(outlines))
        {
            return; // a boundary that does not bound area on one side only: left as it is
        }
        for (const TracedRing& outline : outlines)
        {
            AddSplitRing(outline, m_result);
        }
        for (Ring* pRing : m_rings)
        {
            m_result.RemoveRing(pRing);
        }
    }

private:
    // The rings and their vertices; false when there is no hole. Most results are a single
    // ring: for them nothing is measured.
    bool Collect()
    {
        if (m_result.GetRingCount() < 2)
        {
            return false;
        }
        std::size_t total = 0;
        RingEnumerator rings = m_result.GetRings();
        while (rings.MoveNext())
        {
            m_rings.push_back(rings.Current());
            total += static_cast<std::size_t>(rings.Current()->Count());
        }
        if (std::none_of(m_rings.begin(), m_rings.end(),
                         [](const Ring* pRing) { return pRing->GetSignedArea() <= 0.0; }))
        {
            return false;
        }
        m_vertices.reserve(total);
        for (std::size_t r = 0; r < m_rings.size(); ++r)
        {
            const Ring& ring = *m_rings[r];
            const auto base = static_cast<std::int32_t>(m_vertices.size());
            const std::int32_t n = ring.Count();
            for (std::int32_t i = 0; i < n; ++i)
            {
                m_vertices.push_back(RingVertex{ring.GetNode(i), static_cast<std::int32_t>(r),
                                                base + (i + 1) % n, base + (i + n - 1) % n});
            }
        }
        return true;
    }

    const Point& PositionOf(std::int32_t vertex) const
    {
        return m_vertices[static_cast<std::size_t>(vertex)].pNode->Position;
    }

    // Links the vertices at one position in a circle (m_samePlace) and tells whether the rings
    // and the points where they touch form a loop: a ring that reaches a point from which it
    // can already be reached through other rings and points.
    bool HasClosedLoop()
    {
        const std::size_t n = m_vertices.size();
        m_samePlace.resize(n);
        std::iota(m_samePlace.begin(), m_samePlace.end(), 0);
        PositionTable table;
        table.Reserve(n);
        const auto positionOf = [this](std::int32_t index) { return PositionOf(index); };
        // Rings first, then one entry per vertex for the point it stands at.
        const auto ringCount = static_cast<std::int32_t>(m_rings.size());
        // Rings and touching points: touching rings that join one set twice close a loop.
        DisjointSets<std::int32_t> sets(m_rings.size() + n);
        bool loop = false;
        for (std::size_t i = 0; i < n; ++i)
        {
            const auto k = static_cast<std::int32_t>(i);
            const std::int32_t first = table.FindOrInsert(PositionOf(k), k, positionOf);
            if (first == k)
            {
                continue;
            }
            std::int32_t& after = m_samePlace[static_cast<std::size_t>(first)];
            if (after == first)
            {
                sets.Join(m_vertices[static_cast<std::size_t>(first)].Ring, ringCount + first);
            }
            m_samePlace[i] = after;
            after = k;
            loop = !sets.Join(m_vertices[i].Ring, ringCount + first) || loop;
        }
        return loop;
    }

    // The edge by which an outline goes on after arriving at vertex: of the edges that leave
    // its position, the first counter-clockwise from the arrival edge. The area lies to the
    // right of every edge, so that edge bounds the same piece near the point.
    std::int32_t EdgeAfter(std::int32_t vertex) const
    {
        const std::int32_t next = m_samePlace[static_cast<std::size_t>(vertex)];
        if (next == vertex)
        {
            return vertex;
        }
        const Point& at = PositionOf(vertex);
        const auto direction = [&](std::int32_t to) {
            return Point{PositionOf(to).X - at.X, PositionOf(to).Y - at.Y};
        };
        const Point back = direction(m_vertices[static_cast<std::size_t>(vertex)].Prev);
        std::int32_t best = vertex;
        Point bestDirection = direction(m_vertices[static_cast<std::size_t>(vertex)].Next);
        for (std::int32_t other = next; other != vertex;
             other = m_samePlace[static_cast<std::size_t>(other)])
        {
            const Point d = direction(m_vertices[static_cast<std::size_t>(other)].Next);
            if (TurnsEarlier(back, d, bestDirection))
            {
                best = other;
                bestDirection = d;
            }
        }
        return best;
    }

    // Every edge is taken by one outline; false when an outline runs into an edge that another
    // one took (edges on top of one another, which bound no area).
    bool TraceOutlines(std::vector<TracedRing>& outlines) const
    {
        std::vector<bool> taken(m_vertices.size(), false);
        for (std::size_t start = 0; start < m_vertices.size(); ++start)
        {
            if (taken[start])
            {
                continue;
            }
            TracedRing& outline = outlines.emplace_back();
            auto edge = static_cast<std::int32_t>(start);
            do
            {
                if (taken[static_cast<std::size_t>(edge)])
                {
                    return false;
                }
                taken[static_cast<std::size_t>(edge)] = true;
                const RingVertex& vertex = m_vertices[static_cast<std::size_t>(edge)];
                outline.Vertices.push_back(TracedVertex{vertex.pNode, vertex.pNode->Position});
                edge = EdgeAfter(vertex.Next);
            } while (edge != static_cast<std::int32_t>(start));
        }
        return true;
    }

    Polygon& m_result;
    std::vector<Ring*> m_rings;
    std::vector<RingVertex> m_vertices;
    std::vector<std::int32_t> m_samePlace;
};

} // namespace

void SeparateTouchingParts(Polygon& result)
{
    PieceOutlines(result).Run();
}

void AddResultRings(const TracedRings& rings, Polygon& result, GivenUpOperands givenUp)
{
    for (const TracedRing& traced : rings)
    {
        AddSplitRing(traced, result, givenUp);
    }
}

} // namespace Arealis::Detail
