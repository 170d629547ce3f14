#pragma once

// The random cases of the stress program, each reproducible from the seed and its number:
// polygon pairs of the degenerate kinds that the overlay tests draw on integer grids (shared
// edges, collinear partial overlaps, vertices on edges, holes, several exterior rings), one
// more kind with vertices 1e-7 apart, and pairs of small coverages for the layer operations;
// all placed in the plane at sizes from 1e-3 to 1e7 and, for half of them, far from the origin.

#include "Arealis/Point.h"
#include "overlay/OverlayTestShapes.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace Stress
{

using Arealis::Point;
using Vertices = std::vector<Point>;

struct WorldPart
{
    Vertices Exterior;
    std::vector<Vertices> Holes;
};
using WorldShape = std::vector<WorldPart>;

// From grid coordinates to the plane.
struct Frame
{
    double Scale = 1;
    double OffsetX = 0;
    double OffsetY = 0;

    Point ToWorld(const Point& g) const { return {OffsetX + g.X * Scale, OffsetY + g.Y * Scale}; }
    // The decade of the extent of the case's shapes (log10 rounded down), and whether they lie
    // far from the origin (offsets up to 1e7).
    int Decade = 0;
    bool Far = false;
};

struct PolygonCase
{
    std::string Kind;
    Frame Placement;
    WorldShape A;
    WorldShape B;
};

struct LayerCase
{
    Frame Placement;
    std::vector<WorldShape> A; // a coverage: polygons that share edges and do not overlap
    std::vector<WorldShape> B;
};

// The number of polygon pair kinds; case i has kind i modulo this.
int PolygonKindCount();

PolygonCase MakePolygonCase(std::uint64_t seed, std::uint64_t index);
LayerCase MakeLayerCase(std::uint64_t seed, std::uint64_t index);

std::string Describe(const WorldShape& shape);

} // namespace Stress
