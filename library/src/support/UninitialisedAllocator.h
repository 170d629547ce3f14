#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace Arealis::Detail
{

// An allocator whose resize leaves new elements default-initialised instead of
// value-initialised: buffers of plain numbers that are written before they are read need not
// be zeroed first, and zeroing a large buffer touches every page of it once more.
template <class T>
class UninitialisedAllocator : public std::allocator<T>
{
public:
    template <class U>
    struct rebind
    {
        using other = UninitialisedAllocator<U>;
    };

    UninitialisedAllocator() = default;
    // Implicit, as the allocator requirements ask of the conversion between rebound copies.
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>& /*other*/) noexcept
    {
    }

    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }

    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

} // namespace Arealis::Detail
