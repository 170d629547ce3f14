#include "ZoomInController.h"

#include "ErrorBox.h"
#include "OrvistaView.h"
#include "ViewNavigation.h"

namespace Orvista
{

void ZoomInController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), "ZoomInController", __LINE__,
               [this, point] { ZoomAboutClick(View(), point, 0.5); });
}

} // namespace Orvista
