#include "model/OperandPrecision.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Exception.h"

namespace Arealis::Detail
{

std::optional<Precision> PrecisionOf(const PolygonLayer* pLayer) noexcept
{
    if (pLayer == nullptr)
    {
        return std::nullopt;
    }
    return pLayer->GetTopology()->GetPrecision();
}

std::optional<Precision> PrecisionOf(const Polygon& polygon) noexcept
{
    return PrecisionOf(polygon.GetLayer());
}

std::optional<Precision> PrecisionOf(const Ring& ring) noexcept
{
    return PrecisionOf(ring.GetOwner());
}

OperandPrecision::OperandPrecision(std::initializer_list<std::optional<Precision>> operands)
{
    for (const std::optional<Precision>& operand : operands)
    {
        Add(operand);
    }
}

void OperandPrecision::Add(const std::optional<Precision>& operand)
{
    if (!operand)
    {
        return;
    }
    if (m_common && !(*m_common == *operand))
    {
        throw Exceptions::ArgumentException(
            "The operands lie in topologies of different precision (node grid or tolerance).",
            Exceptions::MakeLocation("Precision", __LINE__));
    }
    m_common = operand;
}

} // namespace Arealis::Detail
