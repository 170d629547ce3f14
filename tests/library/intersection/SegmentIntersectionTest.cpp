#include "Arealis/SegmentIntersection.h"

#include "Arealis/Ring.h"
#include "Exceptions/ArgumentException.h"
#include "intersection/RingEdgeSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

using namespace Arealis;
using EdgeTesting::EdgesOf;
using EdgeTesting::MakeRing;
using EdgeTesting::RandomRing;

namespace
{

SegmentsIntersection Classify(Point a0, Point a1, Point b0, Point b1,
                              ProximityMode mode = ProximityMode::Tolerant)
{
    return SegmentsIntersection::Classify(a0, a1, b0, b1, mode);
}

// Each pair of segments with what Classify reports: the kind and the meeting point, or for an
// overlap its two ends.
TEST(SegmentsIntersectionTest, ClassifiesCrossingsTouchesOverlapsAndMisses)
{
    using K = IntersectionKind;
    const ProximityMode Exact = ProximityMode::Exact;
    const ProximityMode Tolerant = ProximityMode::Tolerant;
    struct Case
    {
        Point A0, A1, B0, B1;
        ProximityMode Mode;
        IntersectionKind Kind;
        Point At;    // the meeting, or the overlap's start
        Point AtEnd; // the overlap's end
    };
    const Case cases[] = {
        {{0, 0}, {4, 2}, {0, 2}, {4, 0}, Tolerant, K::Crossing, {2, 1}, {}},
        {{0, 2}, {4, 0}, {0, 0}, {4, 2}, Tolerant, K::Crossing, {2, 1}, {}}, // determinant < 0
        {{0, 0}, {2, 0}, {0, 1}, {2, 1}, Tolerant, K::None, {}, {}},         // parallel
        {{0, 0}, {1, 0}, {1, 0}, {1, 1}, Tolerant, K::Touching, {1, 0}, {}}, // shared corner
        {{1, 1}, {1, 0}, {0, 0}, {2, 0}, Tolerant, K::Touching, {1, 0}, {}}, // end on B's interior
        {{0, 0}, {3, 0}, {1, 0}, {5, 0}, Tolerant, K::Overlapping, {1, 0}, {3, 0}},
        {{0, 0}, {3, 0}, {2, 0}, {1, 0}, Tolerant, K::Overlapping, {2, 0}, {1, 0}}, // B inside A
        {{0, 0}, {1, 0}, {1, 0}, {2, 0}, Tolerant, K::Touching, {1, 0}, {}}, // collinear, one end
        // Snapping within 0.0005, on a short and on a long edge alike, only when tolerant.
        {{0, 0}, {10, 0}, {5, 0.0004}, {5, 1}, Tolerant, K::Touching, {5, 0.0004}, {}},
        {{0, 0}, {1000, 0}, {500, 0.0004}, {500, 1}, Tolerant, K::Touching, {500, 0.0004}, {}},
        {{0, 0}, {10, 0}, {5, -0.0003}, {5, -1}, Tolerant, K::Touching, {5, -0.0003}, {}},
        {{0, 0}, {1000, 0}, {500, 0.0006}, {500, 1}, Tolerant, K::None, {}, {}},
        {{0, 0}, {10, 0}, {5, 0.0004}, {5, 1}, Exact, K::None, {}, {}},
        // A degenerate edge is found through its end point.
        {{1, 1}, {1, 1}, {0, 0}, {2, 2}, Exact, K::Touching, {1, 1}, {}},
        {{1, 1}, {1, 1}, {3, 3}, {4, 4}, Tolerant, K::None, {}, {}},
    };
    for (const Case& c : cases)
    {
        const SegmentsIntersection x = Classify(c.A0, c.A1, c.B0, c.B1, c.Mode);
        SCOPED_TRACE(testing::Message() << "(" << c.A0.X << "," << c.A0.Y << ")-(" << c.A1.X << ","
                                        << c.A1.Y << ") against (" << c.B0.X << "," << c.B0.Y
                                        << ")-(" << c.B1.X << "," << c.B1.Y << ")");
        ASSERT_EQ(x.Kind, c.Kind);
        if (c.Kind == K::Overlapping)
        {
            EXPECT_EQ(x.OverlapStart, c.At);
            EXPECT_EQ(x.OverlapEnd, c.AtEnd);
        }
        else if (c.Kind != K::None)
        {
            EXPECT_EQ(x.Location, c.At);
        }
    }
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
}

// Whether a point lies on the edge (0, 0)-(10, 0): within 0.0005 of its interior when tolerant,
// and in both modes where the probe square of half a micro-unit around the point meets it.
TEST(SegmentsIntersectionTest, PointOnSegmentBySnappingAndByTheProbeSquare)
{
    const ProximityMode Exact = ProximityMode::Exact;
    const ProximityMode Tolerant = ProximityMode::Tolerant;
    const struct
    {
        Point P;
        ProximityMode Mode;
        bool On;
    } cases[] = {
        {{9.999, 0.0001}, Tolerant, true},
        {{9.9997, 0.0001}, Tolerant, false}, // near the end: left to the probe
        {{10.0003, 0}, Tolerant, false},     // beyond the end
        {{5, 4e-7}, Exact, true},
        {{5, -4e-7}, Exact, true},
        {{5, 4e-7}, Tolerant, true},
        {{10 + 1e-7, 3e-7}, Exact, true}, // past the end, which lies inside the probe square
        {{10 + 1e-7, 3e-7}, Tolerant, true},
        {{5, 6e-7}, Exact, false},
        {{10 + 6e-7, 0}, Exact, false},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(IsPointOnSegment(c.P, {0, 0}, {10, 0}, c.Mode), c.On) << c.P.X << ", " << c.P.Y;
    }
    EXPECT_FALSE(IsPointOnSegment({0, 0}, {1, 1}, {1, 1}, Tolerant)); // degenerate edge
}

TEST(SegmentsIntersectionTest, CollinearPointBeyondTheEndIsNotOnTheEdge)
{
    // The probe diagonal parallel to this edge gives a determinant of pure rounding noise,
    // which must not count as a crossing.
    const Point start{484.85367099999996, 1629.1463289999999};
    const Point end{405.158613, 1708.8413869999999};
    for (const ProximityMode mode : {ProximityMode::Exact, ProximityMode::Tolerant})
    {
        EXPECT_FALSE(IsPointOnSegment({397, 1717}, start, end, mode));
    }
    EXPECT_FALSE(FindSegmentsCrossing(start, end, {397, 1717}, {300, 1814}, nullptr));
    const SegmentsIntersection x = Classify(start, end, {397, 1717}, {507, 1607});
    ASSERT_EQ(x.Kind, IntersectionKind::Overlapping);
    EXPECT_EQ(x.OverlapStart, start);
    EXPECT_EQ(x.OverlapEnd, end);
}

} // namespace

// --- The algorithms over edge lists -------------------------------------------------------------

namespace
{

using Entry = EdgeTesting::IntersectionEntry;

std::vector<Entry> Sorted(const IntersectionList& list)
{
    std::vector<Entry> entries = EdgeTesting::EntriesOf(list);
    std::sort(entries.begin(), entries.end());
    return entries;
}

IntersectionList Find(SegmentsIntersectionAlgorithm& algorithm, const EdgeList& first,
                      const EdgeList& second, bool bOneIntersection = false)
{
    IntersectionList result;
    algorithm.FindIntersections(first, second, result, bOneIntersection);
    return result;
}

std::vector<SegmentsIntersectionAlgorithm*> BothAlgorithms()
{
    return {&BruteForceAlgorithm::Instance(), &SweepLineIntersectionAlgorithm::Instance()};
}

TEST(IntersectionAlgorithmTest, SquareIsCleanAndBowTieCrossesOnce)
{
    const auto square = MakeRing({{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    const auto bowTie = MakeRing({{0, 0}, {0, 2}, {2, 0}, {2, 2}});
    const EdgeList squareEdges = EdgesOf(*square);
    const EdgeList bowTieEdges = EdgesOf(*bowTie);
    for (SegmentsIntersectionAlgorithm* algorithm : BothAlgorithms())
    {
        EXPECT_EQ(Find(*algorithm, squareEdges, squareEdges).Count(), 0);
        const IntersectionList crossing = Find(*algorithm, bowTieEdges, bowTieEdges);
        ASSERT_EQ(crossing.Count(), 1);
        EXPECT_EQ(crossing[0].FirstEdge.EdgeNumber(), 1);
        EXPECT_EQ(crossing[0].SecondEdge.EdgeNumber(), 3);
        EXPECT_EQ(crossing[0].Location, (Point{1, 1}));
    }
}

TEST(IntersectionAlgorithmTest, IdenticalEdgesInOneRingAndBetweenTwoRings)
{
    // Edges 0 (P-Q) and 3 (Q-P) join the same vertices.
    const Point p{0, 0};
    const Point q{2, 0};
    const auto ring = MakeRing({p, q, {1, 1}, q, p, {1, -1}});
    const EdgeList edges = EdgesOf(*ring);
    for (SegmentsIntersectionAlgorithm* algorithm : BothAlgorithms())
    {
        const IntersectionList result = Find(*algorithm, edges, edges);
        std::vector<Point> identical;
        for (const EdgeIntersection& e : result)
        {
            if (e.FirstEdge.StartIndex == 0 && e.SecondEdge.StartIndex == 3)
            {
                identical.push_back(e.Location);
            }
        }
        EXPECT_EQ(identical, (std::vector<Point>{p, q}));
    }
    // Two squares sharing an edge: the shared edge meets nothing in the other list.
    const auto left = MakeRing({{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    const auto right = MakeRing({{1, 0}, {1, 1}, {2, 1}, {2, 0}});
    EdgeList shared;
    shared.Append(LinearEdge{left.get(), 2, 3});
    EdgeList other;
    other.Append(LinearEdge{right.get(), 0, 1});
    for (SegmentsIntersectionAlgorithm* algorithm : BothAlgorithms())
    {
        EXPECT_EQ(Find(*algorithm, shared, other).Count(), 0);
    }
}

TEST(IntersectionAlgorithmTest, TouchFilterDropsSharedBoundaryVerticesExceptAtEdgeZero)
{
    // Rings sharing the stretch (1, 1)-(1, 0); the left ring's edge 2 runs along it.
    const auto left = MakeRing({{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    const auto right = MakeRing({{2, 1}, {2, 0}, {1, 0}, {1, 1}});
    EdgeList along;
    along.Append(LinearEdge{left.get(), 2, 3});
    EdgeList neighbours; // the right ring's edges 1 and 3, which meet the stretch at its ends
    neighbours.Append(LinearEdge{right.get(), 1, 2});
    neighbours.Append(LinearEdge{right.get(), 3, 0});
    // The ring's edge 0 leaves the stretch's end (1, 1) as well.
    const auto rotated = MakeRing({{1, 1}, {2, 1}, {2, 0}, {1, 0}});
    EdgeList edgeZero;
    edgeZero.Append(LinearEdge{rotated.get(), 0, 1});
    // A touch where the rings part: the left ring's top edge against the right ring's top.
    EdgeList top;
    top.Append(LinearEdge{left.get(), 1, 2});
    for (SegmentsIntersectionAlgorithm* algorithm : BothAlgorithms())
    {
        EXPECT_EQ(Find(*algorithm, along, neighbours).Count(), 0);
        const IntersectionList atZero = Find(*algorithm, along, edgeZero);
        ASSERT_EQ(atZero.Count(), 1);
        EXPECT_EQ(atZero[0].Location, (Point{1, 1}));
        EXPECT_EQ(Find(*algorithm, top, edgeZero).Count(), 1);
    }
}

TEST(IntersectionAlgorithmTest, TwoListsReportCollinearOverlapAndSnappedTouches)
{
    const auto a = MakeRing({{0, 0}, {3, 0}, {3, -1}});
    const auto b = MakeRing({{1, 0}, {5, 0}, {5, 1}, {2, 0.0004}});
    EdgeList first;
    first.Append(LinearEdge{a.get(), 0, 1});
    EdgeList second;
    second.Append(LinearEdge{b.get(), 0, 1});
    second.Append(LinearEdge{b.get(), 2, 3});
    for (SegmentsIntersectionAlgorithm* algorithm : BothAlgorithms())
    {
        const std::vector<Entry> entries = Sorted(Find(*algorithm, first, second));
        ASSERT_EQ(entries.size(), 3U);
        // The two ends of the common stretch of B's edge 0.
        EXPECT_EQ(std::get<4>(entries[0]), 1);
        EXPECT_EQ(std::get<4>(entries[1]), 3);
        // B's edge 2 ends 0.0004 off A's edge: a touch at that end point.
        EXPECT_EQ(std::get<4>(entries[2]), 2);
        EXPECT_EQ(std::get<5>(entries[2]), b->GetNode(3)->Position.Y);
    }
}

TEST(IntersectionAlgorithmTest, OneIntersectionStopsAfterTheFirstPair)
{
    // A star of 37 points joining every fifth point of a circle crosses itself many times.
    std::vector<Point> points;
    for (int i = 0; i < 37; ++i)
    {
        const double angle = 2 * 3.141592653589793 * ((i * 5) % 37) / 37;
        points.push_back({100 * std::cos(angle), 100 * std::sin(angle)});
    }
    const auto ring = MakeRing(points);
    const EdgeList edges = EdgesOf(*ring);
    for (SegmentsIntersectionAlgorithm* algorithm : BothAlgorithms())
    {
        EXPECT_GT(Find(*algorithm, edges, edges).Count(), 2);
        const IntersectionList one = Find(*algorithm, edges, edges, true);
        ASSERT_GE(one.Count(), 1);
        ASSERT_LE(one.Count(), 2);
        EXPECT_EQ(one[0].FirstEdge, one[one.Count() - 1].FirstEdge);
        EXPECT_EQ(one[0].SecondEdge, one[one.Count() - 1].SecondEdge);
    }
    EXPECT_TRUE(SweepLineIntersectionAlgorithm::Instance().HoldsNoWorkingData());
}

TEST(IntersectionAlgorithmTest, EdgeOutsideItsRingThrowsAndTheSweepCleansUp)
{
    const auto ring = MakeRing({{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    EdgeList edges = EdgesOf(*ring);
    edges.Append(LinearEdge{ring.get(), 3, 4});
    for (SegmentsIntersectionAlgorithm* algorithm : BothAlgorithms())
    {
        // With one intersection wanted, the sweep takes the way of a ring's own check.
        for (const bool oneIntersection : {false, true})
        {
            IntersectionList result;
            EXPECT_THROW(algorithm->FindIntersections(edges, edges, result, oneIntersection),
                         Exceptions::ArgumentOutOfRangeException);
        }
    }
    EXPECT_TRUE(SweepLineIntersectionAlgorithm::Instance().HoldsNoWorkingData());
}

TEST(IntersectionAlgorithmTest, CostRuleChoosesTheSweepForLongLists)
{
    SegmentsIntersectionAlgorithm& brute = BruteForceAlgorithm::Instance();
    SegmentsIntersectionAlgorithm& sweep = SweepLineIntersectionAlgorithm::Instance();
    EXPECT_EQ(&ChooseIntersectionAlgorithm(0, 0), &brute);
    EXPECT_EQ(&ChooseIntersectionAlgorithm(10, 10), &brute);
    EXPECT_EQ(&ChooseIntersectionAlgorithm(1000, 1000), &sweep);
    // A ring against itself: brute force up to 32 edges.
    EXPECT_EQ(&ChooseIntersectionAlgorithm(32, 32), &brute);
    EXPECT_EQ(&ChooseIntersectionAlgorithm(33, 33), &sweep);
    EXPECT_EQ(&ChooseIntersectionAlgorithm(1, 100000), &brute);
}

TEST(IntersectionAlgorithmTest, BruteForceAndSweepReportTheSameMeetings)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> size(3, 100);
    for (int round = 0; round < 200; ++round)
    {
        const int grid = round % 3 == 0 ? 6 : 40;
        const auto a = RandomRing(random, size(random), grid);
        const auto b = RandomRing(random, size(random), grid);
        const EdgeList first = EdgesOf(*a);
        const EdgeList second = EdgesOf(*b);
        EXPECT_EQ(Sorted(Find(BruteForceAlgorithm::Instance(), first, first)),
                  Sorted(Find(SweepLineIntersectionAlgorithm::Instance(), first, first)))
            << "round " << round;
        EXPECT_EQ(Sorted(Find(BruteForceAlgorithm::Instance(), first, second)),
                  Sorted(Find(SweepLineIntersectionAlgorithm::Instance(), first, second)))
            << "round " << round;
        if (HasFailure())
        {
            return;
        }
    }
    EXPECT_TRUE(SweepLineIntersectionAlgorithm::Instance().HoldsNoWorkingData());
}

} // namespace
