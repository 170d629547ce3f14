#pragma once

#include "Collections/PlainArray.h"

#include <vector>

namespace Arealis::Detail
{

// Empties a working buffer that is reused from call to call: keep says whether its memory stays
// allocated for the next call (fresh memory costs a page fault per page) or goes back.
template <class T, class Allocator>
void ResetBuffer(std::vector<T, Allocator>& buffer, bool keep) noexcept
{
    if (keep)
    {
        buffer.clear();
    }
    else
    {
        std::vector<T, Allocator>().swap(buffer);
    }
}

template <class T, int GrowthPercent>
void ResetBuffer(Collections::PlainArray<T, GrowthPercent>& buffer, bool keep) noexcept
{
    if (keep)
    {
        buffer.Clear();
    }
    else
    {
        Collections::PlainArray<T, GrowthPercent>().Swap(buffer);
    }
}

} // namespace Arealis::Detail
