#pragma once

#include "CommandLine.h"
#include "Formats/Attributes.h"
#include "InputLayer.h"
#include "OutputWriters.h"

#include <vector>

namespace ArealisCli
{

// The columns of a result and each result polygon's values, taken from its parents as the
// overlay tools of GIS programs do: intersection, join, identity and symmetric difference
// carry A's columns, then B's (a name in both becomes name_1 and name_2); subtract carries A's;
// union and unite carry none. Every result has a_record and b_record last: the 0-based record
// of its parent in A and in B, null where it has none (or, for unite, several).
class ResultAttributes
{
public:
    ResultAttributes(Operation operation, std::vector<const InputLayer*> inputs);

    const std::vector<Formats::Field>& Columns() const { return m_columns; }
    // The values and parents of a polygon of the result layer, put into the properties in
    // place (see PropertiesLookup), or returned.
    void PropertiesOf(const Arealis::PolygonLayer& result, Arealis::Polygon* pPolygon,
                      FeatureProperties& into) const;
    FeatureProperties PropertiesOf(const Arealis::PolygonLayer& result,
                                   Arealis::Polygon* pPolygon) const;

private:
    static constexpr std::size_t MaxInputs = 2;

    std::vector<const InputLayer*> m_inputs;
    // Which inputs' columns are carried, and where each input's columns start in the row.
    std::vector<bool> m_carried;
    std::vector<std::size_t> m_offsets;
    std::vector<Formats::Field> m_columns;
};

} // namespace ArealisCli
