#include "validation/ApartPolygons.h"

#include "Arealis/Geometry.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Precision.h"
#include "Arealis/Rectangle.h"
#include "validation/RingEdgeGrid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory_resource>
#include <vector>

namespace Arealis::Detail
{

namespace
{

// Larger polygons go to the overlay, whose edge indexes beat the pairwise looks made here.
constexpr std::int32_t MaxNodes = 256;

// The relative error bound of the turn value below (three roundings of products and a
// difference, half an ulp each), doubled to spare any doubt.
constexpr double TurnErrorBound = 2.0 * (3.0 + 8.0 * std::numeric_limits<double>::epsilon()) *
                                  (0.5 * std::numeric_limits<double>::epsilon());

struct Edge
{
    const Node* From;
    const Node* To;
    Rectangle Bounds;
    bool Shared = false;
};

// One polygon's only ring: its edges that come near the other polygon, and on which side of
// them its interior lies.
struct RingNear
{
    explicit RingNear(std::pmr::memory_resource* pResource) : Edges(pResource) {}

    const Ring* pRing = nullptr;
    std::pmr::vector<Edge> Edges;
    bool Clockwise = false; // the interior lies right of each edge
};

// The sign of the turn a -> b -> c; zero when rounding leaves it in doubt.
int TurnSign(const Point& a, const Point& b, const Point& c) noexcept
{
    const double left = (b.X - a.X) * (c.Y - a.Y);
    const double right = (b.Y - a.Y) * (c.X - a.X);
    const double turn = left - right;
    const double bound = TurnErrorBound * (std::abs(left) + std::abs(right));
    return turn > bound ? 1 : (turn < -bound ? -1 : 0);
}

const Ring* OnlyRing(const Polygon& polygon)
{
    RingEnumerator rings = polygon.GetRings();
    if (!rings.MoveNext())
    {
        return nullptr;
    }
    const Ring* ring = rings.Current();
    return rings.MoveNext() ? nullptr : ring;
}

// The ring's edges whose bounds meet the window; false when the polygon is not one ring
// of a few distinct nodes with area.
bool GatherNear(const Polygon& polygon, const Rectangle& window, RingNear& near,
                std::pmr::memory_resource* pResource)
{
    near.pRing = OnlyRing(polygon);
    if (near.pRing == nullptr || near.pRing->Count() < 3 || near.pRing->Count() > MaxNodes)
    {
        return false;
    }
    const std::span<Node* const> nodes = near.pRing->GetNodes();
    const double area = SignedArea(nodes);
    if (area == 0.0)
    {
        return false;
    }
    near.Clockwise = area > 0.0;
    std::pmr::vector<const Node*> starts(pResource);
    for (std::size_t i = 0; i < nodes.size(); ++i)
    {
        const Node* from = nodes[i];
        const Node* to = nodes[i + 1 < nodes.size() ? i + 1 : 0];
        const Rectangle bounds(from->Position, to->Position);
        if (bounds.Intersects(window))
        {
            near.Edges.push_back(Edge{from, to, bounds});
            starts.push_back(from);
        }
    }
    // A node met twice (a ring touching itself) leaves the sides of its edges in doubt.
    std::sort(starts.begin(), starts.end());
    return std::adjacent_find(starts.begin(), starts.end()) == starts.end();
}

bool Touches(const Edge& e, const Node* pNode) noexcept
{
    return e.From == pNode || e.To == pNode;
}

// Every vertex in the window keeps more than margin away from every edge of either ring that
// does not end at it, and every edge there is longer than margin: the overlay neither snaps a
// vertex to an edge nor merges two vertices there.
bool VerticesClear(const std::array<const RingNear*, 2>& rings, const Rectangle& window,
                   double margin)
{
    const double margin2 = margin * margin;
    for (const RingNear* ring : rings)
    {
        for (const Edge& e : ring->Edges)
        {
            const Point& p = e.From->Position;
            const Point& q = e.To->Position;
            const double dx = q.X - p.X;
            const double dy = q.Y - p.Y;
            if (dx * dx + dy * dy <= margin2)
            {
                return false;
            }
            if (!window.Contains(p))
            {
                continue;
            }
            for (const RingNear* other : rings)
            {
                for (const Edge& f : other->Edges)
                {
                    const Rectangle& b = f.Bounds;
                    const bool farAside = b.MinX - p.X > margin || p.X - b.MaxX > margin ||
                                          b.MinY - p.Y > margin || p.Y - b.MaxY > margin;
                    if (!farAside && !Touches(f, e.From) &&
                        SquaredDistanceToSegment(p, f.From->Position, f.To->Position) <= margin2)
                    {
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

// Whether e and f, which share no node, surely do not cross; with their ends clear of each
// other, only a proper crossing is left to look for.
bool SurelyNotCrossing(const Edge& e, const Edge& f) noexcept
{
    if (!e.Bounds.Intersects(f.Bounds))
    {
        return true;
    }
    const Point& a = e.From->Position;
    const Point& b = e.To->Position;
    const Point& c = f.From->Position;
    const Point& d = f.To->Position;
    const int s1 = TurnSign(a, b, c);
    const int s2 = TurnSign(a, b, d);
    const int s3 = TurnSign(c, d, a);
    const int s4 = TurnSign(c, d, b);
    if (s1 == 0 || s2 == 0 || s3 == 0 || s4 == 0)
    {
        return false;
    }
    return s1 == s2 || s3 == s4;
}

// Edges of the two rings meet only at shared nodes; an edge of both has the two interiors on
// its two sides. Marks the shared edges.
bool EdgesMeetApart(RingNear& a, RingNear& b)
{
    for (Edge& e : a.Edges)
    {
        for (Edge& f : b.Edges)
        {
            const bool same = e.From == f.From && e.To == f.To;
            const bool reversed = e.From == f.To && e.To == f.From;
            if (same || reversed)
            {
                // Run the same way, the edge has the interiors on one side when both rings
                // turn alike; run against each other, when they turn differently.
                if (same == (a.Clockwise == b.Clockwise))
                {
                    return false;
                }
                e.Shared = true;
                f.Shared = true;
            }
            else if (!Touches(f, e.From) && !Touches(f, e.To) && !SurelyNotCrossing(e, f))
            {
                return false;
            }
        }
    }
    return true;
}

// Each edge of one ring that is not the other's lies, apart from its ends, off the other
// ring's boundary: all of it inside the other or all outside. Its midpoint tells which; a
// midpoint far beyond the other's bounds is outside without a count.
bool UnsharedEdgesOutside(const RingNear& ring, const RingNear& other, const Rectangle& otherBounds,
                          double margin)
{
    for (const Edge& e : ring.Edges)
    {
        if (e.Shared)
        {
            continue;
        }
        const Point mid{0.5 * (e.From->Position.X + e.To->Position.X),
                        0.5 * (e.From->Position.Y + e.To->Position.Y)};
        const Rectangle& reach = otherBounds;
        const bool farAside = reach.MinX - mid.X > margin || mid.X - reach.MaxX > margin ||
                              reach.MinY - mid.Y > margin || mid.Y - reach.MaxY > margin;
        if (!farAside && PlaceOfClearPoint(*other.pRing, mid, margin) != PointPlace::Outside)
        {
            return false;
        }
    }
    return true;
}

} // namespace

// Why the tests suffice: with no vertex near a foreign edge and no crossing, the boundaries
// meet only at shared nodes and along shared edges. A common area would be bounded by pieces
// of them; a piece of an unshared edge would lie inside the other polygon (its midpoint
// tells), and an area bounded by shared edges alone would have both interiors on one side of
// them. Edges outside the window lie outside the other polygon's bounds.
bool SurelyApart(const Polygon& a, const Rectangle& boundsA, const Polygon& b,
                 const Rectangle& boundsB)
{
    const PolygonLayer* layerA = a.GetLayer();
    const PolygonLayer* layerB = b.GetLayer();
    if (layerA == nullptr || layerB == nullptr || layerA->GetTopology() != layerB->GetTopology())
    {
        return false; // nodes of one place are one node only within a topology
    }
    // Far beyond the tolerance and the node grid, by which the overlay snaps.
    const double margin =
        64.0 * std::max(CurrentPrecision().Tolerance, CurrentPrecision().GridStep);
    Rectangle window;
    window.MinX = std::max(boundsA.MinX, boundsB.MinX) - margin;
    window.MinY = std::max(boundsA.MinY, boundsB.MinY) - margin;
    window.MaxX = std::min(boundsA.MaxX, boundsB.MaxX) + margin;
    window.MaxY = std::min(boundsA.MaxY, boundsB.MaxY) + margin;
    if (window.IsEmpty())
    {
        return false;
    }
    // Room on the stack for the edges of the small polygons of a coverage.
    std::array<std::byte, 8192> room;
    std::pmr::monotonic_buffer_resource resource(room.data(), room.size());
    RingNear nearA(&resource);
    RingNear nearB(&resource);
    if (!GatherNear(a, window, nearA, &resource) || !GatherNear(b, window, nearB, &resource))
    {
        return false;
    }
    return VerticesClear({&nearA, &nearB}, window, margin) && EdgesMeetApart(nearA, nearB) &&
           UnsharedEdgesOutside(nearA, nearB, boundsB, 0.25 * margin) &&
           UnsharedEdgesOutside(nearB, nearA, boundsA, 0.25 * margin);
}

} // namespace Arealis::Detail
