#pragma once

namespace Arealis
{

class Ring;

namespace Detail
{

// Whether the ring is a sliver narrower than the node grid: its mean width (twice its area over
// its perimeter) is below one grid step of the current precision. The nodes of such a ring lie on one line of grid
// points give or take a step, so the area it shows is rounding of the grid rather than a shape;
// the overlay cannot cut it consistently (crossing points on its two long sides round onto each
// other) and treats it as a ring of zero area.
bool IsThinnerThanNodeGrid(const Ring& ring, double signedArea) noexcept;

} // namespace Detail
} // namespace Arealis
