#pragma once

#include "Controller.h"

namespace Orvista
{

// The mode "Zoom In": each click shows half the requested width and height, centred on the
// clicked point.
class ZoomInController final : public Controller
{
public:
    using Controller::Controller;

    void OnLButtonDown(unsigned flags, PixelPoint point) override;
};

} // namespace Orvista
