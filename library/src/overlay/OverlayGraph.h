#pragma once

#include "Arealis/Node.h"
#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "overlay/OperandContainment.h"
#include "support/PositionTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory_resource>
#include <span>
#include <vector>

namespace Arealis
{
class Polygon;
} // namespace Arealis

namespace Arealis::Detail
{

enum class OverlayOperation
{
    Union,
    Intersection,
    FirstMinusSecond,
    SecondMinusFirst
};

// One vertex of a traced result ring: an operand's node, or a crossing point that is not a
// node of either operand (pNode null).
struct TracedVertex
{
    const Node* pNode = nullptr;
    Point Location;
};

// A traced result ring. A trace that does not come back to its first vertex (it ran into
// boundary that another ring has already taken along a stretch both operands share) is open:
// only the loops it closes on the way are rings.
struct TracedRing
{
    std::vector<TracedVertex> Vertices;
    bool Closed = true;
    // The operand ring that this one repeats node for node (a ring no other ring crosses,
    // taken in its own order), and whether it is of the first operand; null for a ring traced
    // through crossing points.
    const Ring* pWhole = nullptr;
    bool WholeOfFirst = false;
};

// The rings of one trace. The ring records outlive the trace, so that the next trace (of the
// same graph or of the next pair of polygons) refills their vertex arrays instead of
// allocating new ones; only the first Count() rings belong to the latest trace.
class TracedRings
{
public:
    // Forgets the rings of the last trace. What a large trace needed beyond the room kept for
    // the usual small ones (long vertex arrays, many ring records) is given back.
    void Clear() noexcept
    {
        constexpr std::size_t KeptVertices = 1024;
        constexpr std::size_t KeptRings = 256;
        for (std::size_t i = 0; i < m_count; ++i)
        {
            if (m_rings[i].Vertices.capacity() > KeptVertices)
            {
                std::vector<TracedVertex>().swap(m_rings[i].Vertices);
            }
        }
        if (m_rings.size() > KeptRings)
        {
            std::vector<TracedRing>().swap(m_rings);
        }
        m_count = 0;
    }

    // An empty closed ring after the ones already added.
    TracedRing& Add()
    {
        if (m_count == m_rings.size())
        {
            m_rings.emplace_back();
        }
        TracedRing& ring = m_rings[m_count++];
        ring.Vertices.clear();
        ring.Closed = true;
        ring.pWhole = nullptr;
        return ring;
    }

    std::size_t Count() const noexcept { return m_count; }
    const TracedRing* begin() const noexcept { return m_rings.data(); }
    const TracedRing* end() const noexcept { return m_rings.data() + m_count; }

private:
    std::vector<TracedRing> m_rings;
    std::size_t m_count = 0;
};

// The boundaries of two polygons cut at the points where they meet. Every ring of both
// operands becomes a circular walk of pieces: chains of consecutive ring nodes and point pieces
// where the ring passes a crossing point. Each crossing point keeps the directions in which the
// rings leave it, sorted by angle; a result ring is traced by following pieces and choosing, at
// each crossing point, the direction that keeps the result's side of both operands.
class OverlayGraph
{
public:
    // The rings of both operands, not cut yet: CutRings completes the graph.
    OverlayGraph(const Polygon& a, const Polygon& b);
    // Cuts the rings of both operands at the points of the intersection list (entries name an
    // edge of a first, then an edge of b). Once only.
    void CutRings(const IntersectionList& intersections);

    // The bounds of the operands' rings, as Polygon::GetBounds gives them, taken while the
    // rings were read.
    const Rectangle& FirstBounds() const noexcept { return m_firstBounds; }
    const Rectangle& SecondBounds() const noexcept { return m_secondBounds; }
    // The working structures point into the graph's own memory: it stays where it is made.
    OverlayGraph(const OverlayGraph&) = delete;
    OverlayGraph& operator=(const OverlayGraph&) = delete;

    // The rings bounding the result of the operation, in place of those rings holds. Clears the
    // visited marks first, so that several operations can be traced from one graph.
    void Trace(OverlayOperation operation, TracedRings& rings);

    // Corner test: whether q lies inside the angle a-c-b of a ring (1), outside it (0), or
    // equals a (2) or b (3) exactly.
    static int TestCorner(const Point& a, const Point& c, const Point& b, const Point& q) noexcept;

private:
    enum class Operand : std::uint8_t
    {
        Second = 0,
        First = 1
    };
    // Forward follows the ring's node order, Backward runs against it.
    enum class Way : std::uint8_t
    {
        Forward = 0,
        Backward = 1
    };

    // A way out of a crossing point along one ring.
    struct Direction
    {
        std::int32_t Piece = -1; // the point piece at the crossing point
        // The way out as a vector from the crossing point (a zero vector counts as (1, 0)):
        // ways out are ordered by its angle in [0, 2 pi), compared exactly.
        double Dx = 1.0;
        double Dy = 0.0;
        Way WayOut = Way::Forward;
        Operand Side = Operand::First;
        // TestOtherCorner's answers for the way out, downwards and upwards in angle order,
        // once asked (UnknownCorner before): they depend on the graph alone, and every
        // operation traced from it asks for the same ones again and again.
        std::int8_t CornerBelow = UnknownCorner;
        std::int8_t CornerAbove = UnknownCorner;
    };
    static constexpr std::int8_t UnknownCorner = -1;

    struct CrossingPoint
    {
        Point Location;
        std::pmr::vector<std::int32_t> Directions; // ascending angle; equal angles by insertion
    };

    struct Piece
    {
        bool IsPoint = false;
        std::int32_t Walk = -1;
        // A chain covers the ring nodes First .. Last; a point piece standing for a ring node
        // has First == Last == that node, otherwise both are -1.
        std::int32_t First = -1;
        std::int32_t Last = -1;
        // Point pieces inserted inside an edge: the edge's number and the squared distance from
        // its start node, which orders several points on one edge.
        std::int32_t Edge = -1;
        double SquaredDistance = 0.0;
        std::int32_t Crossing = -1;
        std::int32_t BackwardDirection = -1;
        std::int32_t ForwardDirection = -1;
        std::int32_t Prev = -1;
        std::int32_t Next = -1;
        bool Visited = false;
    };

    struct RingWalk
    {
        const Ring* pRing = nullptr;
        Operand Side = Operand::First;
        bool Crossed = false;
        std::int32_t Head = -1; // the piece holding node 0
        // First node index of every piece that holds ring nodes.
        std::pmr::map<std::int32_t, std::int32_t> NodePieces;
        // The ring's bounds (empty for a ring without nodes), taken once for the operand's
        // bounds and both scans for crossing points on the ring.
        Rectangle Bounds;
    };

    struct Cut
    {
        std::int32_t Edge = 0;
        double SquaredDistance = 0.0;
        Point Location;
    };

    // --- Building ---------------------------------------------------------------------------

    void AddWalks(const Polygon& polygon, Operand side, Rectangle& bounds);
    void CutWalks(const IntersectionList& intersections);
    void CutWalk(std::int32_t walk, std::span<Cut> cuts);
    void CutWalksAtCrossingNodes();
    void CutWalksAtCrossingsInsideEdges();
    // The edges of a ring with an edge index whose boxes meet the crossings' bounds, in the
    // ring's order; false for a ring searched by a scan of its edges.
    bool EdgesNearCrossings(const Ring& ring, std::pmr::vector<std::int32_t>& edges) const;
    void RemoveSpikes();
    bool IsSpikeAt(std::int32_t piece) const;
    std::int32_t CutAtNode(std::int32_t walk, std::int32_t node);
    std::int32_t InsertOnEdge(std::int32_t walk, std::int32_t edge, const Cut& cut);
    void AddDirections();
    std::int32_t NewPiece(std::int32_t walk);
    void InsertAfter(std::int32_t existing, std::int32_t piece) noexcept;
    std::int32_t FindOrAddCrossing(const Point& location);
    std::int32_t FindCrossing(const Point& location) const;
    void SortCrossingsByPosition();
    std::int32_t AddDirection(std::int32_t piece, Way way, const Point& towards);

    // --- Access by index ---------------------------------------------------------------------

    Piece& PieceAt(std::int32_t i) { return m_pieces[static_cast<std::size_t>(i)]; }
    const Piece& PieceAt(std::int32_t i) const { return m_pieces[static_cast<std::size_t>(i)]; }
    const Direction& DirectionAt(std::int32_t i) const
    {
        return m_directions[static_cast<std::size_t>(i)];
    }
    CrossingPoint& CrossingPointAt(std::int32_t i)
    {
        return m_crossings[static_cast<std::size_t>(i)];
    }
    const CrossingPoint& CrossingPointAt(std::int32_t i) const
    {
        return m_crossings[static_cast<std::size_t>(i)];
    }
    RingWalk& WalkAt(std::int32_t i) { return m_walks[static_cast<std::size_t>(i)]; }
    const RingWalk& WalkAt(std::int32_t i) const { return m_walks[static_cast<std::size_t>(i)]; }

    // --- Geometry of the pieces -----------------------------------------------------------

    // Inline: the tracing asks for them at every corner test.
    Point StartPointOf(std::int32_t piece) const
    {
        const Piece& p = PieceAt(piece);
        return p.IsPoint ? CrossingPointAt(p.Crossing).Location
                         : WalkAt(p.Walk).pRing->GetNode(p.First)->Position;
    }
    Point EndPointOf(std::int32_t piece) const
    {
        const Piece& p = PieceAt(piece);
        return p.IsPoint ? CrossingPointAt(p.Crossing).Location
                         : WalkAt(p.Walk).pRing->GetNode(p.Last)->Position;
    }
    Point PointReachedBy(const Direction& direction) const;

    // --- Tracing ----------------------------------------------------------------------------

    std::int32_t ChooseWayOn(std::int32_t arrival, bool continuing, OverlayOperation operation);
    // Inline: asked for every way out that a scan of a crossing point passes.
    static bool IsEligible(const Direction& direction, OverlayOperation operation) noexcept
    {
        const bool forward = direction.WayOut == Way::Forward;
        const bool fromFirst = direction.Side == Operand::First;
        switch (operation)
        {
        case OverlayOperation::Union:
        case OverlayOperation::Intersection:
            return forward;
        case OverlayOperation::FirstMinusSecond:
            return fromFirst == forward;
        case OverlayOperation::SecondMinusFirst:
            return fromFirst != forward;
        }
        return false;
    }
    bool IsAccepted(std::int32_t crossing, std::size_t position, OverlayOperation operation);
    int TestOtherCorner(std::int32_t crossing, std::size_t position, bool upwards,
                        const Point& q) const;
    void TraceRing(std::int32_t start, OverlayOperation operation, TracedRing& ring);
    void AppendPiece(std::int32_t piece, Way way, std::vector<TracedVertex>& vertices) const;
    Point EntryPointOf(std::int32_t piece, Way way) const;
    void AppendUncrossedWalk(const RingWalk& walk, OverlayOperation operation,
                             const OperandContainment& other, TracedRings& rings) const;
    // Where the uncrossed rings of one side are located: the other operand's rings.
    OperandContainment ContainmentOf(Operand side) const;

    const Polygon& m_first;
    const Polygon& m_second;
    // All working structures of one overlay take their memory from here and give it back at
    // once when the graph goes: most overlays are small and then need no heap allocation.
    std::array<std::byte, 8192> m_initialMemory;
    std::pmr::monotonic_buffer_resource m_memory{m_initialMemory.data(), m_initialMemory.size()};
    std::pmr::vector<RingWalk> m_walks{&m_memory};
    std::pmr::vector<Piece> m_pieces{&m_memory};
    std::pmr::vector<Direction> m_directions{&m_memory};
    std::pmr::vector<CrossingPoint> m_crossings{&m_memory};
    // Crossing points by location, and (once all are found) their indices in the order of
    // their locations, for the scans along edges.
    struct PlacedCrossing
    {
        Point Location;
        std::int32_t Crossing = -1;
    };
    PositionTable m_crossingTable{&m_memory};
    std::pmr::vector<PlacedCrossing> m_crossingsByPosition{&m_memory};
    Rectangle m_crossingBounds;
    Rectangle m_firstBounds;
    Rectangle m_secondBounds;
};

} // namespace Arealis::Detail
