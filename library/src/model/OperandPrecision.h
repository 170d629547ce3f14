#pragma once

#include "Arealis/Precision.h"

#include <initializer_list>
#include <optional>

namespace Arealis
{
class Polygon;
class PolygonLayer;
class Ring;
} // namespace Arealis

namespace Arealis::Detail
{

// The precision of the topology that a layer, polygon or ring belongs to; none for those of
// no topology (free polygons and rings), which adapt to the operation's precision.
std::optional<Precision> PrecisionOf(const PolygonLayer* pLayer) noexcept;
std::optional<Precision> PrecisionOf(const Polygon& polygon) noexcept;
std::optional<Precision> PrecisionOf(const Ring& ring) noexcept;

// The precision that work on one object uses: its topology's, or the current one.
template <class T>
Precision WorkingPrecision(const T& object) noexcept
{
    return PrecisionOf(object).value_or(CurrentPrecision());
}

// The precision that an operation on these operands works with: that of the operands that
// belong to a topology, which must agree, or the current one when none does. Operands in
// topologies of different precision are refused with ArgumentException, since a result snapped
// to one grid and compared with one tolerance would not fit the other operand.
class OperandPrecision
{
public:
    OperandPrecision() = default;
    OperandPrecision(std::initializer_list<std::optional<Precision>> operands);

    void Add(const std::optional<Precision>& operand);
    Precision Get() const noexcept { return m_common.value_or(CurrentPrecision()); }

private:
    std::optional<Precision> m_common;
};

} // namespace Arealis::Detail
