#pragma once

#include "SelectController.h"

namespace Arealis
{
class Polygon;
}

namespace Orvista
{

// The mode "Select for Boolean Operatoin": clicks pick the two polygons that "Union",
// "Intersect" and "Subtract" combine. A click fills the first free operand slot, a click on a
// chosen operand frees its slot, and a click on a third polygon while both are chosen is
// ignored. The slots are cleared when the mode starts and when it ends.
class BooleanController final : public SelectController
{
public:
    explicit BooleanController(COrvistaView& view);
    ~BooleanController() override;

    BooleanController(const BooleanController&) = delete;
    BooleanController& operator=(const BooleanController&) = delete;

    void OnLButtonDown(unsigned flags, PixelPoint point) override;

    bool SelectsPolygons() const override { return true; }
    bool SelectsEdges() const override { return false; }
    bool SelectsNodes() const override { return false; }
    bool Identifies() const override { return false; }

private:
    void ClearOperands();
    void Choose(Arealis::Polygon* pPolygon);
};

} // namespace Orvista
