#include "Controller.h"

namespace Orvista
{

void Controller::OnLButtonDown(unsigned /*flags*/, PixelPoint /*point*/) {}

void Controller::OnLButtonUp(unsigned /*flags*/, PixelPoint /*point*/) {}

void Controller::OnMouseMove(unsigned /*flags*/, PixelPoint /*point*/) {}

void Controller::OnLayerDeleted(const DisplayLayer& /*layer*/) {}

} // namespace Orvista
