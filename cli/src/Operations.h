#pragma once

#include "CommandLine.h"
#include "InputLayer.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace ArealisCli
{

// Empties a result layer when it goes, without letting a failure escape: its polygons name
// polygons of the operands as parents, which keeps an operand in another topology from being
// deleted, and the layer itself goes with the first operand's topology that holds it.
struct ResultLayerDeleter
{
    void operator()(Arealis::PolygonLayer* pLayer) const noexcept;
};
using ResultLayerPtr = std::unique_ptr<Arealis::PolygonLayer, ResultLayerDeleter>;

struct OperationResult
{
    ResultLayerPtr Layer;
};

// Called with (work done, work total) while an operation runs.
using OperationProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// intersection, union, subtract, join, identity or symmetric difference of two layers into a
// new layer of A's topology, with parents recorded where the operation records them; the
// result layer is committed. Most result vertices are vertices of A or B, which the result
// shares instead of holding node records of its own (B's when B is a layer of A's topology, as
// the tool reads it). The result must go before either input.
// threads: as Topology::SetLayerThreads (0: every usable core), set on A's topology.
OperationResult RunLayerOperation(Operation operation, InputLayer& a, InputLayer& b,
                                  const OperationProgress& progress = {}, int threads = 0);

// All polygons of the layer united into one polygon in a new layer of the input's topology,
// its parents the polygons of the layer; threads as for RunLayerOperation.
OperationResult RunUnite(InputLayer& input, const OperationProgress& progress = {},
                         int threads = 0);

} // namespace ArealisCli
