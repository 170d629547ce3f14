#include "Formats/VectorWriter.h"

#include "Formats/FormatError.h"
#include "Formats/OutputFile.h"
#include "Formats/PolygonParts.h"
#include "GdalSession.h"
#include "OgrFeatures.h"
#include "SpatialReference.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <ogr_geometry.h>

namespace Formats
{

namespace fs = std::filesystem;

namespace
{

// Features written between two commits of a transaction: GeoPackage writes are many times
// faster in large transactions, and one transaction per feature would dominate.
constexpr std::int64_t FeaturesPerTransaction = 100000;

// The width a .dbf text column gets when its source declared none: the format's largest.
constexpr int LongestDbfText = 254;

struct FormatTraits
{
    const char* Driver;
    std::vector<std::string> Companions;
    std::vector<std::string> LayerOptions;
};

const FormatTraits& TraitsOf(FileFormat format)
{
    static const std::map<FileFormat, FormatTraits> traits{
        {FileFormat::GeoJson, {"GeoJSON", {}, {}}},
        {FileFormat::Shapefile,
         {"ESRI Shapefile", {".shx", ".dbf", ".prj", ".cpg"}, {"ENCODING=UTF-8"}}},
        {FileFormat::GeoPackage, {"GPKG", {}, {}}},
        // Without the spatial index the features are written as they come, in the result's
        // order, instead of being held in memory to be sorted at the end.
        {FileFormat::FlatGeobuf, {"FlatGeobuf", {}, {"SPATIAL_INDEX=NO"}}},
        {FileFormat::Csv, {"CSV", {".csvt"}, {"GEOMETRY=AS_WKT", "CREATE_CSVT=YES"}}},
        // Column names as given (GDAL would otherwise lower-case them).
        {FileFormat::PostGis, {"PostgreSQL", {}, {"LAUNDER=NO", "GEOMETRY_NAME=geom"}}},
    };
    return traits.at(format);
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::optional<FileFormat> FormatOfExtension(const std::string& path)
{
    static const std::map<std::string, FileFormat> formats{
        {".geojson", FileFormat::GeoJson}, {".json", FileFormat::GeoJson},
        {".shp", FileFormat::Shapefile},   {".gpkg", FileFormat::GeoPackage},
        {".fgb", FileFormat::FlatGeobuf},  {".csv", FileFormat::Csv}};
    const auto found = formats.find(Lower(fs::path(path).extension().string()));
    return found == formats.end() ? std::nullopt : std::optional<FileFormat>(found->second);
}

// A MultiPolygon of the polygon's parts; for a shapefile, whose records do not tell the two
// apart, a polygon of one part is written as a Polygon, which the driver takes without
// examining how parts nest.
std::unique_ptr<OGRGeometry> GeometryOf(const PolygonParts& parts, bool singlePartAsPolygon)
{
    auto multi = std::make_unique<OGRMultiPolygon>();
    for (std::size_t p = 0; p < parts.Count(); ++p)
    {
        auto ogrPart = std::make_unique<OGRPolygon>();
        for (const OrientedRing& ring : parts[p])
        {
            auto ogrRing = std::make_unique<OGRLinearRing>();
            ogrRing->setNumPoints(static_cast<int>(ring.size()), FALSE);
            for (std::size_t i = 0; i < ring.size(); ++i)
            {
                ogrRing->setPoint(static_cast<int>(i), ring[i].X, ring[i].Y);
            }
            ogrPart->addRingDirectly(ogrRing.release());
        }
        if (singlePartAsPolygon && parts.Count() == 1)
        {
            return ogrPart;
        }
        multi->addGeometryDirectly(ogrPart.release());
    }
    return multi;
}

// Whether the existing GeoPackage has the table.
bool HasTable(const std::string& path, const std::string& table)
{
    GDALDatasetUniquePtr dataset(GDALDataset::FromHandle(
        GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
    if (!dataset)
    {
        throw FormatError(path + ": exists but cannot be opened to add a table");
    }
    return dataset->GetLayerByName(table.c_str()) != nullptr;
}

} // namespace

// Opens the database for the table's write and starts the transaction that holds it; an
// existing table of the name is refused without overwrite.
void OpenDatabase(VectorWriter::State& state, bool overwrite, const GdalErrors& errors);

std::optional<FileTarget> FileTargetFromName(const std::string& name)
{
    if (name.rfind("PG:", 0) == 0)
    {
        const std::size_t space = name.find_last_of(' ');
        if (space == std::string::npos || name.find('=', space) != std::string::npos)
        {
            return FileTarget{name, {}, FileFormat::PostGis};
        }
        return FileTarget{name.substr(0, space), name.substr(space + 1), FileFormat::PostGis};
    }
    if (const auto format = FormatOfExtension(name))
    {
        return FileTarget{name, {}, *format};
    }
    const std::size_t colon = name.find_last_of(':');
    if (colon != std::string::npos &&
        FormatOfExtension(name.substr(0, colon)) == FileFormat::GeoPackage)
    {
        return FileTarget{name.substr(0, colon), name.substr(colon + 1), FileFormat::GeoPackage};
    }
    return std::nullopt;
}

struct VectorWriter::State
{
    State(const FileTarget& target, bool overwrite, bool adding) : Target(target)
    {
        if (target.Format != FileFormat::PostGis)
        {
            Files = std::make_unique<OutputFiles>(target.Path, TraitsOf(target.Format).Companions,
                                                  overwrite || adding);
        }
    }

    // A write that did not reach Commit leaves a database as it was.
    ~State()
    {
        if (InTransaction && Dataset)
        {
            Dataset->RollbackTransaction();
        }
    }

    State(const State&) = delete;
    State& operator=(const State&) = delete;

    FileTarget Target;
    std::unique_ptr<OutputFiles> Files; // none for a database
    // After Files: the dataset is closed before the temporary folder is removed.
    GDALDatasetUniquePtr Dataset;
    OGRLayer* Layer = nullptr;
    std::vector<std::pair<std::string, std::string>> Renamed;
    std::int64_t Written = 0;
    bool InTransaction = false;
    PolygonParts Parts; // kept from feature to feature

    void Fail(const std::string& what, const GdalErrors& errors) const
    {
        throw FormatError(Target.Path + ": " + what + ": " + errors.Last("GDAL gave no reason"));
    }
};

void OpenDatabase(VectorWriter::State& state, bool overwrite, const GdalErrors& errors)
{
    const char* const drivers[] = {"PostgreSQL", nullptr};
    state.Dataset.reset(GDALDataset::FromHandle(GDALOpenEx(
        state.Target.Path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, nullptr, nullptr)));
    if (!state.Dataset)
    {
        state.Fail("cannot connect", errors);
    }
    if (!overwrite && state.Dataset->GetLayerByName(state.Target.Table.c_str()) != nullptr)
    {
        throw OutputExistsError(state.Target.Path + ": the table '" + state.Target.Table +
                                "' exists already");
    }
    state.InTransaction = state.Dataset->StartTransaction() == OGRERR_NONE;
}

VectorWriter::VectorWriter(const FileTarget& target, const std::vector<Field>& fields,
                           const CoordinateSystem& system, bool overwrite)
{
    EnsureGdal();
    GdalErrors errors;
    const FormatTraits& traits = TraitsOf(target.Format);
    FileTarget chosen = target;
    if (chosen.Table.empty())
    {
        chosen.Table = fs::path(chosen.Path).stem().string();
    }
    // A named table goes into an existing GeoPackage beside its other tables; only a table of
    // that name already there counts as existing output.
    const bool adding =
        target.Format == FileFormat::GeoPackage && !target.Table.empty() && fs::exists(target.Path);
    if (adding && !overwrite && HasTable(target.Path, target.Table))
    {
        throw OutputExistsError(target.Path + ": the table '" + target.Table + "' exists already");
    }
    if (target.Format == FileFormat::PostGis && target.Table.empty())
    {
        throw FormatError(target.Path + ": name the table to write as the last word");
    }
    m_state = std::make_unique<State>(chosen, overwrite, adding);
    const std::string temporary =
        m_state->Files ? m_state->Files->TemporaryMain().string() : std::string();
    if (target.Format == FileFormat::PostGis)
    {
        OpenDatabase(*m_state, overwrite, errors);
    }
    else if (adding)
    {
        std::error_code error;
        fs::copy_file(target.Path, temporary, error);
        if (error)
        {
            throw FormatError(target.Path + ": cannot copy to add a table (" + error.message() +
                              ")");
        }
        m_state->Dataset.reset(GDALDataset::FromHandle(GDALOpenEx(
            temporary.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr)));
    }
    else
    {
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(traits.Driver);
        if (driver == nullptr)
        {
            throw FormatError(target.Path + ": this GDAL has no " + traits.Driver + " driver");
        }
        m_state->Dataset.reset(driver->Create(temporary.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    }
    if (!m_state->Dataset)
    {
        m_state->Fail("cannot create the file", errors);
    }
    GDALDataset& dataset = *m_state->Dataset;
    if (!m_state->InTransaction)
    {
        m_state->InTransaction = dataset.StartTransaction() == OGRERR_NONE;
    }
    for (int i = 0; i < dataset.GetLayerCount(); ++i)
    {
        if (chosen.Table == dataset.GetLayer(i)->GetName())
        {
            dataset.DeleteLayer(i);
            break;
        }
    }
    std::unique_ptr<OGRSpatialReference> reference;
    if (system.IsKnown())
    {
        reference = MakeSpatialReference(system);
    }
    CPLStringList options;
    for (const std::string& option : traits.LayerOptions)
    {
        options.AddString(option.c_str());
    }
    m_state->Layer = dataset.CreateLayer(
        chosen.Table.c_str(), reference.get(),
        target.Format == FileFormat::Shapefile ? wkbPolygon : wkbMultiPolygon, options.List());
    if (m_state->Layer == nullptr)
    {
        m_state->Fail("cannot create the table '" + chosen.Table + "'", errors);
    }
    for (const Field& field : fields)
    {
        OGRFieldDefn definition(field.Name.c_str(), OgrType(field.Type));
        if (target.Format == FileFormat::Shapefile)
        {
            if (field.Type == FieldType::String)
            {
                definition.SetWidth(field.Width > 0 ? std::min(field.Width, LongestDbfText)
                                                    : LongestDbfText);
            }
            else if (field.Type == FieldType::Real && field.Width > 0)
            {
                definition.SetWidth(field.Width);
                definition.SetPrecision(field.Precision);
            }
        }
        if (m_state->Layer->CreateField(&definition, TRUE) != OGRERR_NONE)
        {
            m_state->Fail("cannot create the column '" + field.Name + "'", errors);
        }
        const OGRFeatureDefn* created = m_state->Layer->GetLayerDefn();
        const std::string stored =
            created->GetFieldDefn(created->GetFieldCount() - 1)->GetNameRef();
        if (stored != field.Name)
        {
            m_state->Renamed.emplace_back(field.Name, stored);
        }
    }
}

VectorWriter::~VectorWriter() = default;

void VectorWriter::Write(Arealis::Polygon& polygon, const std::vector<FieldValue>& values)
{
    GdalErrors errors;
    State& state = *m_state;
    OGRFeature feature(state.Layer->GetLayerDefn());
    const int count = std::min(static_cast<int>(values.size()), feature.GetFieldCount());
    for (int i = 0; i < count; ++i)
    {
        SetValue(feature, i, values[static_cast<std::size_t>(i)]);
    }
    state.Parts.Gather(polygon);
    feature.SetGeometryDirectly(
        GeometryOf(state.Parts, state.Target.Format == FileFormat::Shapefile).release());
    if (state.Layer->CreateFeature(&feature) != OGRERR_NONE)
    {
        state.Fail("writing feature " + std::to_string(state.Written) + " failed", errors);
    }
    ++state.Written;
    // A database keeps the whole write in one transaction, which a failure rolls back; files
    // are replaced whole anyway.
    if (state.InTransaction && state.Files && state.Written % FeaturesPerTransaction == 0)
    {
        if (state.Dataset->CommitTransaction() != OGRERR_NONE)
        {
            state.Fail("writing failed", errors);
        }
        state.Dataset->StartTransaction();
    }
}

void VectorWriter::Commit()
{
    GdalErrors errors;
    State& state = *m_state;
    if (state.InTransaction && state.Dataset->CommitTransaction() != OGRERR_NONE)
    {
        state.Fail("writing failed", errors);
    }
    state.InTransaction = false;
    state.Layer = nullptr;
    GDALClose(GDALDataset::ToHandle(state.Dataset.release()));
    if (errors.Failed())
    {
        state.Fail("writing failed", errors);
    }
    if (state.Files)
    {
        state.Files->Commit();
    }
}

const std::vector<std::pair<std::string, std::string>>& VectorWriter::RenamedFields() const
{
    return m_state->Renamed;
}

} // namespace Formats
