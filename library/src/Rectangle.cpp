#include "Arealis/Rectangle.h"

#include "Arealis/Geometry.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"

#include <algorithm>

namespace Arealis
{

Rectangle::Rectangle(double minX, double minY, double maxX, double maxY)
    : MinX(minX), MinY(minY), MaxX(maxX), MaxY(maxY)
{
    if (MinX > MaxX || MinY > MaxY)
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::InvalidBounds,
                                            Exceptions::MakeLocation("interface/Rectangle", 41));
    }
}

Rectangle::Rectangle(const Point& p, const Point& q) noexcept
    : MinX(std::min(p.X, q.X)), MinY(std::min(p.Y, q.Y)), MaxX(std::max(p.X, q.X)),
      MaxY(std::max(p.Y, q.Y))
{
}

Rectangle Rectangle::InflatedAround(const Point& p, double t)
{
    return {p.X - t, p.Y - t, p.X + t, p.Y + t};
}

void Rectangle::Extend(const Point& p) noexcept
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

void Rectangle::Extend(const Rectangle& r) noexcept
{
    MinX = std::min(MinX, r.MinX);
    MinY = std::min(MinY, r.MinY);
    MaxX = std::max(MaxX, r.MaxX);
    MaxY = std::max(MaxY, r.MaxY);
}

} // namespace Arealis
