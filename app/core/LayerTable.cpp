#include "LayerTable.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Commands.h"
#include "DisplayLayer.h"
#include "OrvistaDoc.h"

#include <algorithm>
#include <charconv>

namespace Orvista
{

Formats::CarriedColumns CarriedByLayerOperation(int command)
{
    switch (command)
    {
    case CommandId::IntersectLayers:
    case CommandId::JoinLayers:
        return Formats::CarriedColumns::Both;
    case CommandId::SubtractLayers:
        return Formats::CarriedColumns::First;
    default:
        return Formats::CarriedColumns::None;
    }
}

DisplayLayer* FindDisplayLayer(const COrvistaDoc& document, const Arealis::PolygonLayer* pLayer)
{
    for (const auto& layer : document.GetLayers())
    {
        if (pLayer != nullptr && layer->GetPolygonLayer() == pLayer)
        {
            return layer.get();
        }
    }
    return nullptr;
}

LayerDerivation DeriveLayer(const COrvistaDoc& document, Formats::CarriedColumns carried,
                            const std::vector<const Arealis::PolygonLayer*>& inputs,
                            Arealis::PolygonLayer& result)
{
    LayerDerivation derivation;
    derivation.Carried = carried;
    std::vector<const DisplayLayer*> layers;
    for (const Arealis::PolygonLayer* pInput : inputs)
    {
        const DisplayLayer* pLayer = FindDisplayLayer(document, pInput);
        layers.push_back(pLayer);
        derivation.Inputs.push_back(pLayer != nullptr
                                        ? LayerInput{pLayer->Name(), pLayer->SharedAttributes()}
                                        : LayerInput{});
    }
    Arealis::PolygonEnumerator polygons = result.GetPolygons();
    while (polygons.MoveNext())
    {
        std::vector<Formats::ParentRecord> records;
        Arealis::PolygonEnumerator parents = result.GetParents(polygons.Current());
        while (parents.MoveNext())
        {
            const auto input = std::find(inputs.begin(), inputs.end(),
                                         parents.Current()->GetLayer());
            const std::size_t index = static_cast<std::size_t>(input - inputs.begin());
            if (input == inputs.end() || layers[index] == nullptr)
            {
                continue;
            }
            if (const auto record = layers[index]->RecordOf(parents.Current()))
            {
                records.push_back({index, *record});
            }
        }
        // A's parents before B's, whatever order the operation noted them in.
        std::stable_sort(records.begin(), records.end(),
                         [](const Formats::ParentRecord& a, const Formats::ParentRecord& b)
                         { return a.Input < b.Input; });
        derivation.Parents.emplace(polygons.Current(), std::move(records));
    }
    result.ClearAllParents();
    return derivation;
}

std::vector<ParentOfPolygon> ParentsOf(const COrvistaDoc& document, const DisplayLayer& layer,
                                       Arealis::Polygon& polygon)
{
    std::vector<ParentOfPolygon> parents;
    if (const LayerDerivation* pDerivation = layer.Derivation())
    {
        const auto found = pDerivation->Parents.find(&polygon);
        if (found != pDerivation->Parents.end())
        {
            for (const Formats::ParentRecord& parent : found->second)
            {
                const LayerInput& input = pDerivation->Inputs.at(parent.Input);
                parents.push_back({input.Name, input.Attributes.get(), parent.Record});
            }
        }
        return parents;
    }
    if (layer.GetPolygonLayer() == nullptr)
    {
        return parents;
    }
    Arealis::PolygonEnumerator found = layer.GetPolygonLayer()->GetParents(&polygon);
    while (found.MoveNext())
    {
        const DisplayLayer* pLayer = FindDisplayLayer(document, found.Current()->GetLayer());
        const auto record = pLayer != nullptr ? pLayer->RecordOf(found.Current()) : std::nullopt;
        if (record)
        {
            parents.push_back({pLayer->Name(), &pLayer->Attributes(), *record});
        }
    }
    return parents;
}

LayerTable::LayerTable(const DisplayLayer& layer) : m_layer(layer)
{
    const LayerDerivation* pDerivation = layer.Derivation();
    if (pDerivation == nullptr)
    {
        m_columns = layer.Attributes().Fields;
        return;
    }
    std::vector<const Formats::AttributeTable*> inputs;
    for (const LayerInput& input : pDerivation->Inputs)
    {
        inputs.push_back(input.Attributes.get());
    }
    m_result.emplace(pDerivation->Carried, std::move(inputs));
    m_columns = m_result->Columns();
}

std::vector<Formats::FieldValue> LayerTable::ValuesOf(Arealis::Polygon& polygon) const
{
    if (m_result)
    {
        const auto& parents = m_layer.Derivation()->Parents;
        const auto found = parents.find(&polygon);
        return m_result->ValuesOf(found != parents.end() ? found->second
                                                         : std::vector<Formats::ParentRecord>{});
    }
    const std::optional<std::int64_t> record = m_layer.RecordOf(&polygon);
    const auto* row = record ? m_layer.Attributes().RowOf(*record) : nullptr;
    std::vector<Formats::FieldValue> values(m_columns.size());
    if (row != nullptr)
    {
        std::copy_n(row->begin(), std::min(row->size(), values.size()), values.begin());
    }
    return values;
}

std::string FormatValue(const Formats::FieldValue& value)
{
    struct Formatter
    {
        std::string operator()(std::monostate) const { return "NULL"; }
        std::string operator()(std::int64_t number) const { return std::to_string(number); }
        std::string operator()(double number) const
        {
            char text[32];
            const auto result = std::to_chars(text, text + sizeof text, number);
            return std::string(text, result.ptr);
        }
        std::string operator()(const std::string& text) const { return text; }
        std::string operator()(const Formats::Date& date) const
        {
            return Formats::FormatDate(date);
        }
    };
    return std::visit(Formatter{}, value);
}

} // namespace Orvista
