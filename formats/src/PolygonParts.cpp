#include "Formats/PolygonParts.h"

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"

namespace Formats
{

OrientedRing::OrientedRing(const Arealis::Ring& ring) : m_nodes(ring.GetNodes()) {}

void PolygonParts::Gather(Arealis::Polygon& polygon)
{
    m_rings.clear();
    m_partStarts.clear();
    if (polygon.IsModified())
    {
        polygon.Organise();
    }
    Arealis::Ring* first = polygon.GetFirstRing();
    if (first == nullptr)
    {
        return;
    }
    // The organised circle: exterior rings by decreasing area, each followed by the holes it
    // encloses (flagged Assigned); holes enclosed by no exterior carry no flag.
    bool inPart = false;
    Arealis::Ring* ring = first;
    do
    {
        if (ring->IsExterior())
        {
            m_partStarts.push_back(m_rings.size());
            m_rings.emplace_back(*ring);
            inPart = true;
        }
        else if (inPart && ring->HasFlag(Arealis::Ring::Flags::Assigned))
        {
            m_rings.emplace_back(*ring);
        }
        else
        {
            inPart = false;
        }
        ring = ring->GetNext();
    } while (ring != nullptr && ring != first);
}

} // namespace Formats
