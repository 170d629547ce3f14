#pragma once

#include "CommandLine.h"
#include "Formats/Attributes.h"
#include "Formats/ResultColumns.h"
#include "InputLayer.h"
#include "OutputWriters.h"

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

private:
    std::vector<const InputLayer*> m_inputs;
    Formats::ResultColumns m_columns;
};

} // namespace ArealisCli
