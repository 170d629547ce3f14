#pragma once

// Reading one polygon from several threads at once.

#include "Arealis/Polygon.h"

namespace Arealis::Detail
{

// Fills a polygon's lazily computed values (bounds, area, and the edge index when switched
// on) so that threads reading it at once afterwards only read.
void PrepareForSharedReads(const Polygon& polygon, bool indexed);

} // namespace Arealis::Detail
