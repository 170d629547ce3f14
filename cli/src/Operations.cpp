#include "Operations.h"

#include "Arealis/DerivedLayerOperations.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Collections/IEnumerator.h"
#include "Collections/VectorEnumerator.h"
#include "LayerStatistics.h"

#include <memory>
#include <stdexcept>
#include <vector>

namespace ArealisCli
{

namespace
{

using ListEnumerator = Collections::VectorEnumerator<Arealis::Polygon*>;

// The result layer alone is organised and validated like any committed layer: the input
// layers of the same topology were committed when read, and their refused polygons are
// reported by the caller once. Polygons the commit refuses stay in the layer and are reported
// by the caller.
void CommitResult(Arealis::PolygonLayer& layer)
{
    try
    {
        layer.Commit();
    }
    catch (const Arealis::InvalidPolygonException&)
    {
    }
    catch (const Arealis::PolygonsOverlapException&)
    {
    }
}

// Runs the operation, which makes a new layer of the topology. When it fails, the layer it
// had begun lets go of its parents, so that the inputs can still be deleted in turn.
template <class TOperation>
ResultLayerPtr IntoNewLayer(Arealis::Topology& topology, TOperation operation)
{
    const std::int32_t layers = topology.GetLayerCount();
    try
    {
        return ResultLayerPtr(operation());
    }
    catch (...)
    {
        if (topology.GetLayerCount() > layers)
        {
            ResultLayerDeleter{}(topology.GetLayer(layers));
        }
        throw;
    }
}

} // namespace

void ResultLayerDeleter::operator()(Arealis::PolygonLayer* pLayer) const noexcept
{
    try
    {
        // The polygons themselves go with the topology, all at once.
        pLayer->ClearAllParents();
    }
    catch (...) // NOLINT(bugprone-empty-catch): a layer's own parent records always clear
    {
    }
}

OperationResult RunLayerOperation(Operation operation, InputLayer& a, InputLayer& b,
                                  const OperationProgress& progress, int threads)
{
    Arealis::PolygonLayer* pA = &a.Layer();
    Arealis::PolygonLayer* pB = &b.Layer();
    Arealis::Topology& topology = *pA->GetTopology();
    topology.SetLayerThreads(threads);
    OperationResult result{IntoNewLayer(
        topology,
        [&]() -> Arealis::PolygonLayer*
        {
            switch (operation)
            {
            case Operation::Intersection:
                return topology.Intersection(pA, pB, true, progress);
            case Operation::Union:
                return topology.Union(pA, pB, true, progress);
            case Operation::Subtract:
                return topology.Substract(pA, pB, true, progress);
            case Operation::Join:
                return topology.Join(pA, pB, true, progress);
            case Operation::Identity:
                return Arealis::Identity(topology, pA, pB, true, progress);
            case Operation::SymmetricDifference:
                return Arealis::SymmetricDifference(topology, pA, pB, true, progress);
            default:
                throw std::logic_error("not a layer operation");
            }
        })};
    CommitResult(*result.Layer);
    return result;
}

OperationResult RunUnite(InputLayer& input, const OperationProgress& progress, int threads)
{
    Arealis::Topology& topology = *input.Layer().GetTopology();
    topology.SetLayerThreads(threads);
    // The committed polygons only, as the layer operations take them.
    std::vector<Arealis::Polygon*> committed = AllPolygons(input.Layer());
    std::erase_if(committed,
                  [](const Arealis::Polygon* pPolygon) { return pPolygon->IsEditing(); });
    ListEnumerator polygons(std::move(committed));
    OperationResult result{IntoNewLayer(
        topology,
        [&]
        {
            Arealis::PolygonLayer* pLayer = topology.CreatePolygonLayer(true);
            Arealis::Overlay::UnitePolygons(&polygons, *pLayer, true, progress);
            return pLayer;
        })};
    CommitResult(*result.Layer);
    return result;
}

} // namespace ArealisCli
