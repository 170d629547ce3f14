#include "LayerReader.h"

#include "Formats/FormatError.h"
#include "Shapefile/Reporter.h"
#include "Shapefile/ShapefileReader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <string_view>

namespace Orvista
{

namespace
{

std::string Lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool EndsWith(const std::string& text, std::string_view ending)
{
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

bool IsGeoPackageFile(const std::string& lowered)
{
    return EndsWith(lowered, ".gpkg");
}

} // namespace

bool IsOtherLayerSource(const std::string& path)
{
    const std::string lowered = Lowercase(path);
    if (lowered.rfind("pg:", 0) == 0 || lowered.find(".gpkg:") != std::string::npos)
    {
        return true;
    }
    constexpr std::array<std::string_view, 5> Extensions{".gpkg", ".geojson", ".json", ".fgb",
                                                         ".csv"};
    return std::any_of(Extensions.begin(), Extensions.end(),
                       [&lowered](std::string_view extension)
                       { return EndsWith(lowered, extension); });
}

std::vector<std::string> GeoPackageTables(const std::string& path)
{
    return IsGeoPackageFile(Lowercase(path)) ? Formats::PolygonTables(path)
                                             : std::vector<std::string>{};
}

void LayerFileReader::Read(Arealis::PolygonLayer& layer, const std::string& path)
{
    ReadDescribed(layer, path, {}, {});
}

void LayerFileReader::ReadWithRecords(Arealis::PolygonLayer& layer, const std::string& path,
                                      const RecordCallback& onPolygon)
{
    ReadDescribed(layer, path, onPolygon, {});
}

Formats::SourceDescription LayerFileReader::ReadDescribed(Arealis::PolygonLayer& layer,
                                                          const std::string& path,
                                                          const RecordCallback& onPolygon,
                                                          const SystemCallback& onSystem)
{
    return IsOtherLayerSource(path) ? ReadOther(layer, path, onPolygon, onSystem)
                                    : ReadShapefile(layer, path, onPolygon, onSystem);
}

Formats::SourceDescription LayerFileReader::ReadShapefile(Arealis::PolygonLayer& layer,
                                                          const std::string& path,
                                                          const RecordCallback& onPolygon,
                                                          const SystemCallback& onSystem)
{
    // A file that is plainly not a main file is refused with one message.
    try
    {
        Arealis::CheckMainFile(path);
    }
    catch (const Arealis::ShapefileFormatException& e)
    {
        m_reporter.ShowMessage(e.Message(), "");
        throw;
    }
    // The companions (.prj, .dbf) are read first, so that the reference system is known
    // before the first polygon is made; a problem with them is reported after the geometry,
    // whose own problems come first.
    std::optional<Formats::SourceDescription> description;
    std::string companionError;
    try
    {
        description = Formats::ReadShapefileCompanions(path);
    }
    catch (const Formats::FormatError& e)
    {
        companionError = e.what();
    }
    if (onSystem)
    {
        onSystem(description ? description->System : Formats::CoordinateSystem{});
    }
    Arealis::ReadShapefile(layer, path, m_reporter, onPolygon);
    if (description)
    {
        return *std::move(description);
    }
    // The geometry is read and stays: a table that does not fit costs only the attributes.
    m_reporter.ShowMessage(companionError + "\nThe layer opens without attributes.", "");
    Formats::SourceDescription withoutTable;
    withoutTable.Name = path;
    return withoutTable;
}

Formats::SourceDescription LayerFileReader::ReadOther(Arealis::PolygonLayer& layer,
                                                      const std::string& path,
                                                      const RecordCallback& onPolygon,
                                                      const SystemCallback& onSystem)
{
    Formats::SourceDescription description;
    try
    {
        description = Formats::ReadOgrSource(path, layer, onPolygon, onSystem);
    }
    catch (const Formats::FormatError& e)
    {
        m_reporter.ShowMessage(e.what(), "");
        throw;
    }
    // Skipped features and refused polygons in one message per file.
    if (!description.Notes.empty())
    {
        std::string text;
        for (const std::string& note : description.Notes)
        {
            text += (text.empty() ? "" : "\n") + note;
        }
        m_reporter.ShowMessage(text, "");
    }
    return description;
}

} // namespace Orvista
