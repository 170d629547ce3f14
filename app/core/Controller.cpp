#include "Controller.h"

namespace Orvista
{

void Controller::OnLButtonDown(unsigned /*flags*/, PixelPoint /*point*/) {}

void Controller::OnLButtonUp(unsigned /*flags*/, PixelPoint /*point*/) {}

void Controller::OnMouseMove(unsigned /*flags*/, PixelPoint /*point*/) {}

void Controller::OnCancel() {}

void Controller::OnLayerDeleted(const DisplayLayer& /*layer*/) {}

void Controller::OnTopologyCommitted(const Arealis::Topology& /*topology*/) {}

void Controller::OnCommitting(const Arealis::Topology& /*topology*/) {}

void Controller::OnPolygonsReplaced()
{
    OnCancel();
}

void Controller::DrawOverlay(ICanvas& /*canvas*/) {}

} // namespace Orvista
