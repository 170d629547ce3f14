// The overlay cuts rings at the reported meetings in the order the sweep reports them, and
// ties between meetings at one point are settled by that order. These tests hold the sweep to
// a plain model of its order: events by left end point as std::sort leaves them for edges in
// list order, each event tested against the other list's active edges (both interval sets in
// order, then the overflow), active edges retired by right end point in the same sort's order.

#include "Arealis/Node.h"
#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "intersection/RingEdgeSupport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <set>
#include <tuple>
#include <vector>

using namespace Arealis;
using EdgeTesting::EdgesOf;
using EdgeTesting::MakeRing;
using EdgeTesting::RandomRing;

namespace
{

struct ModelEdge
{
    LinearEdge Edge;
    Point Left;
    Point Right;
    double MinY = 0.0;
    double MaxY = 0.0;
    bool FromFirst = true;
};

// Orders edges of one interval set by their minimum; a y value is searched against maxima.
struct ByInterval
{
    using is_transparent = void;
    const std::vector<ModelEdge>* pEdges;
    bool operator()(int a, int b) const { return (*pEdges)[a].MinY < (*pEdges)[b].MinY; }
    bool operator()(int a, double y) const { return (*pEdges)[a].MaxY < y; }
    bool operator()(double y, int b) const { return y < (*pEdges)[b].MaxY; }
};

struct ModelStatus
{
    explicit ModelStatus(const std::vector<ModelEdge>& edges)
        : Sets{std::set<int, ByInterval>(ByInterval{&edges}),
               std::set<int, ByInterval>(ByInterval{&edges})}
    {
    }
    std::array<std::set<int, ByInterval>, 2> Sets;
    std::vector<int> Overflow;
};

// The self-mode test of one pair: exact proximity, identical edges reported at both ends.
void RecordSelfPair(const LinearEdge& a, const LinearEdge& b, IntersectionList& result)
{
    const Node& a0 = *a.Start();
    const Node& a1 = *a.End();
    const Node& b0 = *b.Start();
    const Node& b1 = *b.End();
    if ((IsSameVertex(a0, b0) && IsSameVertex(a1, b1)) ||
        (IsSameVertex(a0, b1) && IsSameVertex(a1, b0)))
    {
        result.Append(EdgeIntersection{a, b, a0.Position});
        result.Append(EdgeIntersection{a, b, a1.Position});
        return;
    }
    const SegmentsIntersection meeting = SegmentsIntersection::Classify(
        a0.Position, a1.Position, b0.Position, b1.Position, ProximityMode::Exact);
    if (meeting.Kind == IntersectionKind::Overlapping)
    {
        result.Append(EdgeIntersection{a, b, meeting.OverlapStart});
        result.Append(EdgeIntersection{a, b, meeting.OverlapEnd});
    }
    else if (meeting.Kind != IntersectionKind::None)
    {
        result.Append(EdgeIntersection{a, b, meeting.Location});
    }
}

bool AreNeighbours(const LinearEdge& a, const LinearEdge& b)
{
    const std::int32_t d = std::abs(a.EdgeNumber() - b.EdgeNumber());
    return a.Ring == b.Ring && (d <= 1 || d == a.Ring->Count() - 1);
}

void TestModelPair(const std::vector<ModelEdge>& edges, int current, int candidate,
                   bool fromOverflow, bool selfMode, IntersectionList& result)
{
    const bool currentFirst = selfMode ? current < candidate : edges[current].FromFirst;
    const ModelEdge& a = edges[currentFirst ? current : candidate];
    const ModelEdge& b = edges[currentFirst ? candidate : current];
    if (selfMode && AreNeighbours(a.Edge, b.Edge))
    {
        return;
    }
    const Rectangle boundsA(a.Left, a.Right);
    const Rectangle boundsB(b.Left, b.Right);
    if (selfMode)
    {
        if (!fromOverflow || boundsA.Intersects(boundsB))
        {
            RecordSelfPair(a.Edge, b.Edge, result);
        }
        return;
    }
    // Two lists: brute force on the single pair applies the rectangle filter that the sweep
    // applies to overflow edges; interval candidates on a grid of whole numbers pass it anyway.
    EdgeList first;
    first.Append(a.Edge);
    EdgeList second;
    second.Append(b.Edge);
    BruteForceAlgorithm::Instance().FindIntersections(first, second, result, false);
}

std::vector<int> SortedBy(const std::vector<ModelEdge>& edges, bool left)
{
    std::vector<std::pair<Point, int>> keys;
    for (std::size_t i = 0; i < edges.size(); ++i)
    {
        keys.emplace_back(left ? edges[i].Left : edges[i].Right, static_cast<int>(i));
    }
    std::sort(keys.begin(), keys.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<int> order;
    order.reserve(keys.size());
    for (const auto& key : keys)
    {
        order.push_back(key.second);
    }
    return order;
}

IntersectionList ModelSweep(const EdgeList& first, const EdgeList& second)
{
    const bool selfMode = &first == &second;
    std::vector<ModelEdge> edges;
    for (int list = 0; list < (selfMode ? 1 : 2); ++list)
    {
        for (const LinearEdge& edge : list == 0 ? first : second)
        {
            Point left = edge.Start()->Position;
            Point right = edge.End()->Position;
            if (right < left)
            {
                std::swap(left, right);
            }
            edges.push_back(ModelEdge{edge, left, right, std::min(left.Y, right.Y),
                                      std::max(left.Y, right.Y), list == 0});
        }
    }
    const std::vector<int> leftOrder = SortedBy(edges, true);
    const std::vector<int> rightOrder = SortedBy(edges, false);
    std::array<ModelStatus, 2> statuses{ModelStatus(edges), ModelStatus(edges)};
    const auto statusOf = [&](int edge, bool own) -> ModelStatus&
    { return statuses[selfMode || edges[edge].FromFirst == own ? 0 : 1]; };
    std::vector<int> slots(edges.size(), -1);
    IntersectionList result;
    std::size_t nextRight = 0;
    for (const int current : leftOrder)
    {
        const ModelEdge& event = edges[current];
        while (nextRight < rightOrder.size() &&
               event.Left.X - edges[rightOrder[nextRight]].Right.X > DefaultIntersectionTolerance)
        {
            const int retired = rightOrder[nextRight++];
            ModelStatus& own = statusOf(retired, true);
            if (slots[retired] == 2)
            {
                auto it = std::find(own.Overflow.begin(), own.Overflow.end(), retired);
                *it = own.Overflow.back();
                own.Overflow.pop_back();
            }
            else if (slots[retired] >= 0)
            {
                own.Sets[slots[retired]].erase(retired);
            }
        }
        const ModelStatus& other = statusOf(current, false);
        const double low = event.MinY - DefaultIntersectionTolerance;
        const double high = event.MaxY + DefaultIntersectionTolerance;
        for (const auto& set : other.Sets)
        {
            const auto start = set.lower_bound(event.MinY);
            for (auto it = start; it != set.end() && edges[*it].MinY < high; ++it)
            {
                TestModelPair(edges, current, *it, false, selfMode, result);
            }
            for (auto it = start; it != set.begin() && edges[*std::prev(it)].MaxY > low; --it)
            {
                TestModelPair(edges, current, *std::prev(it), false, selfMode, result);
            }
        }
        for (const int candidate : other.Overflow)
        {
            TestModelPair(edges, current, candidate, true, selfMode, result);
        }
        ModelStatus& own = statusOf(current, true);
        slots[current] = 2;
        for (int i = 0; i < 2; ++i)
        {
            const auto at = own.Sets[i].lower_bound(event.MinY);
            if (at == own.Sets[i].end() || edges[*at].MinY > event.MaxY)
            {
                own.Sets[i].insert(current);
                slots[current] = i;
                break;
            }
        }
        if (slots[current] == 2)
        {
            own.Overflow.push_back(current);
        }
    }
    return result;
}

using Entry = EdgeTesting::IntersectionEntry;

IntersectionList Sweep(const EdgeList& first, const EdgeList& second)
{
    IntersectionList result;
    SweepLineIntersectionAlgorithm::Instance().FindIntersections(first, second, result, false);
    return result;
}

// Horizontal edges of random lengths on rows 0, 1, 2, ..., joined by slanted edges: hundreds
// of edges with disjoint y intervals are active at once, entering and leaving in mixed order.
std::unique_ptr<Ring> Ladder(std::mt19937& random, int rows)
{
    std::uniform_int_distribution<int> x(0, 400);
    std::vector<Point> points;
    for (int row = 0; row < rows; ++row)
    {
        const int a = x(random);
        const int b = x(random);
        points.push_back({double(std::min(a, b)), double(row)});
        points.push_back({double(std::max(a, b) + 1), double(row)});
    }
    return MakeRing(points);
}

void ExpectModelOrder(const EdgeList& first, const EdgeList& second, int round)
{
    EXPECT_EQ(EdgeTesting::EntriesOf(ModelSweep(first, second)),
              EdgeTesting::EntriesOf(Sweep(first, second)))
        << "round " << round << (&first == &second ? ", one list" : ", two lists");
}

TEST(SweepLineOrderTest, SmallGridsWithManyEqualEndPointsKeepTheModelsOrder)
{
    // Coarse grids put many end points on one spot and stack collinear edges, which fills
    // the overflow and makes edges with equal right ends retire together.
    std::mt19937 random(7031);
    std::uniform_int_distribution<int> size(20, 160);
    for (int round = 0; round < 300 && !HasFailure(); ++round)
    {
        const int grid = round % 3 == 0 ? 3 : (round % 3 == 1 ? 8 : 60);
        const auto a = RandomRing(random, size(random), grid);
        const auto b = RandomRing(random, size(random), grid);
        const EdgeList first = EdgesOf(*a);
        const EdgeList second = EdgesOf(*b);
        ExpectModelOrder(first, first, round);
        ExpectModelOrder(first, second, round);
    }
    EXPECT_TRUE(SweepLineIntersectionAlgorithm::Instance().HoldsNoWorkingData());
}

TEST(SweepLineOrderTest, ManyActiveEdgesWithDisjointIntervalsKeepTheModelsOrder)
{
    std::mt19937 random(4242);
    for (int round = 0; round < 6 && !HasFailure(); ++round)
    {
        const auto ladder = Ladder(random, 700);
        const auto crossing = RandomRing(random, 200, 400);
        const EdgeList first = EdgesOf(*ladder);
        const EdgeList second = EdgesOf(*crossing);
        ExpectModelOrder(first, second, round);
        ExpectModelOrder(second, first, round);
        ExpectModelOrder(first, first, round);
    }
}

// Tall zigzag edges that overlap one another in y, so that most go into the overflow, met by
// short probe edges at and just beside the zigzag's corners: the overflow's candidates that lie
// apart in y by less than the tolerance, by about it, and by more.
std::unique_ptr<Ring> TallZigzag(std::mt19937& random, int teeth)
{
    std::uniform_real_distribution<double> height(20.0, 60.0);
    std::vector<Point> points;
    for (int tooth = 0; tooth < teeth; ++tooth)
    {
        points.push_back({tooth * 0.5, 0.0});
        points.push_back({tooth * 0.5 + 30.0, std::round(height(random) * 1000.0) / 1000.0});
    }
    points.push_back({teeth * 0.5 + 30.0, -5.0});
    return MakeRing(points);
}

std::unique_ptr<Ring> ProbesBeside(std::mt19937& random, const Ring& zigzag)
{
    const std::array<double, 7> offsets{0.0, 2e-4, -4e-4, 4.9e-4, 5.1e-4, -6e-4, 2e-3};
    std::uniform_int_distribution<std::size_t> pick(0, offsets.size() - 1);
    std::vector<Point> points;
    for (std::int32_t i = 1; i < zigzag.Count(); i += 2)
    {
        const Point corner = zigzag.GetNode(i)->Position;
        const double y = corner.Y + offsets[pick(random)];
        points.push_back({corner.X - 0.1, y});
        points.push_back({corner.X + 0.1, y});
    }
    return MakeRing(points);
}

TEST(SweepLineOrderTest, OverflowCandidatesNearAndFarInYKeepTheModelsOrder)
{
    std::mt19937 random(5519);
    for (int round = 0; round < 12 && !HasFailure(); ++round)
    {
        const auto zigzag = TallZigzag(random, 40 + 20 * round);
        const auto probes = ProbesBeside(random, *zigzag);
        const EdgeList first = EdgesOf(*zigzag);
        const EdgeList second = EdgesOf(*probes);
        ExpectModelOrder(first, second, round);
        ExpectModelOrder(second, first, round);
        ExpectModelOrder(first, first, round);
        ExpectModelOrder(second, second, round);
    }
}

// A ring's own check for a first meeting answers with the first meeting pair of the report
// order, whether or not it takes the way of a check that ignores that order.
void ExpectFirstMeetingOfModel(const Ring& ring, const char* what, int round)
{
    const EdgeList edges = EdgesOf(ring);
    const std::vector<Entry> all = EdgeTesting::EntriesOf(ModelSweep(edges, edges));
    IntersectionList first;
    SweepLineIntersectionAlgorithm::Instance().FindIntersections(edges, edges, first, true);
    const std::vector<Entry> found = EdgeTesting::EntriesOf(first);
    ASSERT_EQ(all.empty(), found.empty()) << what << ", round " << round;
    ASSERT_LE(found.size(), all.size()) << what << ", round " << round;
    EXPECT_EQ(std::vector<Entry>(all.begin(), all.begin() + std::ptrdiff_t(found.size())), found)
        << what << ", round " << round;
    if (!found.empty())
    {
        // One pair only: its one or two meeting points.
        EXPECT_LE(found.size(), 2U) << what << ", round " << round;
        EXPECT_EQ(std::get<1>(found.front()), std::get<1>(found.back()));
        EXPECT_EQ(std::get<3>(found.front()), std::get<3>(found.back()));
    }
}

// A star around the origin with jittered radii: simple, and full of short edges whose
// neighbours are their only near edges.
std::vector<Point> StarPoints(std::mt19937& random, int count, double offset)
{
    std::uniform_real_distribution<double> jitter(-5.0, 5.0);
    std::vector<Point> points;
    for (int i = 0; i < count; ++i)
    {
        const double angle = 2.0 * 3.141592653589793 * i / count;
        const double radius = (i % 2 == 0 ? 100.0 : 60.0) + jitter(random);
        points.push_back({offset + radius * std::cos(angle), offset + radius * std::sin(angle)});
    }
    return points;
}

// Horizontal teeth of width 10 stacked upwards, each pair of neighbouring teeth apart by one
// of the gaps: nearer and farther than the tolerance, beyond twice the tolerance, and, when
// the teeth may meet, overlapping or within the probe square.
std::unique_ptr<Ring> Comb(std::mt19937& random, int teeth, bool meeting)
{
    const std::array<double, 6> gaps{4e-4, 6e-4, 1.1e-3, 0.5, 0.0, 2e-7};
    std::uniform_int_distribution<std::size_t> pick(0, gaps.size() - (meeting ? 1 : 3));
    std::vector<Point> points{{0.0, 0.0}};
    double y = 0.0;
    for (int tooth = 0; tooth < teeth; ++tooth)
    {
        points.push_back({10.0, y});
        points.push_back({10.0, y + 1.0});
        points.push_back({1.0, y + 1.0});
        y += 1.0 + gaps[pick(random)];
        points.push_back({1.0, y});
    }
    points.push_back({0.0, y});
    return MakeRing(points);
}

TEST(SweepLineOrderTest, OwnCheckForAFirstMeetingFindsTheReportsFirstMeeting)
{
    std::mt19937 random(9127);
    std::uniform_int_distribution<int> size(300, 900);
    for (int round = 0; round < 40 && !HasFailure(); ++round)
    {
        std::vector<Point> star = StarPoints(random, size(random), 0.0);
        ExpectFirstMeetingOfModel(*MakeRing(star), "star", round);
        // Coordinates too large for the tolerance to change them take the reporting sweep.
        ExpectFirstMeetingOfModel(*MakeRing(StarPoints(random, 300, 1e12)), "far star", round);
        // Few teeth are scanned at every event, many take the interval sets.
        const int teeth = round % 4 < 2 ? 8 : 150;
        ExpectFirstMeetingOfModel(*Comb(random, teeth, round % 2 == 0), "comb", round);
        // One vertex moved onto another, or anywhere: a touch or crossings late in the sweep.
        std::uniform_int_distribution<std::size_t> vertex(0, star.size() - 1);
        const std::size_t moved = vertex(random);
        star[moved] = round % 2 == 0 ? star[vertex(random)] : Point{star[moved].Y, -star[moved].X};
        ExpectFirstMeetingOfModel(*MakeRing(star), "star with a moved vertex", round);
        const int grid = round % 3 == 0 ? 3 : (round % 3 == 1 ? 8 : 60);
        ExpectFirstMeetingOfModel(*RandomRing(random, size(random) / 4, grid), "grid", round);
    }
    EXPECT_TRUE(SweepLineIntersectionAlgorithm::Instance().HoldsNoWorkingData());
}

} // namespace
