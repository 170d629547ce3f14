#pragma once

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"

namespace Arealis::Regression
{

// A topology with one layer (overlap allowed) that lives for one scope: the comparison and
// the layer utility split polygons into it.
class ScratchTopology
{
public:
    ScratchTopology()
        : m_topology(Topology::Create()), m_layer(m_topology->CreatePolygonLayer(true))
    {
    }
    ScratchTopology(const ScratchTopology&) = delete;
    ScratchTopology& operator=(const ScratchTopology&) = delete;
    ~ScratchTopology()
    {
        try
        {
            Topology::Delete(m_topology);
        }
        catch (...)
        {
            // Nothing in a scratch topology is ever a parent, so deleting it does not fail.
        }
    }

    PolygonLayer& Layer() const { return *m_layer; }

private:
    Topology* m_topology;
    PolygonLayer* m_layer;
};

} // namespace Arealis::Regression
