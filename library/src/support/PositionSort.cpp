#include "support/PositionSort.h"

#include "support/LinearBuckets.h"

#include <algorithm>
#include <cstddef>

namespace Arealis::Detail
{

namespace
{

bool PositionLess(const IndexedPosition& a, const IndexedPosition& b) noexcept
{
    return a.Position < b.Position;
}

// Buckets of up to this many items are sorted by insertion, larger ones by std::sort.
constexpr std::size_t SmallBucket = 16;

void SortBucket(std::span<IndexedPosition> bucket)
{
    if (bucket.size() > SmallBucket)
    {
        std::sort(bucket.begin(), bucket.end(), PositionLess);
        return;
    }
    for (std::size_t i = 1; i < bucket.size(); ++i)
    {
        const IndexedPosition item = bucket[i];
        std::size_t at = i;
        for (; at > 0 && PositionLess(item, bucket[at - 1]); --at)
        {
            bucket[at] = bucket[at - 1];
        }
        bucket[at] = item;
    }
}

} // namespace

std::span<const IndexedPosition> SortByPosition(std::span<IndexedPosition> items,
                                                std::vector<std::uint32_t>& buckets,
                                                std::vector<IndexedPosition>& scratch)
{
    if (items.size() <= SmallBucket)
    {
        SortBucket(items);
        return items;
    }
    double low = items[0].Position.X;
    double high = low;
    for (const IndexedPosition& item : items)
    {
        low = std::min(low, item.Position.X);
        high = std::max(high, item.Position.X);
    }
    const LinearBuckets bucketOf(low, high, items.size() / 2);
    if (!bucketOf.Spreads())
    {
        std::sort(items.begin(), items.end(), PositionLess);
        return items;
    }
    buckets.assign(bucketOf.Count(), 0);
    for (const IndexedPosition& item : items)
    {
        ++buckets[bucketOf(item.Position.X)];
    }
    CountsToStarts(buckets);
    scratch.resize(items.size());
    for (const IndexedPosition& item : items)
    {
        scratch[buckets[bucketOf(item.Position.X)]++] = item;
    }
    // Each bucket's end is now where the next began: sort bucket by bucket.
    std::size_t begin = 0;
    for (const std::uint32_t end : buckets)
    {
        SortBucket(std::span<IndexedPosition>(scratch).subspan(begin, end - begin));
        begin = end;
    }
    return scratch;
}

} // namespace Arealis::Detail
