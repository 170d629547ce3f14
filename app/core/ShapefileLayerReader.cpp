#include "LayerReader.h"
#include "Shapefile/ShapefileReader.h"

namespace Orvista
{

void ShapefileLayerReader::Read(Arealis::PolygonLayer& layer, const std::string& path)
{
    // A file opened by name that is plainly not a main file (from the recent-file list or the
    // command line) is refused with one message; the layer is then not added.
    try
    {
        Arealis::CheckMainFile(path);
    }
    catch (const Arealis::ShapefileFormatException& e)
    {
        m_reporter.ShowMessage(e.Message(), "");
        throw;
    }
    Arealis::ReadShapefile(layer, path, m_reporter);
}

void ShapefileLayerReader::ReadWithRecords(Arealis::PolygonLayer& layer, const std::string& path,
                                           const RecordCallback& onPolygon)
{
    Arealis::ReadShapefile(layer, path, m_reporter, onPolygon);
}

} // namespace Orvista
