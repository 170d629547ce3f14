#include "Arealis/Rectangle.h"

#include "Arealis/Geometry.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"

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

Rectangle Rectangle::InflatedAround(const Point& p, double t)
{
    return {p.X - t, p.Y - t, p.X + t, p.Y + t};
}

} // namespace Arealis
