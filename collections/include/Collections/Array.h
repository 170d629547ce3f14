#pragma once

#include "Collections/PlainArray.h"

namespace Collections
{

// Growth per cent of an Array: Param when positive, otherwise the 10 per cent that suits
// long edit lists, which grow one element at a time.
constexpr int ArrayGrowthPercent(int param) noexcept
{
    return param > 0 ? param : 10;
}

// The growable array that the layer's edit list uses. It offers the operations of PlainArray;
// its enumerators (OverallEnumerator, CriterionEnumerator) follow the array's present count,
// so that they see items appended after a Reset().
template <class T, int Param = 0>
class Array : public PlainArray<T, ArrayGrowthPercent(Param)>
{
public:
    using PlainArray<T, ArrayGrowthPercent(Param)>::PlainArray;
};

} // namespace Collections
