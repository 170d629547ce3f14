#include "ZoomOutController.h"

#include "ErrorBox.h"
#include "OrvistaView.h"
#include "ViewNavigation.h"

namespace Orvista
{

void ZoomOutController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), "ZoomOutController", __LINE__,
               [this, point] { ZoomAboutClick(View(), point, 2.0); });
}

} // namespace Orvista
