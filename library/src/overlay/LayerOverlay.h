#pragma once

#include <memory>
#include <utility>

namespace Arealis
{

class Polygon;
class PolygonLayer;

namespace Overlay
{

// The common part of a and b traced straight into a new polygon of the layer, and a minus b as
// a free polygon, from one overlay graph. Gives the same rings as IntersectAndSubstract, but the
// common part shares the layer's nodes at once instead of being copied into the layer
// afterwards. The layer polygon is nullptr (and nothing is left in the layer) when the common
// part is empty.
std::pair<Polygon*, std::unique_ptr<Polygon>> IntersectIntoLayerAndSubstract(Polygon& a, Polygon& b,
                                                                             PolygonLayer& layer);

} // namespace Overlay
} // namespace Arealis
