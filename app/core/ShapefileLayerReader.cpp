#include "LayerReader.h"
#include "Shapefile/ShapefileReader.h"

namespace Orvista
{

void ShapefileLayerReader::Read(Arealis::PolygonLayer& layer, const std::string& path)
{
    Arealis::ReadShapefile(layer, path, m_reporter);
}

void ShapefileLayerReader::ReadWithRecords(Arealis::PolygonLayer& layer, const std::string& path,
                                           const RecordCallback& onPolygon)
{
    Arealis::ReadShapefile(layer, path, m_reporter, onPolygon);
}

} // namespace Orvista
