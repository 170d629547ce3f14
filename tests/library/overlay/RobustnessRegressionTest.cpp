// Faults that fuzzing found, each with the smallest input that showed it. The inputs are also
// in the fuzz targets' corpora (fuzz/corpus/).
#include "Arealis/Geometry.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/LinearEdge.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "model/ModelTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace Arealis;
using namespace ModelTesting;
using Arealis::Testing::NetArea;

namespace
{

constexpr const char* ZeroArea = "The ring has zero area. @ Polygon, line: 853";

// A triangle whose nodes are collinear, or with a repeated node, has no area: every exterior
// ring around it "contains" it, so it used to be taken for a hole, and the overlay then cut
// the polygon along it (a square with such a hole, united with an overlapping square, lost a
// third of its area).
TEST(RobustnessRegressionTest, RingOfZeroAreaMakesThePolygonInvalid)
{
    for (const Points& degenerate :
         {Points{{2, 2}, {4, 4}, {6, 6}}, Points{{2, 6}, {0, 0}, {0, 0}}})
    {
        Polygon polygon(nullptr);
        AddRings(polygon, {Box(0, 0, 8, 8), degenerate});
        EXPECT_EQ(Failure([&] { polygon.Validate(true); }), ZeroArea);
        EXPECT_EQ(Failure([&] { polygon.Validate(false); }), ZeroArea);
        EXPECT_FALSE(polygon.IsValid());
    }
    // A ring test alone still accepts the triangle: it does not look at the area.
    Ring triangle(nullptr, false);
    AddPoints(triangle, {{2, 2}, {4, 4}, {6, 6}});
    EXPECT_NO_THROW(triangle.Validate());
}

TEST(RobustnessRegressionTest, LayerKeepsAPolygonWithAZeroAreaRingUncommitted)
{
    ScopedTopology topology;
    PolygonLayer* layer = topology->CreatePolygonLayer(false);
    Polygon* polygon = layer->CreatePolygon();
    AddRings(*polygon, {Box(0, 0, 8, 8), {{2, 2}, {4, 4}, {6, 6}}});
    EXPECT_THROW(layer->Commit(), InvalidPolygonException);
    EXPECT_TRUE(polygon->IsEditing());
    EXPECT_EQ(layer->GetPolygonCount(), 1);
    EXPECT_EQ(polygon->GetRingCount(), 2);
}

// The two edges of a ring of two nodes have the same edge number; the sweep did not count
// them as neighbours and reported the ring as crossing itself, the brute force did not.
TEST(RobustnessRegressionTest, BothAlgorithmsLeaveTheEdgesOfATwoNodeRingAlone)
{
    for (const Points& points : {Points{{0, 0}, {0, 0}}, Points{{0, 0}, {3, 1}}})
    {
        Ring ring(nullptr, false);
        AddPoints(ring, points);
        EdgeList edges;
        edges.Append(LinearEdge{&ring, 0, 1});
        edges.Append(LinearEdge{&ring, 1, 0});
        IntersectionList brute;
        IntersectionList sweep;
        BruteForceAlgorithm::Instance().FindIntersections(edges, edges, brute, false);
        SweepLineIntersectionAlgorithm::Instance().FindIntersections(edges, edges, sweep, false);
        EXPECT_EQ(brute.Count(), 0);
        EXPECT_EQ(sweep.Count(), 0);
    }
}

// value / 1e-6 overflowed to infinity for coordinates beyond about 1.8e302, so a shapefile
// with such coordinates gave nodes at infinity; between 2^51 grid steps (about 2.25e9) and
// that, rounding to a grid finer than the doubles could move an already snapped value again.
TEST(RobustnessRegressionTest, SnappingKeepsHugeCoordinatesAndIsIdempotent)
{
    const double largest = std::numeric_limits<double>::max();
    for (const double value : {1e303, -1e303, largest, -largest, 4395428254.190193})
    {
        EXPECT_EQ(SnapToNodeGrid(value), value);
    }
    for (const double value : {1234567.8901234, -2251799813.0, 0.0000004, 2251799813.6852})
    {
        const double snapped = SnapToNodeGrid(value);
        EXPECT_EQ(SnapToNodeGrid(snapped), snapped) << value;
        EXPECT_LE(std::abs(snapped - value), 0.5e-6 + 1e-15 * std::abs(value)) << value;
    }
    Ring ring(nullptr, false);
    AddPoints(ring, {{0, 0}, {0, 1e300}, {1e300, 1e300}});
    for (std::int32_t i = 0; i < ring.Count(); ++i)
    {
        EXPECT_TRUE(std::isfinite(ring.GetNode(i)->Position.X));
        EXPECT_TRUE(std::isfinite(ring.GetNode(i)->Position.Y));
    }
}

// A hole touching the bottom edge of its exterior ring at (2, 0), where that edge runs along
// the bottom edge of the other operand: the search reports the hole meeting B's edge there,
// but only the ends of the common stretch of the two bottom edges, so the exterior ring was
// not cut at (2, 0) and the union came out empty.
TEST(RobustnessRegressionTest, CrossingPointInsideACommonStretchCutsBothEdges)
{
    Polygon a(nullptr);
    Polygon b(nullptr);
    AddRings(a, {Box(1, 0, 10, 4), {{4, 1}, {2, 2}, {2, 0}}});
    AddRings(b, {Box(0, 0, 9, 2)});
    a.Validate(true);
    b.Validate(true);
    const auto parts = Overlay::Partition(a, b);
    EXPECT_DOUBLE_EQ(NetArea(*Overlay::Union(a, b)), 38.0);
    EXPECT_DOUBLE_EQ(NetArea(*Overlay::Intersection(a, b)), 14.0);
    EXPECT_DOUBLE_EQ(NetArea(*Overlay::Substract(a, b)), 20.0);
    EXPECT_DOUBLE_EQ(NetArea(*Overlay::Substract(b, a)), 4.0);
    EXPECT_DOUBLE_EQ(NetArea(*parts[0]), 14.0);
    EXPECT_DOUBLE_EQ(NetArea(*parts[1]), 20.0);
    EXPECT_DOUBLE_EQ(NetArea(*parts[2]), 4.0);
    for (const auto& part : parts)
    {
        EXPECT_NO_THROW(part->Validate(true));
    }
}

// Two rings of one polygon that run along each other enclose no area between them; the
// overlay follows each ring on its own, and with such an operand the union of the two squares
// below with a box across their common edge came out empty. Such polygons are invalid; rings
// that touch at a point stay valid.
TEST(RobustnessRegressionTest, RingsSharingAStretchOfBoundaryMakeThePolygonInvalid)
{
    Polygon sideBySide(nullptr);
    AddRings(sideBySide, {Box(0, 0, 1, 1), Box(1, 0, 2, 1)});
    EXPECT_EQ(Failure([&] { sideBySide.Validate(true); }),
              "An exterior ring area partially overlaps an other exterior ring area. @ Polygon, "
              "line: 899");

    Polygon partlyAlong(nullptr);
    AddRings(partlyAlong, {Box(0, 0, 1, 1), Box(1, 0.5, 2, 3)});
    EXPECT_FALSE(partlyAlong.IsValid());

    Polygon holeAlongItsExterior(nullptr);
    AddRings(holeAlongItsExterior, {Box(0, 0, 10, 10), Hole(2, 0, 4, 3)});
    EXPECT_EQ(
        Failure([&] { holeAlongItsExterior.Validate(true); }),
        "An exterior ring area partially overlaps an interior ring area. @ Polygon, line: 891");

    Polygon holesSideBySide(nullptr);
    AddRings(holesSideBySide, {Box(0, 0, 10, 10), Hole(2, 2, 4, 4), Hole(4, 2, 6, 4)});
    EXPECT_EQ(Failure([&] { holesSideBySide.Validate(true); }),
              "An interior ring area partially overlaps an other interior ring area. @ Polygon, "
              "line: 915");

    Polygon cornerToCorner(nullptr);
    AddRings(cornerToCorner, {Box(0, 0, 1, 1), Box(1, 1, 2, 2)});
    EXPECT_NO_THROW(cornerToCorner.Validate(true));
    Polygon holeTouchingAtAPoint(nullptr);
    AddRings(holeTouchingAtAPoint, {Box(0, 0, 10, 10), Reversed({{2, 0}, {3, 3}, {4, 3}})});
    EXPECT_NO_THROW(holeTouchingAtAPoint.Validate(true));
}

// Two triangles whose corners lie one grid step apart on a common line, their other edges
// nearly in line: each corner lies within the snapping distance of both edges at the other
// corner, so both rings were cut there and folded back on themselves (X, Y, X). Against those
// spikes the intersection took both triangles whole, and a layer refused the two pieces of an
// intersection for overlapping.
TEST(RobustnessRegressionTest, CornersOneGridStepApartTouchWithoutOverlapping)
{
    const Points left{{4.833569, 3.644987}, {4.992047, 4.278897}, {6.418346, 4.278897}};
    const Points right{{8.898866, 5.271105}, {9.270944, 4.278897}, {6.418345, 4.278897}};
    Polygon p(nullptr);
    Polygon q(nullptr);
    AddRings(p, {left});
    AddRings(q, {right});
    p.Validate(true);
    q.Validate(true);
    const double areaP = NetArea(p);
    const double areaQ = NetArea(q);
    constexpr double Tolerance = 1e-5;
    EXPECT_EQ(Overlay::Intersection(p, q)->GetRingCount(), 0);
    EXPECT_NEAR(NetArea(*Overlay::Union(p, q)), areaP + areaQ, Tolerance);
    EXPECT_NEAR(NetArea(*Overlay::Substract(p, q)), areaP, Tolerance);
    EXPECT_NEAR(NetArea(*Overlay::Substract(q, p)), areaQ, Tolerance);
    EXPECT_FALSE(p.Overlaps(&q));
    EXPECT_FALSE(q.Overlaps(&p));

    ScopedTopology topology;
    PolygonLayer* layer = topology->CreatePolygonLayer(false);
    AddRings(*layer->CreatePolygon(), {left});
    AddRings(*layer->CreatePolygon(), {right});
    EXPECT_NO_THROW(layer->Commit());
}

// A triangle whose third node lies within a grid step of the line through the other two (from
// a coverage at 8.4e6 from the origin) has an area of about 4e-7 left by the grid, not a
// shape: the overlay cut it inconsistently and the union of a polygon crossing it came out
// empty. Validation takes a sliver narrower than one grid step on average (twice its area over
// its perimeter) for a ring of zero area; a strip two grid steps wide stays valid.
TEST(RobustnessRegressionTest, SliverThinnerThanTheNodeGridHasZeroArea)
{
    Polygon sliver(nullptr);
    AddRings(sliver, {{{349.998154, -8399168.765791},
                       {351.650607, -8399167.113337},
                       {350.824381, -8399167.939564}}});
    EXPECT_NE(NetArea(sliver), 0.0);
    EXPECT_EQ(Failure([&] { sliver.Validate(true); }), ZeroArea);

    Polygon strip(nullptr);
    AddRings(strip, {Box(0, 0, 1000, 2e-6)});
    EXPECT_NO_THROW(strip.Validate(true));
}

// Pieces of layer intersections: triangles with a common edge, and triangles whose corners lie
// one grid step apart. Their overlay intersections held slivers narrower than the grid (both
// sides of a common edge cut at crossing points rounded next to each other; two edges from a
// common node to corners a grid step apart, crossing 8e-6 before the corners), so the commit
// took the pieces for overlapping and left them uncommitted.
TEST(RobustnessRegressionTest, PiecesMeetingAlongAnEdgeOrAtNearbyCornersCommitTogether)
{
    ScopedTopology topology;
    PolygonLayer* layer = topology->CreatePolygonLayer(false);
    for (const Points& piece :
         {Points{{65743.956417, 41522.49879},
                 {87115.830795, 70018.331293},
                 {96885.83051, 55363.33172}},
          Points{
              {65743.956417, 41522.49879}, {96885.83051, 55363.33172}, {55363.33172, 27681.66586}},
          Points{{54386.331748, 36474.665604},
                 {65743.956418, 41522.49879},
                 {55363.33172, 27681.66586}}})
    {
        AddRings(*layer->CreatePolygon(), {piece});
    }
    EXPECT_NO_THROW(layer->Commit());
}

// A repeat at the end of the node list (T, T) hid the spike A, T, A that wraps round to the
// start: the walk had passed the start when removing the repeat uncovered it, and the ring
// stayed self-intersecting after cleaning.
TEST(RobustnessRegressionTest, CleanRemovesASpikeUncoveredAtTheEndOfTheNodeList)
{
    const Point a{0, 0};
    const Point tip{-3, -3};
    Ring ring(nullptr, false);
    AddPoints(ring, {a, {0, 10}, {10, 10}, {10, 0}, a, tip, tip});
    ring.Clean();
    EXPECT_EQ(PointsOf(ring), (Points{{0, 10}, {10, 10}, {10, 0}, a}));
    EXPECT_FALSE(ring.IsSelfIntersecting(nullptr, nullptr, nullptr));
    EXPECT_DOUBLE_EQ(ring.GetSignedArea(), 100.0);

    // Found by fuzzing: a repeat after a spike, both across the end of the list.
    Ring found(nullptr, false);
    AddPoints(found, {a, a, {7, 7}, {7, 7}, {7, 6}, a, {2, 4}, {2, 4}});
    found.Clean();
    EXPECT_EQ(found.Count(), 3);
    EXPECT_DOUBLE_EQ(std::abs(found.GetSignedArea()), 3.5);
}

} // namespace
