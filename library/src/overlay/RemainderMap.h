#pragma once

#include "Arealis/Polygon.h"
#include "Arealis/PolygonTable.h"

#include <cstdint>
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

    // Counts one more pair that will take the polygon's remainder in its turn.
    void CountPair(const Polygon& polygon) { ++m_pairsLeft[&polygon]; }

    // Called once at each pair of the polygon: whether a later pair takes the remainder that
    // this one leaves. Always so for a polygon whose pairs were not counted.
    bool TakenLater(const Polygon& polygon)
    {
        std::uint32_t* left = m_pairsLeft.Find(&polygon);
        return left == nullptr || --*left > 0;
    }

    // The polygon's remainder after its last pair, which nobody takes: empty, its memory freed.
    void Drop(const Polygon& polygon) { Replace(polygon, std::make_unique<Polygon>(nullptr)); }

private:
    PolygonTable<std::unique_ptr<Polygon>> m_remainders;
    PolygonTable<std::uint32_t> m_pairsLeft;
};

} // namespace Arealis::LayerOperations
