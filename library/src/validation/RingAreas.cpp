#include "validation/RingAreas.h"

#include "Arealis/Overlay.h"
#include "model/OperandPrecision.h"

namespace Arealis::Detail
{

namespace
{

// From this many nodes a ring's temporary polygon is kept for the next pair.
constexpr std::int32_t KeptRingNodes = 64;

// A free polygon whose one ring is a copy of ring, turned clockwise: the overlay reads the
// rings of an operand as an exterior ring when they run clockwise, and the relation between
// two areas does not depend on the orientation their rings happen to have.
std::unique_ptr<Polygon> MakeTemporaryPolygon(const Ring& ring)
{
    auto polygon = std::make_unique<Polygon>(nullptr);
    Ring* copy = polygon->CreateRing();
    const std::int32_t n = ring.Count();
    const bool reverse = ring.GetSignedArea() < 0.0;
    for (std::int32_t k = 0; k < n; ++k)
    {
        copy->AdoptNode(ring.GetNode(reverse ? n - 1 - k : k));
    }
    return polygon;
}

bool DoAreasOverlap(Polygon& first, Polygon& second)
{
    const std::unique_ptr<Polygon> common = Overlay::Intersection(first, second);
    return common->GetNodeCount() > 0;
}

bool DoesAreaCover(Polygon& outer, Polygon& inner)
{
    const std::unique_ptr<Polygon> rest = Overlay::Substract(inner, outer);
    return rest->GetNodeCount() == 0;
}

} // namespace

bool RingAreaRelations::Overlaps(const Ring& first, const Ring& second)
{
    const PrecisionScope precisionScope(WorkingPrecision(first));
    if (first.Count() == 0 || second.Count() == 0)
    {
        return false;
    }
    const Rectangle bounds = first.GetBounds();
    const Rectangle otherBounds = second.GetBounds();
    if (!(otherBounds.MaxX > bounds.MinX && otherBounds.MinX < bounds.MaxX &&
          otherBounds.MaxY > bounds.MinY && otherBounds.MinY < bounds.MaxY))
    {
        return false;
    }
    std::unique_ptr<Polygon> firstCopy;
    std::unique_ptr<Polygon> secondCopy;
    return DoAreasOverlap(TemporaryPolygonOf(first, firstCopy),
                          TemporaryPolygonOf(second, secondCopy));
}

bool RingAreaRelations::Contains(const Ring& outer, const Ring& inner)
{
    const PrecisionScope precisionScope(WorkingPrecision(outer));
    if (outer.Count() == 0 || inner.Count() == 0 || !outer.GetBounds().Contains(inner.GetBounds()))
    {
        return false;
    }
    std::unique_ptr<Polygon> outerCopy;
    std::unique_ptr<Polygon> innerCopy;
    return DoesAreaCover(TemporaryPolygonOf(outer, outerCopy),
                         TemporaryPolygonOf(inner, innerCopy));
}

Polygon& RingAreaRelations::TemporaryPolygonOf(const Ring& ring, std::unique_ptr<Polygon>& single)
{
    if (ring.Count() < KeptRingNodes)
    {
        single = MakeTemporaryPolygon(ring);
        return *single;
    }
    std::unique_ptr<Polygon>& kept = m_kept[&ring];
    if (!kept)
    {
        kept = MakeTemporaryPolygon(ring);
    }
    return *kept;
}

} // namespace Arealis::Detail
