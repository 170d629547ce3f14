#include "ResultAttributes.h"

#include "Arealis/PolygonLayer.h"

#include <algorithm>
#include <array>
#include <memory>

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

void ResultAttributes::PropertiesFrom(std::span<Arealis::Polygon* const> parents,
                                      FeatureProperties& into) const
{
    into.Parents.clear();
    // Per input: how many parents lie there, and the last one's record.
    constexpr std::size_t MaxInputs = 2;
    std::array<int, MaxInputs> parentCount{};
    std::array<std::int64_t, MaxInputs> lastRecord{};
    for (const Arealis::Polygon* parent : parents)
    {
        for (std::size_t i = 0; i < m_inputs.size(); ++i)
        {
            const std::int64_t record = m_inputs[i]->RecordOf(parent);
            if (record >= 0)
            {
                into.Parents.push_back({m_inputs[i]->Label(), record});
                if (i < MaxInputs)
                {
                    ++parentCount[i];
                    lastRecord[i] = record;
                }
                break;
            }
        }
    }
    // The column rule takes a single parent per input; several (a unite's piece) leave that
    // input's columns null, which two entries tell it as well as all of them would.
    std::array<Formats::ParentRecord, 2 * MaxInputs> records{};
    std::size_t count = 0;
    for (std::size_t i = 0; i < MaxInputs; ++i)
    {
        for (int k = 0; k < std::min(parentCount[i], 2); ++k)
        {
            records[count++] = {i, lastRecord[i]};
        }
    }
    m_columns.FillValues(std::span(records.data(), count), into.Values);
}

void ResultAttributes::PropertiesOf(const Arealis::PolygonLayer& result, Arealis::Polygon* pPolygon,
                                    FeatureProperties& into) const
{
    PropertiesFrom(result.GetParentTable(std::span(&pPolygon, 1)).Of(0), into);
}

PropertiesLookup ResultAttributes::ListLookup(const Arealis::PolygonLayer& result,
                                              const std::vector<Arealis::Polygon*>& polygons) const
{
    struct Cursor
    {
        Arealis::ParentTable Parents;
        std::size_t Next = 0;
    };
    auto cursor = std::make_shared<Cursor>(Cursor{result.GetParentTable(polygons), 0});
    return [this, &result, &polygons, cursor](Arealis::Polygon* pPolygon, FeatureProperties& into)
    {
        if (cursor->Next < polygons.size() && polygons[cursor->Next] == pPolygon)
        {
            PropertiesFrom(cursor->Parents.Of(cursor->Next++), into);
        }
        else
        {
            PropertiesOf(result, pPolygon, into);
        }
    };
}

FeatureProperties ResultAttributes::PropertiesOf(const Arealis::PolygonLayer& result,
                                                 Arealis::Polygon* pPolygon) const
{
    FeatureProperties properties;
    PropertiesOf(result, pPolygon, properties);
    return properties;
}

} // namespace ArealisCli
