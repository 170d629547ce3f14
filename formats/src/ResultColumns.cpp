#include "Formats/ResultColumns.h"

#include <algorithm>
#include <array>
#include <set>
#include <string>

namespace Formats
{

ResultColumns::ResultColumns(CarriedColumns carried, std::vector<const AttributeTable*> inputs)
    : m_inputs(std::move(inputs))
{
    std::vector<std::set<std::string>> names(m_inputs.size());
    for (std::size_t i = 0; i < m_inputs.size(); ++i)
    {
        m_carried.push_back(carried == CarriedColumns::Both ||
                            (carried == CarriedColumns::First && i == 0));
        if (m_inputs[i] != nullptr)
        {
            for (const Field& field : m_inputs[i]->Fields)
            {
                names[i].insert(field.Name);
            }
        }
    }
    const bool both = m_carried.size() == 2 && m_carried[0] && m_carried[1];
    for (std::size_t i = 0; i < m_inputs.size(); ++i)
    {
        m_offsets.push_back(m_columns.size());
        if (!m_carried[i] || m_inputs[i] == nullptr)
        {
            continue;
        }
        for (Field field : m_inputs[i]->Fields)
        {
            if (both && names[1 - i].contains(field.Name))
            {
                field.Name += i == 0 ? "_1" : "_2";
            }
            m_columns.push_back(std::move(field));
        }
    }
    m_columns.push_back({"a_record", FieldType::Integer, 0, 0});
    m_columns.push_back({"b_record", FieldType::Integer, 0, 0});
}

std::vector<FieldValue> ResultColumns::ValuesOf(std::span<const ParentRecord> parents) const
{
    std::vector<FieldValue> values;
    FillValues(parents, values);
    return values;
}

void ResultColumns::FillValues(std::span<const ParentRecord> parents,
                               std::vector<FieldValue>& into) const
{
    into.resize(m_columns.size());
    // a_record and b_record are the last two columns; only A and B have one.
    constexpr std::size_t RecordColumns = 2;
    std::array<int, RecordColumns> parentCount{};
    std::array<std::int64_t, RecordColumns> records{};
    for (const ParentRecord& parent : parents)
    {
        if (parent.Input < std::min(m_inputs.size(), RecordColumns) && parent.Record >= 0)
        {
            ++parentCount[parent.Input];
            records[parent.Input] = parent.Record;
        }
    }
    for (std::size_t i = 0; i < RecordColumns; ++i)
    {
        const bool single = i < m_inputs.size() && parentCount[i] == 1;
        FieldValue& record = into[m_columns.size() - RecordColumns + i];
        record = single ? FieldValue{records[i]} : FieldValue{};
        if (i >= m_inputs.size() || !m_carried[i] || m_inputs[i] == nullptr)
        {
            continue;
        }
        const std::size_t width = m_inputs[i]->Fields.size();
        const auto* row = single ? m_inputs[i]->RowOf(records[i]) : nullptr;
        // A row shorter than the table's columns (a reader's fault) leaves the rest null.
        for (std::size_t c = 0; c < width; ++c)
        {
            FieldValue& value = into[m_offsets[i] + c];
            if (row != nullptr && c < row->size())
            {
                value = (*row)[c];
            }
            else
            {
                value = FieldValue{};
            }
        }
    }
}

} // namespace Formats
