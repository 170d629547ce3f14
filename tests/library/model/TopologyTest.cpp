#include "Arealis/Topology.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonEnumerator.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Collections/PlainArray.h"
#include "Exceptions/ArgumentException.h"
#include "model/ModelTestSupport.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <span>
#include <string>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;

namespace
{

Polygon* AddPolygon(PolygonLayer& layer, const Points& exterior)
{
    Polygon* polygon = layer.CreatePolygon();
    AddRings(*polygon, {exterior});
    return polygon;
}

TEST(TopologyTest, RegistryHolds255TopologiesAndReusesTheLowestFreeSlot)
{
    std::vector<Topology*> created;
    std::string failure = "no exception";
    for (int i = 0; i < 256 && failure == "no exception"; ++i)
    {
        failure = Failure([&] { created.push_back(Topology::Create()); });
    }
    EXPECT_EQ(failure, "Can not create Topology: maximum number of topologies reached. @ Topology, "
                       "line: 216");
    ASSERT_GE(created.size(), 2U);
    for (std::uint8_t id = 1; id != 0; ++id)
    {
        ASSERT_NE(Topology::FromId(id), nullptr) << "slot " << int{id};
    }

    Topology* second = created[1];
    Topology* first = created[0];
    const std::uint8_t lowest = std::min(first->GetId(), second->GetId());
    Topology::Delete(second);
    Topology::Delete(first);
    created.erase(created.begin(), created.begin() + 2);
    Topology* reused = Topology::Create();
    EXPECT_EQ(reused->GetId(), lowest);
    EXPECT_EQ(Topology::FromId(lowest), reused);
    created.push_back(reused);
    for (Topology* topology : created)
    {
        Topology::Delete(topology);
    }
    EXPECT_EQ(Failure([] { Topology::Delete(nullptr); }),
              "The pointer is not valid. @ Topology, line: 222");
}

TEST(TopologyTest, AdjacentPolygonsShareTheirCommonNodesAndMoveTogether)
{
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(false);
    Polygon* left = AddPolygon(layer, Box(0, 0, 10, 10));
    Polygon* right = AddPolygon(layer, Box(10, 0, 20, 10));
    layer.Commit();
    EXPECT_EQ(topology->GetNodeSet().Count(), 6);

    Node* shared = left->GetNode(2); // (10, 10)
    ASSERT_EQ(shared->Position, (Point{10, 10}));
    EXPECT_EQ(right->GetNode(1), shared);
    EXPECT_EQ(shared->ReferenceCount, 2U);
    EXPECT_EQ(topology->GetNodeBounds(shared), Rectangle(0, 0, 20, 10));

    Node* moved = topology->MoveNode(shared, Point{12, 14});
    EXPECT_EQ(moved, shared);
    EXPECT_EQ(left->GetNode(2)->Position, (Point{12, 14}));
    EXPECT_EQ(right->GetNode(1)->Position, (Point{12, 14}));
    EXPECT_EQ(left->GetBounds(), Rectangle(0, 0, 12, 14));
    EXPECT_EQ(right->GetBounds(), Rectangle(10, 0, 20, 14));
    EXPECT_TRUE(left->IsEditing());
    EXPECT_TRUE(right->IsEditing());
    EXPECT_EQ(topology->FindNode({12, 14}, 0), shared);
    EXPECT_NO_THROW(topology->Commit());
}

TEST(TopologyTest, MovingANodeOfALongRingFarAwayReachesEverySlot)
{
    // Moving a node onto another merges them. Rings above 50 nodes cache their bounds; the
    // node's slots must still be found after it moved outside them. A ring that passes a node
    // twice has both slots re-pointed.
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(false);
    Polygon* polygon = layer.CreatePolygon();
    Ring* ring = polygon->CreateRing();
    for (int i = 0; i < 60; ++i)
    {
        const double angle = -2.0 * std::numbers::pi * i / 60;
        ring->AddNode(10 * std::cos(angle), 10 * std::sin(angle));
    }
    ASSERT_TRUE(ring->HasExtension());
    (void)ring->GetBounds();
    Node* node = ring->GetNode(0);
    Polygon* neighbour = AddPolygon(layer, {{10, 0}, {12, 3}, {14, 0}});
    ASSERT_EQ(neighbour->GetNode(0), node);
    Node* other = neighbour->GetNode(2);
    const std::int32_t nodesBefore = topology->GetNodeSet().Count();

    Node* result = topology->MoveNode(node, Point{14, 0}); // far outside the cached bounds
    EXPECT_EQ(result, other);
    EXPECT_EQ(ring->GetNode(0), other);
    EXPECT_EQ(ring->GetBounds().MaxX, 14.0);
    EXPECT_EQ(neighbour->GetNode(0), other);
    EXPECT_EQ(other->ReferenceCount, 3U);
    EXPECT_EQ(topology->GetNodeSet().Find({10, 0}), nullptr);
    EXPECT_EQ(topology->GetNodeSet().Count(), nodesBefore - 1);
    EXPECT_EQ(topology->GetNodeSet().Find({14, 0}), other);

    Polygon* pinched = AddPolygon(layer, {{30, 0}, {32, 2}, {34, 0}, {32, 2}});
    Node* twice = pinched->GetNode(1);
    Node* merged = topology->MoveNode(twice, Point{34, 0});
    EXPECT_EQ(pinched->GetNode(1), merged);
    EXPECT_EQ(pinched->GetNode(3), merged);
    EXPECT_EQ(merged->ReferenceCount, 3U);
}

TEST(TopologyTest, ThreeHundredTrianglesShareOneCentreNode)
{
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(false);
    constexpr int count = 300;
    std::vector<Polygon*> triangles;
    for (int i = 0; i < count; ++i)
    {
        const double a0 = -2.0 * std::numbers::pi * i / count;
        const double a1 = -2.0 * std::numbers::pi * (i + 1) / count;
        triangles.push_back(AddPolygon(layer, {{0, 0},
                                               {100 * std::cos(a0), 100 * std::sin(a0)},
                                               {100 * std::cos(a1), 100 * std::sin(a1)}}));
    }
    Node* centre = topology->GetNodeSet().Find({0, 0});
    ASSERT_NE(centre, nullptr);
    EXPECT_EQ(centre->ReferenceCount, 300U);
    Collections::PlainArray<Polygon*> users;
    layer.CollectPolygonsUsingNode(centre, users);
    EXPECT_EQ(users.Count(), count);

    for (int i = 0; i < count - 1; ++i)
    {
        layer.DeletePolygon(triangles[static_cast<std::size_t>(i)]);
        ASSERT_EQ(topology->GetNodeSet().Find({0, 0}), centre) << "after " << i + 1;
        ASSERT_EQ(centre->ReferenceCount, static_cast<std::uint32_t>(count - 1 - i));
    }
    layer.DeletePolygon(triangles.back());
    EXPECT_EQ(topology->GetNodeSet().Find({0, 0}), nullptr);
    EXPECT_EQ(topology->GetNodeSet().Count(), 0);
}

TEST(TopologyTest, NodeChecksAndNodeSearch)
{
    ScopedTopology topology;
    ScopedTopology other;
    Node* foreign = other->GetNodeSet().GetNode({0, 0});
    EXPECT_EQ(Failure([&] { topology->GetNodeBounds(nullptr); }),
              "The pointer is not valid. @ Topology, line: 68");
    EXPECT_EQ(Failure([&] { topology->GetNodeBounds(foreign); }),
              "The Node belongs to an other Topology @ Topology, line: 70");
    EXPECT_EQ(Failure(
                  [&] {
                      topology->MoveNode(nullptr, {0, 0});
                  }),
              "The pointer is not valid. @ Topology, line: 134");
    EXPECT_EQ(Failure(
                  [&] {
                      topology->MoveNode(foreign, {0, 0});
                  }),
              "The Node belongs to an other Topology @ Topology, line: 136");
    EXPECT_EQ(Failure(
                  [&] {
                      topology->FindNode({0, 0}, -1);
                  }),
              "dToleranceDistance < 0 @ Topology, line: 84");

    NodeSet& nodes = topology->GetNodeSet();
    Node* a = nodes.GetNode({1, 1});
    Node* b = nodes.GetNode({3, 1});
    EXPECT_EQ(topology->FindNode({1, 1}, 0), a);
    EXPECT_EQ(topology->FindNode({1.5, 1}, 0), nullptr);
    EXPECT_EQ(topology->FindNode({2, 1}, 1), a); // a tie: first in point order
    EXPECT_EQ(topology->FindNode({2.1, 1}, 1), b);
    EXPECT_EQ(topology->FindNode({2, 3}, 1), nullptr);
    nodes.ReleaseNode(a);
    nodes.ReleaseNode(b);
    other->GetNodeSet().ReleaseNode(foreign);
}

TEST(TopologyTest, CommitReportsInvalidPolygonsBeforeOverlaps)
{
    ScopedTopology topology;
    PolygonLayer& overlapping = *topology->CreatePolygonLayer(false);
    AddPolygon(overlapping, Box(0, 0, 10, 10));
    AddPolygon(overlapping, Box(5, 5, 15, 15));
    PolygonLayer& invalid = *topology->CreatePolygonLayer(false);
    AddPolygon(invalid, Hole(0, 0, 1, 1));
    EXPECT_EQ(Failure([&] { topology->Commit(); }),
              "The topology contains invalid polygons. @ Topology, line: 186");
    EXPECT_EQ(Failure([&] { overlapping.Commit(); }),
              "The polygon layer contains overlapping polygons. @ PolygonLayer, line: 394");

    ScopedTopology onlyOverlaps;
    PolygonLayer& layer = *onlyOverlaps->CreatePolygonLayer(false);
    AddPolygon(layer, Box(0, 0, 10, 10));
    AddPolygon(layer, Box(5, 5, 15, 15));
    EXPECT_EQ(Failure([&] { onlyOverlaps->Commit(); }),
              "The topology contains overlapping polygons in some polygon layers that do not allow "
              "overlap. @ Topology, line: 189");
}

TEST(TopologyTest, BoundsUniteTheLayers)
{
    ScopedTopology topology;
    EXPECT_TRUE(topology->GetBounds().IsEmpty());
    EXPECT_EQ(topology->GetLayerCount(), 0);
    AddPolygon(*topology->CreatePolygonLayer(false), Box(0, 0, 1, 1));
    AddPolygon(*topology->CreatePolygonLayer(true), Box(5, -2, 6, 0));
    EXPECT_EQ(topology->GetBounds(), Rectangle(0, -2, 6, 1));
    EXPECT_EQ(topology->GetLayerCount(), 2);
    EXPECT_TRUE(topology->GetLayer(1)->AllowsOverlap());
    EXPECT_EQ(Failure([&] { topology->GetLayer(2); }), "Argument is out of range @ undefined");
}

TEST(TopologyTest, DeletingATopologyReleasesParentsInOtherTopologies)
{
    ScopedTopology parents;
    PolygonLayer& parentLayer = *parents->CreatePolygonLayer(false);
    Polygon* parent = AddPolygon(parentLayer, Box(0, 0, 1, 1));
    Polygon* second = AddPolygon(parentLayer, Box(2, 0, 3, 1));
    Topology* children = Topology::Create();
    PolygonLayer& childLayer = *children->CreatePolygonLayer(false);
    Collections::PlainArray<Polygon*> list;
    list.Append(parent);
    list.Append(second);
    // More children than a use counter holds, so that the overflow is released too.
    for (int i = 0; i < 300; ++i)
    {
        childLayer.SetParents(childLayer.CreatePolygon(), list);
    }
    ASSERT_TRUE(parent->HasPolygonFlag(Polygon::PolygonFlags::CountOverflow));

    Topology::Delete(children);
    for (const Polygon* released : {parent, second})
    {
        EXPECT_FALSE(released->IsUsed());
        EXPECT_EQ(released->GetUseCount(), 0);
        EXPECT_FALSE(released->HasPolygonFlag(Polygon::PolygonFlags::CountOverflow));
    }
    EXPECT_EQ(parents->GetForeignParentCount(), 0);
    EXPECT_EQ(parentLayer.GetForeignParentUses(), 0);
}

} // namespace

// A NaN or infinite coordinate has no place in the node order: a lookup with it could land on
// an unrelated node. Every entry that takes coordinates refuses it before changing anything.
TEST(TopologyTest, NonFiniteCoordinatesAreRefusedEverywhereWithoutAnyChange)
{
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(false);
    Polygon* square = AddPolygon(layer, Box(0, 0, 2, 2));
    layer.Commit();
    Ring* ring = square; // the polygon is its own first ring
    Node* corner = ring->GetNode(0);
    NodeSet& nodes = topology->GetNodeSet();
    Ring freeRing(nullptr, false);
    AddPoints(freeRing, Box(0, 0, 1, 1));
    Node freeNode{};
    std::int32_t index = 0;
    double distance = 0.0;

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Point bad : {Point{nan, 1}, Point{1, nan}, Point{inf, 1}, Point{1, -inf}})
    {
        freeNode.Position = bad;
        const std::vector<Point> run(70, bad); // long enough for the sorted batch lookup
        const std::vector<std::function<void()>> entries{
            [&] { ring->AddNode(bad.X, bad.Y); },
            [&] { ring->InsertNode(1, bad.X, bad.Y); },
            [&] { ring->InsertNodeOnEdge(0, bad.X, bad.Y, &index); },
            [&] {
                ring->AddNodes(std::vector<Point>{{5, 5}, bad});
            },
            [&] { ring->FindNode(bad, 1.0); },
            [&] { freeRing.AddNode(&freeNode); },
            [&] { freeRing.AddNodes(run); },
            [&] { topology->MoveNode(corner, bad); },
            [&] { topology->FindNode(bad, 1.0); },
            [&] { nodes.GetNode(bad); },
            [&] { nodes.Find(bad); },
            [&] { nodes.MoveNode(corner, bad); },
            [&]
            {
                std::vector<Node*> out(run.size());
                nodes.GetNodes(run, out);
            },
            [&] { square->ContainsPoint(bad); },
            [&] { square->FindNode(bad, 1.0, &ring, &index, &distance); },
            [&] { square->FindEdge(bad, 1.0, &ring, &index, &distance); },
            [&] { layer.FindPolygon(bad, 1.0); },
        };
        for (std::size_t i = 0; i < entries.size(); ++i)
        {
            const std::string failure = Failure(entries[i]);
            EXPECT_EQ(failure.substr(0, failure.find(" @ ")),
                      "A coordinate is not a finite number.")
                << "entry " << i << " with (" << bad.X << ", " << bad.Y << ")";
        }
        ring = square;
        EXPECT_EQ(ring->Count(), 4);
        EXPECT_EQ(ring->GetNode(0), corner);
        EXPECT_EQ(corner->Position, (Point{0, 0}));
        EXPECT_EQ(nodes.Count(), 4);
        EXPECT_FALSE(square->IsEditing());
        EXPECT_EQ(freeRing.Count(), 4);
        EXPECT_EQ(nodes.Find({0, 0}), corner);
    }
}

namespace
{

// Every ring vertex of the layer's polygons, as the node records the rings hold.
std::vector<Node*> VerticesOf(const PolygonLayer& layer)
{
    std::vector<Node*> vertices;
    PolygonEnumerator polygons = layer.GetPolygons();
    while (polygons.MoveNext())
    {
        for (Ring* ring : RingsOf(*polygons.Current()))
        {
            const std::span<Node* const> nodes = ring->GetNodes();
            vertices.insert(vertices.end(), nodes.begin(), nodes.end());
        }
    }
    return vertices;
}

// A: a square with a hole, left of x = 2. B, filled in a topology of its own: a square with a
// hole right of it sharing the edge x = 2, and a square far off.
void FillPair(PolygonLayer& a, PolygonLayer& b)
{
    AddRings(*a.CreatePolygon(), {Box(0, 0, 2, 2), Hole(0.5, 0.5, 1.5, 1.5)});
    AddRings(*b.CreatePolygon(), {Box(2, 0, 4, 2), Hole(2.5, 0.5, 3.5, 1.5)});
    AddPolygon(b, Box(10, 10, 11, 11));
}

} // namespace

// The adopted layer's vertices at A's positions become A's records, with the references of
// both; the rest keep their records under A's topology id. Deleting either layer's polygons
// afterwards leaves the other's nodes with their own counts.
TEST(TopologyTest, AdoptedLayerSharesTheNodesAtStoredPositions)
{
    for (const bool deleteAdopted : {true, false})
    {
        SCOPED_TRACE(deleteAdopted ? "adopted layer deleted" : "first layer deleted");
        ScopedTopology topology;
        ScopedTopology other;
        PolygonLayer* a = topology->CreatePolygonLayer(true);
        PolygonLayer* b = other->CreatePolygonLayer(true);
        FillPair(*a, *b);
        NodeSet& nodes = topology->GetNodeSet();
        Node* corner = nodes.Find({2, 0});
        ASSERT_NE(corner, nullptr);
        ASSERT_EQ(corner->ReferenceCount, 1U);

        topology->AdoptLayer(*other, b);
        EXPECT_EQ(b->GetTopology(), topology.Get());
        EXPECT_EQ(topology->GetLayerCount(), 2);
        EXPECT_EQ(other->GetLayerCount(), 0);
        EXPECT_EQ(other->GetNodeSet().Count(), 0);
        EXPECT_EQ(nodes.Count(), 8 + 8 - 2 + 4);
        EXPECT_EQ(nodes.Find({2, 0}), corner);
        EXPECT_EQ(corner->ReferenceCount, 2U);
        for (Node* vertex : VerticesOf(*b))
        {
            EXPECT_EQ(vertex->TopologyId, topology->GetId());
            EXPECT_EQ(nodes.Find(vertex->Position), vertex);
        }
        EXPECT_TRUE(b->GetBounds().Contains(Point{10.5, 10.5}));

        PolygonLayer* gone = deleteAdopted ? b : a;
        std::vector<Polygon*> polygons;
        for (PolygonEnumerator it = gone->GetPolygons(); it.MoveNext();)
        {
            polygons.push_back(it.Current());
        }
        gone->DeletePolygons(polygons);
        EXPECT_EQ(nodes.Count(), deleteAdopted ? 8 : 8 + 4);
        EXPECT_EQ(nodes.Find({2, 0}), corner);
        EXPECT_EQ(corner->ReferenceCount, 1U);
        // The layer left can still be edited in the joined topology.
        PolygonLayer* kept = deleteAdopted ? a : b;
        Polygon* added = AddPolygon(*kept, Box(2, 2, 3, 3));
        EXPECT_EQ(added->GetNode(0)->TopologyId, topology->GetId());
        EXPECT_EQ(corner->ReferenceCount, 1U);
        EXPECT_EQ(nodes.Find({2, 2})->ReferenceCount, 2U);
    }
}

// Joins the topology cannot make are refused before anything changes.
TEST(TopologyTest, RefusedAdoptionLeavesBothTopologiesAsTheyWere)
{
    ScopedTopology topology;
    ScopedTopology other;
    PolygonLayer* a = topology->CreatePolygonLayer(true);
    PolygonLayer* b = other->CreatePolygonLayer(true);
    FillPair(*a, *b);
    const auto unchanged = [&]
    {
        EXPECT_EQ(topology->GetLayerCount(), 1);
        EXPECT_EQ(other->GetLayerCount(), 1);
        EXPECT_EQ(topology->GetNodeSet().Count(), 8);
        EXPECT_EQ(other->GetNodeSet().Count(), 12);
        EXPECT_EQ(b->GetTopology(), other.Get());
        EXPECT_EQ(topology->GetNodeSet().Find({2, 0})->ReferenceCount, 1U);
    };
    EXPECT_THROW(topology->AdoptLayer(*other, nullptr), Exceptions::ArgumentException);
    EXPECT_THROW(topology->AdoptLayer(*other, a), Exceptions::ArgumentException);
    EXPECT_THROW(topology->AdoptLayer(*topology, a), Exceptions::ArgumentException);
    unchanged();

    Precision coarser = topology->GetPrecision();
    coarser.Tolerance *= 2;
    other->SetPrecision(coarser); // the tolerance alone may change
    EXPECT_THROW(topology->AdoptLayer(*other, b), Exceptions::ArgumentException);
    other->SetPrecision(topology->GetPrecision());
    unchanged();

    other->CreatePolygonLayer(true); // a layer of other that would be left behind
    EXPECT_THROW(topology->AdoptLayer(*other, b), Exceptions::ArgumentException);
    EXPECT_EQ(other->GetLayerCount(), 2);
    EXPECT_EQ(topology->GetLayerCount(), 1);
}
