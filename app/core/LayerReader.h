#pragma once

#include "Formats/VectorSource.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
    // As ReadWithRecords, returning what the file brings besides its polygons: its attribute
    // table (one row per record), reference system and name. A reader that knows the
    // reference system tells onSystem (when given) before the first polygon is made, so that
    // the layer's precision can follow it. A reader that knows none of it returns an empty
    // description.
    using SystemCallback = std::function<void(const Formats::CoordinateSystem&)>;
    virtual Formats::SourceDescription ReadDescribed(Arealis::PolygonLayer& layer,
                                                     const std::string& path,
                                                     const RecordCallback& onPolygon,
                                                     const SystemCallback& /*onSystem*/)
    {
        ReadWithRecords(layer, path, onPolygon);
        return {};
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

// Reads every layer file the program opens: shapefiles through the shapefile reader, with the
// attribute table and reference system beside them, and GeoPackage ("file.gpkg",
// "file.gpkg:table"), GeoJSON, FlatGeobuf, CSV and "PG:" sources through the formats module.
// Problems are shown through the reporter before an exception leaves.
class LayerFileReader final : public ILayerReader
{
public:
    explicit LayerFileReader(Arealis::IReporter& reporter) : m_reporter(reporter) {}

    // The Open Layer dialog's filter: all layer files, then each format.
    static constexpr const char* Filter =
        "Layer Files|*.shp;*.gpkg;*.geojson;*.json;*.fgb;*.csv|Shape Files|*.shp|"
        "GeoPackage|*.gpkg|GeoJSON|*.geojson;*.json|FlatGeobuf|*.fgb|CSV with WKT|*.csv||";

    void Read(Arealis::PolygonLayer& layer, const std::string& path) override;
    void ReadWithRecords(Arealis::PolygonLayer& layer, const std::string& path,
                         const RecordCallback& onPolygon) override;
    Formats::SourceDescription ReadDescribed(Arealis::PolygonLayer& layer, const std::string& path,
                                             const RecordCallback& onPolygon,
                                             const SystemCallback& onSystem) override;

private:
    Formats::SourceDescription ReadShapefile(Arealis::PolygonLayer& layer, const std::string& path,
                                             const RecordCallback& onPolygon,
                                             const SystemCallback& onSystem);
    Formats::SourceDescription ReadOther(Arealis::PolygonLayer& layer, const std::string& path,
                                         const RecordCallback& onPolygon,
                                         const SystemCallback& onSystem);

    Arealis::IReporter& m_reporter;
};

// Whether the name is read through the formats module rather than as a shapefile: a "PG:"
// connection, "file.gpkg:table", or a file ending in .gpkg, .geojson, .json, .fgb or .csv.
bool IsOtherLayerSource(const std::string& path);
// For a GeoPackage named without a table: its polygon tables; empty for other names.
std::vector<std::string> GeoPackageTables(const std::string& path);

} // namespace Orvista
