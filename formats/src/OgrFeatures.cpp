#include "OgrFeatures.h"

namespace Formats
{

std::vector<Field> FieldsOf(const OGRFeatureDefn& definition)
{
    std::vector<Field> fields;
    for (int i = 0; i < definition.GetFieldCount(); ++i)
    {
        const OGRFieldDefn* field = definition.GetFieldDefn(i);
        FieldType type = FieldType::String;
        switch (field->GetType())
        {
        case OFTInteger:
        case OFTInteger64:
            type = FieldType::Integer;
            break;
        case OFTReal:
            type = FieldType::Real;
            break;
        case OFTDate:
            type = FieldType::Date;
            break;
        default:
            type = FieldType::String;
            break;
        }
        fields.push_back({field->GetNameRef(), type, field->GetWidth(), field->GetPrecision()});
    }
    return fields;
}

std::vector<FieldValue> RowOf(const OGRFeature& feature, const std::vector<Field>& fields)
{
    std::vector<FieldValue> row;
    row.reserve(fields.size());
    for (int i = 0; i < static_cast<int>(fields.size()); ++i)
    {
        if (!feature.IsFieldSetAndNotNull(i))
        {
            row.emplace_back();
            continue;
        }
        switch (fields[static_cast<std::size_t>(i)].Type)
        {
        case FieldType::Integer:
            row.emplace_back(static_cast<std::int64_t>(feature.GetFieldAsInteger64(i)));
            break;
        case FieldType::Real:
            row.emplace_back(feature.GetFieldAsDouble(i));
            break;
        case FieldType::Date:
        {
            int year = 0, month = 0, day = 0, hour = 0, minute = 0, zone = 0;
            float second = 0;
            feature.GetFieldAsDateTime(i, &year, &month, &day, &hour, &minute, &second, &zone);
            row.emplace_back(Date{year, month, day});
            break;
        }
        case FieldType::String:
            row.emplace_back(std::string(feature.GetFieldAsString(i)));
            break;
        }
    }
    return row;
}

AttributeTable ReadAttributeRows(OGRLayer& layer, bool ignoreGeometry)
{
    AttributeTable table;
    table.Fields = FieldsOf(*layer.GetLayerDefn());
    if (ignoreGeometry)
    {
        const char* ignored[] = {"OGR_GEOMETRY", "OGR_STYLE", nullptr};
        layer.SetIgnoredFields(ignored);
    }
    layer.ResetReading();
    for (OGRFeatureUniquePtr feature(layer.GetNextFeature()); feature;
         feature.reset(layer.GetNextFeature()))
    {
        table.Rows.push_back(RowOf(*feature, table.Fields));
    }
    return table;
}

void SetValue(OGRFeature& feature, int field, const FieldValue& value)
{
    if (const auto* integer = std::get_if<std::int64_t>(&value))
    {
        feature.SetField(field, static_cast<GIntBig>(*integer));
    }
    else if (const auto* real = std::get_if<double>(&value))
    {
        feature.SetField(field, *real);
    }
    else if (const auto* text = std::get_if<std::string>(&value))
    {
        feature.SetField(field, text->c_str());
    }
    else if (const auto* date = std::get_if<Date>(&value))
    {
        feature.SetField(field, date->Year, date->Month, date->Day);
    }
    else
    {
        feature.SetFieldNull(field);
    }
}

OGRFieldType OgrType(FieldType type)
{
    switch (type)
    {
    case FieldType::Integer:
        return OFTInteger64;
    case FieldType::Real:
        return OFTReal;
    case FieldType::Date:
        return OFTDate;
    case FieldType::String:
        break;
    }
    return OFTString;
}

} // namespace Formats
