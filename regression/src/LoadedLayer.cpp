#include "Regression/LoadedLayer.h"

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Regression/TextError.h"
#include "Shapefile/ShapefileReader.h"

#include <filesystem>
#include <fstream>

namespace Arealis::Regression
{

LoadedLayer LoadTestLayer(const std::string& fileName, const std::string& folder,
                          IReporter& reporter)
{
    const std::string path = (std::filesystem::path(folder) / fileName).string();
    if (!std::ifstream(path, std::ios::binary).is_open())
    {
        throw TextError("Cant open file " + fileName);
    }
    LoadedLayer loaded;
    loaded.Topology = Topology::Create();
    loaded.Name = fileName;
    try
    {
        loaded.Layer = loaded.Topology->CreatePolygonLayer(true);
        ReadShapefile(*loaded.Layer, path, reporter);
    }
    catch (...)
    {
        ReleaseTestLayer(loaded);
        throw;
    }
    return loaded;
}

void ReleaseTestLayer(LoadedLayer& layer)
{
    if (layer.Topology != nullptr)
    {
        Topology* topology = layer.Topology;
        layer = LoadedLayer{};
        Topology::Delete(topology);
    }
    layer.Name.clear();
}

} // namespace Arealis::Regression
