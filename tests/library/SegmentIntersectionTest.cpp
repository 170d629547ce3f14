#include "Arealis/SegmentIntersection.h"

#include <gtest/gtest.h>

using namespace Arealis;

namespace
{

SegmentsIntersection Classify(Point a0, Point a1, Point b0, Point b1,
                              ProximityMode mode = ProximityMode::Tolerant)
{
    return SegmentsIntersection::Classify(a0, a1, b0, b1, mode);
}

TEST(SegmentsIntersectionTest, InteriorCrossingAtTheExactPoint)
{
    const SegmentsIntersection x = Classify({0, 0}, {4, 2}, {0, 2}, {4, 0});
    EXPECT_EQ(x.Kind, IntersectionKind::Crossing);
    EXPECT_EQ(x.Location, (Point{2, 1}));
    // The same pair the other way round, where the determinant changes its sign.
    const SegmentsIntersection y = Classify({0, 2}, {4, 0}, {0, 0}, {4, 2});
    EXPECT_EQ(y.Kind, IntersectionKind::Crossing);
    EXPECT_EQ(y.Location, (Point{2, 1}));
}

TEST(SegmentsIntersectionTest, CrossingTestIncludesEndPointsAndRejectsParallels)
{
    Point p;
    EXPECT_TRUE(FindSegmentsCrossing({0, 0}, {2, 2}, {2, 2}, {3, 0}, &p));
    EXPECT_EQ(p, (Point{2, 2}));
    EXPECT_TRUE(FindSegmentsCrossing({2, 2}, {0, 0}, {3, 0}, {2, 2}, nullptr));
    EXPECT_FALSE(FindSegmentsCrossing({0, 0}, {2, 2}, {2.5, 2.5}, {3, 0}, nullptr));
    EXPECT_FALSE(FindSegmentsCrossing({0, 0}, {2, 0}, {0, 1}, {2, 1}, nullptr));
    // Collinear edges are parallel too: overlaps are found through their end points.
    EXPECT_FALSE(FindSegmentsCrossing({0, 0}, {2, 0}, {1, 0}, {3, 0}, nullptr));
    EXPECT_EQ(Classify({0, 0}, {2, 0}, {0, 1}, {2, 1}).Kind, IntersectionKind::None);
}

TEST(SegmentsIntersectionTest, TouchesAtEndPointsAndInteriors)
{
    const SegmentsIntersection corner = Classify({0, 0}, {1, 0}, {1, 0}, {1, 1});
    EXPECT_EQ(corner.Kind, IntersectionKind::Touching);
    EXPECT_EQ(corner.Location, (Point{1, 0}));
    // An end point of A on the interior of B is found in the second round.
    const SegmentsIntersection tee = Classify({1, 1}, {1, 0}, {0, 0}, {2, 0});
    EXPECT_EQ(tee.Kind, IntersectionKind::Touching);
    EXPECT_EQ(tee.Location, (Point{1, 0}));
}

TEST(SegmentsIntersectionTest, CollinearOverlapReportsBothEndsOfTheCommonPart)
{
    const SegmentsIntersection x = Classify({0, 0}, {3, 0}, {1, 0}, {5, 0});
    ASSERT_EQ(x.Kind, IntersectionKind::Overlapping);
    EXPECT_EQ(x.OverlapStart, (Point{1, 0}));
    EXPECT_EQ(x.OverlapEnd, (Point{3, 0}));
    // B inside A: both of B's ends are found in the first round.
    const SegmentsIntersection inside = Classify({0, 0}, {3, 0}, {2, 0}, {1, 0});
    ASSERT_EQ(inside.Kind, IntersectionKind::Overlapping);
    EXPECT_EQ(inside.OverlapStart, (Point{2, 0}));
    EXPECT_EQ(inside.OverlapEnd, (Point{1, 0}));
    // Collinear edges that share only an end point merely touch.
    EXPECT_EQ(Classify({0, 0}, {1, 0}, {1, 0}, {2, 0}).Kind, IntersectionKind::Touching);
}

TEST(SegmentsIntersectionTest, TolerantModeSnapsWithinAnAbsoluteDistance)
{
    // The bound does not grow with the edge: 0.0005 on a short and on a long edge alike.
    for (const double length : {10.0, 1000.0})
    {
        const Point a0{0, 0};
        const Point a1{length, 0};
        const double middle = length / 2;
        EXPECT_EQ(Classify(a0, a1, {middle, 0.0004}, {middle, 1}).Kind, IntersectionKind::Touching);
        EXPECT_EQ(Classify(a0, a1, {middle, 0.0006}, {middle, 1}).Kind, IntersectionKind::None);
        EXPECT_EQ(Classify(a0, a1, {middle, 0.0004}, {middle, 1}, ProximityMode::Exact).Kind,
                  IntersectionKind::None);
    }
    const SegmentsIntersection snapped = Classify({0, 0}, {10, 0}, {5, -0.0003}, {5, -1});
    EXPECT_EQ(snapped.Location, (Point{5, -0.0003}));
}

TEST(SegmentsIntersectionTest, TolerantModeLeavesPointsNearAnEndToTheProbe)
{
    // Near the end of A but not beyond it in projection: neither snapped nor probed.
    EXPECT_FALSE(IsPointOnSegment({9.9997, 0.0001}, {0, 0}, {10, 0}, ProximityMode::Tolerant));
    // Beyond the end.
    EXPECT_FALSE(IsPointOnSegment({10.0003, 0}, {0, 0}, {10, 0}, ProximityMode::Tolerant));
    EXPECT_TRUE(IsPointOnSegment({9.999, 0.0001}, {0, 0}, {10, 0}, ProximityMode::Tolerant));
}

TEST(SegmentsIntersectionTest, ProbeSquareCatchesPointsWithinHalfAMicroUnitInBothModes)
{
    for (const ProximityMode mode : {ProximityMode::Exact, ProximityMode::Tolerant})
    {
        EXPECT_TRUE(IsPointOnSegment({5, 4e-7}, {0, 0}, {10, 0}, mode));
        EXPECT_TRUE(IsPointOnSegment({5, -4e-7}, {0, 0}, {10, 0}, mode));
        // Past the end of the edge, but its end lies inside the probe square.
        EXPECT_TRUE(IsPointOnSegment({10 + 1e-7, 3e-7}, {0, 0}, {10, 0}, mode));
    }
    EXPECT_FALSE(IsPointOnSegment({5, 6e-7}, {0, 0}, {10, 0}, ProximityMode::Exact));
    EXPECT_FALSE(IsPointOnSegment({10 + 6e-7, 0}, {0, 0}, {10, 0}, ProximityMode::Exact));
}

TEST(SegmentsIntersectionTest, DegenerateEdgeIsFoundThroughItsEndPoint)
{
    const SegmentsIntersection x = Classify({1, 1}, {1, 1}, {0, 0}, {2, 2}, ProximityMode::Exact);
    EXPECT_EQ(x.Kind, IntersectionKind::Touching);
    EXPECT_EQ(x.Location, (Point{1, 1}));
    EXPECT_EQ(Classify({1, 1}, {1, 1}, {3, 3}, {4, 4}).Kind, IntersectionKind::None);
    EXPECT_FALSE(IsPointOnSegment({0, 0}, {1, 1}, {1, 1}, ProximityMode::Tolerant));
}

} // namespace
