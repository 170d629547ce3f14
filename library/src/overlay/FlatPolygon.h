#pragma once

#include "Arealis/Point.h"

#include <cstdint>
#include <vector>

namespace Arealis
{

struct Node;
class Polygon;
class PolygonLayer;

namespace LayerOperations
{

// A free polygon's rings as plain arrays of points. The parallel layer operations flatten a
// piece on the worker that made it, which then frees the piece itself (its allocator's own
// thread, its caches), and the merging thread reads two contiguous arrays instead of the
// piece's rings and scattered node records.
class FlatPolygon
{
public:
    FlatPolygon() = default; // no nodes
    explicit FlatPolygon(const Polygon& polygon);

    bool IsEmpty() const noexcept { return m_points.empty(); }

    // Adds the polygon to the layer as PolygonLayer::AddPolygon adds the original: the same
    // rings with the layer's nodes at their points, looked up as one batch. nodes is working
    // room that the caller keeps from call to call. When it throws, the layer is as it was.
    Polygon* AddTo(PolygonLayer& layer, std::vector<Node*>& nodes) const;

private:
    std::vector<Point> m_points;
    std::vector<std::int32_t> m_ringSizes;
};

} // namespace LayerOperations

} // namespace Arealis
