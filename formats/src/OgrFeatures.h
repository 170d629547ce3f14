#pragma once

#include "Formats/Attributes.h"
#include "GdalSession.h"

#include <vector>

namespace Formats
{

// The columns of a GDAL table: integers, reals, dates and texts; other types are read as text.
std::vector<Field> FieldsOf(const OGRFeatureDefn& definition);

// Every feature's values, in the layer's order (the layer is read from its start).
AttributeTable ReadAttributeRows(OGRLayer& layer, bool ignoreGeometry);

// The row of one feature for the given columns.
std::vector<FieldValue> RowOf(const OGRFeature& feature, const std::vector<Field>& fields);

void SetValue(OGRFeature& feature, int field, const FieldValue& value);

OGRFieldType OgrType(FieldType type);

} // namespace Formats
