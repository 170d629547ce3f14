#pragma once

// Small read-only views of polygons and layers that the tests compare results with.

#include "Arealis/Geometry.h"
#include "Arealis/Point.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonEnumerator.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Arealis::Testing
{

struct TopologyDeleter
{
    void operator()(Topology* pTopology) const { Topology::Delete(pTopology); }
};
// A topology deleted with everything in it when the test ends.
using TopologyPtr = std::unique_ptr<Topology, TopologyDeleter>;

// Exterior rings count positive, holes negative.
inline double NetArea(const Polygon& polygon)
{
    double area = 0.0;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        area += rings.Current()->GetSignedArea();
    }
    return area;
}

// The length of every ring's boundary.
inline double Perimeter(const Polygon& polygon)
{
    double length = 0.0;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring& ring = *rings.Current();
        for (std::int32_t i = 0; i < ring.Count(); ++i)
        {
            length += std::sqrt(SquaredDistance(ring.GetNode(i)->Position,
                                                ring.GetNode((i + 1) % ring.Count())->Position));
        }
    }
    return length;
}

inline std::vector<Polygon*> PolygonsOf(const PolygonLayer& layer)
{
    std::vector<Polygon*> polygons;
    PolygonEnumerator all = layer.GetPolygons();
    while (all.MoveNext())
    {
        polygons.push_back(all.Current());
    }
    return polygons;
}

inline std::vector<Point> PointsOf(const Ring& ring)
{
    std::vector<Point> points;
    points.reserve(static_cast<std::size_t>(ring.Count()));
    for (std::int32_t i = 0; i < ring.Count(); ++i)
    {
        points.push_back(ring.GetNode(i)->Position);
    }
    return points;
}

} // namespace Arealis::Testing
