#include "overlay/UnionTree.h"

#include "Arealis/Overlay.h"
#include "support/ParallelWork.h"

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
// A level whose polygons have fewer nodes than this runs on the calling thread: starting
// threads would cost more than its unions (a unite of a few small polygons, called once per
// group of a dissolve).
constexpr std::int64_t ParallelLevelNodes = 4096;

std::int64_t NodesOf(const std::vector<std::vector<TreeItem>>& levels)
{
    std::int64_t nodes = 0;
    for (const std::vector<TreeItem>& items : levels)
    {
        for (const TreeItem& item : items)
        {
            nodes += item.pPolygon->GetNodeCount();
        }
    }
    return nodes;
}

// Unites items [first, first + count) of a level into one item; the unions used up are freed
// at once, so that a level holds at most its inputs and outputs. afterUnion, when given, is
// called after each union (on one thread: the progress follows every union).
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
    std::vector<std::vector<TreeItem>> levels(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g)
    {
        levels[g].reserve(groups[g].size());
        for (Polygon* pPolygon : groups[g])
        {
            levels[g].push_back(TreeItem{pPolygon, nullptr});
        }
    }
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
    // A task: a run of up to three items of one group's level.
    struct Task
    {
        std::size_t Group;
        std::size_t First;
        std::size_t Count;
    };
    std::vector<Task> tasks;
    for (;;)
    {
        tasks.clear();
        for (std::size_t g = 0; g < levels.size(); ++g)
        {
            const std::size_t size = levels[g].size();
            for (std::size_t i = 0; size > 1 && i < size; i += FanIn)
            {
                tasks.push_back(Task{g, i, std::min(FanIn, size - i)});
            }
        }
        if (tasks.empty())
        {
            break;
        }
        std::vector<TreeItem> united(tasks.size());
        const unsigned levelThreads =
            threads > 1 && NodesOf(levels) >= ParallelLevelNodes ? threads : 1;
        // On one thread the progress follows every union.
        const std::function<void()> afterUnion =
            levelThreads <= 1 ? report : std::function<void()>();
        RunItems(
            tasks.size(), levelThreads,
            [&](std::size_t k)
            {
                const Task& task = tasks[k];
                united[k] = UniteRun(levels[task.Group], task.First, task.Count, unions,
                                     afterUnion);
            },
            report);
        // The next level of each group: its tasks' unions, in order.
        std::size_t k = 0;
        for (std::size_t g = 0; g < levels.size(); ++g)
        {
            if (levels[g].size() > 1)
            {
                std::vector<TreeItem> next;
                next.reserve((levels[g].size() + FanIn - 1) / FanIn);
                for (; k < tasks.size() && tasks[k].Group == g; ++k)
                {
                    next.push_back(std::move(united[k]));
                }
                levels[g] = std::move(next);
            }
        }
    }
    std::vector<TreeItem> results(groups.size());
    for (std::size_t g = 0; g < levels.size(); ++g)
    {
        if (!levels[g].empty())
        {
            results[g] = std::move(levels[g].front());
        }
    }
    return results;
}

} // namespace Arealis::LayerOperations
