#pragma once

#include "Arealis/Point.h"

#include <cstdint>

namespace Arealis
{

// The vertex record that rings refer to. Inside a topology one record exists per distinct
// point and is shared by every ring vertex there; a free ring owns its nodes alone.
struct Node
{
    Point Position;
    // Identifier of the owning topology (1 to 255); 0 for a node of no topology.
    std::uint8_t TopologyId = 0;
    // Number of ring vertex slots referring to the node. Wide enough never to wrap: a single
    // node may be shared by far more than 255 vertex slots (a fan of polygons around a point).
    std::uint32_t ReferenceCount = 0;
};

// Two nodes are the same vertex when they are the same record of one topology, otherwise when
// their coordinates are exactly equal.
inline bool IsSameVertex(const Node& a, const Node& b) noexcept
{
    if (a.TopologyId != 0 && a.TopologyId == b.TopologyId)
    {
        return &a == &b;
    }
    return a.Position == b.Position;
}

} // namespace Arealis
