#include "LayerExport.h"

#include "Arealis/PolygonLayer.h"
#include "DisplayLayer.h"
#include "ErrorBox.h"
#include "Formats/OutputFile.h"
#include "Formats/VectorWriter.h"
#include "LayerTable.h"
#include "OrvistaDoc.h"
#include "Platform.h"

#include <memory>
#include <optional>

namespace Orvista
{

namespace
{

constexpr const char* Unit = "LayerExport";

// The writer for the target, after the user agreed to replace an existing output; null when
// the user declined.
std::unique_ptr<Formats::VectorWriter> OpenWriter(IPlatform& platform,
                                                  const Formats::FileTarget& target,
                                                  const LayerTable& table,
                                                  const Formats::CoordinateSystem& system)
{
    try
    {
        return std::make_unique<Formats::VectorWriter>(target, table.Columns(), system, false);
    }
    catch (const Formats::OutputExistsError& e)
    {
        if (platform.ShowMessageBox(std::string(e.what()) + ".\nReplace it?", ApplicationTitle,
                                    MessageBoxKind::OkCancelError) != BoxAnswer::Ok)
        {
            return nullptr;
        }
    }
    return std::make_unique<Formats::VectorWriter>(target, table.Columns(), system, true);
}

} // namespace

bool ExportLayer(IPlatform& platform, const DisplayLayer& layer, const std::string& name)
{
    const std::optional<Formats::FileTarget> target = Formats::FileTargetFromName(name);
    if (!target || target->Format == Formats::FileFormat::PostGis)
    {
        platform.ShowMessageBox(name + ": choose a name ending in .shp, .gpkg, .geojson, .fgb "
                                       "or .csv; the ending picks the format.",
                                ApplicationTitle, MessageBoxKind::Exclamation);
        return false;
    }
    try
    {
        const LayerTable table(layer);
        const std::unique_ptr<Formats::VectorWriter> writer =
            OpenWriter(platform, *target, table, layer.System());
        if (!writer)
        {
            return false;
        }
        const WaitCursor wait(platform);
        std::int64_t count = 0;
        Arealis::PolygonEnumerator polygons = layer.GetPolygonLayer()->GetPolygons();
        while (polygons.MoveNext())
        {
            writer->Write(*polygons.Current(), table.ValuesOf(*polygons.Current()));
            ++count;
        }
        writer->Commit();
        std::string text = "Exported " + std::to_string(count) + " polygons of " + layer.Name() +
                           " to " + name;
        for (const auto& [column, stored] : writer->RenamedFields())
        {
            text += "; column " + column + " stored as " + stored;
        }
        platform.ShowStatusText(text);
        return true;
    }
    catch (const Formats::FormatError& e)
    {
        platform.ShowMessageBox(std::string("The layer was not exported: ") + e.what(),
                                ApplicationTitle, MessageBoxKind::Exclamation);
        return false;
    }
}

void COrvistaDoc::OnExportLayer()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this]
               {
                   const DisplayLayer* pLayer = GetCurrentLayer();
                   if (pLayer == nullptr || pLayer->GetPolygonLayer() == nullptr)
                   {
                       m_platform.ShowStatusText("Select the layer to export in the tree first");
                       return;
                   }
                   const std::optional<std::string> name = m_platform.AskSaveFileName(ExportFilter);
                   if (name)
                   {
                       ExportLayer(m_platform, *pLayer, *name);
                   }
               });
}

} // namespace Orvista
