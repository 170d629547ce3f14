#pragma once

#include "Arealis/Node.h"
#include "Arealis/NodeSet.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/SortedPointRun.h"
#include "Arealis/Topology.h"

#include <cstdint>
#include <span>
#include <vector>

namespace Arealis
{

namespace Detail
{

// Appends nodes to the ring, one reference each, which the ring takes; when it cannot, they
// are released again and the ring is as it was.
inline void TakeOrRelease(Ring& ring, NodeSet& nodeSet, std::span<Node* const> nodes)
{
    try
    {
        ring.TakeNodes(nodes);
    }
    catch (...)
    {
        for (Node* pNode : nodes)
        {
            nodeSet.ReleaseNode(pNode);
        }
        throw;
    }
}

} // namespace Detail

// Adds the vertices to a ring of a layer by their positions in one call, so that a long
// ring's nodes go into the node index in the index's order instead of one search each; the
// same nodes as adopting them one by one. positionOf(vertex) gives a vertex's position and
// nodeOf(vertex) its node (nullptr for a bare position). A vertex that is a node of the
// ring's own topology is shared, not looked up: a result made in the topology of an operand
// holds many such beside the vertices of the other operand, which are still looked up
// together when there are enough of them. False, with nothing added, for a free ring, or when
// the vertices to look up are too few for a batch (the caller adopts them one by one).
template <class Vertices, class NodeOf, class PositionOf>
bool AddByPositions(const Vertices& vertices, const NodeOf& nodeOf, const PositionOf& positionOf,
                    Ring& ring)
{
    const std::uint8_t topologyId = ring.GetTopologyId();
    if (topologyId == 0)
    {
        return false;
    }
    thread_local std::vector<Point> positions;
    positions.clear();
    std::size_t own = 0;
    for (const auto& vertex : vertices)
    {
        const Node* pNode = nodeOf(vertex);
        if (pNode != nullptr && pNode->TopologyId == topologyId)
        {
            ++own;
        }
        else
        {
            positions.push_back(positionOf(vertex));
        }
    }
    if (own == 0)
    {
        ring.AddNodes(positions);
        return true;
    }
    if (positions.size() < SortedPointRun::WorthwhileLength)
    {
        return false;
    }
    NodeSet& nodeSet = ring.GetOwner()->GetTopology()->GetNodeSet();
    thread_local std::vector<Node*> looked;
    thread_local std::vector<Node*> nodes;
    looked.resize(positions.size());
    nodes.clear();
    nodes.reserve(own + positions.size()); // nothing can fail once references are taken
    nodeSet.GetNodes(positions, looked); // all or nothing
    std::size_t next = 0;
    for (const auto& vertex : vertices)
    {
        Node* pNode = const_cast<Node*>(nodeOf(vertex));
        if (pNode != nullptr && pNode->TopologyId == topologyId)
        {
            nodeSet.AddReference(pNode);
            nodes.push_back(pNode);
        }
        else
        {
            nodes.push_back(looked[next++]);
        }
    }
    Detail::TakeOrRelease(ring, nodeSet, nodes);
    return true;
}

} // namespace Arealis
