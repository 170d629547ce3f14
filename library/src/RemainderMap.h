#pragma once

#include "Arealis/Polygon.h"

#include <memory>
#include <unordered_map>
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
        const auto found = m_remainders.find(&polygon);
        return found == m_remainders.end() ? polygon : *found->second;
    }

    void Replace(const Polygon& polygon, std::unique_ptr<Polygon> remainder)
    {
        m_remainders[&polygon] = std::move(remainder);
    }

private:
    std::unordered_map<const Polygon*, std::unique_ptr<Polygon>> m_remainders;
};

} // namespace Arealis::LayerOperations
