#include "overlay/UnionTree.h"

#include "Arealis/Overlay.h"
#include "overlay/LayerOverlay.h"
#include "support/ParallelWork.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <exception>
#include <utility>

namespace Arealis::LayerOperations
{

namespace
{

// Items of a group that one union task combines.
constexpr std::size_t FanIn = 3;

// The size of the level above one of the given size: one union per FanIn items.
constexpr std::size_t LevelAbove(std::size_t size)
{
    return (size + FanIn - 1) / FanIn;
}

// A tree whose polygons have fewer nodes than this runs on the calling thread: starting
// threads would cost more than its unions (a unite of a few small polygons, called once per
// group of a dissolve).
constexpr std::int64_t ParallelTreeNodes = 4096;

// Whether the groups' polygons have that many nodes in all; the count stops there, so that
// a union of many groups does not read every polygon once more on the calling thread alone.
bool HasNodes(const std::vector<std::vector<Polygon*>>& groups, std::int64_t count)
{
    std::int64_t nodes = 0;
    for (const std::vector<Polygon*>& group : groups)
    {
        for (const Polygon* pPolygon : group)
        {
            nodes += pPolygon->GetNodeCount();
            if (nodes >= count)
            {
                return true;
            }
        }
    }
    return false;
}

// A union of the tree: the item at Slot made of the items at [FirstChild, FirstChild +
// ChildCount) of the level below (one child is passed on as it is). Parent is the union its
// item goes into (None for a group's root), Pending how many of its children are unions.
struct UnionTask
{
    std::size_t Slot;
    std::size_t FirstChild;
    std::size_t ChildCount;
    std::size_t Parent;
    std::size_t Pending;
    std::size_t Group; // for a group's root union; None otherwise
};

// A subtree that one thread runs as a whole: its unions are the tasks [Begin, End) (a
// subtree's unions are consecutive in post-order), its root the last.
struct Subtree
{
    std::size_t Begin;
    std::size_t End;
};

// The tree levels of a group of the given size (0 for a single polygon), and the size of a
// level.
std::size_t TopLevel(std::size_t size)
{
    std::size_t level = 0;
    for (; size > 1; size = LevelAbove(size))
    {
        ++level;
    }
    return level;
}

std::size_t LevelSize(std::size_t size, std::size_t level)
{
    for (; level > 0; --level)
    {
        size = LevelAbove(size);
    }
    return size;
}

// The highest level whose subtrees the threads take whole. The higher, the longer a thread
// works on unions whose inputs it made itself (hot in its cache, their records reused by its
// own allocations); the lower, the more subtrees there are to share out evenly.
std::size_t SubtreeLevel(const std::vector<std::vector<Polygon*>>& groups, unsigned threads)
{
    constexpr std::size_t MaxLevel = 3;  // subtrees of up to 27 polygons
    constexpr std::size_t PerThread = 8; // subtrees per thread at least, for the balance
    for (std::size_t level = MaxLevel; level > 1; --level)
    {
        std::size_t subtrees = 0;
        for (const std::vector<Polygon*>& group : groups)
        {
            if (group.size() > 1)
            {
                subtrees += LevelSize(group.size(), std::min(level, TopLevel(group.size())));
            }
        }
        if (subtrees >= PerThread * threads)
        {
            return level;
        }
    }
    return 1;
}

// Every position of every group's tree, level by level, and the unions that fill them in
// post-order: a union comes right after the unions of its subtree. Run in that order, only
// the unions along the path to the present one are alive; level by level, the whole level
// below would be (for adjacent polygons, about every input node again). The subtrees at
// subtreeLevel (or a smaller group's whole tree) are listed in post-order for the threads.
struct TreePlan
{
    std::vector<TreeItem> Slots;
    std::vector<UnionTask> Tasks;
    std::vector<Subtree> Subtrees;
    // Each group's root slot; None for an empty group.
    std::vector<std::size_t> Roots;

    static constexpr std::size_t None = static_cast<std::size_t>(-1);

    TreePlan(const std::vector<std::vector<Polygon*>>& groups, std::size_t subtreeLevel)
    {
        // Room for every level of every group at once.
        std::size_t slots = 0;
        std::size_t tasks = 0;
        for (const std::vector<Polygon*>& group : groups)
        {
            std::size_t size = group.size();
            for (; size > 1; size = LevelAbove(size))
            {
                slots += size;
                tasks += LevelAbove(size);
            }
            slots += size;
        }
        Slots.reserve(slots);
        Tasks.reserve(tasks);
        Roots.reserve(groups.size());
        for (const std::vector<Polygon*>& group : groups)
        {
            if (group.empty())
            {
                Roots.push_back(None);
                continue;
            }
            // The first slot of each level of this group, and the level's size.
            std::vector<std::size_t> starts;
            std::vector<std::size_t> sizes;
            for (std::size_t size = group.size();; size = LevelAbove(size))
            {
                starts.push_back(Slots.size());
                sizes.push_back(size);
                Slots.resize(Slots.size() + size);
                if (size == 1)
                {
                    break;
                }
            }
            for (std::size_t i = 0; i < group.size(); ++i)
            {
                Slots[starts[0] + i].pPolygon = group[i];
            }
            const std::size_t top = starts.size() - 1;
            if (top > 0)
            {
                const std::size_t root =
                    AddSubtree(starts, sizes, top, 0, std::min(subtreeLevel, top));
                Tasks[root].Group = Roots.size();
            }
            Roots.push_back(starts[top]);
        }
    }

private:
    // Adds the unions of the subtree whose root is item index of level (at least 1); returns
    // the root's task.
    std::size_t AddSubtree(const std::vector<std::size_t>& starts,
                           const std::vector<std::size_t>& sizes, std::size_t level,
                           std::size_t index, std::size_t subtreeLevel)
    {
        const std::size_t begin = Tasks.size();
        const std::size_t first = index * FanIn;
        const std::size_t count = std::min(FanIn, sizes[level - 1] - first);
        std::array<std::size_t, FanIn> children{};
        if (level > 1)
        {
            for (std::size_t k = 0; k < count; ++k)
            {
                children[k] = AddSubtree(starts, sizes, level - 1, first + k, subtreeLevel);
            }
        }
        const std::size_t task = Tasks.size();
        Tasks.push_back(UnionTask{starts[level] + index, starts[level - 1] + first, count, None,
                                  level > 1 ? count : 0, None});
        if (level > 1)
        {
            for (std::size_t k = 0; k < count; ++k)
            {
                Tasks[children[k]].Parent = task;
            }
        }
        if (level == subtreeLevel)
        {
            Subtrees.push_back(Subtree{begin, task + 1});
        }
        return task;
    }
};

// Unites items [first, first + count) of a level into one item. The unions used up are given
// to the next union, which moves the rings it keeps whole out of them instead of copying
// them, and frees them at once. afterUnion, when given, is called after each union (on one
// thread: the progress follows every union).
TreeItem UniteRun(std::vector<TreeItem>& items, std::size_t first, std::size_t count,
                  std::atomic<std::int64_t>& unions, const std::function<void()>& afterUnion)
{
    if (count == 1)
    {
        return std::move(items[first]);
    }
    TreeItem united = std::move(items[first]);
    for (std::size_t k = 1; k < count; ++k)
    {
        TreeItem& next = items[first + k];
        std::unique_ptr<Polygon> made =
            Overlay::UnionTakingOver(*united.pPolygon, std::move(united.pTemporary), *next.pPolygon,
                                     std::move(next.pTemporary));
        united.pPolygon = made.get();
        united.pTemporary = std::move(made);
        unions.fetch_add(1, std::memory_order_relaxed);
        if (afterUnion)
        {
            afterUnion();
        }
    }
    return united;
}

// The unions of a plan as far as the threads made them: a group's root union is published
// by the flag its thread sets after making it.
class MadeUnions final : public UnionsSoFar
{
public:
    MadeUnions(const std::vector<std::vector<Polygon*>>& groups, const TreePlan& plan,
               const std::atomic<bool>* pMade)
        : m_groups(groups), m_plan(plan), m_pMade(pMade)
    {
    }

    bool IsMade(std::size_t group) const override
    {
        return m_groups[group].size() <= 1 || m_pMade[group].load(std::memory_order_acquire);
    }

    const Polygon* UnionOf(std::size_t group) const override
    {
        const std::size_t root = m_plan.Roots[group];
        return root == TreePlan::None ? nullptr : m_plan.Slots[root].pPolygon;
    }

private:
    const std::vector<std::vector<Polygon*>>& m_groups;
    const TreePlan& m_plan;
    const std::atomic<bool>* m_pMade;
};

} // namespace

std::vector<TreeItem> UniteGroups(const std::vector<std::vector<Polygon*>>& groups,
                                  unsigned threads, const TreeProgress& progress,
                                  const BesideUnions& beside)
{
    const bool parallel = threads > 1 && HasNodes(groups, ParallelTreeNodes);
    TreePlan plan(groups, parallel ? SubtreeLevel(groups, threads) : 1);
    std::atomic<std::int64_t> unions{0};
    std::int64_t reported = 0;
    const std::function<void()> report = [&]
    {
        const std::int64_t done = unions.load(std::memory_order_relaxed);
        if (progress && done != reported)
        {
            reported = done;
            progress(done);
        }
    };
    // Set for a group once its root union is made (groups of one polygon or none have none).
    const auto made = std::make_unique<std::atomic<bool>[]>(groups.size());
    const auto unite = [&](std::size_t t, const std::function<void()>& afterUnion)
    {
        const UnionTask& task = plan.Tasks[t];
        plan.Slots[task.Slot] =
            UniteRun(plan.Slots, task.FirstChild, task.ChildCount, unions, afterUnion);
        if (task.Group != TreePlan::None)
        {
            made[task.Group].store(true, std::memory_order_release);
        }
    };
    const MadeUnions soFar(groups, plan, made.get());
    if (!parallel || plan.Subtrees.size() <= 1)
    {
        // On one thread the progress follows every union.
        for (std::size_t t = 0; t < plan.Tasks.size(); ++t)
        {
            unite(t, report);
        }
        while (beside && beside(soFar))
        {
        }
    }
    else
    {
        // Each thread takes a run of consecutive subtrees (see Parallel::RunItems) and runs each
        // whole; the thread that makes the last child of a union above them makes that union too,
        // and so on up, while the others go on to their next subtree. No thread waits for
        // another, and a union mostly reads what its own thread made before, so its inputs
        // and the records it frees stay on one core.
        const auto pending = std::make_unique<std::atomic<std::size_t>[]>(plan.Tasks.size());
        for (std::size_t t = 0; t < plan.Tasks.size(); ++t)
        {
            pending[t].store(plan.Tasks[t].Pending, std::memory_order_relaxed);
        }
        // Set by a failed union or a stopping progress: the threads then leave their subtree.
        std::atomic<bool> stop{false};
        const auto stopping = [&] { return stop.load(std::memory_order_relaxed); };
        Parallel::RunItems(
            plan.Subtrees.size(), threads,
            [&](std::size_t s)
            {
                try
                {
                    const Subtree& subtree = plan.Subtrees[s];
                    for (std::size_t t = subtree.Begin; t < subtree.End && !stopping(); ++t)
                    {
                        unite(t, {});
                    }
                    for (std::size_t t = plan.Tasks[subtree.End - 1].Parent;
                         t != TreePlan::None && !stopping() &&
                         pending[t].fetch_sub(1, std::memory_order_acq_rel) == 1;
                         t = plan.Tasks[t].Parent)
                    {
                        unite(t, {});
                    }
                }
                catch (...)
                {
                    stop.store(true, std::memory_order_relaxed);
                    throw;
                }
            },
            [&]
            {
                try
                {
                    report();
                }
                catch (...)
                {
                    stop.store(true, std::memory_order_relaxed);
                    throw;
                }
            },
            beside ? std::function<bool()>(
                         [&]
                         {
                             try
                             {
                                 return beside(soFar);
                             }
                             catch (...)
                             {
                                 stop.store(true, std::memory_order_relaxed);
                                 throw;
                             }
                         })
                   : std::function<bool()>());
    }
    std::vector<TreeItem> results(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g)
    {
        if (plan.Roots[g] != TreePlan::None)
        {
            results[g] = std::move(plan.Slots[plan.Roots[g]]);
        }
    }
    return results;
}

} // namespace Arealis::LayerOperations
