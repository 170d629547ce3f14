#include "ZoomInController.h"

#include "ErrorBox.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "ViewNavigation.h"

namespace Orvista
{

void ZoomInController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), "ZoomInController", __LINE__,
               [this, point]
               {
                   const COrvistaDoc* pDocument = View().GetDocument();
                   if (pDocument == nullptr || !pDocument->HasLayers() ||
                       pDocument->GetLayers().empty())
                   {
                       return;
                   }
                   ZoomAbout(View(), View().PixelToWorld(point), 0.5);
               });
}

} // namespace Orvista
