#pragma once

// Writes test inputs through GDAL and reads outputs back through it, independently of the
// module under test.

#include "Formats/Attributes.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace FormatsTesting
{

struct TestFeature
{
    std::string Wkt; // empty: no geometry
    std::vector<Formats::FieldValue> Values;
};

inline void SetTestValue(OGRFeature& feature, int i, const Formats::FieldValue& value)
{
    if (const auto* n = std::get_if<std::int64_t>(&value))
        feature.SetField(i, static_cast<GIntBig>(*n));
    else if (const auto* r = std::get_if<double>(&value))
        feature.SetField(i, *r);
    else if (const auto* s = std::get_if<std::string>(&value))
        feature.SetField(i, s->c_str());
    else if (const auto* d = std::get_if<Formats::Date>(&value))
        feature.SetField(i, d->Year, d->Month, d->Day);
    else
        feature.SetFieldNull(i);
}

inline OGRFieldType TestFieldType(Formats::FieldType type)
{
    switch (type)
    {
    case Formats::FieldType::Integer:
        return OFTInteger64;
    case Formats::FieldType::Real:
        return OFTReal;
    case Formats::FieldType::Date:
        return OFTDate;
    case Formats::FieldType::String:
        break;
    }
    return OFTString;
}

// One table in a new file of the driver's format.
inline void WriteTestSource(const std::string& path, const char* driverName,
                            const std::string& table, OGRwkbGeometryType type,
                            const std::vector<Formats::Field>& fields,
                            const std::vector<TestFeature>& features, int epsg = 0,
                            std::vector<const char*> layerOptions = {})
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName);
    GDALDatasetUniquePtr dataset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset)
        throw std::runtime_error("cannot create " + path);
    OGRSpatialReference reference;
    if (epsg != 0)
    {
        reference.importFromEPSG(epsg);
        reference.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    }
    layerOptions.push_back(nullptr);
    OGRLayer* layer = dataset->CreateLayer(table.c_str(), epsg != 0 ? &reference : nullptr, type,
                                           const_cast<char**>(layerOptions.data()));
    for (const Formats::Field& field : fields)
    {
        OGRFieldDefn definition(field.Name.c_str(), TestFieldType(field.Type));
        definition.SetWidth(field.Width);
        layer->CreateField(&definition);
    }
    for (const TestFeature& source : features)
    {
        OGRFeature feature(layer->GetLayerDefn());
        for (std::size_t i = 0; i < source.Values.size(); ++i)
            SetTestValue(feature, static_cast<int>(i), source.Values[i]);
        if (!source.Wkt.empty())
        {
            OGRGeometry* geometry = nullptr;
            OGRGeometryFactory::createFromWkt(source.Wkt.c_str(), nullptr, &geometry);
            feature.SetGeometryDirectly(geometry);
        }
        if (layer->CreateFeature(&feature) != OGRERR_NONE)
            throw std::runtime_error("cannot write a feature to " + path);
    }
}

inline GDALDatasetUniquePtr OpenForTest(const std::string& path)
{
    GDALAllRegister();
    return GDALDatasetUniquePtr(GDALDataset::FromHandle(
        GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
}

} // namespace FormatsTesting
