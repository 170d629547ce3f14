#pragma once

#include <cmath>

namespace Arealis
{

// A position in the plane. Exact comparisons throughout; tolerant ones say so in their name.
struct Point
{
    double X = 0.0;
    double Y = 0.0;

    friend bool operator==(const Point& a, const Point& b) noexcept
    {
        return a.X == b.X && a.Y == b.Y;
    }

    // Key order of the node index: by X, then by Y.
    friend bool operator<(const Point& a, const Point& b) noexcept
    {
        return a.X < b.X || (a.X == b.X && a.Y < b.Y);
    }

    // Equality within a square box of half-width dToleranceDistance (inclusive).
    bool EqualsWithin(const Point& other, double dToleranceDistance) const noexcept
    {
        return std::fabs(X - other.X) <= dToleranceDistance &&
               std::fabs(Y - other.Y) <= dToleranceDistance;
    }
};

inline double SquaredDistance(const Point& p, const Point& q) noexcept
{
    const double dy = q.Y - p.Y;
    const double dx = q.X - p.X;
    return dy * dy + dx * dx;
}

} // namespace Arealis
