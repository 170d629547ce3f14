#pragma once

namespace Collections
{

// Key extractor of Map: the key of a (key, value) pair is its first member.
struct KeyGetter
{
    template <class TPair>
    constexpr const auto& operator()(const TPair& pair) const noexcept
    {
        return pair.first;
    }
};

} // namespace Collections
