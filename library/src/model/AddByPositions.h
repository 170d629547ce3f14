#pragma once

#include "Arealis/Node.h"
#include "Arealis/Ring.h"

#include <cstdint>
#include <vector>

namespace Arealis
{

// Adds the vertices to a ring of a layer by their positions in one call, so that a long
// ring's nodes go into the node index in the index's order instead of one search each; the
// same nodes as adopting them one by one. positionOf(vertex) gives a vertex's position and
// nodeOf(vertex) its node (nullptr for a bare position). False, with nothing added, for a free
// ring, or when a vertex is a node of the ring's own topology (that node is shared, not
// looked up).
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
    for (const auto& vertex : vertices)
    {
        const Node* pNode = nodeOf(vertex);
        if (pNode != nullptr && pNode->TopologyId == topologyId)
        {
            return false;
        }
        positions.push_back(positionOf(vertex));
    }
    ring.AddNodes(positions);
    return true;
}

} // namespace Arealis
