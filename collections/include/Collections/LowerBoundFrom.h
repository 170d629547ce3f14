#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace Collections
{

// std::lower_bound(first, last, x, leftOf), searched outwards from hint (first .. last) in
// doubling steps, then by halving: an answer near the hint, as when consecutive searches look
// for nearby values, takes a few comparisons, a far one about twice the plain search's.
template <class Iterator, class Value, class LeftOf>
Iterator LowerBoundFrom(Iterator first, Iterator last, Iterator hint, const Value& x, LeftOf leftOf)
{
    std::ptrdiff_t step = 1;
    if (hint != last && leftOf(*hint, x))
    {
        Iterator low = std::next(hint); // everything before low lies left of x
        while (last - low >= step)
        {
            const Iterator probe = low + (step - 1);
            if (!leftOf(*probe, x))
            {
                return std::lower_bound(low, probe, x, leftOf);
            }
            low = std::next(probe);
            step *= 2;
        }
        return std::lower_bound(low, last, x, leftOf);
    }
    Iterator high = hint; // the answer is high or before it
    while (high - first >= step)
    {
        const Iterator probe = high - step;
        if (leftOf(*probe, x))
        {
            return std::lower_bound(std::next(probe), high, x, leftOf);
        }
        high = probe;
        step *= 2;
    }
    return std::lower_bound(first, high, x, leftOf);
}

} // namespace Collections
