#pragma once

#include "CommandLine.h"
#include "InputLayer.h"

#include <cstdint>

namespace ArealisCli
{

struct OperationResult
{
    TopologyPtr Topology;
    Arealis::PolygonLayer* Layer = nullptr;
};

// intersection, union, subtract or join of two layers into a layer of a new topology, with
// parents recorded where the operation records them; the result is committed.
OperationResult RunLayerOperation(Operation operation, InputLayer& a, InputLayer& b);

// All polygons of the layer united into one polygon, its parents the polygons of the layer.
OperationResult RunUnite(InputLayer& input);

} // namespace ArealisCli
