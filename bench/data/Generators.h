#pragma once

#include "ShapefileWriter.h"

#include <cstdint>
#include <vector>

// Deterministic benchmark layers. Every coordinate lies on the 1e-6 grid of the library's
// nodes, and a vertex shared by neighbouring polygons is computed once from the same inputs, so
// that the polygons of a coverage meet exactly, without gaps or slivers.
namespace BenchData
{

// Side of one cell of the coverages and meshes.
constexpr double CellSize = 100.0;

// Voronoi cells of a jittered grid of cells x cells sites inside the box
// [0, cells * CellSize]^2, one polygon per site.
std::vector<PolygonRecord> VoronoiCoverage(std::int32_t cells, std::uint64_t seed);

// Squares of side CellSize * step in a cells / step grid, shifted by (offsetX, offsetY) cell
// sizes; with a fractional offset the mesh edges cross the coverage's edges.
std::vector<PolygonRecord> SquareMesh(std::int32_t cells, std::int32_t step, double offsetX,
                                      double offsetY);

// The Voronoi coverage cut along the lines of the unshifted mesh with the given step: the
// pieces share the mesh's corners and lie with edges along the mesh's edges.
std::vector<PolygonRecord> CutCoverage(std::int32_t cells, std::int32_t step, std::uint64_t seed);

// A star-shaped polygon of n vertices around (0, 0), clockwise: radius
// R (1 + amplitude sin(waves t + phase)) at the angles t = -(i + sampleOffset) 2 pi / n. Two of
// them with the same waves and phases apart by about pi cross 2 * waves times.
PolygonRecord WavyStar(std::int32_t n, std::int32_t waves, double radius, double amplitude,
                       double phase, double sampleOffset);

} // namespace BenchData
