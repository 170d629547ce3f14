#pragma once

#include <functional>

namespace Collections
{

// Key order of the B-trees: a < b. Pointers compare by address (through std::less, which
// orders any two pointers); points by X, then Y.
template <class T>
struct DefaultComparator
{
    constexpr bool operator()(const T& a, const T& b) const { return std::less<>{}(a, b); }
};

} // namespace Collections
