// The sweep line's intersection search on the rings of the benchmark's wavy stars: two stars
// of n vertices whose boundaries cross n / 10 times (the search behind an overlay of a
// polygon pair), and one star against itself (the search behind a ring's validation).

#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>

using namespace Arealis;

namespace
{

// Radius n, n / 20 waves of height 20, edges of about 6: the stars of bench_make_data.
std::unique_ptr<Ring> WavyStar(std::int32_t n, double phase, double sampleOffset)
{
    const double radius = n;
    const auto waves = static_cast<double>(n / 20);
    const double amplitude = 20.0 / radius;
    auto ring = std::make_unique<Ring>(nullptr, false);
    const double step = 2.0 * std::numbers::pi / n;
    for (std::int32_t i = 0; i < n; ++i)
    {
        const double t = -(i + sampleOffset) * step;
        const double r = radius * (1.0 + amplitude * std::sin(waves * t + phase));
        ring->AddNode(r * std::cos(t), r * std::sin(t));
    }
    return ring;
}

EdgeList EdgesOf(const Ring& ring)
{
    EdgeList edges;
    edges.Reserve(ring.Count());
    for (std::int32_t i = 0; i < ring.Count(); ++i)
    {
        edges.Append(LinearEdge{const_cast<Ring*>(&ring), i, (i + 1) % ring.Count()});
    }
    return edges;
}

void BM_SweepTwoStars(benchmark::State& state)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    const auto a = WavyStar(n, 0.0, 0.0);
    const auto b = WavyStar(n, std::numbers::pi + 0.7, 0.37);
    const EdgeList first = EdgesOf(*a);
    const EdgeList second = EdgesOf(*b);
    for (auto _ : state)
    {
        IntersectionList result;
        SweepLineIntersectionAlgorithm::Instance().FindIntersections(first, second, result, false);
        benchmark::DoNotOptimize(result.Count());
    }
}

void BM_SweepOneStarAgainstItself(benchmark::State& state)
{
    const auto ring = WavyStar(static_cast<std::int32_t>(state.range(0)), 0.0, 0.0);
    const EdgeList edges = EdgesOf(*ring);
    for (auto _ : state)
    {
        IntersectionList result;
        SweepLineIntersectionAlgorithm::Instance().FindIntersections(edges, edges, result, false);
        benchmark::DoNotOptimize(result.Count());
    }
}

} // namespace

BENCHMARK(BM_SweepTwoStars)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SweepOneStarAgainstItself)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
