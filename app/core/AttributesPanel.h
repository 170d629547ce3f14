#pragma once

#include <string>
#include <utility>
#include <vector>

namespace Arealis
{
class Polygon;
}

namespace Orvista
{

class COrvistaDoc;

// One block of the Attributes panel: a title and the column-value pairs under it.
struct AttributeGroup
{
    std::string Title;
    std::vector<std::pair<std::string, std::string>> Values;
};

// What the Attributes panel shows for a polygon: its own values ("parcels.shp, record 3"; for
// the result of a layer operation the columns it hands to an export), then one group per
// parent with that parent's record in its layer. Empty for no polygon or a polygon of no
// layer of the document.
std::vector<AttributeGroup> DescribeAttributes(const COrvistaDoc& document,
                                               Arealis::Polygon* pPolygon);

} // namespace Orvista
