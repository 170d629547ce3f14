#include "ResultAttributes.h"

#include "Arealis/PolygonLayer.h"

namespace ArealisCli
{

namespace
{

Formats::CarriedColumns CarriedBy(Operation operation)
{
    switch (operation)
    {
    case Operation::Intersection:
    case Operation::Join:
    case Operation::Identity:
    case Operation::SymmetricDifference:
        return Formats::CarriedColumns::Both;
    case Operation::Subtract:
        return Formats::CarriedColumns::First;
    default:
        return Formats::CarriedColumns::None;
    }
}

std::vector<const Formats::AttributeTable*> TablesOf(const std::vector<const InputLayer*>& inputs)
{
    std::vector<const Formats::AttributeTable*> tables;
    for (const InputLayer* input : inputs)
    {
        tables.push_back(&input->Attributes());
    }
    return tables;
}

} // namespace

ResultAttributes::ResultAttributes(Operation operation, std::vector<const InputLayer*> inputs)
    : m_inputs(std::move(inputs)), m_columns(CarriedBy(operation), TablesOf(m_inputs))
{
}

FeatureProperties ResultAttributes::PropertiesOf(const Arealis::PolygonLayer& result,
                                                 Arealis::Polygon* pPolygon) const
{
    FeatureProperties properties;
    std::vector<Formats::ParentRecord> records;
    Arealis::PolygonEnumerator parents = result.GetParents(pPolygon);
    while (parents.MoveNext())
    {
        for (std::size_t i = 0; i < m_inputs.size(); ++i)
        {
            const std::int64_t record = m_inputs[i]->RecordOf(parents.Current());
            if (record >= 0)
            {
                properties.Parents.push_back({m_inputs[i]->Label(), record});
                records.push_back({i, record});
                break;
            }
        }
    }
    properties.Values = m_columns.ValuesOf(records);
    return properties;
}

} // namespace ArealisCli
