#include "overlay/FlatPolygon.h"

#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"

#include <cstddef>
#include <span>

namespace Arealis::LayerOperations
{

FlatPolygon::FlatPolygon(const Polygon& polygon)
{
    m_points.reserve(static_cast<std::size_t>(polygon.GetNodeCount()));
    m_ringSizes.reserve(static_cast<std::size_t>(polygon.GetRingCount()));
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring* ring = rings.Current();
        for (std::int32_t i = 0; i < ring->Count(); ++i)
        {
            m_points.push_back(ring->GetNode(i)->Position);
        }
        m_ringSizes.push_back(ring->Count());
    }
}

Polygon* FlatPolygon::AddTo(PolygonLayer& layer, std::vector<Node*>& nodes) const
{
    NodeSet& nodeSet = layer.GetTopology()->GetNodeSet();
    nodes.resize(m_points.size());
    nodeSet.GetNodes(m_points, nodes);
    std::size_t taken = 0; // the references handed to rings so far
    Polygon* polygon = nullptr;
    try
    {
        polygon = layer.CreatePolygon();
        for (const std::int32_t size : m_ringSizes)
        {
            Ring* ring = polygon->CreateRing();
            ring->ReserveNodes(size);
            const auto count = static_cast<std::size_t>(size);
            ring->TakeNodes(std::span<Node* const>(nodes).subspan(taken, count));
            taken += count;
        }
    }
    catch (...)
    {
        for (std::size_t i = taken; i < nodes.size(); ++i)
        {
            nodeSet.ReleaseNode(nodes[i]);
        }
        if (polygon != nullptr)
        {
            try
            {
                layer.DeletePolygon(polygon); // releases the nodes its rings took
            }
            catch (...) // NOLINT(bugprone-empty-catch): a fresh polygon is always deletable
            {
            }
        }
        throw;
    }
    return polygon;
}

} // namespace Arealis::LayerOperations
