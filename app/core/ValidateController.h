#pragma once

#include "SelectController.h"

namespace Orvista
{

// The mode "Validate": a click on a polygon that is being edited commits it in its layer,
// which validates it; a polygon that is invalid, or overlaps another where its layer forbids
// that, is reported with the library's message and stays in the edit list.
class ValidateController final : public SelectController
{
public:
    using SelectController::SelectController;

    void OnLButtonDown(unsigned flags, PixelPoint point) override;

    bool SelectsPolygons() const override { return true; }
    bool SelectsEdges() const override { return false; }
    bool SelectsNodes() const override { return false; }
    bool Identifies() const override { return false; }
};

} // namespace Orvista
