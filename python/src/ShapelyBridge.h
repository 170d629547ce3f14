#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <string_view>
#include <vector>

namespace ArealisPython
{

struct Pieces;

// Geometries of shapely 1.8 exchanged through GEOS itself: shapely keeps the address of each
// geometry's GEOS object, whose WKB the GEOS C API writes and reads without the per-geometry
// Python work of shapely's own WKB functions. Other shapely versions use plain WKB bytes.
namespace ShapelyBridge
{

// Whether items of this kind (a shapely 1.8 geometry) can be read through GEOS.
bool Handles(pybind11::handle item);

// The WKB of a shapely 1.8 geometry; empty for an empty geometry.
std::string WkbOf(pybind11::handle item);

// An object array of shapely geometries made from the pieces' WKB.
pybind11::array Geometries(const Pieces& pieces);

} // namespace ShapelyBridge

} // namespace ArealisPython
