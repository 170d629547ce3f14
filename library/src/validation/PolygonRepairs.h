#pragma once

namespace Arealis
{

class Polygon;

namespace Detail
{

// Whether Polygon::Clean(true) would change the polygon's nodes or rings: a ring of fewer than
// three nodes, a repeated node, a spike, a ring that meets itself, or a ring thinner than the
// node grid beside others. Reads the polygon only, so that a threaded commit can validate the
// polygons that need no repair on its threads.
bool NeedsRepair(const Polygon& polygon);

} // namespace Detail
} // namespace Arealis
