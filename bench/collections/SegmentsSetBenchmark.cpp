// The edge index of a ring (SegmentsSet: R-tree with nominal node size 10) against the Boost
// R-tree with the linear split and 16 entries per node, over the one million edges of a ring
// that wanders randomly through a 1000 x 1000 square: inserting every edge one at a time, and
// answering 100,000 window queries (windows up to 10 x 10, about thirty edges each).

#include "Arealis/LinearEdge.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"
#include "Arealis/SegmentsSet.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <boost/iterator/function_output_iterator.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <utility>
#include <vector>

using Arealis::LinearEdge;
using Arealis::Rectangle;
using Arealis::Ring;
using Arealis::SegmentsSet;

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

namespace
{

using BoostPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using BoostBox = bg::model::box<BoostPoint>;
using BoostValue = std::pair<BoostBox, std::uint32_t>;
using BoostTree = bgi::rtree<BoostValue, bgi::linear<16>>;

constexpr std::int32_t EdgeCount = 1'000'000;
constexpr std::size_t QueryCount = 100'000;
constexpr double Extent = 1000.0;

struct EdgeData
{
    std::unique_ptr<Ring> Walk;
    std::vector<LinearEdge> Edges;
    std::vector<BoostValue> Boxes; // the same edges' bounds
    std::vector<Rectangle> Windows;
    std::vector<BoostBox> BoostWindows;
};

double Reflect(double v)
{
    return v < 0.0 ? -v : (v > Extent ? 2.0 * Extent - v : v);
}

BoostBox ToBoost(const Rectangle& r)
{
    return {BoostPoint(r.MinX, r.MinY), BoostPoint(r.MaxX, r.MaxY)};
}

const EdgeData& Data()
{
    static const EdgeData data = []
    {
        EdgeData made;
        std::mt19937_64 random(20261206);
        std::uniform_real_distribution<double> step(-1.5, 1.5);
        made.Walk = std::make_unique<Ring>(nullptr, false);
        double x = Extent / 2;
        double y = Extent / 2;
        for (std::int32_t i = 0; i < EdgeCount; ++i)
        {
            made.Walk->AddNode(x, y);
            x = Reflect(x + step(random));
            y = Reflect(y + step(random));
        }
        made.Edges.reserve(EdgeCount);
        made.Boxes.reserve(EdgeCount);
        for (std::int32_t i = 0; i < EdgeCount; ++i)
        {
            const LinearEdge edge{made.Walk.get(), i, (i + 1) % EdgeCount};
            made.Edges.push_back(edge);
            made.Boxes.emplace_back(ToBoost(edge.Bounds()), static_cast<std::uint32_t>(i));
        }
        std::uniform_real_distribution<double> centre(0.0, Extent);
        std::uniform_real_distribution<double> halfSize(0.0, 5.0);
        for (std::size_t i = 0; i < QueryCount; ++i)
        {
            const double cx = centre(random);
            const double cy = centre(random);
            const double hx = halfSize(random);
            const double hy = halfSize(random);
            made.Windows.emplace_back(cx - hx, cy - hy, cx + hx, cy + hy);
            made.BoostWindows.push_back(ToBoost(made.Windows.back()));
        }
        return made;
    }();
    return data;
}

SegmentsSet BuildSegmentsSet()
{
    SegmentsSet set;
    for (const LinearEdge& edge : Data().Edges)
    {
        set.Insert(edge);
    }
    return set;
}

void BM_SegmentsSetInsert(benchmark::State& state)
{
    const EdgeData& data = Data();
    for (auto _ : state)
    {
        auto set = std::make_unique<SegmentsSet>();
        for (const LinearEdge& edge : data.Edges)
        {
            set->Insert(edge);
        }
        benchmark::DoNotOptimize(set->Count());
        state.PauseTiming();
        set.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * EdgeCount);
}

void BM_BoostRTreeInsert(benchmark::State& state)
{
    const EdgeData& data = Data();
    for (auto _ : state)
    {
        auto tree = std::make_unique<BoostTree>();
        for (const BoostValue& value : data.Boxes)
        {
            tree->insert(value);
        }
        benchmark::DoNotOptimize(tree->size());
        state.PauseTiming();
        tree.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * EdgeCount);
}

void BM_SegmentsSetQuery(benchmark::State& state)
{
    const EdgeData& data = Data();
    const SegmentsSet set = BuildSegmentsSet();
    std::size_t found = 0;
    for (auto _ : state)
    {
        found = 0;
        for (const Rectangle& window : data.Windows)
        {
            set.VisitOverlapping(window,
                                 [&found](const LinearEdge& edge)
                                 {
                                     benchmark::DoNotOptimize(edge);
                                     ++found;
                                     return true;
                                 });
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["edges_found"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(QueryCount));
}

// The same queries through the enumerator interface (one heap enumerator per query).
void BM_SegmentsSetQueryEnumerator(benchmark::State& state)
{
    const EdgeData& data = Data();
    const SegmentsSet set = BuildSegmentsSet();
    std::size_t found = 0;
    for (auto _ : state)
    {
        found = 0;
        for (const Rectangle& window : data.Windows)
        {
            const auto edges = set.Search(window);
            while (edges->MoveNext())
            {
                benchmark::DoNotOptimize(edges->Current());
                ++found;
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["edges_found"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(QueryCount));
}

void BM_BoostRTreeQuery(benchmark::State& state)
{
    const EdgeData& data = Data();
    BoostTree tree;
    for (const BoostValue& value : data.Boxes)
    {
        tree.insert(value);
    }
    std::size_t found = 0;
    for (auto _ : state)
    {
        found = 0;
        for (const BoostBox& window : data.BoostWindows)
        {
            tree.query(bgi::intersects(window), boost::make_function_output_iterator(
                                                    [&found](const BoostValue& value)
                                                    {
                                                        benchmark::DoNotOptimize(value);
                                                        ++found;
                                                    }));
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["edges_found"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(QueryCount));
}

} // namespace

BENCHMARK(BM_SegmentsSetInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoostRTreeInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SegmentsSetQuery)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SegmentsSetQueryEnumerator)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoostRTreeQuery)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
