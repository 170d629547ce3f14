#pragma once

#include <string>

namespace Arealis
{
class IReporter;
class PolygonLayer;
} // namespace Arealis

namespace Orvista
{

// Fills a polygon layer from a file.
class ILayerReader
{
public:
    ILayerReader() = default;
    ILayerReader(const ILayerReader&) = delete;
    ILayerReader& operator=(const ILayerReader&) = delete;
    virtual ~ILayerReader() = default;

    // Reads the file into the layer and commits it. Problems are shown to the user; an
    // exception leaves only after the user confirmed the problem with OK.
    virtual void Read(Arealis::PolygonLayer& layer, const std::string& path) = 0;
};

// Reads shapefile main files (.shp), reporting through the given reporter.
class ShapefileLayerReader final : public ILayerReader
{
public:
    explicit ShapefileLayerReader(Arealis::IReporter& reporter) : m_reporter(reporter) {}

    void Read(Arealis::PolygonLayer& layer, const std::string& path) override;

private:
    Arealis::IReporter& m_reporter;
};

} // namespace Orvista
