#include "SourceReading.h"

#include "Arealis/PolygonLayer.h"
#include "Conversion.h"
#include "Arealis/Topology.h"
#include "Formats/PrecisionChoice.h"
#include "Shapefile/ShapefileReader.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace ArealisPython
{

namespace
{

// The reader's commit messages are dropped: a polygon the commit refuses is still returned.
class QuietReporter final : public Arealis::IReporter
{
public:
    void ShowMessage(const std::string&, const std::string&) override {}
    bool ShowError(const std::string&) override { return true; }
};

} // namespace

SourceTable ReadSource(const std::string& path, Guard& guard)
{
    return guard.Run(
        [&]
        {
            const TopologyPtr topology = CreateTopology();
            Arealis::PolygonLayer* pLayer = topology->CreatePolygonLayer(true);
            std::vector<std::pair<std::int64_t, Arealis::Polygon*>> records;
            const auto remember = [&records](Arealis::Polygon* pPolygon, std::int64_t record)
            { records.emplace_back(record, pPolygon); };
            // The nodes snap to the grid the tool would read the source with: in degrees for
            // longitude and latitude, where the default grid would move them by centimetres.
            const auto choosePrecision = [&topology](const Formats::CoordinateSystem& system)
            { topology->SetPrecision(Formats::PrecisionChoice{}.For(system.IsGeographic)); };
            SourceTable table;
            if (Formats::IsShapefilePath(path))
            {
                table.Description = Formats::ReadShapefileCompanions(path);
                choosePrecision(table.Description.System);
                QuietReporter reporter;
                Arealis::ReadShapefile(*pLayer, path, reporter, remember);
            }
            else
            {
                table.Description = Formats::ReadOgrSource(path, *pLayer, remember, choosePrecision);
            }
            std::sort(records.begin(), records.end());
            for (const auto& [record, pPolygon] : records)
            {
                AppendWkb(*pPolygon, table.Polygons.Data);
                table.Polygons.Add(record, -1);
            }
            return table;
        });
}

} // namespace ArealisPython
