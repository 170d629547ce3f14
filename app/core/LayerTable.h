#pragma once

#include "Formats/Attributes.h"
#include "Formats/ResultColumns.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Arealis
{
class Polygon;
class PolygonLayer;
} // namespace Arealis

namespace Orvista
{

class COrvistaDoc;
class DisplayLayer;
struct LayerDerivation;

// The column rule of a layer operation's result (intersection and join carry both inputs'
// columns, subtract the first's, union none).
Formats::CarriedColumns CarriedByLayerOperation(int command);

// The layer of the document that shows the polygon layer; null for none.
DisplayLayer* FindDisplayLayer(const COrvistaDoc& document, const Arealis::PolygonLayer* pLayer);

// How the result was made from the inputs (A, then B): their names and tables, and each result
// polygon's parents as records of the inputs, taken from the parent collections that the
// operation recorded. The collections are cleared then, so that the inputs' polygons are not
// held as parents.
LayerDerivation DeriveLayer(const COrvistaDoc& document, Formats::CarriedColumns carried,
                            const std::vector<const Arealis::PolygonLayer*>& inputs,
                            Arealis::PolygonLayer& result);

// A parent of a polygon with a record: the name of its layer, that layer's table and the record.
struct ParentOfPolygon
{
    std::string LayerName;
    const Formats::AttributeTable* pTable = nullptr;
    std::int64_t Record = -1;
};

// The parents of a polygon of the layer that have a record: those the layer operation noted
// for a result layer, else those in the library's parent collection.
std::vector<ParentOfPolygon> ParentsOf(const COrvistaDoc& document, const DisplayLayer& layer,
                                       Arealis::Polygon& polygon);

// The attribute table of a layer as it is written to a file: for a layer read from a file,
// its own columns and each polygon's row (nulls for a polygon made in the program); for the
// result of a layer operation, the columns its parents hand down as the command-line tool
// writes them (Formats::ResultColumns), a_record and b_record among them.
class LayerTable
{
public:
    explicit LayerTable(const DisplayLayer& layer);

    const std::vector<Formats::Field>& Columns() const { return m_columns; }
    std::vector<Formats::FieldValue> ValuesOf(Arealis::Polygon& polygon) const;

private:
    const DisplayLayer& m_layer;
    std::optional<Formats::ResultColumns> m_result;
    std::vector<Formats::Field> m_columns;
};

// A value as the Attributes panel shows it: "NULL" for null, reals in their shortest exact
// form, dates as YYYY-MM-DD.
std::string FormatValue(const Formats::FieldValue& value);

} // namespace Orvista
