#pragma once

#include <span>

namespace Arealis
{

class Polygon;
class Ring;

namespace Detail
{

// Whether the ring is a sliver narrower than the node grid: its mean width (twice its area over
// its perimeter) is below one grid step of the current precision. The nodes of such a ring lie on
// one line of grid points give or take a step, so the area it shows is rounding of the grid rather
// than a shape; the overlay cannot cut it consistently (crossing points on its two long sides round
// onto each other) and treats it as a ring of zero area.
bool IsThinnerThanNodeGrid(const Ring& ring, double signedArea) noexcept;

// Removes from the polygon those of the given rings (its own) that enclose no clear area (zero
// area, or thinner than the node grid), when at least one of them does enclose one. Such a ring
// holds nothing the grid can represent, and validation would refuse the whole polygon for it,
// although simple-features readers take the polygon as valid. When none of the rings has a
// clear area, all are left for validation to report. Returns whether any ring was removed.
bool DropRingsWithoutClearArea(Polygon& polygon, std::span<Ring* const> rings);

} // namespace Detail
} // namespace Arealis
