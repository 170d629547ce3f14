#pragma once

#include "CommandLine.h"
#include "Formats/Attributes.h"
#include "Formats/ResultColumns.h"
#include "InputLayer.h"
#include "OutputWriters.h"

#include <span>
#include <vector>

namespace ArealisCli
{

// The columns of a result and each result polygon's values, taken from its parents by the
// overlay column rule of Formats::ResultColumns: intersection, join, identity and symmetric
// difference carry A's columns, then B's; subtract carries A's; union and unite carry none;
// a_record and b_record come last.
class ResultAttributes
{
public:
    ResultAttributes(Operation operation, std::vector<const InputLayer*> inputs);

    const std::vector<Formats::Field>& Columns() const { return m_columns.Columns(); }
    // The values and parents of a polygon of the result layer, put into the properties in
    // place (see PropertiesLookup), or returned.
    void PropertiesOf(const Arealis::PolygonLayer& result, Arealis::Polygon* pPolygon,
                      FeatureProperties& into) const;
    FeatureProperties PropertiesOf(const Arealis::PolygonLayer& result,
                                   Arealis::Polygon* pPolygon) const;
    // The same for the polygons of a list, asked for with their index in it: their parents
    // come from one table made for the whole list, where a search per polygon took a quarter
    // of the writing. A polygon not at its index is looked up alone. The lookup only reads, so
    // several threads may call it at once. The layer and the list must outlive it.
    PropertiesLookup ListLookup(const Arealis::PolygonLayer& result,
                                const std::vector<Arealis::Polygon*>& polygons) const;

private:
    // Where a parent came from: the input's index and the record there (-1 for none).
    struct SourceRecord
    {
        std::size_t Input = 0;
        std::int64_t Record = -1;
    };

    SourceRecord SourceOf(const Arealis::Polygon* pParent) const;
    void PropertiesFrom(std::span<const SourceRecord> parents, FeatureProperties& into) const;

    std::vector<const InputLayer*> m_inputs;
    Formats::ResultColumns m_columns;
};

} // namespace ArealisCli
