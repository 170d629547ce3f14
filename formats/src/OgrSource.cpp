#include "Arealis/GeometryExceptions.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Formats/FormatError.h"
#include "Formats/VectorSource.h"
#include "GdalSession.h"
#include "OgrFeatures.h"
#include "SpatialReference.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ogr_geometry.h>

namespace Formats
{

namespace
{

struct SourceName
{
    std::string Connection;
    std::string Table; // empty: pick the only polygon table
};

// "PG:dbname=x parcels" (a last word without '=' names the table), "file.gpkg:table", or a
// name GDAL opens as it is.
SourceName SplitSource(const std::string& source)
{
    if (source.rfind("PG:", 0) == 0)
    {
        const std::size_t space = source.find_last_of(' ');
        if (space != std::string::npos && source.find('=', space) == std::string::npos)
        {
            return {source.substr(0, space), source.substr(space + 1)};
        }
        return {source, {}};
    }
    const std::size_t colon = source.find_last_of(':');
    if (!std::filesystem::exists(source) && colon != std::string::npos && colon > 0 &&
        std::filesystem::exists(source.substr(0, colon)))
    {
        return {source.substr(0, colon), source.substr(colon + 1)};
    }
    return {source, {}};
}

bool IsPolygonal(OGRwkbGeometryType type)
{
    const OGRwkbGeometryType flat = wkbFlatten(type);
    return flat == wkbPolygon || flat == wkbMultiPolygon || flat == wkbCurvePolygon ||
           flat == wkbMultiSurface;
}

GDALDatasetUniquePtr OpenSource(const std::string& connection, GdalErrors& errors)
{
    EnsureGdal();
    // A CSV file's WKT column is its geometry, not one of its attributes; an empty cell is
    // a null (the format cannot tell the two apart, and nulls are what writers leave empty).
    std::string extension = std::filesystem::path(connection).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const char* const csvOptions[] = {"KEEP_GEOM_COLUMNS=NO", "EMPTY_STRING_AS_NULL=YES", nullptr};
    GDALDatasetUniquePtr dataset(GDALDataset::FromHandle(
        GDALOpenEx(connection.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr,
                   extension == ".csv" ? csvOptions : nullptr, nullptr)));
    if (!dataset)
    {
        throw FormatError(connection + ": cannot open as a vector source: " +
                          errors.Last("no driver recognises it"));
    }
    return dataset;
}

std::string LayerList(GDALDataset& dataset)
{
    std::string list;
    for (OGRLayer* layer : dataset.GetLayers())
    {
        list += (list.empty() ? "" : ", ") + std::string(layer->GetName()) + " (" +
                OGRGeometryTypeToName(layer->GetGeomType()) + ")";
    }
    return list.empty() ? "none" : list;
}

OGRLayer& ChooseLayer(GDALDataset& dataset, const SourceName& name)
{
    if (!name.Table.empty())
    {
        OGRLayer* layer = dataset.GetLayerByName(name.Table.c_str());
        if (layer == nullptr)
        {
            throw FormatError(name.Connection + ": no table '" + name.Table +
                              "' (tables: " + LayerList(dataset) + ")");
        }
        return *layer;
    }
    std::vector<OGRLayer*> polygonal;
    std::vector<OGRLayer*> untyped;
    for (OGRLayer* layer : dataset.GetLayers())
    {
        if (IsPolygonal(layer->GetGeomType()))
        {
            polygonal.push_back(layer);
        }
        else if (wkbFlatten(layer->GetGeomType()) == wkbUnknown)
        {
            untyped.push_back(layer);
        }
    }
    // A table of mixed or undeclared geometry (GeoJSON, CSV) may hold polygons too.
    if (polygonal.empty() && untyped.size() == 1)
    {
        polygonal = untyped;
    }
    if (polygonal.size() == 1)
    {
        return *polygonal.front();
    }
    if (polygonal.empty())
    {
        throw FormatError(name.Connection + ": no polygon table (tables: " + LayerList(dataset) +
                          ")");
    }
    std::string names;
    for (OGRLayer* layer : polygonal)
    {
        names += (names.empty() ? "" : ", ") + std::string(layer->GetName());
    }
    throw FormatError(name.Connection + ": " + std::to_string(polygonal.size()) +
                      " polygon tables (" + names + "); name one as " + name.Connection + ":TABLE");
}

// A ring's points without the closing repetition, turned clockwise for an exterior ring and
// counter-clockwise for a hole, as the library keeps them.
void AddRing(Arealis::Polygon& polygon, const OGRLinearRing& ring, bool exterior,
             std::vector<Arealis::Point>& points)
{
    points.clear();
    const int count = ring.getNumPoints();
    for (int i = 0; i < count; ++i)
    {
        points.push_back({ring.getX(i), ring.getY(i)});
    }
    if (points.size() > 1 && points.front().X == points.back().X &&
        points.front().Y == points.back().Y)
    {
        points.pop_back();
    }
    double twiceArea = 0.0; // positive for counter-clockwise
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++)
    {
        twiceArea += points[j].X * points[i].Y - points[i].X * points[j].Y;
    }
    if ((twiceArea > 0.0) == exterior)
    {
        std::reverse(points.begin(), points.end());
    }
    polygon.CreateRing()->AddNodes(points);
}

void AddPolygonRings(Arealis::Polygon& polygon, const OGRPolygon& part,
                     std::vector<Arealis::Point>& points)
{
    if (part.getExteriorRing() == nullptr)
    {
        return;
    }
    AddRing(polygon, *part.getExteriorRing(), true, points);
    for (int i = 0; i < part.getNumInteriorRings(); ++i)
    {
        AddRing(polygon, *part.getInteriorRing(i), false, points);
    }
}

// The polygon of a feature, or null for a feature whose geometry is not polygonal or empty.
Arealis::Polygon* MakePolygon(Arealis::PolygonLayer& layer, const OGRGeometry* geometry,
                              std::vector<Arealis::Point>& points)
{
    if (geometry == nullptr || geometry->IsEmpty() || !IsPolygonal(geometry->getGeometryType()))
    {
        return nullptr;
    }
    std::unique_ptr<OGRGeometry> linear;
    if (geometry->hasCurveGeometry())
    {
        linear.reset(geometry->getLinearGeometry());
        geometry = linear.get();
    }
    Arealis::Polygon* polygon = layer.CreatePolygon();
    if (wkbFlatten(geometry->getGeometryType()) == wkbPolygon)
    {
        AddPolygonRings(*polygon, *geometry->toPolygon(), points);
    }
    else
    {
        for (const OGRPolygon* part : *geometry->toMultiPolygon())
        {
            AddPolygonRings(*polygon, *part, points);
        }
    }
    return polygon;
}

} // namespace

SourceDescription ReadOgrSource(const std::string& source, Arealis::PolygonLayer& layer,
                                const Arealis::PolygonRecordCallback& onPolygon,
                                const std::function<void(const CoordinateSystem&)>& onSystem)
{
    GdalErrors errors;
    const SourceName name = SplitSource(source);
    GDALDatasetUniquePtr dataset = OpenSource(name.Connection, errors);
    OGRLayer& table = ChooseLayer(*dataset, name);
    if (!IsPolygonal(table.GetGeomType()) && wkbFlatten(table.GetGeomType()) != wkbUnknown)
    {
        throw FormatError(source + ": table '" + table.GetName() + "' holds " +
                          OGRGeometryTypeToName(table.GetGeomType()) + " features, not polygons");
    }
    SourceDescription description;
    description.Name = source;
    description.System = DescribeSpatialReference(table.GetSpatialRef());
    if (onSystem)
    {
        onSystem(description.System);
    }
    description.Attributes.Fields = FieldsOf(*table.GetLayerDefn());
    std::vector<Arealis::Point> points;
    std::int64_t record = 0;
    table.ResetReading();
    for (OGRFeatureUniquePtr feature(table.GetNextFeature()); feature;
         feature.reset(table.GetNextFeature()), ++record)
    {
        description.Attributes.Rows.push_back(RowOf(*feature, description.Attributes.Fields));
        Arealis::Polygon* polygon = MakePolygon(layer, feature->GetGeometryRef(), points);
        if (polygon == nullptr)
        {
            ++description.SkippedFeatures;
        }
        else if (onPolygon)
        {
            onPolygon(polygon, record);
        }
    }
    if (errors.Failed())
    {
        throw FormatError(source + ": reading stopped at feature " + std::to_string(record) + ": " +
                          errors.Last(""));
    }
    if (description.SkippedFeatures > 0)
    {
        description.Notes.push_back(source + ": " + std::to_string(description.SkippedFeatures) +
                                    " features that are not polygons were skipped.");
    }
    try
    {
        layer.Commit();
    }
    catch (const Arealis::InvalidPolygonException& e)
    {
        description.Notes.push_back(source + ": " + e.Message());
    }
    catch (const Arealis::PolygonsOverlapException& e)
    {
        description.Notes.push_back(source + ": " + e.Message());
    }
    return description;
}

std::vector<std::string> PolygonTables(const std::string& source)
{
    GdalErrors errors;
    GDALDatasetUniquePtr dataset = OpenSource(SplitSource(source).Connection, errors);
    std::vector<std::string> names;
    for (OGRLayer* layer : dataset->GetLayers())
    {
        if (IsPolygonal(layer->GetGeomType()))
        {
            names.emplace_back(layer->GetName());
        }
    }
    return names;
}

} // namespace Formats
