#include "ValidateController.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "ErrorBox.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "Platform.h"

namespace Orvista
{

void ValidateController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), "ValidateController", __LINE__,
               [this, point]
               {
                   SelectAt(point);
                   Arealis::Polygon* pPolygon = View().GetSelectedPolygon();
                   if (!HasLayers() || pPolygon == nullptr || !pPolygon->IsEditing())
                   {
                       return;
                   }
                   Arealis::PolygonLayer* pLayer = pPolygon->GetLayer();
                   try
                   {
                       // What the commit cleans can be undone with the last edit.
                       Document()->GetHistory().Commit(*pLayer->GetTopology(),
                                                       [pLayer, pPolygon]
                                                       { pLayer->EndEdit(pPolygon); });
                   }
                   catch (const Arealis::InvalidPolygonException& e)
                   {
                       View().GetPlatform().ShowMessageBox(e.Message(), ApplicationTitle,
                                                           MessageBoxKind::Ok);
                   }
                   catch (const Arealis::PolygonsOverlapException& e)
                   {
                       View().GetPlatform().ShowMessageBox(e.Message(), ApplicationTitle,
                                                           MessageBoxKind::Ok);
                   }
                   // Committing cleans the polygon's rings, which may change its outline.
                   View().RenderLayersOf(pLayer->GetTopology());
               });
}

} // namespace Orvista
