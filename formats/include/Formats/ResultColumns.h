#pragma once

#include "Formats/Attributes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Formats
{

// Which inputs of an overlay hand their columns to the result, as the overlay tools of GIS
// programs do it: intersection, join, identity and symmetric difference carry both, subtract
// the first, union and unite none.
enum class CarriedColumns
{
    Both,
    First,
    None,
};

// A parent of a result polygon: which input (0 for A, 1 for B) and its 0-based record there.
struct ParentRecord
{
    std::size_t Input = 0;
    std::int64_t Record = -1;
};

// The columns of an overlay result and each result polygon's values taken from its parents:
// the carried inputs' columns (A's, then B's; a name in both becomes name_1 and name_2), then
// a_record and b_record, the record of the parent in A and in B, null where a polygon has
// none or several there.
class ResultColumns
{
public:
    // inputs: the attribute table of each input, in order (A, then B when there is one).
    ResultColumns(CarriedColumns carried, std::vector<const AttributeTable*> inputs);

    const std::vector<Field>& Columns() const { return m_columns; }
    // One value per column for a polygon with these parents.
    std::vector<FieldValue> ValuesOf(std::span<const ParentRecord> parents) const;
    // The same, assigned over the values already in `into` (resized to the columns): a text
    // assigned over a text reuses its storage, so a writer filling one row per feature does
    // not allocate per feature.
    void FillValues(std::span<const ParentRecord> parents, std::vector<FieldValue>& into) const;

private:
    std::vector<const AttributeTable*> m_inputs;
    // Whether each input's columns are carried, and where they start in a row.
    std::vector<bool> m_carried;
    std::vector<std::size_t> m_offsets;
    std::vector<Field> m_columns;
};

} // namespace Formats
