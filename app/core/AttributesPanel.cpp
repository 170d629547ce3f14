#include "AttributesPanel.h"

#include "Arealis/Polygon.h"
#include "DisplayLayer.h"
#include "LayerTable.h"

namespace Orvista
{

namespace
{

std::string FileName(const std::string& path)
{
    return path.substr(path.find_last_of("/\\") + 1);
}

std::string RecordTitle(const std::string& layerName, std::int64_t record)
{
    return FileName(layerName) + ", record " + std::to_string(record);
}

AttributeGroup GroupOf(std::string title, const std::vector<Formats::Field>& columns,
                       const std::vector<Formats::FieldValue>& values)
{
    AttributeGroup group{std::move(title), {}};
    for (std::size_t i = 0; i < columns.size() && i < values.size(); ++i)
    {
        group.Values.emplace_back(columns[i].Name, FormatValue(values[i]));
    }
    return group;
}

} // namespace

std::vector<AttributeGroup> DescribeAttributes(const COrvistaDoc& document,
                                               Arealis::Polygon* pPolygon)
{
    std::vector<AttributeGroup> groups;
    const DisplayLayer* pLayer =
        pPolygon != nullptr ? FindDisplayLayer(document, pPolygon->GetLayer()) : nullptr;
    if (pLayer == nullptr)
    {
        return groups;
    }
    const LayerTable table(*pLayer);
    const std::optional<std::int64_t> record = pLayer->RecordOf(pPolygon);
    if (pLayer->Derivation() != nullptr)
    {
        groups.push_back(GroupOf(FileName(pLayer->Name()), table.Columns(),
                                 table.ValuesOf(*pPolygon)));
    }
    else if (record)
    {
        groups.push_back(GroupOf(RecordTitle(pLayer->Name(), *record), table.Columns(),
                                 table.ValuesOf(*pPolygon)));
    }
    for (const ParentOfPolygon& parent : ParentsOf(document, *pLayer, *pPolygon))
    {
        const auto* row = parent.pTable != nullptr ? parent.pTable->RowOf(parent.Record) : nullptr;
        groups.push_back(GroupOf("Parent: " + RecordTitle(parent.LayerName, parent.Record),
                                 parent.pTable != nullptr ? parent.pTable->Fields
                                                          : std::vector<Formats::Field>{},
                                 row != nullptr ? *row : std::vector<Formats::FieldValue>{}));
    }
    return groups;
}

} // namespace Orvista
