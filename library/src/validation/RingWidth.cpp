#include "validation/RingWidth.h"

#include "Arealis/Geometry.h"
#include "Arealis/Polygon.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"

#include <algorithm>
#include <cmath>

namespace Arealis::Detail
{

bool IsThinnerThanNodeGrid(const Ring& ring, double signedArea) noexcept
{
    const std::int32_t n = ring.Count();
    if (n < 3)
    {
        return true;
    }
    // Thin when 2 |A| / perimeter < step, that is perimeter > 2 |A| / step, with the grid
    // step of the current precision.
    const double bound = std::fabs(signedArea) * 2.0 / CurrentPrecision().GridStep;
    // No edge is longer than the bounds' width plus height: most rings pass on that alone.
    const Rectangle bounds = ring.GetBounds();
    if (static_cast<double>(n) * (bounds.Width() + bounds.Height()) <= bound)
    {
        return false;
    }
    double perimeter = 0.0;
    const Point* previous = &ring.GetNode(n - 1)->Position;
    for (std::int32_t i = 0; i < n; ++i)
    {
        const Point* current = &ring.GetNode(i)->Position;
        perimeter += std::hypot(current->X - previous->X, current->Y - previous->Y);
        if (perimeter > bound)
        {
            return true;
        }
        previous = current;
    }
    return false;
}

bool DropRingsWithoutClearArea(Polygon& polygon, std::span<Ring* const> rings)
{
    const auto hasClearArea = [](const Ring* ring)
    {
        const double area = ring->GetSignedArea();
        return area != 0.0 && !IsThinnerThanNodeGrid(*ring, area);
    };
    if (std::all_of(rings.begin(), rings.end(), hasClearArea) ||
        std::none_of(rings.begin(), rings.end(), hasClearArea))
    {
        return false;
    }
    for (Ring* ring : rings)
    {
        if (!hasClearArea(ring))
        {
            polygon.RemoveRing(ring);
        }
    }
    return true;
}

} // namespace Arealis::Detail
