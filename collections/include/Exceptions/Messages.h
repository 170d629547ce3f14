#pragma once

// Every message text that the library shows. The texts are part of the program's behaviour:
// tests, logs and users match them exactly, spelling included.
namespace Exceptions::Messages
{

inline constexpr const char* InvalidPointer = "The pointer is not valid.";
inline constexpr const char* NegativeTolerance = "dToleranceDistance < 0";
inline constexpr const char* NonFiniteCoordinate = "A coordinate is not a finite number.";
inline constexpr const char* NullRingOut = "ppRing == NULL";
inline constexpr const char* NullNodeIndexOut = "pNodeIndex == NULL";
inline constexpr const char* NullEdgeIndexOut = "pEdgeIndex == NULL";
inline constexpr const char* InvalidBounds = "Invalid bounds: minX > maxX or minY > maxY";
inline constexpr const char* InvalidArgument = "Invalid argument";
inline constexpr const char* ArgumentOutOfRange = "Argument is out of range";
inline constexpr const char* NodeOfOtherTopology = "The Node belongs to an other Topology";
inline constexpr const char* InvalidSpatialRelation = "Invalid spatial relation identifier.";
inline constexpr const char* RingNotInPolygon = "The ring is not contained in the Polygon.";
inline constexpr const char* RingMustBeExterior = "The ring is interior but must be exterior.";
inline constexpr const char* PolygonNotInLayer = "The Polygon does not belong to the PolygonLayer.";
inline constexpr const char* RingEmpty = "The ring is empty.";
inline constexpr const char* RingZeroArea = "The ring has zero area.";
inline constexpr const char* RingSelfIntersecting =
    "A ring is self-intersecting: some not adjacent edges of the ring have common points.";
inline constexpr const char* NoExteriorRing = "Polygon has no exterior ring.";
inline constexpr const char* InteriorNotEnclosed =
    "An interior ring is not directly enclosed by an exterior ring.";
inline constexpr const char* ExteriorOverlapsExterior =
    "An exterior ring area partially overlaps an other exterior ring area.";
inline constexpr const char* ExteriorOverlapsInterior =
    "An exterior ring area partially overlaps an interior ring area.";
inline constexpr const char* InteriorOverlapsInterior =
    "An interior ring area partially overlaps an other interior ring area.";
inline constexpr const char* ExteriorEnclosesExterior =
    "An exterior ring encloses an other exterior ring that is not directly enclosed by a "
    "corresponding interior ring (directly enclosed by the first exterior ring).";
inline constexpr const char* LayerHasInvalidPolygons = "The polygon layer contains invalid polygons.";
inline constexpr const char* TopologyHasInvalidPolygons = "The topology contains invalid polygons.";
inline constexpr const char* PolygonOverlapsCommitted =
    "The Polygon overlaps an other committed Polygon.";
inline constexpr const char* LayerHasOverlappingPolygons =
    "The polygon layer contains overlapping polygons.";
inline constexpr const char* TopologyHasOverlappingPolygons =
    "The topology contains overlapping polygons in some polygon layers that do not allow overlap.";
inline constexpr const char* PolygonIsParent =
    "The Polygon is contained in the Parents collection of an other Polygon.";
inline constexpr const char* PolygonNotInSpatialIndex =
    "The polygon to be removed fro the spatial index is not contained in the spatial index";
inline constexpr const char* UninitializedEnumerator = "Uninitialized enumerator.";
inline constexpr const char* EnumeratorNotInitialized = "The enumerator is not initialized.";
inline constexpr const char* MoveNextNotCalled =
    "MoveNext() was not called after creation of the enumerator or last Reset() or last "
    "MoveNext() returned false";
inline constexpr const char* NodeOfParentPolygon =
    "The node cannot be moved because is contained in a polygon that is contained in the Parents "
    "collection of an other Polygon.";
inline constexpr const char* TopologyHasForeignParents =
    "Topology contains polygons that are parents for polygons from other topologies.";
inline constexpr const char* TooManyTopologies =
    "Can not create Topology: maximum number of topologies reached.";

} // namespace Exceptions::Messages
