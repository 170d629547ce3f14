#pragma once

namespace Arealis
{
class Polygon;
struct Rectangle;
} // namespace Arealis

namespace Arealis::Detail
{

// Whether two small single-ring polygons of one topology surely have no area in common, told
// without an overlay: the common case of a layer that must not overlap, where neighbours meet
// along shared nodes and edges. Near their common bounds every vertex keeps far more than the
// overlay's tolerance and node grid away from every edge not ending at it, no edge of one
// crosses an edge of the other, each shared edge has the two interiors on its two sides, and
// every other edge lies outside the other polygon. The overlay then snaps nothing there, and
// the boundaries bound no common area. False means "not sure": the caller overlays them.
// Both polygons must be committed and valid, and the working precision that of their topology;
// boundsA and boundsB are their bounds.
bool SurelyApart(const Polygon& a, const Rectangle& boundsA, const Polygon& b,
                 const Rectangle& boundsB);

} // namespace Arealis::Detail
