#include "Arealis/Ring.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"
#include "model/ModelTestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <set>
#include <span>
#include <utility>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;

namespace
{

constexpr double Tolerance = 1e-9;

// A convex polygon of n nodes on a circle, clockwise.
Points Circle(int n, double radius = 10.0)
{
    Points points;
    for (int i = 0; i < n; ++i)
    {
        const double angle = -2.0 * std::numbers::pi * i / n;
        points.push_back({radius * std::cos(angle), radius * std::sin(angle)});
    }
    return points;
}

std::set<std::pair<int, int>> EdgeSet(const Collections::PlainArray<LinearEdge>& edges)
{
    std::set<std::pair<int, int>> set;
    for (const LinearEdge& edge : edges)
    {
        set.insert({edge.StartIndex, edge.EndIndex});
    }
    return set;
}

TEST(RingTest, ExtensionExistsExactlyAboveFiftyNodes)
{
    Ring ring(nullptr, false);
    AddPoints(ring, Circle(50));
    EXPECT_FALSE(ring.HasExtension());
    ring.AddNode(20.0, 0.0);
    EXPECT_TRUE(ring.HasExtension());
    EXPECT_TRUE(ring.HasFlag(Ring::Flags::HasExtension));
    ring.RemoveNode(0);
    EXPECT_FALSE(ring.HasExtension());
    EXPECT_FALSE(ring.HasFlag(Ring::Flags::HasExtension));
}

TEST(RingTest, CachedAreaAndBoundsFollowEveryChangeOfALongRing)
{
    Ring ring(nullptr, false);
    AddPoints(ring, Circle(60));
    const double area = ring.GetSignedArea();
    EXPECT_GT(area, 0.0);
    EXPECT_EQ(ring.GetBounds().MaxX, 10.0);

    ring.InsertNode(1, 50.0, 0.0); // pulls the boundary out between nodes 0 and 1
    EXPECT_EQ(ring.GetBounds().MaxX, 50.0);
    EXPECT_GT(ring.GetSignedArea(), area);

    ring.SetNode(1, ring.GetNode(0));
    EXPECT_EQ(ring.GetBounds().MaxX, 10.0);
    ring.RemoveNode(1);
    EXPECT_NEAR(ring.GetSignedArea(), area, Tolerance);
}

TEST(RingTest, FlagsOfANewRingAndAfterValidationAndChange)
{
    Ring ring(nullptr, false);
    EXPECT_EQ(ring.GetFlags(),
              Ring::Flags::Editing | Ring::Flags::Modified | Ring::Flags::Unchecked);
    EXPECT_TRUE(Ring(nullptr, true).HasFlag(Ring::Flags::IsPolygon));

    AddPoints(ring, Box(0, 0, 1, 1));
    ring.Validate();
    EXPECT_FALSE(ring.HasFlag(Ring::Flags::Unchecked));
    ring.AddNode(0.5, -1.0);
    EXPECT_TRUE(ring.HasFlag(Ring::Flags::Unchecked));
    EXPECT_TRUE(ring.HasFlag(Ring::Flags::Modified));

    ring.SetUseSpatialIndex(true);
    ring.Clear(true);
    EXPECT_EQ(ring.Count(), 0);
    EXPECT_EQ(ring.GetFlags(),
              Ring::Flags::Editing | Ring::Flags::Modified | Ring::Flags::Unchecked);
}

TEST(RingTest, ArgumentChecksReportTheirMessageAndLine)
{
    Ring ring(nullptr, false);
    EXPECT_EQ(Failure([&] { ring.AddNode(nullptr); }),
              "The pointer is not valid. @ Ring, line: 367");
    EXPECT_EQ(Failure(
                  [&] {
                      ring.FindNode({0, 0}, -1.0);
                  }),
              "dToleranceDistance < 0 @ Ring, line: 637");
    EXPECT_EQ(Failure([&] { (void)ring.IsConvex(); }), "The ring is empty. @ Ring, line: 590");
    EXPECT_EQ(Failure([&] { ring.IndexOf(nullptr); }),
              "The pointer is not valid. @ Ring, line: 618");
    EXPECT_EQ(Failure([&] { (void)ring.Contains(nullptr); }),
              "The pointer is not valid. @ Ring, line: 760");
    EXPECT_EQ(Failure([&] { (void)ring.Overlaps(nullptr); }),
              "The pointer is not valid. @ Ring, line: 797");
    EXPECT_EQ(Failure([&] { Ring::AreEqual(nullptr, &ring, 0); }),
              "The pointer is not valid. @ Ring, line: 985");
    EXPECT_EQ(Failure([&] { Ring::AreEqual(&ring, nullptr, 0); }),
              "The pointer is not valid. @ Ring, line: 988");
    EXPECT_EQ(Failure([&] { ring.GetNode(0); }), "Argument is out of range @ undefined");

    AddPoints(ring, {{0, 0}, {1, 0}});
    EXPECT_EQ(Failure([&] { ring.SetNode(0, nullptr); }),
              "The pointer is not valid. @ Ring, line: 345");
    EXPECT_EQ(Failure([&] { ring.SetNode(2, ring.GetNode(0)); }),
              "Argument is out of range @ undefined");
    EXPECT_EQ(Failure([&] { ring.InsertNode(3, 0, 0); }), "Argument is out of range @ undefined");
    EXPECT_EQ(Failure([&] { ring.Validate(); }), "The ring has zero area. @ Ring, line: 1188");
    EXPECT_EQ(ring.Count(), 2);
}

TEST(RingTest, RingOfALayerAcceptsOnlyNodesOfItsTopology)
{
    ScopedTopology first;
    ScopedTopology second;
    Polygon* polygon = first->CreatePolygonLayer(false)->CreatePolygon();
    Ring* ring = polygon->CreateRing();
    Node* foreign = second->GetNodeSet().GetNode({1, 1});
    Node free{{2, 2}, 0, 1};

    EXPECT_EQ(Failure([&] { ring->AddNode(foreign); }),
              "The Node belongs to an other Topology @ Ring, line: 370");
    EXPECT_EQ(Failure([&] { ring->AddNode(&free); }),
              "The Node belongs to an other Topology @ Ring, line: 370");
    ring->AddNode(0.0, 0.0);
    EXPECT_EQ(Failure([&] { ring->SetNode(0, foreign); }),
              "The Node belongs to an other Topology @ Ring, line: 348");
    EXPECT_EQ(ring->Count(), 1);

    // Adoption without the check: a node of another topology is recreated in this one.
    ring->AdoptNode(foreign);
    EXPECT_NE(ring->GetNode(1), foreign);
    EXPECT_EQ(ring->GetNode(1)->TopologyId, first->GetId());
    EXPECT_EQ(foreign->ReferenceCount, 1U);
    second->GetNodeSet().ReleaseNode(foreign);
}

// Taking nodes hands the caller's references to the ring; a node that the ring could not
// count (null, of another topology, free, or any node for a free ring) refuses the whole run.
TEST(RingTest, TakeNodesHandsReferencesOverAndRefusesAForeignRunWhole)
{
    ScopedTopology first;
    ScopedTopology second;
    NodeSet& nodes = first->GetNodeSet();
    Ring* ring = first->CreatePolygonLayer(false)->CreatePolygon()->CreateRing();
    std::vector<Node*> taken{nodes.GetNode({0, 0}), nodes.GetNode({0, 5}), nodes.GetNode({5, 5})};
    ring->TakeNodes(taken);
    EXPECT_EQ(ring->GetNodes().size(), 3U);
    EXPECT_EQ(ring->GetNode(2), taken[2]);
    EXPECT_EQ(taken[0]->ReferenceCount, 1U) << "handed over, not added";

    Node* own = nodes.GetNode({5, 0});
    Node* foreign = second->GetNodeSet().GetNode({1, 1});
    Node free{{2, 2}, 0, 1};
    for (Node* bad : {foreign, &free, static_cast<Node*>(nullptr)})
    {
        const std::vector<Node*> run{own, bad};
        EXPECT_THROW(ring->TakeNodes(run), Exceptions::ArgumentException);
        EXPECT_EQ(ring->Count(), 3);
        EXPECT_EQ(own->ReferenceCount, 1U);
    }
    Ring freeRing(nullptr, false);
    EXPECT_THROW(freeRing.TakeNodes(std::vector<Node*>{own}), Exceptions::ArgumentException);
    EXPECT_EQ(freeRing.Count(), 0);

    ring->TakeNodes(std::vector<Node*>{own});
    EXPECT_EQ(ring->GetSignedArea(), 25.0);
    second->GetNodeSet().ReleaseNode(foreign);
}

TEST(RingTest, FreeRingCopiesTopologyNodesInsteadOfSharingThemUncounted)
{
    ScopedTopology topology;
    Node* shared = topology->GetNodeSet().GetNode({3, 4});
    {
        Ring ring(nullptr, false);
        ring.AddNode(shared);
        EXPECT_NE(ring.GetNode(0), shared);
        EXPECT_EQ(ring.GetNode(0)->TopologyId, 0);
        EXPECT_EQ(ring.GetNode(0)->Position, shared->Position);
        EXPECT_EQ(ring.IndexOf(shared), 0); // free rings compare vertices by coordinates
        EXPECT_EQ(shared->ReferenceCount, 1U);
    }
    // The topology may now release and reuse the node: no free ring refers to it.
    topology->GetNodeSet().ReleaseNode(shared);
    EXPECT_EQ(topology->GetNodeSet().Count(), 0);
}

// Between free rings the records change hands (the node count of a long ring crosses the
// extension threshold with them); into a ring of a layer they are adopted as topology nodes.
// Either way the source is left empty and every record is freed once (sanitizer builds).
TEST(RingTest, MoveNodesFromHandsFreeRecordsOverAndAdoptsIntoALayer)
{
    ScopedTopology topology;
    Ring* layerRing = topology->CreatePolygonLayer(false)->CreatePolygon()->CreateRing();
    for (const bool intoLayer : {false, true})
    {
        Ring source(nullptr, false);
        source.AddNodes(Circle(60));
        const double area = source.GetSignedArea();
        const std::vector<Node*> records(source.GetNodes().begin(), source.GetNodes().end());
        Ring freeTarget(nullptr, false);
        Ring& target = intoLayer ? *layerRing : freeTarget;
        target.MoveNodesFrom(source);
        EXPECT_EQ(source.Count(), 0);
        EXPECT_FALSE(source.HasExtension());
        ASSERT_EQ(target.Count(), 60);
        EXPECT_EQ(target.GetSignedArea(), area);
        EXPECT_TRUE(target.HasExtension());
        for (std::int32_t i = 0; i < 60; ++i)
        {
            EXPECT_EQ(target.GetNode(i) == records[static_cast<std::size_t>(i)], !intoLayer);
            EXPECT_EQ(target.GetNode(i)->TopologyId, intoLayer ? topology->GetId() : 0);
        }
    }
}

// Adding many points at once leaves the ring, its nodes and their reference counts as adding
// them one by one does: for a ring of a layer (shared, counted nodes, a point repeated within
// the batch and one already in the topology) and for a free ring (copies), across the length
// at which the ring takes its extension.
TEST(RingTest, AddNodesMatchesAddingEachNodeInTurn)
{
    Points points = Circle(70);
    points.push_back(points[3]);        // repeated within the batch
    points.push_back({1.0000004, 2.0}); // snapped like any other
    ScopedTopology topology;
    PolygonLayer* layer = topology->CreatePolygonLayer(true);
    Node* existing = topology->GetNodeSet().GetNode(points[10]);

    Polygon* one = layer->CreatePolygon();
    Ring* oneByOne = one->CreateRing();
    AddPoints(*oneByOne, points);
    Polygon* batch = layer->CreatePolygon();
    Ring* atOnce = batch->CreateRing();
    atOnce->AddNode(0.5, 0.5); // appends after what is there
    atOnce->AddNodes(points);
    atOnce->RemoveNode(0);

    ASSERT_EQ(atOnce->Count(), oneByOne->Count());
    for (std::int32_t i = 0; i < atOnce->Count(); ++i)
    {
        EXPECT_EQ(atOnce->GetNode(i), oneByOne->GetNode(i)) << i;
    }
    EXPECT_EQ(atOnce->GetNode(3)->ReferenceCount, 4U); // twice in each ring
    EXPECT_EQ(existing->ReferenceCount, 3U);
    EXPECT_EQ(atOnce->GetFlags(), oneByOne->GetFlags());
    EXPECT_TRUE(atOnce->HasExtension());
    EXPECT_NEAR(atOnce->GetSignedArea(), oneByOne->GetSignedArea(), Tolerance);
    EXPECT_EQ(atOnce->GetBounds().MaxX, oneByOne->GetBounds().MaxX);

    // A short run takes the nodes one by one, a long one in batches: the same nodes.
    Ring* few = layer->CreatePolygon()->CreateRing();
    few->AddNodes(std::span<const Point>(points).first(10));
    ASSERT_EQ(few->Count(), 10);
    for (std::int32_t i = 0; i < few->Count(); ++i)
    {
        EXPECT_EQ(few->GetNode(i), oneByOne->GetNode(i)) << i;
    }

    Ring free(nullptr, false);
    free.AddNodes(points);
    ASSERT_EQ(free.Count(), oneByOne->Count());
    EXPECT_EQ(free.GetNode(0)->TopologyId, 0);
    EXPECT_EQ(free.GetNode(71)->Position, oneByOne->GetNode(71)->Position);
    free.AddNodes({});
    EXPECT_EQ(free.Count(), oneByOne->Count());
}

TEST(RingTest, NodesAreSnappedToTheGrid)
{
    Ring ring(nullptr, false);
    ring.AddNode(1.0000004, 2.0000006);
    EXPECT_DOUBLE_EQ(ring.GetNode(0)->Position.X, 1.0);
    EXPECT_DOUBLE_EQ(ring.GetNode(0)->Position.Y, 2.000001);
}

TEST(RingTest, OrientationDecidesExterior)
{
    Ring clockwise(nullptr, false);
    AddPoints(clockwise, Box(0, 0, 1, 1));
    EXPECT_DOUBLE_EQ(clockwise.GetSignedArea(), 1.0);
    EXPECT_TRUE(clockwise.IsExterior());
    Ring counterClockwise(nullptr, false);
    AddPoints(counterClockwise, Hole(0, 0, 1, 1));
    EXPECT_DOUBLE_EQ(counterClockwise.GetSignedArea(), -1.0);
    EXPECT_FALSE(counterClockwise.IsExterior());
}

TEST(RingTest, ConvexityIgnoresCollinearNodes)
{
    Ring withCollinear(nullptr, false);
    AddPoints(withCollinear, {{0, 0}, {0, 1}, {0, 2}, {2, 2}, {2, 0}});
    EXPECT_TRUE(withCollinear.IsConvex());

    Ring notch(nullptr, false);
    AddPoints(notch, {{0, 0}, {0, 2}, {1, 1}, {2, 2}, {2, 0}});
    EXPECT_FALSE(notch.IsConvex());

    Ring bowTie(nullptr, false);
    AddPoints(bowTie, {{0, 0}, {2, 2}, {2, 0}, {0, 2}});
    EXPECT_FALSE(bowTie.IsConvex());

    Ring line(nullptr, false);
    AddPoints(line, {{0, 0}, {1, 1}});
    EXPECT_TRUE(line.IsConvex());
}

TEST(RingTest, ValidateBowTieTwoNodesAndCollinearTriangle)
{
    Ring bowTie(nullptr, false);
    AddPoints(bowTie, {{0, 0}, {2, 2}, {2, 0}, {0, 2}});
    try
    {
        bowTie.Validate();
        FAIL() << "a bow-tie is self-intersecting";
    }
    catch (const SelfIntersectingRingException& e)
    {
        EXPECT_STREQ(e.Message(),
                     "A ring is self-intersecting: some not adjacent edges of the ring "
                     "have common points.");
        EXPECT_EQ(e.Location(), "Ring, line: 1191");
        EXPECT_EQ(e.GetRing(), &bowTie);
    }
    EXPECT_FALSE(bowTie.HasFlag(Ring::Flags::Unchecked));

    std::int32_t edge1 = -1;
    std::int32_t edge2 = -1;
    Point point;
    ASSERT_TRUE(bowTie.IsSelfIntersecting(&edge1, &edge2, &point));
    EXPECT_EQ(std::minmax(edge1, edge2), std::minmax(0, 2));
    EXPECT_EQ(point, (Point{1, 1}));

    Ring collinear(nullptr, false);
    AddPoints(collinear, {{0, 0}, {1, 1}, {2, 2}});
    EXPECT_NO_THROW(collinear.Validate());

    Ring twoNodes(nullptr, false);
    AddPoints(twoNodes, {{0, 0}, {1, 1}});
    EXPECT_THROW(twoNodes.Validate(), InvalidRingException);
}

TEST(RingTest, CleanRemovesSpikesAndRepeatedNodes)
{
    const Point a{0, 0}, b{0, 5}, c{5, 5}, d{5, 0};
    Ring spike(nullptr, false);
    AddPoints(spike, {a, b, a, c, d});
    spike.Clean();
    EXPECT_EQ(PointsOf(spike), (Points{a, c, d}));

    Ring repeats(nullptr, false);
    AddPoints(repeats, {a, a, b, c, c, d, a});
    repeats.Clean();
    EXPECT_EQ(PointsOf(repeats), (Points{a, b, c, d}));

    // The spike a -> tip -> a wraps round the end of the node list.
    Ring spikeAcrossTheStart(nullptr, false);
    AddPoints(spikeAcrossTheStart, {a, c, d, a, {-3, -3}});
    spikeAcrossTheStart.Clean();
    EXPECT_EQ(PointsOf(spikeAcrossTheStart), (Points{c, d, a}));

    Ring degenerate(nullptr, false);
    AddPoints(degenerate, {a, b, a});
    degenerate.Clean();
    EXPECT_LT(degenerate.Count(), 3);
}

// Rings are equal within the tolerance from any start and with repeated nodes, in both
// directions of the comparison; not reversed, empty or with a vertex that only one has (walking
// the shorter ring to its end must not hide it).
TEST(RingTest, AreEqualFromAnotherStartAndWithRepeatedNodesOnly)
{
    const Points square = Box(0, 0, 1, 1);
    const struct
    {
        Points Other;
        double Tolerance;
        bool Equal;
    } cases[] = {
        {{{1, 1.004}, {1, 0}, {0, 0}, {0.003, 1}}, 0.01, true},
        {{{1, 1.004}, {1, 0}, {0, 0}, {0.003, 1}}, 0.001, false},
        {{{0, 0}, {0, 1}, {0.002, 1}, {1, 1}, {1, 0}, {1, 0}}, 0.01, true},
        {Hole(0, 0, 1, 1), 0.01, false},
        {{}, 0.01, false},
        {{{0, 0}, {0, 1}, {1, 1}}, 0.01, false},
    };
    Ring ring(nullptr, false);
    AddPoints(ring, square);
    for (const auto& c : cases)
    {
        Ring other(nullptr, false);
        AddPoints(other, c.Other);
        EXPECT_EQ(Ring::AreEqual(&ring, &other, c.Tolerance), c.Equal) << other.Count();
        EXPECT_EQ(Ring::AreEqual(&other, &ring, c.Tolerance), c.Equal) << other.Count();
    }
}

TEST(RingTest, InsertNodeOnEdgeReportsExistingEndsAndNewPositions)
{
    Ring ring(nullptr, false);
    AddPoints(ring, Box(0, 0, 2, 2));
    std::int32_t index = -1;
    EXPECT_FALSE(ring.InsertNodeOnEdge(3, 2, 0, &index));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(ring.InsertNodeOnEdge(3, 0, 0, &index));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(ring.InsertNodeOnEdge(3, 1, 0, &index)); // closing edge: appended
    EXPECT_EQ(index, 4);
    EXPECT_TRUE(ring.InsertNodeOnEdge(0, 0, 1, &index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(PointsOf(ring), (Points{{0, 0}, {0, 1}, {0, 2}, {2, 2}, {2, 0}, {1, 0}}));
}

TEST(RingTest, NodeSearchesAndNodeBounds)
{
    Ring ring(nullptr, false);
    AddPoints(ring, {{0, 0}, {0, 2}, {2, 2}, {2, 0}});
    EXPECT_EQ(ring.FindNode({1, 1}, 1.5), 0); // four nodes at the same distance: the first
    EXPECT_EQ(ring.FindNode({2, 1.95}, 0.1), 2);
    EXPECT_EQ(ring.FindNode({1, 1}, 0), -1);
    EXPECT_EQ(ring.GetNodeBounds(0), Rectangle(0, 0, 2, 2));
    EXPECT_EQ(ring.GetNodeBounds(1), Rectangle(0, 0, 2, 2));
    EXPECT_EQ(ring.GetNodeAreaBounds(ring.GetNode(1)), Rectangle(0, 0, 2, 2));
}

TEST(RingTest, EdgeSearchWithAndWithoutIndexFindsTheSameEdges)
{
    Ring ring(nullptr, false);
    AddPoints(ring, Circle(30));
    const Rectangle query(5, -10, 10, 0);
    Collections::PlainArray<LinearEdge> scanned;
    ring.GetEdgesInRectangle(query, scanned);
    ring.SetUseSpatialIndex(true);
    Collections::PlainArray<LinearEdge> indexed;
    ring.GetEdgesInRectangle(query, indexed);
    EXPECT_TRUE(ring.HasExtension()); // made on demand, also for a short ring
    EXPECT_GT(scanned.Count(), 0);
    EXPECT_EQ(EdgeSet(scanned), EdgeSet(indexed));

    // A change drops the index; the next search sees the moved node.
    ring.SetNode(0, ring.GetNode(15));
    Collections::PlainArray<LinearEdge> afterChange;
    ring.GetEdgesInRectangle(Rectangle(-10.5, -0.5, -9.5, 0.5), afterChange);
    EXPECT_TRUE(EdgeSet(afterChange).count({0, 1}) == 1);
}

// A height index built ahead for threads that are about to search a long ring at once: the
// searches then list the scan's edges in the ring's order, and a change drops the index.
TEST(RingTest, APreparedHeightIndexAnswersLikeTheScanUntilTheRingChanges)
{
    Ring shortRing(nullptr, false);
    AddPoints(shortRing, Circle(Ring::HeightIndexThreshold));
    EXPECT_FALSE(shortRing.PrepareHeightIndex()); // scanned
    EXPECT_FALSE(shortRing.HasEdgeSearchIndex());

    Ring ring(nullptr, false);
    AddPoints(ring, Circle(4 * Ring::HeightIndexThreshold));
    const Rectangle query(-10.5, -3, 10.5, 3); // both ends of the circle: two runs of edges
    Collections::PlainArray<LinearEdge> scanned;
    ring.GetEdgesInRectangle(query, scanned);
    ASSERT_TRUE(ring.PrepareHeightIndex());
    EXPECT_TRUE(ring.HasEdgeSearchIndex());
    Collections::PlainArray<LinearEdge> prepared;
    ring.GetEdgesInRectangle(query, prepared);
    ASSERT_EQ(prepared.Count(), scanned.Count());
    for (std::int32_t i = 0; i < scanned.Count(); ++i)
    {
        EXPECT_EQ(prepared[i].StartIndex, scanned[i].StartIndex) << i;
    }

    ring.SetNode(0, ring.GetNode(1));
    EXPECT_FALSE(ring.HasEdgeSearchIndex());
}

TEST(RingTest, ContainsAndOverlapsOfFreeRings)
{
    Ring outer(nullptr, false);
    AddPoints(outer, Box(0, 0, 10, 10));
    Ring inner(nullptr, false);
    AddPoints(inner, Hole(2, 2, 4, 4)); // orientation does not matter
    Ring crossing(nullptr, false);
    AddPoints(crossing, Box(8, 8, 12, 12));
    Ring touching(nullptr, false);
    AddPoints(touching, Box(10, 0, 12, 10));

    EXPECT_TRUE(outer.Contains(&inner));
    EXPECT_FALSE(inner.Contains(&outer));
    EXPECT_FALSE(outer.Contains(&crossing));
    EXPECT_TRUE(outer.Overlaps(&crossing));
    EXPECT_TRUE(outer.Overlaps(&inner));
    EXPECT_FALSE(outer.Overlaps(&touching));
}

TEST(RingTest, SplitSelfIntersectionsCutsAFigureEightIntoTwoRings)
{
    Polygon polygon(nullptr);
    Ring* ring = polygon.CreateRing();
    AddPoints(*ring, {{0, 0}, {0, 2}, {2, 0}, {2, 2}}); // two triangles meeting at (1, 1)
    EXPECT_TRUE(ring->SplitSelfIntersections(&polygon));
    ASSERT_EQ(polygon.GetRingCount(), 2);
    for (Ring* part : RingsOf(polygon))
    {
        EXPECT_EQ(part->Count(), 3);
        EXPECT_FALSE(part->IsSelfIntersecting(nullptr, nullptr, nullptr));
        EXPECT_NEAR(std::fabs(part->GetSignedArea()), 1.0, Tolerance);
    }
    EXPECT_FALSE(RingsOf(polygon)[0]->SplitSelfIntersections(&polygon));
}

} // namespace
