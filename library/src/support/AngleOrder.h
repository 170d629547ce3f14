#pragma once

#include <cmath>

namespace Arealis::Detail
{

// Exact comparisons of the angles of vectors (dx, dy), counter-clockwise from the positive x
// axis in [0, 2 pi): the order that atan2 gives, without its cost, and without the ties it
// makes of different directions less than a rounding step apart. Finite vectors only; the zero
// vector has no direction and must be replaced by the caller.

// 0 for an angle in [0, pi), 1 for one in [pi, 2 pi). A zero dy of either sign counts as
// zero, so that a way straight to the left is at pi like any other.
inline int HalfOf(double dx, double dy) noexcept
{
    return dy < 0.0 || (dy == 0.0 && dx < 0.0) ? 1 : 0;
}

// The sign of x1 * y2 - y1 * x2, exactly: rounding keeps the order of two products, and where
// the rounded products are equal their rounding errors (exact by fma) decide.
inline int CrossSign(double x1, double y1, double x2, double y2) noexcept
{
    const double left = x1 * y2;
    const double right = y1 * x2;
    if (left != right)
    {
        return left > right ? 1 : -1;
    }
    const double leftError = std::fma(x1, y2, -left);
    const double rightError = std::fma(y1, x2, -right);
    return leftError > rightError ? 1 : (leftError < rightError ? -1 : 0);
}

// Whether the first vector's angle is below the second's.
inline bool IsAngleBelow(double x1, double y1, double x2, double y2) noexcept
{
    const int half1 = HalfOf(x1, y1);
    const int half2 = HalfOf(x2, y2);
    if (half1 != half2)
    {
        return half1 < half2;
    }
    // Within one half the angles differ by less than pi: the second lies counter-clockwise.
    return CrossSign(x1, y1, x2, y2) > 0;
}

// Whether both vectors point the same way.
inline bool IsSameAngle(double x1, double y1, double x2, double y2) noexcept
{
    return HalfOf(x1, y1) == HalfOf(x2, y2) && CrossSign(x1, y1, x2, y2) == 0;
}

} // namespace Arealis::Detail
