#include "overlay/OperandContainment.h"

#include "model/RayCrossings.h"

#include <algorithm>
#include <cstdint>

namespace Arealis::Detail
{

namespace
{

// Below these counts walking every ring for every point costs less than building the index.
constexpr std::size_t IndexedRings = 32;
constexpr std::size_t IndexedPoints = 32;
constexpr std::int32_t NominalNodeSize = 10;

} // namespace

bool OperandContainment::IndexPays(std::size_t rings, std::size_t asked) noexcept
{
    return rings >= IndexedRings && asked >= IndexedPoints;
}

void OperandContainment::IndexRings(const std::vector<BoundedRing>& rings)
{
    m_index = std::make_unique<RingIndex>(NominalNodeSize);
    for (const BoundedRing& ring : rings)
    {
        m_index->Insert(ring, ring.Bounds);
    }
}

bool OperandContainment::Contains(const Point& point) const
{
    if (!m_index)
    {
        return m_polygon.ContainsPoint(point);
    }
    // A ring counts crossings only when its bounds hold the point's height and reach past the
    // point towards +X: the rings whose bounds meet the ray, and no others, are walked.
    const Rectangle ray(point.X, point.Y, std::max(point.X, m_index->Bounds().MaxX), point.Y);
    std::int32_t crossings = 0;
    m_index->VisitOverlapping(ray,
                              [&](const BoundedRing& ring)
                              {
                                  crossings += CountRayCrossings(*ring.Value, point);
                                  return true;
                              });
    return crossings % 2 == 1;
}

} // namespace Arealis::Detail
