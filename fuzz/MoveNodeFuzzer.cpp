// Sequences of Topology::MoveNode on a small layer of polygons that share their nodes (a 3x3
// block of squares, one with a hole, and a second layer whose polygons reuse some of the same
// points), with commits in between. After every step the node index must describe the rings
// exactly:
//   - every node a ring refers to carries the topology's identifier, stands on the node grid
//     and is the node that the index finds at its point;
//   - its reference count equals the number of ring slots that refer to it, and the index
//     holds no other node (a range query over everything returns exactly these, in order);
//   - every polygon is committed or being edited, and the layer's spatial index finds each
//     committed polygon at its current bounds;
//   - the node that MoveNode returns stands at the (snapped) target, where FindNode finds it.
//
// Input layout (missing bytes end the sequence): byte 0: bit 0 commit before the first move;
// then steps of one operation byte and its arguments: operations 0-4 move a node (index byte)
// to a grid point (two bytes, 0-31 with steps of 2.5), by 1e-7 beside it when bit 3 of the
// operation byte is set, operation 5 commits the topology, operation 6 moves a node onto
// another node (two index bytes), operation 7 moves a node by a few millionths.
#include "Arealis/Geometry.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"
#include "Exceptions/Exception.h"
#include "FuzzSupport.h"
#include "PolygonQueries.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace Arealis;
using Arealis::Testing::PolygonsOf;
using Fuzzing::ByteReader;

namespace
{

struct TopologyDeleter
{
    void operator()(Topology* pTopology) const { Topology::Delete(pTopology); }
};
using TopologyPtr = std::unique_ptr<Topology, TopologyDeleter>;

constexpr double Cell = 10.0;

void AddRing(Polygon& polygon, std::initializer_list<Point> points)
{
    Ring* ring = polygon.CreateRing();
    for (const Point& p : points)
    {
        ring->AddNode(p.X, p.Y);
    }
}

// Clockwise squares of a 3x3 block; the middle one has a hole. The second layer holds a
// triangle and a quadrilateral through some of the block's corners.
void Build(Topology& topology)
{
    PolygonLayer* block = topology.CreatePolygonLayer(false);
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
        {
            const double x0 = i * Cell;
            const double y0 = j * Cell;
            Polygon* square = block->CreatePolygon();
            AddRing(*square, {{x0, y0}, {x0, y0 + Cell}, {x0 + Cell, y0 + Cell}, {x0 + Cell, y0}});
            if (i == 1 && j == 1)
            {
                AddRing(*square, {{13, 13}, {17, 13}, {17, 17}, {13, 17}});
            }
        }
    }
    PolygonLayer* overlay = topology.CreatePolygonLayer(true);
    AddRing(*overlay->CreatePolygon(), {{0, 0}, {10, 20}, {20, 0}});
    AddRing(*overlay->CreatePolygon(), {{10, 10}, {10, 30}, {30, 30}, {30, 10}});
}

// Every node the rings refer to, with the number of slots referring to it.
std::map<Node*, std::uint32_t> CountSlots(const Topology& topology)
{
    std::map<Node*, std::uint32_t> slots;
    for (std::int32_t l = 0; l < topology.GetLayerCount(); ++l)
    {
        for (Polygon* polygon : PolygonsOf(*topology.GetLayer(l)))
        {
            RingEnumerator rings = polygon->GetRings();
            while (rings.MoveNext())
            {
                const Ring* ring = rings.Current();
                for (std::int32_t i = 0; i < ring->Count(); ++i)
                {
                    ++slots[ring->GetNode(i)];
                }
            }
        }
    }
    return slots;
}

// The distinct nodes in point order, so that an index byte picks the same node every run.
std::vector<Node*> NodesInOrder(const Topology& topology)
{
    std::vector<Node*> nodes;
    for (const auto& entry : CountSlots(topology))
    {
        nodes.push_back(entry.first);
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const Node* a, const Node* b) { return a->Position < b->Position; });
    return nodes;
}

void CheckNodeIndex(const Topology& topology)
{
    const NodeSet& nodeSet = topology.GetNodeSet();
    const std::map<Node*, std::uint32_t> slots = CountSlots(topology);
    for (const auto& [node, count] : slots)
    {
        FUZZ_CHECK(node->TopologyId == topology.GetId(), "ring nodes belong to the topology");
        FUZZ_CHECK(node->ReferenceCount == count, "reference count = slots referring");
        FUZZ_CHECK(SnapToNodeGrid(node->Position) == node->Position, "nodes lie on the grid");
        FUZZ_CHECK(nodeSet.Find(node->Position) == node, "the index finds the node at its point");
    }
    FUZZ_CHECK(nodeSet.Count() == static_cast<std::int32_t>(slots.size()),
               "the index holds exactly the nodes in use");
    Collections::PlainArray<Node*> found;
    const double far = std::numeric_limits<double>::max();
    nodeSet.FindNodes(Rectangle{-far, -far, far, far}, found);
    FUZZ_CHECK(found.Count() == static_cast<std::int32_t>(slots.size()),
               "a query over everything finds every node once");
    for (std::int32_t i = 0; i < found.Count(); ++i)
    {
        FUZZ_CHECK(slots.count(found[i]) == 1, "the index holds only nodes in use");
        FUZZ_CHECK(i == 0 || found[i - 1]->Position < found[i]->Position,
                   "the query returns the nodes in ascending order");
    }
}

void CheckLayers(const Topology& topology)
{
    for (std::int32_t l = 0; l < topology.GetLayerCount(); ++l)
    {
        const PolygonLayer& layer = *topology.GetLayer(l);
        FUZZ_CHECK(layer.GetCommittedCount() + layer.GetEditingCount() == layer.GetPolygonCount(),
                   "every polygon is committed or being edited");
        for (Polygon* polygon : PolygonsOf(layer))
        {
            if (polygon->IsEditing() || polygon->IsEmpty())
            {
                continue;
            }
            bool found = false;
            PolygonEnumerator near = layer.GetPolygons(polygon->GetBounds());
            while (near.MoveNext() && !found)
            {
                found = near.Current() == polygon;
            }
            FUZZ_CHECK(found, "the spatial index finds a committed polygon at its bounds");
        }
    }
}

void Move(Topology& topology, Node* node, const Point& target)
{
    Fuzzing::Context() += " move (" + std::to_string(node->Position.X) + "," +
                          std::to_string(node->Position.Y) + ")->(" + std::to_string(target.X) +
                          "," + std::to_string(target.Y) + ")";
    const Point snapped = SnapToNodeGrid(target);
    Node* result = topology.MoveNode(node, target);
    FUZZ_CHECK(result != nullptr && result->Position == snapped,
               "MoveNode returns the node at the target");
    FUZZ_CHECK(topology.FindNode(snapped, 0.0) == result, "FindNode finds the moved node");
    const Rectangle bounds = topology.GetNodeBounds(result);
    FUZZ_CHECK(bounds.Contains(snapped), "the bounds affected by a node hold it");
}

void Commit(Topology& topology)
{
    Fuzzing::Context() += " commit";
    try
    {
        topology.Commit();
    }
    catch (const InvalidPolygonException&)
    {
    }
    catch (const PolygonsOverlapException&)
    {
    }
}

Node* Pick(const std::vector<Node*>& nodes, ByteReader& in)
{
    return nodes[static_cast<std::size_t>(in.Byte()) % nodes.size()];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ByteReader in(data, size);
    Fuzzing::Context().clear();
    const TopologyPtr topology(Topology::Create());
    Build(*topology);
    if (in.Bit())
    {
        Commit(*topology);
    }
    CheckNodeIndex(*topology);
    for (int step = 0; step < 64 && !in.IsEmpty(); ++step)
    {
        const std::uint8_t operation = in.Byte();
        const std::vector<Node*> nodes = NodesInOrder(*topology);
        if (nodes.empty())
        {
            break;
        }
        switch (operation % 8)
        {
        case 5:
            Commit(*topology);
            break;
        case 6:
        {
            Node* node = Pick(nodes, in);
            Move(*topology, node, Pick(nodes, in)->Position);
            break;
        }
        case 7:
        {
            Node* node = Pick(nodes, in);
            const double dx = (in.Below(9) - 4) * 1e-6;
            const double dy = (in.Below(9) - 4) * 1e-6;
            Move(*topology, node, {node->Position.X + dx, node->Position.Y + dy});
            break;
        }
        default:
        {
            Node* node = Pick(nodes, in);
            const double beside = (operation & 8U) != 0 ? 1e-7 : 0.0;
            const double x = in.Below(32) * 2.5 - 20 + beside;
            const double y = in.Below(32) * 2.5 - 20 - beside;
            Move(*topology, node, {x, y});
            break;
        }
        }
        CheckNodeIndex(*topology);
        CheckLayers(*topology);
    }
    return 0;
}
