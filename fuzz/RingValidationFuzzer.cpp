// Arbitrary rings on a small grid (repeated vertices, spikes, collinear runs, self-touching
// and self-crossing rings are all frequent) through ring and polygon validation and cleaning.
//
// Checked:
//   - IsSelfIntersecting and Ring::Validate agree with an exact test on the grid coordinates
//     (two edges that are not neighbours in the ring have a common point);
//   - the brute-force and the sweep-line intersection algorithms report the same pairs of
//     edges, within one ring and between two rings, at points on both edges;
//   - Ring::Clean leaves no repeated node and no spike and keeps the signed area;
//   - Polygon::Clean keeps the signed area (splitting inserts points rounded to the node grid)
//     and, when splitting, leaves no self-intersecting ring; IsValid agrees with Validate;
//   - a valid polygon united with and intersected with itself keeps its area, and loses it
//     all when subtracted from itself (checked from grid steps of 0.25 on, where no vertex
//     comes nearer to an edge than the overlay's snapping distance, and for polygons whose
//     rings share no stretch of boundary, which the overlay does not handle).
//
// Input layout (missing bytes read as 0): byte 0: bits 0-1 scale (1, 0.001, 1000, 0.25),
// bit 2 offset 1e7, bit 3 polygon in a topology layer instead of a free polygon, bit 4 split
// self-intersections when cleaning; then up to three rings: a count byte (1 + b % 24 vertices)
// and the grid coordinates (0-7) of each vertex.
#include "Arealis/GeometryExceptions.h"
#include "Arealis/LinearEdge.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/SegmentIntersection.h"
#include "Arealis/Topology.h"
#include "Exceptions/Exception.h"
#include "FuzzSupport.h"
#include "GridGeometry.h"
#include "PolygonQueries.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace Arealis;
using Arealis::Testing::Perimeter;
using Fuzzing::ByteReader;
using Fuzzing::Describe;
using Fuzzing::GridPoint;
using Fuzzing::GridRing;

namespace
{

constexpr int GridSize = 8;
// From this grid step on, a vertex is either on an edge or at least 1/10 step from it, far
// beyond the overlay's snapping distance of 0.0005.
constexpr double MinimumCheckedScale = 0.25;
// Twice the largest move of a point rounded to the node grid.
constexpr double NodeGridStep = 2e-6;

struct Frame
{
    double Scale;
    double Offset;

    Point ToWorld(const GridPoint& p) const
    {
        return {Offset + static_cast<double>(p.X) * Scale,
                Offset + static_cast<double>(p.Y) * Scale};
    }

    // The rounding error of a signed area summed over edges of this total length: each term
    // multiplies a coordinate difference by a sum of coordinates as large as the offset.
    double AreaRounding(double length) const
    {
        return 64 * 2.2e-16 * (std::abs(Offset) + GridSize * Scale) * length;
    }
};

// --- Library helpers -----------------------------------------------------------------------

GridRing ReadRing(ByteReader& in)
{
    GridRing ring;
    const int count = 1 + in.Below(24);
    for (int i = 0; i < count; ++i)
    {
        const long long x = in.Below(GridSize);
        ring.push_back({x, in.Below(GridSize)});
    }
    return ring;
}

void Fill(Ring& ring, const GridRing& points, const Frame& frame)
{
    for (const GridPoint& p : points)
    {
        const Point world = frame.ToWorld(p);
        ring.AddNode(world.X, world.Y);
    }
}

EdgeList EdgesOf(Ring& ring)
{
    EdgeList edges;
    const std::int32_t n = ring.Count();
    for (std::int32_t i = 0; i < n; ++i)
    {
        edges.Append(LinearEdge{&ring, i, (i + 1) % n});
    }
    return edges;
}

using EdgePairs = std::set<std::pair<std::int32_t, std::int32_t>>;

EdgePairs Pairs(const IntersectionList& found, bool unordered)
{
    EdgePairs pairs;
    for (const EdgeIntersection& entry : found)
    {
        std::int32_t a = entry.FirstEdge.EdgeNumber();
        std::int32_t b = entry.SecondEdge.EdgeNumber();
        if (unordered && a > b)
        {
            std::swap(a, b);
        }
        pairs.emplace(a, b);
    }
    return pairs;
}

void CheckPointsOnEdges(const IntersectionList& found, double tolerance)
{
    for (const EdgeIntersection& entry : found)
    {
        FUZZ_CHECK(entry.FirstEdge.SquaredDistanceTo(entry.Location) <= tolerance * tolerance &&
                       entry.SecondEdge.SquaredDistanceTo(entry.Location) <= tolerance * tolerance,
                   "a meeting point lies on both edges");
    }
}

// Both algorithms, within one list (self mode) or between two.
void CompareAlgorithms(const EdgeList& first, const EdgeList& second, double tolerance)
{
    IntersectionList brute;
    IntersectionList sweep;
    BruteForceAlgorithm::Instance().FindIntersections(first, second, brute, false);
    SweepLineIntersectionAlgorithm::Instance().FindIntersections(first, second, sweep, false);
    const bool self = &first == &second;
    if (Pairs(brute, self) != Pairs(sweep, self))
    {
        std::fprintf(stderr, "brute force: %d entries, sweep line: %d entries\n", brute.Count(),
                     sweep.Count());
        FUZZ_CHECK(false, "both intersection algorithms find the same pairs of edges");
    }
    CheckPointsOnEdges(brute, tolerance);
    CheckPointsOnEdges(sweep, tolerance);
    FUZZ_CHECK(SweepLineIntersectionAlgorithm::Instance().HoldsNoWorkingData(),
               "the sweep releases its working data");
}

double SumOfAreas(const Polygon& polygon)
{
    double area = 0;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        area += rings.Current()->GetSignedArea();
    }
    return area;
}

double RingLength(const Ring& ring)
{
    double length = 0;
    for (std::int32_t i = 0; i < ring.Count(); ++i)
    {
        length += std::sqrt(SquaredDistance(ring.GetNode(i)->Position,
                                            ring.GetNode((i + 1) % ring.Count())->Position));
    }
    return length;
}

// --- Checks --------------------------------------------------------------------------------

void CheckRing(const GridRing& points, const Frame& frame)
{
    Ring ring(nullptr, false);
    Fill(ring, points, frame);
    const bool expected = Fuzzing::IsSelfIntersecting(points);
    std::int32_t edge1 = -1;
    std::int32_t edge2 = -1;
    Point where;
    const bool found = ring.IsSelfIntersecting(&edge1, &edge2, &where);
    if (found != expected)
    {
        std::fprintf(stderr, "%zu vertices: library %d, exact test %d\n", points.size(), found,
                     expected);
        FUZZ_CHECK(false, "self-intersection as the exact test finds it");
    }
    if (found)
    {
        FUZZ_CHECK(!Fuzzing::AreRingNeighbours(static_cast<std::size_t>(edge1),
                                               static_cast<std::size_t>(edge2), points.size()),
                   "the reported edges are not neighbours");
    }

    const EdgeList edges = EdgesOf(ring);
    CompareAlgorithms(edges, edges, 2e-6 + 1e-15 * std::abs(frame.Offset));

    try
    {
        ring.Validate();
        FUZZ_CHECK(points.size() >= 3 && (points.size() == 3 || !expected),
                   "Validate accepts only rings of three nodes or simple ones");
    }
    catch (const SelfIntersectingRingException&)
    {
        FUZZ_CHECK(points.size() > 3 && expected, "Validate reports real self-intersections");
    }
    catch (const InvalidRingException&)
    {
        FUZZ_CHECK(points.size() < 3, "Validate reports zero area for fewer than three nodes");
    }

    const double area = ring.GetSignedArea();
    const double length = RingLength(ring);
    ring.Clean();
    const std::int32_t n = ring.Count();
    if (n >= 3)
    {
        for (std::int32_t i = 0; i < n; ++i)
        {
            const Point& p = ring.GetNode(i)->Position;
            FUZZ_CHECK(!(p == ring.GetNode((i + 1) % n)->Position), "Clean removes repeated nodes");
            FUZZ_CHECK(!(p == ring.GetNode((i + 2) % n)->Position), "Clean removes spikes");
        }
        FUZZ_CHECK(std::abs(ring.GetSignedArea() - area) <= frame.AreaRounding(2 * length),
                   "Clean keeps the area");
    }
}

void CheckTwoRings(const GridRing& first, const GridRing& second, const Frame& frame)
{
    Ring a(nullptr, false);
    Ring b(nullptr, false);
    Fill(a, first, frame);
    Fill(b, second, frame);
    // Between two rings an end point nearer than the tolerance to the other edge counts as on
    // it, and is reported where it stands.
    CompareAlgorithms(EdgesOf(a), EdgesOf(b),
                      DefaultIntersectionTolerance + 2e-6 + 1e-15 * std::abs(frame.Offset));
}

bool Validates(Polygon& polygon)
{
    try
    {
        polygon.Validate(true);
        return true;
    }
    catch (const InvalidPolygonException&)
    {
        return false;
    }
}

// Whether two edges lie on one line and share a piece of positive length; collinearity within
// the node grid and the rounding of coordinates: splitting a ring that runs back over itself
// puts the crossing point on the grid, a little off the line of the stretch the two new rings
// share.
bool EdgesOverlap(const Point& a, const Point& b, const Point& c, const Point& d)
{
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    const double length = std::hypot(dx, dy);
    const double slack =
        length * (NodeGridStep + 1e-9 * (std::abs(a.X) + std::abs(a.Y) + length + 1));
    const auto off = [&](const Point& p) { return std::abs((p.X - a.X) * dy - (p.Y - a.Y) * dx); };
    if (length == 0 || off(c) > slack || off(d) > slack)
    {
        return false;
    }
    const auto along = [&](const Point& p)
    { return ((p.X - a.X) * dx + (p.Y - a.Y) * dy) / length; };
    const double low = std::max(0.0, std::min(along(c), along(d)));
    const double high = std::min(length, std::max(along(c), along(d)));
    return high - low > 1e-9 * (length + 1);
}

// Two rings of the polygon share a stretch of boundary. The library's validation accepts that
// (it checks that areas do not overlap), but the overlay does not handle it: see
// ROBUSTNESS.md, "Rings of one polygon sharing a stretch of boundary".
bool RingsShareBoundary(const Polygon& polygon)
{
    std::vector<const Ring*> rings;
    RingEnumerator all = polygon.GetRings();
    while (all.MoveNext())
    {
        rings.push_back(all.Current());
    }
    for (std::size_t r = 0; r < rings.size(); ++r)
    {
        for (std::size_t t = 0; t < r; ++t)
        {
            const Ring& x = *rings[r];
            const Ring& y = *rings[t];
            for (std::int32_t i = 0; i < x.Count(); ++i)
            {
                for (std::int32_t j = 0; j < y.Count(); ++j)
                {
                    if (EdgesOverlap(
                            x.GetNode(i)->Position, x.GetNode((i + 1) % x.Count())->Position,
                            y.GetNode(j)->Position, y.GetNode((j + 1) % y.Count())->Position))
                    {
                        return true;
                    }
                }
            }
        }
    }
    return false;
}

void CheckSelfOperations(Polygon& polygon, const Frame& frame)
{
    const double area = SumOfAreas(polygon);
    const double perimeter = Perimeter(polygon);
    const double tolerance = 4e-6 * perimeter + frame.AreaRounding(4 * perimeter);
    const auto united = Overlay::Union(polygon, polygon);
    const auto common = Overlay::Intersection(polygon, polygon);
    const auto rest = Overlay::Substract(polygon, polygon);
    if (frame.Scale < MinimumCheckedScale || RingsShareBoundary(polygon))
    {
        // Vertices may lie nearer than the overlay's snapping distance to edges of the other
        // operand, so that the results may differ by design; rings sharing boundary are a
        // known limit of the overlay.
        return;
    }
    FUZZ_CHECK(std::abs(SumOfAreas(*united) - area) <= tolerance, "P u P = P");
    FUZZ_CHECK(std::abs(SumOfAreas(*common) - area) <= tolerance, "P n P = P");
    FUZZ_CHECK(std::abs(SumOfAreas(*rest)) <= tolerance, "P - P is empty");
}

void CheckPolygon(Polygon& polygon, const std::vector<GridRing>& rings, const Frame& frame,
                  bool split)
{
    const double perimeter = Perimeter(polygon);
    const double area = SumOfAreas(polygon);
    polygon.Clean(split);
    RingEnumerator cleaned = polygon.GetRings();
    while (cleaned.MoveNext())
    {
        const Ring* ring = cleaned.Current();
        FUZZ_CHECK(ring->Count() >= 3, "Clean removes rings of fewer than three nodes");
        if (split && ring->Count() > 3)
        {
            FUZZ_CHECK(!ring->IsSelfIntersecting(nullptr, nullptr, nullptr),
                       "splitting leaves no self-intersecting ring");
        }
    }
    if (std::abs(SumOfAreas(polygon) - area) > 4e-6 * perimeter + frame.AreaRounding(4 * perimeter))
    {
        std::fprintf(stderr, "%zu rings: area %.17g before, %.17g after\n", rings.size(), area,
                     SumOfAreas(polygon));
        FUZZ_CHECK(false, "Clean keeps the signed area");
    }
    polygon.Organise();
    const bool valid = Validates(polygon);
    FUZZ_CHECK(polygon.IsValid() == valid, "IsValid agrees with Validate");
    if (valid)
    {
        CheckSelfOperations(polygon, frame);
    }
}

struct TopologyDeleter
{
    void operator()(Topology* pTopology) const { Topology::Delete(pTopology); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ByteReader in(data, size);
    const std::uint8_t header = in.Byte();
    constexpr double Scales[] = {1.0, 0.001, 1000.0, 0.25};
    const Frame frame{Scales[header & 3U], (header & 4U) != 0 ? 1e7 : 0.0};
    const bool inLayer = (header & 8U) != 0;
    const bool split = (header & 16U) != 0;

    std::vector<GridRing> rings;
    while (rings.size() < 3 && !in.IsEmpty())
    {
        rings.push_back(ReadRing(in));
    }
    if (rings.empty())
    {
        return -1;
    }
    Fuzzing::Context() = "scale " + std::to_string(frame.Scale) + " offset " +
                         std::to_string(frame.Offset) + (inLayer ? " in a layer" : " free") +
                         (split ? " split " : " ") + Describe(rings);
    for (const GridRing& ring : rings)
    {
        CheckRing(ring, frame);
    }
    if (rings.size() >= 2)
    {
        CheckTwoRings(rings[0], rings[1], frame);
    }

    if (inLayer)
    {
        const std::unique_ptr<Topology, TopologyDeleter> topology(Topology::Create());
        PolygonLayer* layer = topology->CreatePolygonLayer(false);
        Polygon* polygon = layer->CreatePolygon();
        for (const GridRing& points : rings)
        {
            Fill(*polygon->CreateRing(), points, frame);
        }
        CheckPolygon(*polygon, rings, frame, split);
        try
        {
            layer->Commit();
        }
        catch (const Exceptions::Exception&)
        {
        }
        FUZZ_CHECK(polygon->IsEditing() != polygon->IsValid(),
                   "the commit takes a polygon exactly when it is valid");
    }
    else
    {
        Polygon polygon(nullptr);
        for (const GridRing& points : rings)
        {
            Fill(*polygon.CreateRing(), points, frame);
        }
        CheckPolygon(polygon, rings, frame, split);
    }
    return 0;
}
