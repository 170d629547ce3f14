#include "support/LargePages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace Arealis::Detail
{

#if defined(__linux__)

void* MapLargePages(std::size_t bytes) noexcept
{
    if (bytes == 0 || bytes % LargePageBytes != 0)
    {
        return nullptr;
    }
    // Mapped with a large page to spare, then trimmed to the aligned part: the kernel places
    // mappings at page, not large-page, boundaries.
    const std::size_t reserved = bytes + LargePageBytes;
    void* mapped =
        mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
    {
        return nullptr;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + LargePageBytes - 1) & ~(LargePageBytes - 1);
    const std::size_t head = aligned - start;
    const std::size_t tail = reserved - head - bytes;
    if (head > 0)
    {
        munmap(mapped, head);
    }
    if (tail > 0)
    {
        munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    }
    void* memory = reinterpret_cast<void*>(aligned);
    // Only advice: without large pages the memory is still good, in small pages.
    madvise(memory, bytes, MADV_HUGEPAGE);
    return memory;
}

void UnmapLargePages(void* pMemory, std::size_t bytes) noexcept
{
    if (pMemory != nullptr)
    {
        munmap(pMemory, bytes);
    }
}

void DiscardPages(void* pFrom, void* pEnd) noexcept
{
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0)
    {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(pFrom) + page - 1) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(pEnd);
    if (from < end)
    {
        madvise(reinterpret_cast<void*>(from), end - from, MADV_DONTNEED);
    }
}

#else

void* MapLargePages(std::size_t) noexcept
{
    return nullptr;
}

void UnmapLargePages(void*, std::size_t) noexcept {}

void DiscardPages(void*, void*) noexcept {}

#endif

} // namespace Arealis::Detail
