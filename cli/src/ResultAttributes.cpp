#include "ResultAttributes.h"

#include "Arealis/PolygonLayer.h"

#include <set>

namespace ArealisCli
{

namespace
{

bool CarriesColumns(Operation operation, std::size_t input)
{
    switch (operation)
    {
    case Operation::Intersection:
    case Operation::Join:
    case Operation::Identity:
    case Operation::SymmetricDifference:
        return true;
    case Operation::Subtract:
        return input == 0;
    default:
        return false;
    }
}

} // namespace

ResultAttributes::ResultAttributes(Operation operation, std::vector<const InputLayer*> inputs)
    : m_inputs(std::move(inputs))
{
    std::vector<std::set<std::string>> names(m_inputs.size());
    for (std::size_t i = 0; i < m_inputs.size(); ++i)
    {
        m_carried.push_back(CarriesColumns(operation, i));
        for (const Formats::Field& field : m_inputs[i]->Attributes().Fields)
        {
            names[i].insert(field.Name);
        }
    }
    const bool both = m_carried.size() == 2 && m_carried[0] && m_carried[1];
    for (std::size_t i = 0; i < m_inputs.size(); ++i)
    {
        m_offsets.push_back(m_columns.size());
        if (!m_carried[i])
        {
            continue;
        }
        for (Formats::Field field : m_inputs[i]->Attributes().Fields)
        {
            if (both && names[1 - i].contains(field.Name))
            {
                field.Name += i == 0 ? "_1" : "_2";
            }
            m_columns.push_back(std::move(field));
        }
    }
    m_columns.push_back({"a_record", Formats::FieldType::Integer, 0, 0});
    m_columns.push_back({"b_record", Formats::FieldType::Integer, 0, 0});
}

FeatureProperties ResultAttributes::PropertiesOf(const Arealis::PolygonLayer& result,
                                                 Arealis::Polygon* pPolygon) const
{
    FeatureProperties properties;
    properties.Values.resize(m_columns.size());
    std::vector<int> parentCount(m_inputs.size(), 0);
    std::vector<std::int64_t> records(m_inputs.size(), -1);
    Arealis::PolygonEnumerator parents = result.GetParents(pPolygon);
    while (parents.MoveNext())
    {
        for (std::size_t i = 0; i < m_inputs.size(); ++i)
        {
            const std::int64_t record = m_inputs[i]->RecordOf(parents.Current());
            if (record >= 0)
            {
                properties.Parents.push_back({m_inputs[i]->Label(), record});
                ++parentCount[i];
                records[i] = record;
                break;
            }
        }
    }
    for (std::size_t i = 0; i < m_inputs.size(); ++i)
    {
        if (parentCount[i] != 1)
        {
            continue;
        }
        properties.Values[m_columns.size() - 2 + i] = records[i];
        if (!m_carried[i])
        {
            continue;
        }
        if (const auto* row = m_inputs[i]->Attributes().RowOf(records[i]))
        {
            std::copy(row->begin(), row->end(),
                      properties.Values.begin() + static_cast<std::ptrdiff_t>(m_offsets[i]));
        }
    }
    return properties;
}

} // namespace ArealisCli
