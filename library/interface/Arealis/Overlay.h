#pragma once

#include "Collections/IEnumerator.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace Arealis
{
class Polygon;
class PolygonLayer;
} // namespace Arealis

// Boolean operations on polygons by overlaying their boundaries: the edges of both operands
// are intersected, the rings are cut at the meeting points and the result rings are traced
// along the pieces that bound the result.
//
// Free results belong to the caller; results made in a layer belong to the layer. The result
// polygon always exists, possibly without rings. The operands are not changed. With
// recordParents, a non-empty result in a layer records its operands as its parents, A before
// B.
namespace Arealis::Overlay
{

std::unique_ptr<Polygon> Union(Polygon& a, Polygon& b);
std::unique_ptr<Polygon> Intersection(Polygon& a, Polygon& b);
std::unique_ptr<Polygon> Substract(Polygon& a, Polygon& b);

Polygon* Union(Polygon& a, Polygon& b, PolygonLayer& layer, bool recordParents);
Polygon* Intersection(Polygon& a, Polygon& b, PolygonLayer& layer, bool recordParents);
Polygon* Substract(Polygon& a, Polygon& b, PolygonLayer& layer, bool recordParents);

// A n B, then A - B, from one overlay.
std::array<std::unique_ptr<Polygon>, 2> IntersectAndSubstract(Polygon& a, Polygon& b);
std::array<Polygon*, 2> IntersectAndSubstract(Polygon& a, Polygon& b, PolygonLayer& layer,
                                              bool recordParents);

// A n B, A - B and B - A, from one overlay.
std::array<std::unique_ptr<Polygon>, 3> Partition(Polygon& a, Polygon& b);
std::array<Polygon*, 3> Partition(Polygon& a, Polygon& b, PolygonLayer& layer, bool recordParents);

// Called with (unions done, unions in all) after each union of two polygons.
using UniteProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// The union of every enumerated polygon, united in groups of three per pass so that most
// unions join polygons of similar size. A null enumeration throws InvalidOperationException
// "Uninitialized enumerator."; an empty one gives an empty polygon. The free result is always
// a new polygon, also when only one polygon was enumerated. progress, when given, follows the
// unions without changing the result. The unions of a pass are split over the layer threads
// (Topology::SetLayerThreads) of the target layer's topology, or of the first polygon's that
// belongs to a layer; the result is the same for every thread count.
std::unique_ptr<Polygon> UnitePolygons(Collections::IEnumerator<Polygon*>* pPolygons,
                                       const UniteProgress& progress = {});
// In a layer; with recordParents the result's parents are the enumerated polygons that belong
// to a layer, in enumeration order.
Polygon* UnitePolygons(Collections::IEnumerator<Polygon*>* pPolygons, PolygonLayer& layer,
                       bool recordParents, const UniteProgress& progress = {});

} // namespace Arealis::Overlay
