#include "ResultAttributes.h"

#include "Arealis/PolygonLayer.h"

#include <array>
#include <set>
#include <stdexcept>

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
    if (m_inputs.size() > MaxInputs)
    {
        throw std::invalid_argument("an operation has at most two input layers");
    }
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

void ResultAttributes::PropertiesOf(const Arealis::PolygonLayer& result, Arealis::Polygon* pPolygon,
                                    FeatureProperties& into) const
{
    // Values are assigned in place, never cleared first: a text assigned over a text reuses
    // its storage, so that writing a layer does not allocate per feature.
    into.Values.resize(m_columns.size());
    into.Parents.clear();
    std::array<int, MaxInputs> parentCount{};
    std::array<std::int64_t, MaxInputs> records{};
    Arealis::PolygonEnumerator parents = result.GetParents(pPolygon);
    while (parents.MoveNext())
    {
        for (std::size_t i = 0; i < m_inputs.size(); ++i)
        {
            const std::int64_t record = m_inputs[i]->RecordOf(parents.Current());
            if (record >= 0)
            {
                into.Parents.push_back({m_inputs[i]->Label(), record});
                ++parentCount[i];
                records[i] = record;
                break;
            }
        }
    }
    for (std::size_t i = 0; i < m_inputs.size(); ++i)
    {
        const bool single = parentCount[i] == 1;
        Formats::FieldValue& recordValue = into.Values[m_columns.size() - 2 + i];
        if (single)
        {
            recordValue = records[i];
        }
        else
        {
            recordValue = Formats::FieldValue{};
        }
        if (!m_carried[i])
        {
            continue;
        }
        const std::size_t width = m_inputs[i]->Attributes().Fields.size();
        const auto* row = single ? m_inputs[i]->Attributes().RowOf(records[i]) : nullptr;
        for (std::size_t c = 0; c < width; ++c)
        {
            Formats::FieldValue& value = into.Values[m_offsets[i] + c];
            if (row != nullptr && c < row->size())
            {
                value = (*row)[c];
            }
            else
            {
                value = Formats::FieldValue{};
            }
        }
    }
}

FeatureProperties ResultAttributes::PropertiesOf(const Arealis::PolygonLayer& result,
                                                 Arealis::Polygon* pPolygon) const
{
    FeatureProperties properties;
    PropertiesOf(result, pPolygon, properties);
    return properties;
}

} // namespace ArealisCli
