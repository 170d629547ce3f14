#pragma once

#include "Arealis/Polygon.h"
#include "Arealis/PolygonTable.h"

#include <memory>
#include <utility>

namespace Arealis::LayerOperations
{

// For the polygons of one operand layer, the part not yet covered by the polygons of the
// other layer processed so far. A polygon without an entry is still whole. The remainders are
// free polygons owned by the map: deleted when replaced and with the map.
class RemainderMap
{
public:
    // The remainder of the polygon, or the polygon itself while it has none.
    Polygon& Get(Polygon& polygon) const
    {
        const std::unique_ptr<Polygon>* remainder = m_remainders.Find(&polygon);
        return remainder == nullptr ? polygon : **remainder;
    }

    void Replace(const Polygon& polygon, std::unique_ptr<Polygon> remainder)
    {
        m_remainders[&polygon] = std::move(remainder);
    }

private:
    PolygonTable<std::unique_ptr<Polygon>> m_remainders;
};

} // namespace Arealis::LayerOperations
