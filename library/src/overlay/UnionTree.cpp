#include "overlay/UnionTree.h"

#include "Arealis/Overlay.h"
#include "support/ParallelWork.h"

#include <algorithm>
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
// A tree whose polygons have fewer nodes than this runs on the calling thread: starting
// threads would cost more than its unions (a unite of a few small polygons, called once per
// group of a dissolve).
constexpr std::int64_t ParallelTreeNodes = 4096;

std::int64_t NodesOf(const std::vector<std::vector<Polygon*>>& groups)
{
    std::int64_t nodes = 0;
    for (const std::vector<Polygon*>& group : groups)
    {
        for (const Polygon* pPolygon : group)
        {
            nodes += pPolygon->GetNodeCount();
        }
    }
    return nodes;
}

// A union of the tree: the item at Slot made of the items at [FirstChild, FirstChild +
// ChildCount) of the level below (one child is passed on as it is).
struct UnionTask
{
    std::size_t Slot;
    std::size_t FirstChild;
    std::size_t ChildCount;
};

// Every position of every group's tree, level by level, and the unions that fill them in
// post-order: a union comes right after the unions of its subtree. Run in that order, only
// the unions along the path to the present one are alive; level by level, the whole level
// below would be (for adjacent polygons, about every input node again).
struct TreePlan
{
    std::vector<TreeItem> Slots;
    std::vector<UnionTask> Tasks;
    // Each group's root slot; None for an empty group.
    std::vector<std::size_t> Roots;

    static constexpr std::size_t None = static_cast<std::size_t>(-1);

    explicit TreePlan(const std::vector<std::vector<Polygon*>>& groups)
    {
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
            for (std::size_t size = group.size();; size = (size + FanIn - 1) / FanIn)
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
            AddSubtree(starts, sizes, top, 0);
            Roots.push_back(starts[top]);
        }
    }

private:
    void AddSubtree(const std::vector<std::size_t>& starts, const std::vector<std::size_t>& sizes,
                    std::size_t level, std::size_t index)
    {
        if (level == 0)
        {
            return;
        }
        const std::size_t first = index * FanIn;
        const std::size_t count = std::min(FanIn, sizes[level - 1] - first);
        for (std::size_t k = 0; k < count; ++k)
        {
            AddSubtree(starts, sizes, level - 1, first + k);
        }
        Tasks.push_back(UnionTask{starts[level] + index, starts[level - 1] + first, count});
    }
};

// Unites items [first, first + count) of a level into one item; the unions used up are freed
// at once. afterUnion, when given, is called after each union (on one thread: the progress
// follows every union).
TreeItem UniteRun(std::vector<TreeItem>& items, std::size_t first, std::size_t count,
                  std::atomic<std::int64_t>& unions, const std::function<void()>& afterUnion)
{
    if (count == 1)
    {
        return std::move(items[first]);
    }
    std::unique_ptr<Polygon> united =
        Overlay::Union(*items[first].pPolygon, *items[first + 1].pPolygon);
    unions.fetch_add(1, std::memory_order_relaxed);
    if (afterUnion)
    {
        afterUnion();
    }
    items[first].pTemporary.reset();
    items[first + 1].pTemporary.reset();
    for (std::size_t k = 2; k < count; ++k)
    {
        united = Overlay::Union(*united, *items[first + k].pPolygon);
        unions.fetch_add(1, std::memory_order_relaxed);
        if (afterUnion)
        {
            afterUnion();
        }
        items[first + k].pTemporary.reset();
    }
    TreeItem item;
    item.pPolygon = united.get();
    item.pTemporary = std::move(united);
    return item;
}

} // namespace

void RunItems(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& task,
              const std::function<void()>& report)
{
    if (threads <= 1 || count <= 1)
    {
        for (std::size_t k = 0; k < count; ++k)
        {
            task(k);
            if (report)
            {
                report();
            }
        }
        return;
    }
    const std::exception_ptr failure = Parallel::ForEach(count, threads, task, report);
    if (failure != nullptr)
    {
        std::rethrow_exception(failure);
    }
}

std::vector<TreeItem> UniteGroups(const std::vector<std::vector<Polygon*>>& groups,
                                  unsigned threads, const TreeProgress& progress)
{
    TreePlan plan(groups);
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
    const std::size_t taskCount = plan.Tasks.size();
    if (threads <= 1 || taskCount <= 1 || NodesOf(groups) < ParallelTreeNodes)
    {
        // On one thread the progress follows every union.
        for (const UnionTask& task : plan.Tasks)
        {
            plan.Slots[task.Slot] =
                UniteRun(plan.Slots, task.FirstChild, task.ChildCount, unions, report);
        }
    }
    else
    {
        // Threads take the unions in post-order, so a union's children were taken before it:
        // it waits for those still running, and every wait ends. A failed union marks its
        // slot done all the same, and the unions above it then do nothing.
        // Whether each slot holds its item: the inputs from the start, the unions once made.
        const auto done = std::make_unique<std::atomic<bool>[]>(plan.Slots.size());
        for (std::size_t slot = 0; slot < plan.Slots.size(); ++slot)
        {
            done[slot].store(true, std::memory_order_relaxed);
        }
        for (const UnionTask& task : plan.Tasks)
        {
            done[task.Slot].store(false, std::memory_order_relaxed);
        }
        std::atomic<bool> failed{false};
        const auto finish = [&](std::size_t slot)
        {
            done[slot].store(true, std::memory_order_release);
            done[slot].notify_all();
        };
        RunItems(
            taskCount, threads,
            [&](std::size_t k)
            {
                const UnionTask& task = plan.Tasks[k];
                try
                {
                    for (std::size_t c = task.FirstChild; c < task.FirstChild + task.ChildCount;
                         ++c)
                    {
                        done[c].wait(false, std::memory_order_acquire);
                    }
                    if (!failed.load(std::memory_order_acquire))
                    {
                        plan.Slots[task.Slot] =
                            UniteRun(plan.Slots, task.FirstChild, task.ChildCount, unions, {});
                    }
                }
                catch (...)
                {
                    failed.store(true, std::memory_order_release);
                    finish(task.Slot);
                    throw;
                }
                finish(task.Slot);
            },
            report);
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
