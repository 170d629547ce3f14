#pragma once

#include "CommandLine.h"
#include "InputLayer.h"

#include <cstdint>
#include <functional>

namespace ArealisCli
{

struct OperationResult
{
    TopologyPtr Topology;
    Arealis::PolygonLayer* Layer = nullptr;
};

// Called with (work done, work total) while an operation runs.
using OperationProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// intersection, union, subtract, join, identity or symmetric difference of two layers into a layer
// of a new topology, with parents recorded where the operation records them; the result is
// committed.
// threads: as Topology::SetLayerThreads (0: every usable core).
OperationResult RunLayerOperation(Operation operation, InputLayer& a, InputLayer& b,
                                  const OperationProgress& progress = {}, int threads = 0);

// All polygons of the layer united into one polygon, its parents the polygons of the layer;
// threads as for RunLayerOperation.
OperationResult RunUnite(InputLayer& input, const OperationProgress& progress = {},
                         int threads = 0);

} // namespace ArealisCli
