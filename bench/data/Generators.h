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

// Squares of the given side in a count x count grid whose first corner is at (originX, originY).
std::vector<PolygonRecord> SquareGrid(std::int32_t count, double side, double originX,
                                      double originY);

// The Voronoi coverage with every cell edge replaced by a rough curve of about one vertex per
// `spacing`: a midpoint-displacement profile across the edge's chord, drawn from a seed of the
// edge's two ends, so that both cells along an edge get the same points. The profile is a
// function of the position along the chord and stays within a cone of 8.5 degrees from either
// end, so the cells stay simple and their edges apart: country-like outlines that share borders.
std::vector<PolygonRecord> RoughCoverage(std::int32_t cells, std::uint64_t seed, double spacing);

// A star of `spikes` thin spikes around `centre`, clockwise: base vertices at radius `inner`
// and tips at radius `outer` halfway between them in angle, all angles turned by `phase`
// spikes. Two such stars with centres a little apart cross where the spikes of one sweep over
// those of the other, more the farther apart the centres.
PolygonRecord SpikyStar(std::int32_t spikes, double inner, double outer, XY centre, double phase);

// Number of points where the boundaries of two polygons of one ring each cross (proper
// crossings only), found by testing every edge of the first against the edges of the second
// within its angular range as seen from `centre`, which must lie inside both polygons and
// close to no edge.
std::int64_t CountCrossings(const Ring& a, const Ring& b, XY centre);

// Small polygons (8 to 16 vertices, radius 20 to 45) one per cell of a cells x cells grid of
// CellSize cells, each inside its cell, so that none touches another.
std::vector<PolygonRecord> ScatteredSmallPolygons(std::int32_t cells, std::uint64_t seed);

// The polygons moved by a smooth field of at most `amplitude` (shared vertices move alike, so
// a coverage stays one), rounded to the node grid.
std::vector<PolygonRecord> Displaced(std::vector<PolygonRecord> records, double amplitude);

// The polygon moved by (dx, dy).
PolygonRecord Translated(PolygonRecord record, double dx, double dy);

} // namespace BenchData
