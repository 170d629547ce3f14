#pragma once

#include <array>
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
// part is empty. Without restWanted, a minus b is not traced and the free polygon is null.
std::pair<Polygon*, std::unique_ptr<Polygon>>
IntersectIntoLayerAndSubstract(Polygon& a, Polygon& b, PolygonLayer& layer, bool restWanted = true);

// The parts of Partition(a, b) that a caller needs: the common part, a outside b, b outside a.
struct PartsWanted
{
    bool Common = true;
    bool FirstOutside = true;
    bool SecondOutside = true;
};

// The wanted parts of Partition(a, b), each with the rings Partition gives it, from one overlay
// graph; null for a part not wanted, and no overlay at all when none is.
std::array<std::unique_ptr<Polygon>, 3> PartitionParts(Polygon& a, Polygon& b,
                                                      const PartsWanted& wanted);

// A copy of the polygon's rings as a new free polygon, its nodes adopted.
std::unique_ptr<Polygon> CopyAsFree(const Polygon& source);

// The union of a and b, the same polygon as Union(a, b) makes, for a caller that gives up the
// operands it passes as owned (pOwnedA holding a, pOwnedB holding b, or null for an operand
// that is only read): the rings that the result takes whole from an owned operand are moved
// into it instead of copied, and the owned operands are destroyed. An owned operand must be a
// free overlay result (see GivenUpOperands): a union of the union tree, say.
std::unique_ptr<Polygon> UnionTakingOver(Polygon& a, std::unique_ptr<Polygon> pOwnedA, Polygon& b,
                                         std::unique_ptr<Polygon> pOwnedB);

} // namespace Overlay
} // namespace Arealis
