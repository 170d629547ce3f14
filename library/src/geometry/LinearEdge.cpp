#include "Arealis/LinearEdge.h"

#include "Arealis/Geometry.h"
#include "Arealis/Ring.h"

namespace Arealis
{

Node* LinearEdge::Start() const
{
    return Ring->GetNode(StartIndex);
}

Node* LinearEdge::End() const
{
    return Ring->GetNode(EndIndex);
}

Rectangle LinearEdge::Bounds() const
{
    return {Start()->Position, End()->Position};
}

double LinearEdge::SquaredDistanceTo(const Point& p) const
{
    return SquaredDistanceToSegment(p, Start()->Position, End()->Position);
}

std::int32_t LinearEdge::EdgeNumber() const noexcept
{
    if (EndIndex == StartIndex + 1 || (EndIndex == 0 && StartIndex != 1))
    {
        return StartIndex;
    }
    return EndIndex;
}

} // namespace Arealis
