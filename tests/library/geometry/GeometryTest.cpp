#include "Arealis/Geometry.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/LinearEdge.h"
#include "Arealis/Rectangle.h"
#include "Exceptions/ArgumentException.h"

#include <array>
#include <gtest/gtest.h>
#include <vector>

using namespace Arealis;

namespace
{

template <class TFunction>
std::string LocationOfArgumentException(TFunction function)
{
    try
    {
        function();
    }
    catch (const Exceptions::ArgumentException& e)
    {
        return std::string(e.Message()) + " @ " + e.Location();
    }
    return "no exception";
}

TEST(RectangleTest, ValidatingConstructorAcceptsDegenerateAndRejectsInverted)
{
    const Rectangle point(1, 2, 1, 2);
    EXPECT_FALSE(point.IsEmpty());
    EXPECT_EQ(LocationOfArgumentException([] { Rectangle(1, 0, 0, 1); }),
              "Invalid bounds: minX > maxX or minY > maxY @ interface/Rectangle, line: 41");
    EXPECT_EQ(LocationOfArgumentException([] { Rectangle(0, 1, 1, 0); }),
              "Invalid bounds: minX > maxX or minY > maxY @ interface/Rectangle, line: 41");
}

TEST(RectangleTest, AccumulatesFromEmpty)
{
    Rectangle bounds;
    EXPECT_TRUE(bounds.IsEmpty());
    bounds.Extend(Point{3, -1});
    EXPECT_EQ(bounds, Rectangle(3, -1, 3, -1));
    bounds.Extend(Point{1, 4});
    EXPECT_EQ(bounds, Rectangle(1, -1, 3, 4));
    Rectangle other;
    other.Extend(bounds);
    EXPECT_EQ(other, bounds);
    bounds.Extend(Rectangle(-5, 0, 0, 10));
    EXPECT_EQ(bounds, Rectangle(-5, -1, 3, 10));
}

TEST(RectangleTest, ClosedContainmentAndTouchingIntersection)
{
    const Rectangle unit(0, 0, 1, 1);
    EXPECT_TRUE(unit.Contains(Point{1, 1}));
    EXPECT_FALSE(unit.Contains(Point{1.0000001, 1}));
    EXPECT_TRUE(unit.Contains(Rectangle(0, 0, 1, 0.5)));
    EXPECT_TRUE(unit.Intersects(Rectangle(1, 0, 2, 1))); // shared edge
    EXPECT_TRUE(unit.Intersects(Rectangle(1, 1, 2, 2))); // shared corner
    EXPECT_FALSE(unit.Intersects(Rectangle(1.5, 0, 2, 1)));
    EXPECT_FALSE(unit.Intersects(Rectangle()));
    EXPECT_EQ(Rectangle::InflatedAround(Point{1, 2}, 0.5), Rectangle(0.5, 1.5, 1.5, 2.5));
    EXPECT_THROW(Rectangle::InflatedAround(Point{1, 2}, -1), Exceptions::ArgumentException);
}

// Points are ordered by x, then y; equality within a tolerance is a square box around them.
TEST(PointTest, KeyOrderIsXThenYAndToleranceIsASquareBox)
{
    EXPECT_LT((Point{1, 2}), (Point{1, 3}));
    EXPECT_LT((Point{1, 2}), (Point{2, 0}));
    EXPECT_FALSE((Point{1, 2}) < (Point{1, 2}));
    EXPECT_FALSE((Point{2, 0}) < (Point{1, 5}));
    EXPECT_TRUE((Point{0, 0}).EqualsWithin(Point{0.5, -0.5}, 0.5));
    EXPECT_FALSE((Point{0, 0}).EqualsWithin(Point{0.75, 0}, 0.5));
    EXPECT_TRUE((Point{0, 0}).EqualsWithin(Point{0, 0}, 0));
}

TEST(NodeGridTest, SnapsToNearestMillionthRoundingHalfUp)
{
    EXPECT_DOUBLE_EQ(SnapToNodeGrid(5e-6 + 0.4e-6), 5e-6);
    EXPECT_DOUBLE_EQ(SnapToNodeGrid(5e-6 + 0.6e-6), 6e-6);
    EXPECT_DOUBLE_EQ(SnapToNodeGrid(0.5e-6), 1e-6);
    EXPECT_DOUBLE_EQ(SnapToNodeGrid(-0.4e-6), 0.0);
    EXPECT_DOUBLE_EQ(SnapToNodeGrid(123456.7890123), 123456.789012);
}

TEST(SignedAreaTest, ClockwiseIsPositive)
{
    const std::array<Point, 4> square{{{0, 0}, {0, 1}, {1, 1}, {1, 0}}};
    EXPECT_DOUBLE_EQ(SignedArea(square), 1.0);
    const std::array<Point, 4> reversed{{{1, 0}, {1, 1}, {0, 1}, {0, 0}}};
    EXPECT_DOUBLE_EQ(SignedArea(reversed), -1.0);
    EXPECT_DOUBLE_EQ(SignedArea(std::span<const Point>{}), 0.0);
}

TEST(TurnValueTest, RightTurnsArePositiveLikeClockwiseAreas)
{
    EXPECT_LT(TurnValue({0, 0}, {1, 0}, {1, 1}), 0.0);
    EXPECT_GT(TurnValue({0, 0}, {1, 0}, {1, -1}), 0.0);
    EXPECT_EQ(TurnValue({0, 0}, {1, 0}, {2, 0}), 0.0);
}

TEST(NearestNodeTest, ClosestWithinTheToleranceWinsAndTheEarliestOnTies)
{
    std::vector<Node> storage{{{0, 0}}, {{2, 0}}, {{1, 1}}, {{1, -1}}};
    const std::vector<Node*> nodes{&storage[0], &storage[1], &storage[2], &storage[3]};
    EXPECT_EQ(FindNearestNode(nodes, {2, 0}, 0.0), 1); // zero tolerance: exact matches only
    EXPECT_EQ(FindNearestNode(nodes, {2, 1e-12}, 0.0), -1);
    EXPECT_EQ(FindNearestNode(nodes, {1.9, 0.1}, 0.5), 1);
    // (1, 0) is at distance 1 from all four nodes: the first in the list wins.
    EXPECT_EQ(FindNearestNode(nodes, {1, 0}, 1.0), 0);
    // Exactly at the tolerance distance counts.
    EXPECT_EQ(FindNearestNode(nodes, {3, 0}, 1.0), 1);
    EXPECT_EQ(FindNearestNode(nodes, {5, 5}, 1.0), -1);
}

TEST(ToleranceCheckTest, NegativeAndNaNAreRefusedWithTheCallersLocation)
{
    EXPECT_EQ(LocationOfArgumentException([] { CheckTolerance(-1e-9, "Ring", 637); }),
              "dToleranceDistance < 0 @ Ring, line: 637");
    EXPECT_THROW(CheckTolerance(std::nan(""), "Ring", 637), Exceptions::ArgumentException);
    EXPECT_NO_THROW(CheckTolerance(0.0, "Ring", 637));
}

TEST(SegmentDistanceTest, PerpendicularBandAndEnds)
{
    EXPECT_DOUBLE_EQ(SquaredDistanceToSegment({1, 1}, {0, 0}, {2, 0}), 1.0);
    EXPECT_DOUBLE_EQ(SquaredDistanceToSegment({-1, 1}, {0, 0}, {2, 0}), 2.0);
    EXPECT_DOUBLE_EQ(SquaredDistanceToSegment({3, 0}, {0, 0}, {2, 0}), 1.0);
    EXPECT_DOUBLE_EQ(SquaredDistanceToSegment({3, 4}, {0, 0}, {0, 0}), 25.0);
}

TEST(GeometryExceptionTest, HierarchyAsHandlersSeeIt)
{
    try
    {
        throw SelfIntersectingRingException("message", Exceptions::MakeLocation("Ring", 1191),
                                            nullptr);
    }
    catch (const InvalidPolygonException& e)
    {
        EXPECT_NE(dynamic_cast<const SelfIntersectingRingException*>(&e), nullptr);
        EXPECT_EQ(e.Location(), "Ring, line: 1191");
    }
    EXPECT_THROW(throw PolygonsOverlapException("m", "undefined"), Exceptions::Exception);
}

} // namespace
