#pragma once

// Reading one polygon from several threads at once.

#include "Arealis/Polygon.h"

namespace Arealis::Detail
{

// Fills a polygon's lazily computed values (bounds, area, and the edge index when switched
// on) so that threads reading it at once afterwards only read.
void PrepareForSharedReads(const Polygon& polygon, bool indexed);

// Builds the height index of the polygon's long rings now, for a polygon that several threads
// are about to search through many times: their edge searches then go through it (in the
// rings' order) and only read. Unlike the edge index switched on for the duration of one
// polygon's work, it costs a few bytes per edge, so every such polygon of an operation can
// have it at once; it stays until the ring changes.
void PrepareEdgeSearches(const Polygon& polygon);

} // namespace Arealis::Detail
