#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace Formats
{

enum class FieldType
{
    Integer,
    Real,
    String,
    Date,
};

struct Date
{
    int Year = 0;
    int Month = 0;
    int Day = 0;

    bool operator==(const Date&) const = default;
};

// One attribute value: null (monostate), an integer, a real, a text (UTF-8) or a date.
using FieldValue = std::variant<std::monostate, std::int64_t, double, std::string, Date>;

struct Field
{
    std::string Name;
    FieldType Type = FieldType::String;
    // Width and precision as the source declared them (0: not declared); writers that need a
    // width (the .dbf table) use them.
    int Width = 0;
    int Precision = 0;
};

// The attribute table of a layer: its columns and one row per record of the source, indexed
// by the 0-based record number (records that gave no polygon keep their row, so that record
// numbers stay the link between polygons and rows).
struct AttributeTable
{
    std::vector<Field> Fields;
    std::vector<std::vector<FieldValue>> Rows;

    // The row of a record; an empty row (all nulls) for a record the table does not have.
    const std::vector<FieldValue>* RowOf(std::int64_t record) const
    {
        return record >= 0 && static_cast<std::size_t>(record) < Rows.size()
                   ? &Rows[static_cast<std::size_t>(record)]
                   : nullptr;
    }
};

// "YYYY-MM-DD".
std::string FormatDate(const Date& date);

} // namespace Formats
