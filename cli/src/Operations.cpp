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

// The result is organised and validated like any committed layer; polygons the commit refuses
// stay in the layer and are reported by the caller.
void CommitResult(Arealis::Topology& topology)
{
    try
    {
        topology.Commit();
    }
    catch (const Arealis::InvalidPolygonException&)
    {
    }
    catch (const Arealis::PolygonsOverlapException&)
    {
    }
}

} // namespace

OperationResult RunLayerOperation(Operation operation, InputLayer& a, InputLayer& b,
                                  const OperationProgress& progress, int threads)
{
    OperationResult result{CreateTopology(a.Precision()), nullptr};
    result.Topology->SetLayerThreads(threads);
    Arealis::PolygonLayer* pA = &a.Layer();
    Arealis::PolygonLayer* pB = &b.Layer();
    switch (operation)
    {
    case Operation::Intersection:
        result.Layer = result.Topology->Intersection(pA, pB, true, progress);
        break;
    case Operation::Union:
        result.Layer = result.Topology->Union(pA, pB, true, progress);
        break;
    case Operation::Subtract:
        result.Layer = result.Topology->Substract(pA, pB, true, progress);
        break;
    case Operation::Join:
        result.Layer = result.Topology->Join(pA, pB, true, progress);
        break;
    case Operation::Identity:
        result.Layer = Arealis::Identity(*result.Topology, pA, pB, true, progress);
        break;
    case Operation::SymmetricDifference:
        result.Layer = Arealis::SymmetricDifference(*result.Topology, pA, pB, true, progress);
        break;
    default:
        throw std::logic_error("not a layer operation");
    }
    CommitResult(*result.Topology);
    return result;
}

OperationResult RunUnite(InputLayer& input, const OperationProgress& progress, int threads)
{
    OperationResult result{CreateTopology(input.Precision()), nullptr};
    result.Topology->SetLayerThreads(threads);
    result.Layer = result.Topology->CreatePolygonLayer(true);
    // The committed polygons only, as the layer operations take them.
    std::vector<Arealis::Polygon*> committed = AllPolygons(input.Layer());
    std::erase_if(committed,
                  [](const Arealis::Polygon* pPolygon) { return pPolygon->IsEditing(); });
    ListEnumerator polygons(std::move(committed));
    Arealis::Overlay::UnitePolygons(&polygons, *result.Layer, true, progress);
    CommitResult(*result.Topology);
    return result;
}

} // namespace ArealisCli
