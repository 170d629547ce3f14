#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Arealis
{
class IReporter;
class Polygon;
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
    // As Read, telling onPolygon each polygon made with the 0-based position of its record in
    // the file. A reader that knows no records reads without telling.
    using RecordCallback = std::function<void(Arealis::Polygon*, std::int64_t)>;
    virtual void ReadWithRecords(Arealis::PolygonLayer& layer, const std::string& path,
                                 const RecordCallback& /*onPolygon*/)
    {
        Read(layer, path);
    }
};

// Reads shapefile main files (.shp), reporting through the given reporter.
class ShapefileLayerReader final : public ILayerReader
{
public:
    explicit ShapefileLayerReader(Arealis::IReporter& reporter) : m_reporter(reporter) {}

    void Read(Arealis::PolygonLayer& layer, const std::string& path) override;
    void ReadWithRecords(Arealis::PolygonLayer& layer, const std::string& path,
                         const RecordCallback& onPolygon) override;

private:
    Arealis::IReporter& m_reporter;
};

} // namespace Orvista
