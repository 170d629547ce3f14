// The node index of a topology (NodesPtrSet, 60/150 entries per node) against std::set over
// the same one million random points: building the index one point at a time, and finding
// every point again in shuffled order. Besides, the merge of sorted runs into an index that
// holds scattered records already (InsertAscending, as a layer's node lookups in index order
// do it), with runs of the given length.

#include "Arealis/Node.h"
#include "Arealis/NodesPtrSet.h"
#include "Arealis/Point.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstddef>
#include <memory>
#include <random>
#include <set>
#include <span>
#include <vector>

using Arealis::Node;
using Arealis::NodesPtrSet;
using Arealis::Point;

namespace
{

constexpr std::size_t PointCount = 1'000'000;

struct PointData
{
    std::vector<Node> Nodes;    // in insertion order
    std::vector<Point> Lookups; // the same points, shuffled
};

PointData& Data()
{
    static PointData data = []
    {
        PointData made;
        std::mt19937_64 random(20261206);
        std::uniform_real_distribution<double> coordinate(0.0, 100'000.0);
        made.Nodes.reserve(PointCount);
        made.Lookups.reserve(PointCount);
        for (std::size_t i = 0; i < PointCount; ++i)
        {
            Node node;
            node.Position = Point{coordinate(random), coordinate(random)};
            made.Nodes.push_back(node);
            made.Lookups.push_back(node.Position);
        }
        std::shuffle(made.Lookups.begin(), made.Lookups.end(), random);
        return made;
    }();
    return data;
}

void BM_NodesPtrSetInsert(benchmark::State& state)
{
    PointData& data = Data();
    for (auto _ : state)
    {
        auto set = std::make_unique<NodesPtrSet>();
        for (Node& node : data.Nodes)
        {
            set->Insert(&node);
        }
        benchmark::DoNotOptimize(set->Count());
        state.PauseTiming();
        set.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(PointCount));
}

void BM_StdSetInsert(benchmark::State& state)
{
    const PointData& data = Data();
    for (auto _ : state)
    {
        auto set = std::make_unique<std::set<Point>>();
        for (const Node& node : data.Nodes)
        {
            set->insert(node.Position);
        }
        benchmark::DoNotOptimize(set->size());
        state.PauseTiming();
        set.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(PointCount));
}

void BM_NodesPtrSetFind(benchmark::State& state)
{
    PointData& data = Data();
    NodesPtrSet set;
    for (Node& node : data.Nodes)
    {
        set.Insert(&node);
    }
    for (auto _ : state)
    {
        std::size_t found = 0;
        for (const Point& point : data.Lookups)
        {
            Node* node = nullptr;
            found += set.Find(point, &node) ? 1 : 0;
            benchmark::DoNotOptimize(node);
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(PointCount));
}

void BM_StdSetFind(benchmark::State& state)
{
    const PointData& data = Data();
    const std::set<Point> set(data.Lookups.begin(), data.Lookups.end());
    for (auto _ : state)
    {
        std::size_t found = 0;
        for (const Point& point : data.Lookups)
        {
            const auto it = set.find(point);
            found += it != set.end() ? 1 : 0;
            benchmark::DoNotOptimize(it);
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(PointCount));
}

// The first half of the points inserted one by one, then the second half merged in sorted
// runs of state.range(0) points: only the merges are timed.
void BM_NodesPtrSetMergeRuns(benchmark::State& state)
{
    PointData& data = Data();
    const auto runLength = static_cast<std::size_t>(state.range(0));
    const std::size_t half = PointCount / 2;
    std::vector<std::vector<Node*>> runs;
    std::vector<std::vector<Point>> keys;
    for (std::size_t start = half; start < PointCount; start += runLength)
    {
        std::vector<Node*>& run = runs.emplace_back();
        for (std::size_t i = start; i < std::min(PointCount, start + runLength); ++i)
        {
            run.push_back(&data.Nodes[i]);
        }
        std::sort(run.begin(), run.end(),
                  [](const Node* a, const Node* b) { return a->Position < b->Position; });
        std::vector<Point>& runKeys = keys.emplace_back();
        for (const Node* node : run)
        {
            runKeys.push_back(node->Position);
        }
    }
    for (auto _ : state)
    {
        state.PauseTiming();
        auto set = std::make_unique<NodesPtrSet>();
        for (std::size_t i = 0; i < half; ++i)
        {
            set->Insert(&data.Nodes[i]);
        }
        state.ResumeTiming();
        for (std::size_t r = 0; r < runs.size(); ++r)
        {
            std::size_t dealtWith = 0;
            set->InsertAscending(
                std::span<const Point>(keys[r]), std::span<Node* const>(runs[r]),
                [](std::size_t, Node*) {}, dealtWith);
        }
        benchmark::DoNotOptimize(set->Count());
        state.PauseTiming();
        set.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(PointCount - half));
}

} // namespace

BENCHMARK(BM_NodesPtrSetMergeRuns)->Arg(1500)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodesPtrSetInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSetInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodesPtrSetFind)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSetFind)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
