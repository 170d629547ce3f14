#pragma once

#include "Controller.h"

namespace Orvista
{

// The mode "Zoom Out": each click shows twice the requested width and height, centred on the
// clicked point.
class ZoomOutController final : public Controller
{
public:
    using Controller::Controller;

    void OnLButtonDown(unsigned flags, PixelPoint point) override;
};

} // namespace Orvista
