#include "BooleanController.h"

#include "ErrorBox.h"
#include "OrvistaView.h"

namespace Orvista
{

BooleanController::BooleanController(COrvistaView& view) : SelectController(view)
{
    ClearOperands();
}

BooleanController::~BooleanController()
{
    ClearOperands();
}

void BooleanController::ClearOperands()
{
    BooleanOperands& operands = View().GetBooleanOperands();
    operands.pFirst = nullptr;
    operands.pSecond = nullptr;
    operands.FirstChosen = false;
    operands.SecondChosen = false;
    operands.ResultValid = false;
}

void BooleanController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), "BooleanController", __LINE__,
               [this, point]
               {
                   SelectAt(point);
                   if (!HasLayers())
                   {
                       return;
                   }
                   if (Arealis::Polygon* pPolygon = View().GetSelectedPolygon())
                   {
                       Choose(pPolygon);
                   }
                   // The operands may lie anywhere in the view: all of it is painted again.
                   View().Invalidate();
               });
}

void BooleanController::Choose(Arealis::Polygon* pPolygon)
{
    BooleanOperands& operands = View().GetBooleanOperands();
    if (operands.FirstChosen && operands.pFirst == pPolygon)
    {
        operands.FirstChosen = false;
        operands.pFirst = nullptr;
    }
    else if (operands.SecondChosen && operands.pSecond == pPolygon)
    {
        operands.SecondChosen = false;
        operands.pSecond = nullptr;
    }
    else if (operands.FirstChosen)
    {
        if (operands.SecondChosen)
        {
            return;
        }
        operands.pSecond = pPolygon;
        operands.SecondChosen = true;
    }
    else
    {
        operands.pFirst = pPolygon;
        operands.FirstChosen = true;
    }
    operands.ResultValid = false;
}

} // namespace Orvista
