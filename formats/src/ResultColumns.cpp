#include "Formats/ResultColumns.h"

#include <algorithm>
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

std::vector<FieldValue> ResultColumns::ValuesOf(const std::vector<ParentRecord>& parents) const
{
    std::vector<FieldValue> values(m_columns.size());
    std::vector<int> parentCount(m_inputs.size(), 0);
    std::vector<std::int64_t> records(m_inputs.size(), -1);
    for (const ParentRecord& parent : parents)
    {
        if (parent.Input < m_inputs.size() && parent.Record >= 0)
        {
            ++parentCount[parent.Input];
            records[parent.Input] = parent.Record;
        }
    }
    // a_record and b_record are the last two columns; a missing B keeps b_record null.
    for (std::size_t i = 0; i < m_inputs.size() && i < 2; ++i)
    {
        if (parentCount[i] != 1)
        {
            continue;
        }
        values[m_columns.size() - 2 + i] = records[i];
        if (!m_carried[i] || m_inputs[i] == nullptr)
        {
            continue;
        }
        if (const auto* row = m_inputs[i]->RowOf(records[i]))
        {
            // A row shorter than the table's columns (a reader's fault) must not spill over.
            const std::size_t count = std::min(row->size(), m_inputs[i]->Fields.size());
            std::copy_n(row->begin(), count,
                        values.begin() + static_cast<std::ptrdiff_t>(m_offsets[i]));
        }
    }
    return values;
}

} // namespace Formats
