#pragma once

// Unions of many polygons by a fixed tree: each group's polygons are united three at a time,
// then the unions three at a time, and so on until one polygon is left per group. The unions
// run subtree by subtree (post-order), so that few intermediate unions are alive at once, and
// are split over threads by subtrees, a union above them made by the thread that made its
// last child; the tree depends only on the groups and their order, so the result is the same
// whatever the thread count.

#include "Arealis/Polygon.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace Arealis::LayerOperations
{

// A polygon of a tree level: an input polygon, or a union that the tree owns (pTemporary, and
// pPolygon pointing at it).
struct TreeItem
{
    Polygon* pPolygon = nullptr;
    std::unique_ptr<Polygon> pTemporary;
};

// Called on the calling thread with the number of unions done so far; it may throw to stop
// the work, which then propagates.
using TreeProgress = std::function<void(std::int64_t done)>;

// What the caller's serial work sees of the unions while the threads make them.
class UnionsSoFar
{
public:
    // Whether group g's union is made.
    virtual bool IsMade(std::size_t group) const = 0;
    // The union of a group that is made: null for an empty group, its polygon for a group of one.
    virtual const Polygon* UnionOf(std::size_t group) const = 0;

protected:
    ~UnionsSoFar() = default;
};

// Serial work of the caller beside the unions: it does what is ready and returns whether it
// did anything; it may throw to stop the work, which then propagates.
using BesideUnions = std::function<bool(const UnionsSoFar& unions)>;

// The union of each group (an empty group gives an empty item, a group of one its polygon as
// it is). The polygons are only read; a polygon must not be in two groups when threads > 1.
// The first exception of a union is rethrown once every thread has ended.
// beside, when given, is called on the calling thread while the threads make the unions (about
// every millisecond, at once again when it did something), and at the end until it returns
// false, every union then made: the caller's serial use of the unions (adding them to a layer)
// so overlaps their making instead of following it. On one thread the unions are all made
// first. The unions stay valid until the result is dropped.
std::vector<TreeItem> UniteGroups(const std::vector<std::vector<Polygon*>>& groups,
                                  unsigned threads, const TreeProgress& progress = {},
                                  const BesideUnions& beside = {});

// The number of unions UniteGroups makes for a group of the given size.
inline std::int64_t UnionsFor(std::size_t size)
{
    return size == 0 ? 0 : static_cast<std::int64_t>(size) - 1;
}

} // namespace Arealis::LayerOperations
