#pragma once

#include "Arealis/Point.h"

#include <algorithm>
#include <limits>

namespace Arealis
{

// Closed axis-aligned bounds. The default value is the empty rectangle that bounds are
// accumulated from (minimum at the largest double, maximum at its negative).
struct Rectangle
{
    double MinX = std::numeric_limits<double>::max();
    double MinY = std::numeric_limits<double>::max();
    double MaxX = -std::numeric_limits<double>::max();
    double MaxY = -std::numeric_limits<double>::max();

    Rectangle() = default;
    // Throws ArgumentException when minX > maxX or minY > maxY.
    Rectangle(double minX, double minY, double maxX, double maxY);
    // The bounds of two points; never throws.
    Rectangle(const Point& p, const Point& q) noexcept
        : MinX(std::min(p.X, q.X)), MinY(std::min(p.Y, q.Y)), MaxX(std::max(p.X, q.X)),
          MaxY(std::max(p.Y, q.Y))
    {
    }

    static Rectangle Empty() noexcept { return {}; }
    // The square (p.X - t, p.Y - t, p.X + t, p.Y + t), built with the validating constructor.
    static Rectangle InflatedAround(const Point& p, double t);

    bool IsEmpty() const noexcept { return MaxX < MinX; }
    double Width() const noexcept { return MaxX - MinX; }
    double Height() const noexcept { return MaxY - MinY; }
    double Area() const noexcept { return Width() * Height(); }

    // Inline, as bounds are accumulated point by point in the inner loops of the overlay.
    void Extend(const Point& p) noexcept
    {
        if (IsEmpty())
        {
            MinX = MaxX = p.X;
            MinY = MaxY = p.Y;
            return;
        }
        if (p.X < MinX)
        {
            MinX = p.X;
        }
        else if (p.X > MaxX)
        {
            MaxX = p.X;
        }
        if (p.Y < MinY)
        {
            MinY = p.Y;
        }
        else if (p.Y > MaxY)
        {
            MaxY = p.Y;
        }
    }
    void Extend(const Rectangle& r) noexcept
    {
        MinX = std::min(MinX, r.MinX);
        MinY = std::min(MinY, r.MinY);
        MaxX = std::max(MaxX, r.MaxX);
        MaxY = std::max(MaxY, r.MaxY);
    }

    bool Contains(const Point& p) const noexcept
    {
        return MinX <= p.X && p.X <= MaxX && MinY <= p.Y && p.Y <= MaxY;
    }
    bool Contains(const Rectangle& r) const noexcept
    {
        return MinX <= r.MinX && r.MaxX <= MaxX && MinY <= r.MinY && r.MaxY <= MaxY;
    }
    // Touching rectangles intersect.
    bool Intersects(const Rectangle& r) const noexcept
    {
        return !(MaxX < r.MinX || MinX > r.MaxX || MaxY < r.MinY || MinY > r.MaxY);
    }

    friend bool operator==(const Rectangle&, const Rectangle&) = default;
};

} // namespace Arealis
