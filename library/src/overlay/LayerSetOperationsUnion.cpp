#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/PolygonTable.h"
#include "Arealis/PolygonsSet.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Topology.h"
#include "model/LayerThreads.h"
#include "model/PolygonSharedReads.h"
#include "overlay/LayerSetOperations.h"
#include "overlay/ParallelLayerOperations.h"
#include "overlay/UnionTree.h"
#include "support/DisjointSets.h"
#include "support/ParallelWork.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace Arealis::LayerOperations
{

namespace
{

// The union of two layers is the union of each group of polygons that overlap one another,
// directly or through others (the components of the overlap graph); a polygon that overlaps
// none stays as it is. The graph's edges come from pair tests that are independent of each
// other, the components from them do not depend on the order the edges are found in, and each
// component is united by a fixed tree: so the work splits over threads and the result is the
// same whatever their number.
//
// Polygons are numbered: the start layer's (the larger operand's) first, then the listed
// layer's (the smaller one's), each in its layer's order. Only pairs with a listed polygon are
// tested, and pairs of start polygons only where a listed polygon links them: two overlapping
// polygons of the larger layer that no polygon of the other touches stay apart. A layer united
// with itself lists all its polygons and starts from none.
using Id = std::uint32_t;

// Polygons per work item of the pair tests.
constexpr std::size_t BlockSize = 64;

std::size_t BlockCount(std::size_t count)
{
    return (count + BlockSize - 1) / BlockSize;
}

class Numbering
{
public:
    // The ids are looked up (IdOf) once FillIds has run.
    Numbering(PolygonList start, const PolygonList& listed) : m_polygons(std::move(start))
    {
        m_startCount = m_polygons.size();
        m_polygons.insert(m_polygons.end(), listed.begin(), listed.end());
    }

    // Fills the table of ids, which operator[] does not read: the threads may number meanwhile.
    void FillIds()
    {
        m_ids.Reserve(m_polygons.size());
        for (std::size_t i = 0; i < m_polygons.size(); ++i)
        {
            m_ids[m_polygons[i]] = static_cast<Id>(i);
        }
    }

    std::size_t Count() const { return m_polygons.size(); }
    std::size_t StartCount() const { return m_startCount; }
    Polygon& operator[](Id id) const { return *m_polygons[id]; }
    Id IdOf(const Polygon* pPolygon) const { return *m_ids.Find(pPolygon); }

private:
    PolygonList m_polygons;
    std::size_t m_startCount = 0;
    PolygonTable<Id> m_ids;
};

// Components of the overlap graph; a component's root is its smallest id.
using Components = DisjointSets<Id>;

// The components while the pair tests run on several threads. A pair whose polygons are in one
// component already needs no test: its overlap would join nothing. The components are those of
// the overlap graph whichever pairs are left out so, hence the same for every order and thread
// count; only the number of tests depends on the order. Most pairs of a coverage against another
// are left out: once a few overlaps join a neighbourhood, its remaining pairs, touching or
// overlapping, are inside one component. The sets are read and joined without a lock: a lock
// taken for each of these many quick checks passed its cache line from core to core and made
// the threads' work dearer than one thread's.
class SharedComponents
{
public:
    explicit SharedComponents(Components& components) : m_components(components) {}

    bool Connected(Id a, Id b) { return m_components.SharedConnected(a, b); }
    void Join(Id a, Id b) { m_components.SharedJoin(a, b); }

private:
    Components& m_components;
};

// The polygons of the index that overlap polygon id and were not in its component yet, as ids;
// each is joined to it at once, so that later tests of the round may be left out.
std::vector<Id> JoinOverlappingIn(const PolygonsSet& index, const Numbering& numbering, Id id,
                                  SharedComponents& components)
{
    const Polygon& polygon = numbering[id];
    std::vector<Id> found;
    index.VisitOverlapping(polygon.GetBounds(),
                           [&](Polygon* pCandidate)
                           {
                               const Id other = numbering.IdOf(pCandidate);
                               if (other != id && !components.Connected(id, other) &&
                                   polygon.Overlaps(pCandidate))
                               {
                                   components.Join(id, other);
                                   found.push_back(other);
                               }
                               return true;
                           });
    return found;
}

// Runs test(i) for each of count items in blocks over the threads, counting them as work.
template <class Test>
void TestInBlocks(std::size_t count, unsigned threads, ProgressCounter& counter, Test&& test)
{
    std::atomic<std::int64_t> done{0};
    std::int64_t reported = 0;
    Parallel::RunItems(
        BlockCount(count), threads,
        [&](std::size_t block)
        {
            const std::size_t end = std::min(count, (block + 1) * BlockSize);
            for (std::size_t i = block * BlockSize; i < end; ++i)
            {
                test(i);
            }
            done.fetch_add(static_cast<std::int64_t>(end - block * BlockSize),
                           std::memory_order_relaxed);
        },
        [&]
        {
            const std::int64_t now = done.load(std::memory_order_relaxed);
            counter.Step(now - reported);
            reported = now;
        });
}

// The polygons of the index whose bounds meet those of polygon id, as ids, those below minId
// left out.
std::vector<Id> CandidatesIn(const PolygonsSet& index, const Numbering& numbering, Id id,
                             Id minId)
{
    std::vector<Id> found;
    index.VisitOverlapping(numbering[id].GetBounds(),
                           [&](Polygon* pCandidate)
                           {
                               const Id other = numbering.IdOf(pCandidate);
                               if (other != id && other >= minId)
                               {
                                   found.push_back(other);
                               }
                               return true;
                           });
    return found;
}

// Links each listed polygon with the polygons it overlaps: those of the start layer (pStart),
// and the listed ones after it (pListed; each listed pair is tested once). A layer that allows
// no overlaps is passed as null: its commit refused any polygon overlapping another. The pair
// tests are split over the threads by pairs, not by listed polygons, so that a few listed
// polygons against many (a large polygon over many small ones) still share the work; a listed
// polygon with many candidates has its edges indexed meanwhile, as the intersection does.
void LinkListed(const Numbering& numbering, const PolygonsSet* pStart, const PolygonsSet* pListed,
                Components& components, unsigned threads, ProgressCounter& counter)
{
    const std::size_t first = numbering.StartCount();
    const std::size_t count = numbering.Count() - first;
    std::vector<std::vector<Id>> candidates(count);
    // Single polygons per item: the listed layer may be a few large polygons.
    Parallel::RunItems(count, threads,
                       [&](std::size_t i)
                       {
                           const auto id = static_cast<Id>(first + i);
                           if (pStart != nullptr)
                           {
                               candidates[i] = CandidatesIn(*pStart, numbering, id, 0);
                           }
                           if (pListed != nullptr)
                           {
                               const std::vector<Id> more =
                                   CandidatesIn(*pListed, numbering, id, id + 1);
                               candidates[i].insert(candidates[i].end(), more.begin(), more.end());
                           }
                       },
                       {});
    std::vector<std::pair<Id, Id>> pairs;
    std::vector<std::unique_ptr<EdgeIndexScope>> indexed;
    PolygonList toIndex;
    for (std::size_t i = 0; i < count; ++i)
    {
        const auto id = static_cast<Id>(first + i);
        for (const Id other : candidates[i])
        {
            pairs.emplace_back(id, other);
        }
        if (candidates[i].size() > EdgeIndexThreshold)
        {
            indexed.push_back(std::make_unique<EdgeIndexScope>(numbering[id], true));
            toIndex.push_back(&numbering[id]);
        }
    }
    // The indexes are built on the threads, one polygon per item: those of a few large polygons
    // were a serial part of the union.
    Parallel::RunItems(toIndex.size(), threads,
                       [&](std::size_t k) { Detail::PrepareForSharedReads(*toIndex[k], true); },
                       {});
    counter.AddToTotal(static_cast<std::int64_t>(pairs.size()) -
                       static_cast<std::int64_t>(count));
    SharedComponents shared(components);
    TestInBlocks(pairs.size(), threads, counter,
                 [&](std::size_t k)
                 {
                     const auto [id, other] = pairs[k];
                     if (!shared.Connected(id, other) &&
                         numbering[id].Overlaps(&numbering[other]))
                     {
                         shared.Join(id, other);
                     }
                 });
}

// Links overlapping start polygons where a listed polygon reached one of them, in rounds from
// those reached until no new one is.
void LinkReachedStart(const Numbering& numbering, const PolygonsSet& start,
                      Components& components, unsigned threads, ProgressCounter& counter)
{
    const std::size_t startCount = numbering.StartCount();
    std::vector<char> reached(startCount, 0);
    std::vector<Id> frontier;
    // A start polygon is reached when its component holds a listed polygon.
    std::vector<char> rootWithListed(numbering.Count(), 0);
    for (std::size_t id = startCount; id < numbering.Count(); ++id)
    {
        rootWithListed[components.Root(static_cast<Id>(id))] = 1;
    }
    for (std::size_t id = 0; id < startCount; ++id)
    {
        if (rootWithListed[components.Root(static_cast<Id>(id))] != 0)
        {
            reached[id] = 1;
            frontier.push_back(static_cast<Id>(id));
        }
    }
    while (!frontier.empty())
    {
        counter.AddToTotal(static_cast<std::int64_t>(frontier.size()));
        // A polygon already in the component of the one tested is reached already, or is
        // joined in this round by another test, which lists it: leaving it out changes neither
        // the components nor the next frontier.
        std::vector<std::vector<Id>> overlaps(frontier.size());
        SharedComponents shared(components);
        TestInBlocks(frontier.size(), threads, counter, [&](std::size_t i)
                     { overlaps[i] = JoinOverlappingIn(start, numbering, frontier[i], shared); });
        std::vector<Id> next;
        for (std::size_t i = 0; i < frontier.size(); ++i)
        {
            for (const Id other : overlaps[i])
            {
                if (reached[other] == 0)
                {
                    reached[other] = 1;
                    next.push_back(other);
                }
            }
        }
        std::ranges::sort(next);
        frontier = std::move(next);
    }
}

// The position of a point on a Hilbert curve over a 2^16 x 2^16 grid.
std::uint64_t HilbertIndex(std::uint32_t x, std::uint32_t y)
{
    constexpr std::uint32_t side = 1U << 16;
    std::uint64_t index = 0;
    for (std::uint32_t s = side / 2; s > 0; s /= 2)
    {
        const std::uint32_t rx = (x & s) != 0 ? 1 : 0;
        const std::uint32_t ry = (y & s) != 0 ? 1 : 0;
        index += static_cast<std::uint64_t>(s) * s * ((3 * rx) ^ ry);
        if (ry == 0)
        {
            if (rx == 1)
            {
                x = side - 1 - x;
                y = side - 1 - y;
            }
            std::swap(x, y);
        }
    }
    return index;
}

// The components: each polygon's root, and the polygons of every component of two or more in
// the order of their roots, each along the curve (see SortAlongCurve).
struct Grouping
{
    std::vector<Id> RootOf;
    std::vector<Id> GroupOf; // by root; None for a polygon alone
    std::vector<std::vector<Id>> Groups;
    static constexpr Id None = ~Id{0};
};

// The ids of each group in the order of the Hilbert curve through their bounds' centres (over
// extent, the bounds of all the polygons), so that the tree unites neighbours and its unions
// stay compact; ties by id. The groups are sorted on the threads: each is sorted alone.
void SortAlongCurve(std::vector<std::vector<Id>>& groups, const Numbering& numbering,
                    const Rectangle& extent, unsigned threads)
{
    const double width = std::max(extent.MaxX - extent.MinX, 1e-300);
    const double height = std::max(extent.MaxY - extent.MinY, 1e-300);
    const auto cell = [](double offset, double size)
    {
        constexpr double last = (1U << 16) - 1;
        return static_cast<std::uint32_t>(std::clamp(offset / size * last, 0.0, last));
    };
    Parallel::RunItems(groups.size(), threads,
                       [&](std::size_t g)
                       {
                           std::vector<Id>& group = groups[g];
                           std::vector<std::pair<std::uint64_t, Id>> keyed;
                           keyed.reserve(group.size());
                           for (const Id id : group)
                           {
                               const Rectangle bounds = numbering[id].GetBounds();
                               const double x = (bounds.MinX + bounds.MaxX) / 2 - extent.MinX;
                               const double y = (bounds.MinY + bounds.MaxY) / 2 - extent.MinY;
                               keyed.emplace_back(HilbertIndex(cell(x, width), cell(y, height)),
                                                  id);
                           }
                           std::ranges::sort(keyed);
                           for (std::size_t k = 0; k < keyed.size(); ++k)
                           {
                               group[k] = keyed[k].second;
                           }
                       },
                       {});
}

Grouping GroupComponents(Components& components, const Numbering& numbering,
                         const Rectangle& extent, unsigned threads)
{
    const std::size_t count = numbering.Count();
    Grouping grouping;
    grouping.RootOf.resize(count);
    std::vector<Id> sizes(count, 0);
    for (std::size_t id = 0; id < count; ++id)
    {
        grouping.RootOf[id] = components.Root(static_cast<Id>(id));
        ++sizes[grouping.RootOf[id]];
    }
    grouping.GroupOf.assign(count, Grouping::None);
    for (std::size_t id = 0; id < count; ++id)
    {
        if (sizes[id] > 1)
        {
            grouping.GroupOf[id] = static_cast<Id>(grouping.Groups.size());
            grouping.Groups.emplace_back().reserve(sizes[id]);
        }
    }
    for (std::size_t id = 0; id < count; ++id)
    {
        const Id group = grouping.GroupOf[grouping.RootOf[id]];
        if (group != Grouping::None)
        {
            grouping.Groups[group].push_back(static_cast<Id>(id));
        }
    }
    SortAlongCurve(grouping.Groups, numbering, extent, threads);
    return grouping;
}

// Fills the polygons' lazily computed values, which the pair tests then read from several
// threads at once, and links the overlapping ones. The bounds of all the polygons go to
// extent, gathered by blocks on the threads meanwhile.
Components LinkOverlapping(Numbering& numbering, const PolygonLayer& larger,
                           const PolygonLayer& smaller, unsigned threads, ProgressCounter& counter,
                           Rectangle& extent)
{
    const std::size_t count = numbering.Count();
    std::vector<Rectangle> extents(BlockCount(count));
    // The calling thread fills the table of ids meanwhile, which the pair tests need next.
    bool numbered = false;
    Parallel::RunItems(
        BlockCount(count), threads,
        [&](std::size_t block)
        {
            const std::size_t end = std::min(count, (block + 1) * BlockSize);
            for (std::size_t id = block * BlockSize; id < end; ++id)
            {
                const Polygon& polygon = numbering[static_cast<Id>(id)];
                Detail::PrepareForSharedReads(polygon, false);
                extents[block].Extend(polygon.GetBounds());
            }
        },
        {},
        [&]
        {
            if (numbered)
            {
                return false;
            }
            numbering.FillIds();
            numbered = true;
            return true;
        });
    for (const Rectangle& blockExtent : extents)
    {
        extent.Extend(blockExtent);
    }
    const bool self = &larger == &smaller;
    Components components(count);
    LinkListed(numbering, self ? nullptr : &larger.GetIndex(),
               smaller.AllowsOverlap() ? &smaller.GetIndex() : nullptr, components, threads,
               counter);
    if (!self && larger.AllowsOverlap())
    {
        LinkReachedStart(numbering, larger.GetIndex(), components, threads, counter);
    }
    return components;
}

// Adds the components to the result in their places, in the order of the ids: a polygon
// alone as it is, at its group's first polygon (its root) the group's union, else (and for an
// empty one) none. On the calling thread, whatever the thread count: with the node lookups
// prepared by blocks on the threads, the calling thread's share (creating the polygons and
// filing the nodes in the node index) took as long as adding them one by one. Beside the
// unions' making, a union not made yet when its place comes is added once it is, and the
// polygons are put in their places at the end: the polygons alone, most of the result, need
// wait for no union. With every union made before (one thread), each is added in its place.
class ComponentAdder
{
public:
    ComponentAdder(const Numbering& numbering, const Grouping& grouping, PolygonLayer& result,
                   ProgressCounter& counter)
        : m_numbering(numbering), m_grouping(grouping), m_result(result), m_counter(counter),
          m_first(result.GetEditingCount())
    {
        // Room for all at once: the edit list would otherwise grow a tenth at a time, each
        // step a copy of the whole list into fresh pages.
        std::size_t components = grouping.Groups.size();
        for (std::size_t id = 0; id < numbering.Count(); ++id)
        {
            components += grouping.GroupOf[grouping.RootOf[id]] == Grouping::None ? 1 : 0;
        }
        result.ReserveEditing(static_cast<std::int32_t>(
            std::min<std::size_t>(components, std::numeric_limits<std::int32_t>::max())));
        m_ids.reserve(components);
        m_added.reserve(components);
    }

    // Adds the next block of components and the unions left behind that are made by now;
    // false when there was nothing to add.
    bool AddReady(const UnionsSoFar& unions)
    {
        // Few enough that the unions left behind are added soon after they are made.
        constexpr Id block = 256;
        const std::size_t waiting = m_waiting.size();
        std::erase_if(m_waiting,
                      [&](Id root)
                      {
                          const std::size_t group = m_grouping.GroupOf[root];
                          if (!unions.IsMade(group))
                          {
                              return false;
                          }
                          Add(root, unions.UnionOf(group));
                          return true;
                      });
        const auto count = static_cast<Id>(m_numbering.Count());
        const Id end = count - m_next < block ? count : m_next + block;
        const bool any = m_next < end || m_waiting.size() != waiting;
        for (; m_next < end; ++m_next)
        {
            AddInPlace(m_next, unions);
            m_counter.Step();
        }
        return any;
    }

    // Puts the polygons added in their places in the edit list, once every component was
    // added.
    void PutInPlace()
    {
        if (std::ranges::is_sorted(m_ids))
        {
            return;
        }
        m_result.ReorderEditing(m_first, OrderById());
    }

    // The polygons added, for taking them out again when the operation stops.
    const PolygonList& Added() const noexcept { return m_added; }

private:
    // The edit list positions of the added polygons in the order of their ids: the position
    // of each is noted at its id in one table, read in id order. Each id is added at most once
    // (AddInPlace visits every id once, and a root left waiting is added later instead). The
    // sort of the positions by id took some 7 ms of the calling thread at 68,000 components,
    // alone between the last union and the result's commit; the table is one pass over each
    // array.
    std::vector<std::int32_t> OrderById() const
    {
        constexpr std::int32_t none = -1;
        std::vector<std::int32_t> at(m_numbering.Count(), none);
        for (std::size_t k = 0; k < m_ids.size(); ++k)
        {
            at[m_ids[k]] = m_first + static_cast<std::int32_t>(k);
        }
        std::vector<std::int32_t> order;
        order.reserve(m_ids.size());
        for (const std::int32_t position : at)
        {
            if (position != none)
            {
                order.push_back(position);
            }
        }
        return order;
    }

    void AddInPlace(Id id, const UnionsSoFar& unions)
    {
        const Id root = m_grouping.RootOf[id];
        const Id group = m_grouping.GroupOf[root];
        if (group == Grouping::None)
        {
            Add(id, &m_numbering[id]);
        }
        else if (root == id)
        {
            if (unions.IsMade(group))
            {
                Add(id, unions.UnionOf(group));
            }
            else
            {
                m_waiting.push_back(id);
            }
        }
    }

    void Add(Id id, const Polygon* pPolygon)
    {
        if (pPolygon != nullptr && !pPolygon->IsEmpty())
        {
            m_added.push_back(m_result.AddPolygon(pPolygon));
            m_ids.push_back(id);
        }
    }

    const Numbering& m_numbering;
    const Grouping& m_grouping;
    PolygonLayer& m_result;
    ProgressCounter& m_counter;
    const std::int32_t m_first; // the edit list's length before the first one was added
    PolygonList m_added;
    std::vector<Id> m_ids;     // the id whose place each added polygon takes
    std::vector<Id> m_waiting; // roots whose unions were not made when their place came
    Id m_next = 0;
};

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

void Unite(PolygonLayer& a, PolygonLayer& b, PolygonLayer& result, const Progress& progress)
{
    // The phases for the benchmarks: the pair tests, the unions with the adding of the
    // components to the result, and the calling thread's CPU time in the serial steps
    // (numbering, grouping).
    ParallelPhases& phases = LastParallelPhases();
    phases = {};
    double serialStart = Parallel::CallingThreadCpuSeconds();
    PolygonLayer& larger = b.GetPolygonCount() > a.GetPolygonCount() ? b : a;
    PolygonLayer& smaller = &larger == &a ? b : a;
    larger.Commit();
    Numbering numbering(&larger == &smaller ? PolygonList() : PolygonsOf(larger),
                        PolygonsOf(smaller));
    const std::size_t count = numbering.Count();
    const unsigned threads = OperationThreads(result, count, larger, smaller);
    const auto listed = static_cast<std::int64_t>(count - numbering.StartCount());
    ProgressCounter counter(progress, static_cast<std::int64_t>(count) + listed);
    phases.Merge = Parallel::CallingThreadCpuSeconds() - serialStart;

    auto started = std::chrono::steady_clock::now();
    Rectangle extent;
    Components components =
        LinkOverlapping(numbering, larger, smaller, threads, counter, extent);
    phases.Prepare = SecondsSince(started);

    serialStart = Parallel::CallingThreadCpuSeconds();
    const Grouping grouping = GroupComponents(components, numbering, extent, threads);
    std::vector<PolygonList> groups(grouping.Groups.size());
    std::int64_t unions = 0;
    for (std::size_t g = 0; g < groups.size(); ++g)
    {
        for (const Id id : grouping.Groups[g])
        {
            groups[g].push_back(&numbering[id]);
        }
        unions += UnionsFor(groups[g].size());
    }
    counter.AddToTotal(unions);
    phases.Merge += Parallel::CallingThreadCpuSeconds() - serialStart;

    // The unions are made while the components are added: the phase's time covers both.
    started = std::chrono::steady_clock::now();
    std::int64_t reported = 0;
    ComponentAdder adder(numbering, grouping, result, counter);
    // A progress callback that stops the operation while or after the polygons are added takes
    // them out again, as when it stops it earlier; so does a union that fails.
    try
    {
        const std::vector<TreeItem> united = UniteGroups(
            groups, threads,
            [&](std::int64_t done)
            {
                counter.Step(done - reported);
                reported = done;
            },
            [&adder](const UnionsSoFar& soFar) { return adder.AddReady(soFar); });
        adder.PutInPlace();
        phases.Work = SecondsSince(started);
        counter.Finish();
    }
    catch (...)
    {
        try
        {
            result.DeletePolygons(adder.Added());
        }
        catch (...) // NOLINT(bugprone-empty-catch): fresh result polygons are always deletable
        {
        }
        throw;
    }
}

} // namespace Arealis::LayerOperations
