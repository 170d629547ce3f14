#include "ZoomOutController.h"

#include "ErrorBox.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "ViewNavigation.h"

namespace Orvista
{

void ZoomOutController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), "ZoomOutController", __LINE__,
               [this, point]
               {
                   const COrvistaDoc* pDocument = View().GetDocument();
                   if (pDocument == nullptr || !pDocument->HasLayers() ||
                       pDocument->GetLayers().empty())
                   {
                       return;
                   }
                   ZoomAbout(View(), View().PixelToWorld(point), 2.0);
               });
}

} // namespace Orvista
