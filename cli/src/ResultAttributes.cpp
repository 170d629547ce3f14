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

ResultAttributes::SourceRecord ResultAttributes::SourceOf(const Arealis::Polygon* pParent) const
{
    for (std::size_t i = 0; i < m_inputs.size(); ++i)
    {
        const std::int64_t record = m_inputs[i]->RecordOf(pParent);
        if (record >= 0)
        {
            return {i, record};
        }
    }
    return {};
}

void ResultAttributes::PropertiesFrom(std::span<const SourceRecord> parents,
                                      FeatureProperties& into) const
{
    into.Parents.clear();
    // Per input: how many parents lie there, and the last one's record.
    constexpr std::size_t MaxInputs = 2;
    std::array<int, MaxInputs> parentCount{};
    std::array<std::int64_t, MaxInputs> lastRecord{};
    for (const SourceRecord& parent : parents)
    {
        if (parent.Record < 0)
        {
            continue; // a parent in none of the inputs
        }
        into.Parents.push_back({m_inputs[parent.Input]->Label(), parent.Record});
        if (parent.Input < MaxInputs)
        {
            ++parentCount[parent.Input];
            lastRecord[parent.Input] = parent.Record;
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
    const Arealis::ParentTable table = result.GetParentTable(std::span(&pPolygon, 1));
    std::vector<SourceRecord> parents;
    for (const Arealis::Polygon* parent : table.Of(0))
    {
        parents.push_back(SourceOf(parent));
    }
    PropertiesFrom(parents, into);
}

PropertiesLookup ResultAttributes::ListLookup(const Arealis::PolygonLayer& result,
                                              const std::vector<Arealis::Polygon*>& polygons) const
{
    // Every parent's record is found in one loop before writing starts: the searches do not
    // depend on each other, so their cache misses overlap, where one search per feature
    // between the formatting waited for each.
    struct Records
    {
        std::vector<SourceRecord> Parents; // every polygon's parents, in list order
        // Polygon i's parents are Parents[FirstParent[i]] .. Parents[FirstParent[i + 1] - 1].
        std::vector<std::size_t> FirstParent;
    };
    auto records = std::make_shared<Records>();
    const Arealis::ParentTable table = result.GetParentTable(polygons);
    records->Parents.reserve(2 * polygons.size()); // one per input, as most pieces have
    records->FirstParent.reserve(polygons.size() + 1);
    for (std::size_t i = 0; i < polygons.size(); ++i)
    {
        records->FirstParent.push_back(records->Parents.size());
        for (const Arealis::Polygon* parent : table.Of(i))
        {
            records->Parents.push_back(SourceOf(parent));
        }
    }
    records->FirstParent.push_back(records->Parents.size());
    // The records are only read from here on, and so are the columns' tables, so writers may
    // look up the properties of different polygons from several threads at once.
    return [this, &result, &polygons, records](std::size_t index, Arealis::Polygon* pPolygon,
                                               FeatureProperties& into)
    {
        if (index < polygons.size() && polygons[index] == pPolygon)
        {
            const std::size_t first = records->FirstParent[index];
            PropertiesFrom(
                std::span(records->Parents).subspan(first, records->FirstParent[index + 1] - first),
                into);
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
