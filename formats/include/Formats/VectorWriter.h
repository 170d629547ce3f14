#pragma once

#include "Formats/Attributes.h"
#include "Formats/CoordinateSystem.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Arealis
{
class Polygon;
}

namespace Formats
{

enum class FileFormat
{
    GeoJson,
    Shapefile,
    GeoPackage,
    FlatGeobuf,
    Csv,
    PostGis,
};

// Where a layer is written: a file, and for a GeoPackage the table ("out.gpkg:table"; the
// file's stem when none is named); or a PostGIS table ("PG:dbname=... table": Path holds the
// connection, Table the last word).
struct FileTarget
{
    std::string Path;
    std::string Table;
    FileFormat Format = FileFormat::GeoJson;
};

// The target an output name asks for, chosen by its extension (.geojson and .json, .shp,
// .gpkg, .fgb, .csv, in either case) or a "PG:" prefix; nothing for other names.
std::optional<FileTarget> FileTargetFromName(const std::string& name);

// Writes polygons with their attribute values to a file through GDAL, one feature per polygon
// (a MultiPolygon of its parts). The file appears under its name only when Commit succeeds; a
// writer destroyed before, or a failed write, leaves nothing behind and any existing file as
// it was. A PostGIS table is written in one transaction, rolled back unless Commit succeeds.
// Construction fails at once (FormatError, OutputExistsError) for an existing output without
// overwrite or a folder that cannot be written.
class VectorWriter
{
public:
    VectorWriter(const FileTarget& target, const std::vector<Field>& fields,
                 const CoordinateSystem& system, bool overwrite);
    ~VectorWriter();
    VectorWriter(const VectorWriter&) = delete;
    VectorWriter& operator=(const VectorWriter&) = delete;

    // values: one per field, in the fields' order.
    void Write(Arealis::Polygon& polygon, const std::vector<FieldValue>& values);
    void Commit();

    // Columns the format stored under another name (a .dbf keeps 10 characters): pairs of
    // (column, name in the file).
    const std::vector<std::pair<std::string, std::string>>& RenamedFields() const;

    // What the writer holds (GDAL's dataset among it); defined where it is used only.
    struct State;

private:
    std::unique_ptr<State> m_state;
};

} // namespace Formats
