// A ring's own checks for a first meeting (small rings without edge lists, large ones reading
// the edges straight from the ring) must report exactly what the search over the list of the
// ring's edges reports: the same answer, the same first pair of edges and the same point.
#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "intersection/RingClearance.h"
#include "intersection/RingEdgeSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace Arealis;
using EdgeTesting::EdgesOf;
using EdgeTesting::EntriesOf;
using EdgeTesting::MakeRing;

namespace
{

// Ring::IsSelfIntersecting against the search over the ring's edge list.
void ExpectOwnCheckAsEdgeListSearch(const Ring& ring, const EdgeList& edges,
                                    const std::string& what)
{
    IntersectionList expected;
    SelectIntersectionAlgorithm(edges, edges, expected, true);
    std::int32_t edge1 = -1;
    std::int32_t edge2 = -1;
    Point point{-1.0, -1.0};
    const bool found = ring.IsSelfIntersecting(&edge1, &edge2, &point);
    ASSERT_EQ(found, expected.Count() > 0) << what;
    EXPECT_EQ(found, ring.IsSelfIntersecting(nullptr, nullptr, nullptr)) << what;
    if (found)
    {
        EXPECT_EQ(edge1, expected[0].FirstEdge.EdgeNumber()) << what;
        EXPECT_EQ(edge2, expected[0].SecondEdge.EdgeNumber()) << what;
        EXPECT_EQ(point, expected[0].Location) << what;
    }
}

// Returns whether the ring meets itself.
bool ExpectSameAsEdgeListSearch(const std::vector<Point>& points, const std::string& what)
{
    const auto ring = MakeRing(points);
    const EdgeList edges = EdgesOf(*ring);
    IntersectionList expected;
    SweepLineIntersectionAlgorithm::Instance().FindIntersections(edges, edges, expected, true);
    IntersectionList found;
    SweepLineIntersectionAlgorithm::Instance().FindFirstRingMeeting(*ring, found);
    EXPECT_EQ(EntriesOf(expected), EntriesOf(found)) << what;
    // Both searches above may answer through the same check: the full report, which never
    // takes it, tells whether the check missed a meeting.
    IntersectionList all;
    SweepLineIntersectionAlgorithm::Instance().FindIntersections(edges, edges, all, false);
    EXPECT_EQ(all.Count() > 0, found.Count() > 0) << what;

    // The ring's own check takes that path for the rings that the cost rule gives to the sweep.
    ExpectOwnCheckAsEdgeListSearch(*ring, edges, what);
    return found.Count() > 0;
}

// A star with jittered radii around a centre, scaled, its inner vertices depth below the outer
// ones: simple unless changed afterwards.
std::vector<Point> Star(std::mt19937& random, int count, Point centre, double scale,
                        double depth = 0.4)
{
    std::uniform_real_distribution<double> jitter(-depth / 8, depth / 8);
    std::vector<Point> points;
    for (int i = 0; i < count; ++i)
    {
        const double angle = 2.0 * 3.141592653589793 * i / count;
        const double radius = scale * ((i % 2 == 0 ? 1.0 : 1.0 - depth) + jitter(random));
        points.push_back(
            {centre.X + radius * std::cos(angle), centre.Y + radius * std::sin(angle)});
    }
    return points;
}

// A zigzag of vertical teeth: every tooth's edges share their x with other teeth's edges, and
// with gap 0 neighbouring teeth run along each other.
std::vector<Point> VerticalComb(int teeth, double gap)
{
    std::vector<Point> points{{0.0, -1.0}};
    double x = 0.0;
    for (int tooth = 0; tooth < teeth; ++tooth)
    {
        points.push_back({x, 10.0});
        points.push_back({x + 1.0, 10.0});
        points.push_back({x + 1.0, 0.0});
        x += 1.0 + gap;
        points.push_back({x, 0.0});
    }
    points.push_back({x, -1.0});
    return points;
}

// The points with x and y swapped.
std::vector<Point> Transposed(std::vector<Point> points)
{
    for (Point& p : points)
    {
        std::swap(p.X, p.Y);
    }
    return points;
}

// Points on a grid of size + 1 columns and rows, step apart from an origin: on a coarse grid
// the rings repeat vertices, touch and run along themselves; with the node grid's step the
// meetings depend on the probe square around end points.
std::vector<Point> RandomPoints(std::mt19937& random, int count, int size, double step = 1.0,
                                Point origin = {0.0, 0.0})
{
    std::uniform_int_distribution<int> coordinate(0, size);
    std::vector<Point> points;
    while (static_cast<int>(points.size()) < count)
    {
        points.push_back(
            {origin.X + step * coordinate(random), origin.Y + step * coordinate(random)});
    }
    return points;
}

TEST(RingSweepCheckTest, SmallRandomRingsAgreeWithTheEdgeListSearch)
{
    std::mt19937 random(20261206);
    struct Grid
    {
        int Size;
        double Step;
        Point Origin;
    };
    const Grid grids[] = {{3, 1.0, {0.0, 0.0}},
                          {6, 1.0, {-3.0, 2.0}},
                          {4, 1e-6, {1000.0, 2000.0}},
                          {5, 0.5e-6, {-7.25, 3.5}}};
    int meetings = 0;
    for (const Grid& grid : grids)
    {
        for (int count = 4; count <= 40; ++count)
        {
            for (int round = 0; round < 40; ++round)
            {
                const auto ring =
                    MakeRing(RandomPoints(random, count, grid.Size, grid.Step, grid.Origin));
                ExpectOwnCheckAsEdgeListSearch(*ring, EdgesOf(*ring),
                                               "grid step " + std::to_string(grid.Step) + ", " +
                                                   std::to_string(count) + " nodes, round " +
                                                   std::to_string(round));
                meetings += ring->IsSelfIntersecting(nullptr, nullptr, nullptr) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(meetings, 0);
}

TEST(RingSweepCheckTest, SmallSimpleRingsAndNamedMeetingsAgreeWithTheEdgeListSearch)
{
    const std::vector<std::vector<Point>> shapes = {
        {},                                               // empty
        {{0, 0}},                                         // one node
        {{0, 0}, {1, 1}},                                 // two nodes
        {{0, 0}, {2, 0}, {1, 0}},                         // collinear triangle
        {{0, 0}, {0, 2}, {2, 2}, {2, 0}},                 // square
        {{0, 0}, {2, 2}, {2, 0}, {0, 2}},                 // bow tie
        {{0, 0}, {0, 4}, {2, 4}, {2, 2}, {0, 2}, {4, 0}}, // vertex on an earlier edge
        {{0, 0}, {0, 2}, {1, 1}, {2, 2}, {2, 0}, {1, 1}}, // vertex repeated
        {{0, 0}, {0, 2}, {3, 2}, {3, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 0}}, // simple comb
        {{0, 0}, {4, 0}, {4, 2}, {1, 0}, {0, 2}},                  // runs back along the base
        {{0, 0}, {0, 1e-6}, {2, 1e-6}, {2, 0}, {1, 0}, {1, 2e-6}}, // meets within the probe
    };
    for (std::size_t k = 0; k < shapes.size(); ++k)
    {
        const auto ring = MakeRing(shapes[k]);
        ExpectOwnCheckAsEdgeListSearch(*ring, EdgesOf(*ring), "shape " + std::to_string(k));
    }
}

TEST(RingSweepCheckTest, SimpleAndChangedRingsReportWhatTheirEdgeListReports)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> size(40, 700);
    // Small and large coordinates; far from the origin the coordinates are too large for the
    // check to rely on them.
    struct Place
    {
        Point Centre;
        double Scale;
    };
    const Place places[] = {{{0.0, 0.0}, 100.0},
                            {{0.0, 0.0}, 1e-3},
                            {{-3.5e6, 2.25e6}, 3.0},
                            {{-3.5e6, 2.25e6}, 1e-2},
                            {{1e12, -1e12}, 30.0}};
    int meetings = 0;
    int rounds = 0;
    for (; rounds < 60 && !HasFailure(); ++rounds)
    {
        const std::string context = ", round " + std::to_string(rounds);
        const Place& place = places[rounds % 5];
        std::vector<Point> star = Star(random, size(random), place.Centre, place.Scale);
        EXPECT_FALSE(ExpectSameAsEdgeListSearch(star, "star" + context));

        // A vertex repeated, moved onto another vertex, or moved across the ring, anywhere
        // along it: touches, overlaps and crossings early or late in the sweep.
        std::uniform_int_distribution<std::size_t> vertex(0, star.size() - 1);
        const std::size_t at = vertex(random);
        std::vector<Point> repeated = star;
        repeated.insert(repeated.begin() + std::ptrdiff_t(at), star[at]);
        meetings += ExpectSameAsEdgeListSearch(repeated, "star with a repeated vertex" + context);
        std::vector<Point> touching = star;
        touching[at] = star[vertex(random)];
        meetings += ExpectSameAsEdgeListSearch(touching, "star with a touch" + context);
        std::vector<Point> crossing = star;
        crossing[at] = {2 * place.Centre.X - star[at].X, 2 * place.Centre.Y - star[at].Y};
        meetings += ExpectSameAsEdgeListSearch(crossing, "star with a crossing" + context);

        const double gaps[] = {0.0, 2e-7, 4e-4, 6e-4, 0.5};
        const int teeth = rounds % 2 == 0 ? 10 : 200;
        meetings +=
            ExpectSameAsEdgeListSearch(VerticalComb(teeth, gaps[rounds % 5]), "comb" + context);
        // On its side, all teeth are active at once: the check files them by y.
        meetings += ExpectSameAsEdgeListSearch(Transposed(VerticalComb(teeth, gaps[rounds % 5])),
                                               "comb on its side" + context);
        meetings += ExpectSameAsEdgeListSearch(
            RandomPoints(random, size(random) / 8, 2 + rounds % 7), "grid" + context);
    }
    // The changed rings mostly meet, the stars never do.
    EXPECT_GT(meetings, 3 * rounds);
}

TEST(RingSweepCheckTest, EdgeThatTakesARetiredEdgesPlaceIsStillTested)
{
    // Two long edges cross once. The one that starts later meets the other just after it
    // starts, while a short vertical edge that started with the other one leaves the sweep.
    // Every rotation of the ring numbers the edges differently, which changes the order of
    // the active edges; mirrored in y, the edges keep their x.
    const std::vector<Point> ring{{0.0, 4.0},   {0.5, 4.2},   {1.1, 8.0}, {9.0, 0.0},
                                  {10.0, -2.0}, {1.0, -2.0},  {1.0, 0.0}, {9.0, 8.0},
                                  {10.0, 10.0}, {-1.0, 10.0}, {-1.0, 4.0}};
    for (const double mirror : {1.0, -1.0})
    {
        for (std::size_t start = 0; start < ring.size(); ++start)
        {
            std::vector<Point> rotated;
            for (std::size_t i = 0; i < ring.size(); ++i)
            {
                const Point& p = ring[(start + i) % ring.size()];
                rotated.push_back({p.X, mirror * p.Y});
            }
            EXPECT_TRUE(ExpectSameAsEdgeListSearch(rotated, "rotation " + std::to_string(start) +
                                                                ", mirror " +
                                                                std::to_string(mirror)));
        }
    }
}

TEST(RingSweepCheckTest, MeetingNearTheEndOfALargeRingIsTheListsFirstMeeting)
{
    std::mt19937 random(1207);
    std::vector<Point> star = Star(random, 200000, {500.0, -250.0}, 1000.0, 1e-4);
    EXPECT_FALSE(ExpectSameAsEdgeListSearch(star, "large star"));
    // The last vertices on the right, the last to be swept, meet the edges near them.
    star[1] = star[3];
    EXPECT_TRUE(ExpectSameAsEdgeListSearch(star, "large star with a touch on the right"));
    EXPECT_TRUE(SweepLineIntersectionAlgorithm::Instance().HoldsNoWorkingData());
}

// A large ring in two parts: on the left a zigzag, on the right, from x = right on, teeth that
// all start at that x; they hold the middle edge in x order, so a check that splits the edges
// in two halves splits at that x. The ring runs from the zigzag's end down, to reach, and
// back down, which places reach at the end of two long edges from the left part.
std::vector<Point> ZigzagAndTeeth(double reachX, double reachY, double& right)
{
    constexpr int Teeth = 11000;
    constexpr int Zigzag = 2 * Teeth;
    right = Zigzag + 20.0;
    std::vector<Point> points;
    for (int i = 0; i <= Zigzag; ++i)
    {
        points.push_back({double(i), (i % 2) * 0.5});
    }
    points.push_back({double(Zigzag), -5.0});
    points.push_back({reachX, reachY});
    points.push_back({right - 5.0, -5.0});
    points.push_back({right + 12.0, -5.0});
    points.push_back({right + 12.0, 19.0});
    double y = 20.0;
    for (int tooth = 0; tooth < Teeth; ++tooth, y += 1.5)
    {
        points.push_back({right + 10.0, y});
        points.push_back({right, y});
        points.push_back({right, y + 1.0});
        points.push_back({right + 10.0, y + 1.0});
    }
    points.push_back({-1.0, y + 3.0});
    points.push_back({-1.0, 0.25});
    return points;
}

TEST(RingSweepCheckTest, LargeRingFindsMeetingsOfEarlierEdgesWithTheLaterHalf)
{
    // With two cores a ring this large is checked in two halves at once. The edges that reach
    // the first tooth come from the left half: the later half must test them too, also when
    // they end exactly at its first x. A ring's own test of a pair is exact: an end short of
    // the tooth by less than the tolerance does not meet it.
    double right = 0.0;
    ZigzagAndTeeth(0.0, 0.0, right);
    EXPECT_FALSE(ExpectSameAsEdgeListSearch(ZigzagAndTeeth(right - 1.0, 20.5, right), "apart"));
    EXPECT_TRUE(
        ExpectSameAsEdgeListSearch(ZigzagAndTeeth(right + 0.5, 20.5, right), "into a tooth"));
    EXPECT_TRUE(ExpectSameAsEdgeListSearch(ZigzagAndTeeth(right, 20.5, right), "touching a tooth"));
    EXPECT_FALSE(
        ExpectSameAsEdgeListSearch(ZigzagAndTeeth(right - 0.4 * DefaultIntersectionTolerance, 20.5, right),
                                   "short of a tooth by less than the tolerance"));
    EXPECT_TRUE(SweepLineIntersectionAlgorithm::Instance().HoldsNoWorkingData());
}

// Whether any two edges of the ring meet, by the pair test of every pair.
bool MeetsAnywhere(const std::vector<Point>& points)
{
    const auto ring = MakeRing(points);
    const EdgeList edges = EdgesOf(*ring);
    IntersectionList all;
    BruteForceAlgorithm::Instance().FindIntersections(edges, edges, all, false);
    return all.Count() > 0;
}

// Whether the clearance check calls the ring clear, at the reach that the ring's own check
// gives it, one grid step; it must never do so for a ring whose edges meet. Counts the rings
// that meet.
bool ExpectClearOnlyWithoutMeeting(const std::vector<Point>& points, const std::string& what,
                                   int* pMeetings = nullptr)
{
    const auto ring = MakeRing(points);
    Detail::RingClearance clearance;
    const bool clear = clearance.IsClear(ring->GetNodes(), CurrentPrecision().GridStep);
    const bool meets = MeetsAnywhere(points);
    EXPECT_FALSE(clear && meets) << what;
    EXPECT_TRUE(clearance.IsEmpty()) << what;
    if (pMeetings != nullptr)
    {
        *pMeetings += meets ? 1 : 0;
    }
    return clear;
}

// A point beside the middle of the edge from a to b, offset across it towards side.
Point BesideMiddle(const Point& a, const Point& b, const Point& side, double offset)
{
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    const double length = std::hypot(dx, dy);
    Point normal{-dy / length, dx / length};
    const Point middle{a.X + 0.5 * dx, a.Y + 0.5 * dy};
    if ((side.X - middle.X) * normal.X + (side.Y - middle.Y) * normal.Y < 0.0)
    {
        normal = {-normal.X, -normal.Y};
    }
    return {middle.X + offset * normal.X, middle.Y + offset * normal.Y};
}

Point Between(const Point& a, const Point& b, double t)
{
    return {a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y)};
}

TEST(RingSweepCheckTest, ClearanceCallsStarsClearAndPassesOverNoMeeting)
{
    std::mt19937 random(20261208);
    const double tolerance = DefaultIntersectionTolerance;
    for (int round = 0; round < 12 && !HasFailure(); ++round)
    {
        const std::string context = ", round " + std::to_string(round);
        const int count = 2 * (100 + 50 * round);
        const Point centre{-40.0 * round, 7.0 * round};
        const std::vector<Point> star = Star(random, count, centre, 10.0 + 20.0 * round, 0.6);
        EXPECT_TRUE(ExpectClearOnlyWithoutMeeting(star, "star" + context));
        EXPECT_TRUE(ExpectClearOnlyWithoutMeeting(Transposed(star), "transposed" + context));

        // Spike tip i moved beside the middle of the next spike's rising edge: onto it, within
        // the probe square, within the tolerance (beyond the reach of the exact pair test),
        // across.
        const auto at = static_cast<std::size_t>(2 * (random() % (count / 2 - 2)) + 2);
        const Point& rise = star[at + 1];
        const Point& tip = star[at + 2];
        const auto moved = [&](double offset)
        {
            std::vector<Point> points = star;
            points[at] = BesideMiddle(rise, tip, star[at], offset);
            return points;
        };
        // The ring's nodes lie on the node grid: a point beside an edge by less than a grid step
        // may end up on either side of it or on it.
        int meetings = 0;
        ExpectClearOnlyWithoutMeeting(moved(0.0), "tip on an edge" + context);
        ExpectClearOnlyWithoutMeeting(moved(0.3 * DefaultNodeGridStep),
                                      "tip within the probe" + context);
        EXPECT_TRUE(ExpectClearOnlyWithoutMeeting(moved(0.5 * tolerance),
                                                  "tip within the tolerance" + context));
        ExpectClearOnlyWithoutMeeting(moved(-0.1), "tip across" + context, &meetings);

        // An edge along part of the next spike's edge; a tip on another tip; a vertex across
        // the centre.
        std::vector<Point> along = star;
        along[at - 1] = Between(rise, tip, 0.2);
        along[at] = Between(rise, tip, 0.7);
        ExpectClearOnlyWithoutMeeting(along, "collinear overlap" + context, &meetings);
        std::vector<Point> touching = star;
        touching[at] = star[(at + 4) % star.size()];
        ExpectClearOnlyWithoutMeeting(touching, "touch at a vertex" + context, &meetings);
        EXPECT_EQ(meetings, 3) << context;
        std::vector<Point> crossing = star;
        crossing[at] = {2 * centre.X - star[at].X, 2 * centre.Y - star[at].Y};
        ExpectClearOnlyWithoutMeeting(crossing, "across the centre" + context);
    }
}

TEST(RingSweepCheckTest, ClearanceAgreesWithThePairTestOnRandomRings)
{
    // Small rings on coarse grids and on the node grid meet in every way; stars with one vertex
    // thrown beside another edge, from on it to beyond a grid step and far, meet or keep clear.
    std::mt19937 random(1208);
    int clear = 0;
    int meetings = 0;
    for (int round = 0; round < 3000 && !HasFailure(); ++round)
    {
        const int size = 1 + round % 6;
        const double steps[] = {1.0, 0.7e-3, 1e-6};
        const double step = steps[round % 3];
        clear += ExpectClearOnlyWithoutMeeting(RandomPoints(random, 4 + round % 20, size, step),
                                               "grid ring " + std::to_string(round), &meetings);
    }
    const double offsets[] = {0.0, 5e-7, 1e-6, 1.5e-6, 2e-6, 6e-4, 5e-3, 0.05};
    for (int round = 0; round < 400 && !HasFailure(); ++round)
    {
        std::vector<Point> star = Star(random, 60 + 2 * (round % 50), {3.0, -2.0}, 5.0, 0.5);
        clear += ExpectClearOnlyWithoutMeeting(star, "star " + std::to_string(round));
        std::uniform_int_distribution<std::size_t> vertex(0, star.size() - 1);
        const std::size_t at = vertex(random);
        const std::size_t edge = vertex(random);
        star[at] = BesideMiddle(star[edge], star[(edge + 1) % star.size()], star[at],
                                offsets[round % 8]);
        clear += ExpectClearOnlyWithoutMeeting(star, "changed star " + std::to_string(round),
                                               &meetings);
    }
    EXPECT_GT(clear, 440);
    EXPECT_GT(meetings, 1000);
}

} // namespace
