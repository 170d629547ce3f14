#include "LayerReader.h"
#include "Shapefile/ShapefileReader.h"

namespace Orvista
{

void ShapefileLayerReader::Read(Arealis::PolygonLayer& layer, const std::string& path)
{
    Arealis::ReadShapefile(layer, path, m_reporter);
}

} // namespace Orvista
