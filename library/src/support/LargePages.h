#pragma once

#include <cstddef>

namespace Arealis::Detail
{

// The size of the large pages that MapLargePages aligns to.
constexpr std::size_t LargePageBytes = std::size_t{2} << 20;

// Zeroed memory of the given size (a multiple of LargePageBytes), aligned to LargePageBytes
// and marked for large pages, so that touching it faults in a large page at a time where the
// system allows that; null when it cannot be had, and the caller allocates otherwise.
void* MapLargePages(std::size_t bytes) noexcept;
// Gives back memory that MapLargePages returned, with the same size.
void UnmapLargePages(void* pMemory, std::size_t bytes) noexcept;
// Gives the whole pages between pFrom and pEnd, within memory that MapLargePages returned,
// back to the system while keeping them mapped: they read as zeros when next touched. A large
// page so cut is split, and the part of it before pFrom stays.
void DiscardPages(void* pFrom, void* pEnd) noexcept;

} // namespace Arealis::Detail
