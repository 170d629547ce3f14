#include "Arealis/NodeSet.h"

#include "Arealis/SortedPointRun.h"
#include "Collections/PlainArray.h"
#include "Exceptions/ArgumentException.h"
#include "model/ModelTestSupport.h"
#include "model/NodePool.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <thread>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;

namespace
{

constexpr std::uint8_t Id = 7;

Points PointsOf(const Collections::PlainArray<Node*>& nodes)
{
    Points points;
    for (const Node* node : nodes)
    {
        points.push_back(node->Position);
    }
    return points;
}

TEST(NodeSetTest, OneCountedNodePerSnappedPoint)
{
    NodeSet nodes(Id);
    Node* a = nodes.GetNode({1.0000004, 2});
    EXPECT_EQ(a->Position, (Point{1, 2}));
    EXPECT_EQ(a->TopologyId, Id);
    EXPECT_EQ(a->ReferenceCount, 1U);
    EXPECT_EQ(nodes.GetNode({0.9999996, 2}), a);
    EXPECT_EQ(a->ReferenceCount, 2U);
    nodes.AddReference(a);
    EXPECT_EQ(a->ReferenceCount, 3U);
    EXPECT_EQ(nodes.Count(), 1);

    nodes.ReleaseNode(a);
    nodes.ReleaseNode(a);
    EXPECT_EQ(nodes.Find({1, 2}), a);
    nodes.ReleaseNode(a);
    EXPECT_EQ(nodes.Find({1, 2}), nullptr);
    EXPECT_EQ(nodes.Count(), 0);
}

// GetNode answers from a table of recent nodes before the index: a node released or moved
// must not be handed out again from that table.
TEST(NodeSetTest, RecentNodesLeaveTheTableWithTheirPlaceInTheIndex)
{
    NodeSet nodes(Id);
    nodes.ReleaseNode(nodes.GetNode({3, 4})); // the record keeps its point in the pool
    Node* again = nodes.GetNode({3, 4});
    EXPECT_EQ(nodes.Find({3, 4}), again);
    EXPECT_EQ(again->TopologyId, Id);
    EXPECT_EQ(again->ReferenceCount, 1U);
    EXPECT_EQ(nodes.Count(), 1);

    Node* moved = nodes.MoveNode(again, {7, 7});
    Node* fresh = nodes.GetNode({3, 4});
    EXPECT_NE(fresh, moved);
    EXPECT_EQ(nodes.Find({3, 4}), fresh);

    Node* merged = nodes.GetNode({9, 9});
    EXPECT_EQ(nodes.MoveNode(merged, {7, 7}), moved);
    EXPECT_EQ(nodes.GetNode({7, 7}), moved);
    EXPECT_NE(nodes.GetNode({9, 9}), merged);
    EXPECT_EQ(nodes.Count(), 3);

    EXPECT_EQ(nodes.GetNode({-0.0, 5}), nodes.GetNode({0.0, 5})) << "both zeros are one point";
}

// The corners of a grid of cells, visited cell by cell as a layer of neighbours is read: every
// point has one node, counted once per cell corner, whatever the table of recent nodes held.
TEST(NodeSetTest, SharedCornersOfAGridOfCellsAreOneNodeEach)
{
    constexpr int Cells = 300;
    NodeSet nodes(Id);
    for (int row = 0; row < Cells; ++row)
    {
        for (int column = 0; column < Cells; ++column)
        {
            for (const Point& corner : Points{{column * 0.5, row * 0.25},
                                              {column * 0.5, (row + 1) * 0.25},
                                              {(column + 1) * 0.5, (row + 1) * 0.25},
                                              {(column + 1) * 0.5, row * 0.25}})
            {
                Node* node = nodes.GetNode(corner);
                ASSERT_EQ(node->Position, corner);
                ASSERT_EQ(nodes.Find(corner), node);
            }
        }
    }
    ASSERT_EQ(nodes.Count(), (Cells + 1) * (Cells + 1));
    const auto cellsAround = [](int i) { return (i > 0 ? 1U : 0U) + (i < Cells ? 1U : 0U); };
    for (int i = 0; i <= Cells; ++i)
    {
        for (int j = 0; j <= Cells; ++j)
        {
            const Node* node = nodes.Find({j * 0.5, i * 0.25});
            ASSERT_NE(node, nullptr);
            ASSERT_EQ(node->ReferenceCount, cellsAround(i) * cellsAround(j));
        }
    }
}

// Looks the run up with lookup(nodes) in batched and with GetNode point by point in single (two
// sets holding the same nodes so far), expects the same nodes and counts from both, and returns
// what the lookup wrote, extra slots beyond the run included.
template <class Lookup>
std::vector<Node*> ExpectLookupAsOneByOne(NodeSet& batched, NodeSet& single, const Points& run,
                                          std::size_t extraSlots, Lookup lookup)
{
    std::vector<Node*> fromBatch(run.size() + extraSlots, nullptr);
    lookup(fromBatch);
    std::vector<Node*> fromSingle;
    for (const Point& p : run)
    {
        fromSingle.push_back(single.GetNode(p));
    }
    EXPECT_EQ(batched.Count(), single.Count());
    for (std::size_t i = 0; i < run.size(); ++i)
    {
        EXPECT_EQ(fromBatch[i]->Position, fromSingle[i]->Position) << i;
        EXPECT_EQ(fromBatch[i]->ReferenceCount, fromSingle[i]->ReferenceCount) << i;
        EXPECT_EQ(fromBatch[i], batched.Find(fromBatch[i]->Position)) << i;
        if (::testing::Test::HasFailure())
        {
            break;
        }
    }
    return fromBatch;
}

// Gets the nodes of count points of a grid of width by height in both sets, in the same order.
void GetGridNodesInBoth(NodeSet& a, NodeSet& b, int count, int width, int height)
{
    for (int i = 0; i < count; ++i)
    {
        const Point p{double(i % width), double(i % height)};
        a.GetNode(p);
        b.GetNode(p);
    }
}

std::vector<Node*> ExpectGetNodesAsOneByOne(NodeSet& batched, NodeSet& single, const Points& run,
                                            std::size_t extraSlots = 0)
{
    return ExpectLookupAsOneByOne(batched, single, run, extraSlots,
                                  [&](std::vector<Node*>& nodes) { batched.GetNodes(run, nodes); });
}

// A batch must be exactly GetNode for each point in turn: points that snap together inside one
// batch, across the border between look-ahead batches, and onto nodes made before it.
TEST(NodeSetTest, GetNodesAgreesWithGetNodeOneByOne)
{
    Points points;
    for (int i = 0; i < 150; ++i)
    {
        points.push_back({double(i % 37), double(i % 5)});
        points.push_back({i % 37 + 4e-7, double(i % 5)}); // snaps onto the previous point
    }
    points.push_back({0.0, 0.0});
    points.push_back({-0.0, -0.0});
    points.push_back({1e300, -1e300});
    points.push_back({1e300, -1e300});

    NodeSet batched(Id);
    NodeSet single(Id);
    const std::vector<Point> earlier{{3, 1}, {36, 4}, {100, 100}};
    for (const Point& p : earlier)
    {
        batched.GetNode(p);
        single.GetNode(p);
    }
    const std::vector<Node*> fromBatch = ExpectGetNodesAsOneByOne(batched, single, points, 5);
    EXPECT_EQ(fromBatch[points.size()], nullptr); // nothing written past the points
    for (const Point& p : earlier)
    {
        EXPECT_EQ(batched.Find(p)->ReferenceCount, single.Find(p)->ReferenceCount);
    }

    std::vector<Node*> tooFew(2);
    EXPECT_THROW(batched.GetNodes(points, tooFew), Exceptions::ArgumentOutOfRangeException);
    EXPECT_EQ(batched.Count(), single.Count());
}

// Long runs of points spread about in x are looked up in the index's order: the nodes and
// counts are still those of GetNode in turn, for points repeated in the run and snapping
// together, nodes made before (some still in the table of recent nodes, some pushed out),
// runs longer than a chunk of the lookup, and a run with an infinite coordinate.
TEST(NodeSetTest, LongScatteredRunsAgreeWithGetNodeOneByOne)
{
    Points points;
    std::uint64_t seed = 12345;
    const auto next = [&seed]
    {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(seed >> 40);
    };
    for (int i = 0; i < 70000; ++i)
    {
        const double x = std::fmod(next(), 600.0);
        const double y = std::fmod(next(), 40.0);
        points.push_back({x, y});
        if (i % 7 == 0)
        {
            points.push_back({x + 3e-7, y}); // snaps onto the point before
        }
        if (i % 11 == 0)
        {
            points.push_back(points[static_cast<std::size_t>(i / 2)]); // repeats an earlier one
        }
    }
    Points infinite(2000, Point{0, 0});
    for (std::size_t i = 0; i < infinite.size(); ++i)
    {
        infinite[i] = {double((i * 37) % 500), double(i % 3)};
    }
    infinite[1000] = {std::numeric_limits<double>::infinity(), 1};

    NodeSet batched(Id);
    NodeSet single(Id);
    GetGridNodesInBoth(batched, single, 30000, 600, 40);
    ExpectGetNodesAsOneByOne(batched, single, points);
    // A run with a coordinate that is not finite is refused whole, before any lookup.
    const std::int32_t before = batched.Count();
    std::vector<Node*> taken(infinite.size());
    EXPECT_THROW(batched.GetNodes(infinite, taken), Exceptions::ArgumentException);
    EXPECT_EQ(batched.Count(), before);
}

// Runs of new positions and runs of positions stored already in turn: records are made for
// every position in point order and kept as spares where the position was found, and after a
// run of mostly stored positions they are made on demand for the new ones alone. Nodes and
// counts stay those of GetNode in turn, spares are handed out again with their new positions,
// and once every node is released and the unused room given back, the pool holds at most the
// block it allocates from.
TEST(NodeSetTest, RunsOfNewAndOfStoredPositionsInTurnAgreeWithGetNodeOneByOne)
{
    const auto grid = [](double x0, int count)
    {
        Points points;
        for (int i = 0; i < count; ++i)
        {
            points.push_back({x0 + double((i * 7919) % 101), double(i % 61)});
        }
        return points;
    };
    const Points fresh = grid(0, 6000);
    Points stored = fresh; // all found: the next run makes records on demand
    std::reverse(stored.begin(), stored.end());
    Points mostlyNew = grid(1000, 6000);
    mostlyNew.insert(mostlyNew.end(), fresh.begin(), fresh.begin() + 500);
    Points mixed = grid(2000, 3000); // after a run of mostly new positions: records up front
    mixed.insert(mixed.end(), fresh.begin(), fresh.end());
    Points again = mostlyNew; // found: spares kept, and the next run on demand
    Points last = grid(3000, 4000);
    last.insert(last.end(), stored.begin(), stored.begin() + 100);

    NodeSet batched(Id);
    NodeSet single(Id);
    std::vector<std::vector<Node*>> taken;
    for (const Points* run :
         std::initializer_list<const Points*>{&fresh, &stored, &mostlyNew, &mixed, &again, &last})
    {
        taken.push_back(ExpectGetNodesAsOneByOne(batched, single, *run));
        ASSERT_FALSE(::testing::Test::HasFailure());
    }
    for (const std::vector<Node*>& nodes : taken)
    {
        for (Node* node : nodes)
        {
            batched.ReleaseNode(node);
        }
    }
    EXPECT_EQ(batched.Count(), 0);
    batched.ReleaseUnusedRoom();
    EXPECT_LE(batched.GetBlockCount(), 1);
}

// A run sorted ahead, on another thread, gives the nodes and counts of GetNode in turn, for
// points repeated and snapping together, onto nodes made before; one run object serves
// several runs in turn. A run that cannot be sorted is refused, and so is too little room.
TEST(NodeSetTest, RunsSortedOnAnotherThreadAgreeWithGetNodeOneByOne)
{
    std::vector<Points> runs(3);
    for (int i = 0; i < 5000; ++i)
    {
        const double angle = 0.001 * i;
        runs[0].push_back({100 * std::cos(angle), 100 * std::sin(angle)}); // along a curve
        runs[1].push_back({double((i * 37) % 300), double(i % 7)});        // scattered
        if (i % 9 == 0)
        {
            runs[1].push_back({(i * 37) % 300 + 2e-7, double(i % 7)}); // snaps onto the last
        }
    }
    runs[2] = runs[0]; // every node again

    NodeSet sorted(Id);
    NodeSet single(Id);
    GetGridNodesInBoth(sorted, single, 1000, 300, 7);
    SortedPointRun run;
    for (const Points& points : runs)
    {
        bool prepared = false;
        std::thread([&run, &points, &prepared]
                    { prepared = run.Prepare(points, DefaultNodeGridStep); })
            .join();
        ASSERT_TRUE(prepared);
        ASSERT_EQ(run.Count(), points.size());
        ExpectLookupAsOneByOne(sorted, single, points, 0,
                               [&](std::vector<Node*>& nodes) { sorted.GetNodes(run, nodes); });
        ASSERT_FALSE(::testing::Test::HasFailure());
    }

    std::vector<Node*> tooFew(10);
    EXPECT_THROW(sorted.GetNodes(run, tooFew), Exceptions::ArgumentOutOfRangeException);
    EXPECT_EQ(sorted.Count(), single.Count());
    Points withNaN = runs[0];
    withNaN[4000].Y = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(run.Prepare(withNaN, DefaultNodeGridStep));
    EXPECT_EQ(run.Count(), 0U);
}

// Released records are handed out again first; the pool grows by blocks and gives a block back
// once it is empty. Records keep their nodes' values, also after the unused room was given back.
TEST(NodeSetTest, PoolReusesRecordsGrowsByBlocksAndGivesEmptyOnesBack)
{
    constexpr int Block = NodePool::BlockSize;
    NodeSet nodes(Id);
    std::vector<Node*> made;
    made.reserve(Block + 1);
    for (int i = 0; i < 100; ++i)
    {
        made.push_back(nodes.GetNode({double(i), 1}));
    }
    EXPECT_EQ(nodes.GetBlockCount(), 1);
    Node* released = made[40];
    nodes.ReleaseNode(released);
    made[40] = nodes.GetNode({500, 500});
    EXPECT_EQ(made[40], released);
    EXPECT_EQ(released->Position, (Point{500, 500}));
    EXPECT_EQ(released->ReferenceCount, 1U);
    EXPECT_EQ(nodes.Count(), 100);

    for (int i = 100; i < Block + 1; ++i)
    {
        made.push_back(nodes.GetNode({double(i), 1}));
    }
    EXPECT_EQ(nodes.GetBlockCount(), 2);
    // Records handed out after the room is given back are good ones.
    nodes.ReleaseUnusedRoom();
    Node* after = nodes.GetNode({-2, -2});
    EXPECT_EQ(after->Position, (Point{-2, -2}));
    EXPECT_EQ(after->ReferenceCount, 1U);
    EXPECT_EQ(made.back()->Position, (Point{double(Block), 1}));
    nodes.ReleaseNode(after);
    for (int i = 0; i < Block; ++i)
    {
        nodes.ReleaseNode(made[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(nodes.GetBlockCount(), 1);
    EXPECT_EQ(nodes.Find({double(Block), 1}), made.back());
    EXPECT_EQ(made.back()->Position, (Point{double(Block), 1}));
    EXPECT_EQ(nodes.GetNode({-1, -1})->Position, (Point{-1, -1}));
    EXPECT_EQ(nodes.Count(), 2);
}

TEST(NodeSetTest, MoveNodeOntoAnotherReturnsTheOtherAndLeavesTheMovedOneOut)
{
    NodeSet nodes(Id);
    Node* a = nodes.GetNode({0, 0});
    Node* b = nodes.GetNode({1, 1});
    EXPECT_EQ(nodes.MoveNode(a, {2, 2}), a);
    EXPECT_EQ(nodes.Find({2, 2}), a);
    EXPECT_EQ(nodes.Find({0, 0}), nullptr);
    EXPECT_EQ(nodes.MoveNode(a, {1, 1}), b);
    EXPECT_EQ(nodes.Find({1, 1}), b);
    EXPECT_EQ(nodes.Count(), 1);
    nodes.ReleaseNode(a); // the caller hands its references over, then releases it
    EXPECT_EQ(nodes.Find({1, 1}), b);
    EXPECT_EQ(b->ReferenceCount, 1U);
}

TEST(NodeSetTest, FindNodesInAscendingPointOrder)
{
    NodeSet nodes(Id);
    for (const Point& p : Points{{1, 2}, {0, 5}, {1, 0}, {3, 3}, {1, 9}, {-1, 1}})
    {
        nodes.GetNode(p);
    }
    Collections::PlainArray<Node*> found;
    nodes.FindNodes(Rectangle(0, 0, 2, 5), found);
    EXPECT_EQ(PointsOf(found), (Points{{0, 5}, {1, 0}, {1, 2}}));
}

TEST(NodeSetTest, ChecksRefuseNodesOfOtherSets)
{
    NodeSet nodes(Id);
    NodeSet other(Id + 1);
    Node* foreign = other.GetNode({0, 0});
    EXPECT_EQ(Failure([&] { nodes.AddReference(nullptr); }),
              "The pointer is not valid. @ NodeSet, line: 24");
    EXPECT_EQ(Failure([&] { nodes.ReleaseNode(foreign); }),
              "The Node belongs to an other Topology @ NodeSet, line: 26");
    EXPECT_EQ(Failure(
                  [&] {
                      nodes.MoveNode(foreign, {1, 1});
                  }),
              "The Node belongs to an other Topology @ NodeSet, line: 26");
    EXPECT_EQ(foreign->ReferenceCount, 1U);

    Node* node = nodes.GetNode({4, 4});
    Node* keep = nodes.GetNode({5, 5});
    nodes.ReleaseNode(node);
    EXPECT_EQ(node->ReferenceCount, 0U);
    EXPECT_EQ(nodes.Count(), 1);
    EXPECT_EQ(keep->ReferenceCount, 1U);
}

} // namespace
