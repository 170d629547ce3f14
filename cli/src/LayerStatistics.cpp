#include "LayerStatistics.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"

namespace ArealisCli
{

double PolygonArea(const Arealis::Polygon& polygon)
{
    double area = 0.0;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        area += rings.Current()->GetSignedArea();
    }
    return area;
}

std::vector<Arealis::Polygon*> AllPolygons(const Arealis::PolygonLayer& layer)
{
    std::vector<Arealis::Polygon*> polygons;
    polygons.reserve(static_cast<std::size_t>(layer.GetPolygonCount()));
    Arealis::PolygonEnumerator enumerator = layer.GetPolygons();
    while (enumerator.MoveNext())
    {
        polygons.push_back(enumerator.Current());
    }
    return polygons;
}

LayerStatistics Measure(const Arealis::PolygonLayer& layer)
{
    LayerStatistics statistics;
    for (const Arealis::Polygon* polygon : AllPolygons(layer))
    {
        ++statistics.Polygons;
        statistics.Rings += polygon->GetRingCount();
        statistics.Vertices += polygon->GetNodeCount();
        if (!polygon->IsEmpty())
        {
            statistics.Bounds.Extend(polygon->GetBounds());
        }
        statistics.Area += PolygonArea(*polygon);
        ++(polygon->IsEditing() ? statistics.Refused : statistics.Committed);
    }
    return statistics;
}

LayerCounts CountPolygonsAndVertices(const Arealis::PolygonLayer& layer)
{
    LayerCounts counts;
    Arealis::PolygonEnumerator enumerator = layer.GetPolygons();
    while (enumerator.MoveNext())
    {
        ++counts.Polygons;
        counts.Vertices += enumerator.Current()->GetNodeCount();
    }
    return counts;
}

} // namespace ArealisCli
