#include "Formats/PolygonParts.h"

#include "Arealis/Node.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"

namespace Formats
{

RingPoints OrientedRing(const Arealis::Ring& ring, bool exterior)
{
    const auto nodes = ring.GetNodes();
    RingPoints points;
    points.reserve(nodes.size() + 1);
    const bool clockwise = ring.GetSignedArea() > 0.0;
    if (exterior == clockwise)
    {
        for (auto it = nodes.rbegin(); it != nodes.rend(); ++it)
        {
            points.push_back((*it)->Position);
        }
    }
    else
    {
        for (const Arealis::Node* node : nodes)
        {
            points.push_back(node->Position);
        }
    }
    if (!points.empty())
    {
        points.push_back(points.front());
    }
    return points;
}

std::vector<PolygonPart> PolygonParts(Arealis::Polygon& polygon)
{
    if (polygon.IsModified())
    {
        polygon.Organise();
    }
    std::vector<PolygonPart> parts;
    Arealis::Ring* first = polygon.GetFirstRing();
    if (first == nullptr)
    {
        return parts;
    }
    // The organised circle: exterior rings by decreasing area, each followed by the holes it
    // encloses (flagged Assigned); holes enclosed by no exterior carry no flag.
    bool inPart = false;
    Arealis::Ring* ring = first;
    do
    {
        if (ring->IsExterior())
        {
            parts.push_back(PolygonPart{OrientedRing(*ring, true)});
            inPart = true;
        }
        else if (inPart && ring->HasFlag(Arealis::Ring::Flags::Assigned))
        {
            parts.back().push_back(OrientedRing(*ring, false));
        }
        else
        {
            inPart = false;
        }
        ring = ring->GetNext();
    } while (ring != nullptr && ring != first);
    return parts;
}

} // namespace Formats
