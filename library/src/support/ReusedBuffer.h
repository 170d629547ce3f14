#pragma once

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

} // namespace Arealis::Detail
