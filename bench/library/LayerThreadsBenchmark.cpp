// Speed-up of the layer operations with several threads against one, on a Voronoi coverage
// against a square mesh that crosses it (both cells x cells polygons), with the split of the
// parallel run into its phases: preparing (candidate search, shared caches), the work the
// threads share, and the serial merge into the result layer. Operations that run on one thread
// whatever the setting show a speed-up near 1 and no phases.
//
// Each operation runs --runs times with one thread and with N, alternately, and the fastest
// run of each counts, which keeps other processes of a busy machine out of the ratio as far as
// possible. "merge cpu" is the CPU time of the serial merge, "serial" its share of the
// one-thread CPU time: the fraction that Amdahl's law leaves serial when projecting to more
// cores.
//
// With --pin, each run also runs the one-thread operation pinned to each core the process may
// use, one after the other, and a second line gives the fastest pinned time per core, the
// N-thread speed-up against each, against their mean, and against the time at the cores' mean
// rate (the harmonic mean): on a machine whose cores differ in speed, an unpinned one-thread
// time depends on the core it happens to land on, and N threads on unequal cores can at best
// deliver the sum of the cores' rates.
//
// With --files A.shp B.shp, the operations run on the two shapefiles instead (read as the
// command-line tool reads them, with the precision it chooses for A), and the unite unites A's
// polygons alone: layers of another shape than the generated ones, timed without the commit
// of the result layer that the tool adds.
//
//   bench_layer_threads [--threads N] [--runs R] [--only NAME,...] [--pin] CELLS...
//   bench_layer_threads [--threads N] [--runs R] [--only NAME,...] [--pin] --files A.shp B.shp
//   (default: 2 threads, 1 run, every operation, CELLS 100 and 317)

#include "Arealis/DerivedLayerOperations.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"
#include "Collections/OverallEnumerator.h"
#include "Collections/PlainArray.h"
#include "Formats/PrecisionChoice.h"
#include "Formats/VectorSource.h"
#include "Generators.h"
#include "Shapefile/Reporter.h"
#include "Shapefile/ShapefileReader.h"
#include "overlay/ParallelLayerOperations.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <functional>
#include <optional>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <utility>
#include <vector>

namespace
{

using Arealis::PolygonLayer;
using Arealis::Topology;
using Operation = std::function<PolygonLayer*(Topology&, PolygonLayer*, PolygonLayer*)>;

PolygonLayer& MakeLayer(Topology& topology, const std::vector<BenchData::PolygonRecord>& records)
{
    PolygonLayer& layer = *topology.CreatePolygonLayer(false);
    for (const BenchData::PolygonRecord& record : records)
    {
        Arealis::Polygon* polygon = layer.CreatePolygon();
        for (const BenchData::Ring& ring : record)
        {
            Arealis::Ring* added = polygon->CreateRing();
            for (const BenchData::XY& p : ring)
            {
                added->AddNode(p.X, p.Y);
            }
        }
    }
    layer.Commit();
    return layer;
}

// Every polygon of both layers (of a alone when b is null) united into one polygon of a new
// layer, in the layers' order.
PolygonLayer* Unite(Topology& topology, const PolygonLayer& a, const PolygonLayer* b)
{
    Collections::PlainArray<Arealis::Polygon*> polygons;
    for (const PolygonLayer* layer : {&a, b})
    {
        if (layer == nullptr)
        {
            continue;
        }
        Arealis::PolygonEnumerator all = layer->GetPolygons();
        while (all.MoveNext())
        {
            polygons.Append(all.Current());
        }
    }
    Collections::OverallEnumerator<Collections::PlainArray<Arealis::Polygon*>> enumeration(
        polygons);
    PolygonLayer* result = topology.CreatePolygonLayer(false);
    Arealis::Overlay::UnitePolygons(&enumeration, *result, false);
    return result;
}

// A shapefile read into a committed layer of the operands' topology, overlaps allowed, as the
// command-line tool reads its inputs.
PolygonLayer& ReadLayer(Topology& topology, const std::string& path)
{
    PolygonLayer& layer = *topology.CreatePolygonLayer(true);
    Arealis::StderrReporter reporter;
    Arealis::ReadShapefile(layer, path, reporter);
    return layer;
}

// CPU seconds of the whole process: under load, wall-clock ratios mostly show the other
// processes, while the CPU time shows the work the parallel split adds.
double ProcessCpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

struct Timed
{
    double Seconds = 0.0;
    double CpuSeconds = 0.0;
    std::int32_t Pieces = 0;
    Arealis::LayerOperations::ParallelPhases Phases;
};

Timed Run(const Operation& operation, PolygonLayer& a, PolygonLayer& b, int threads)
{
    Topology* results = Topology::Create();
    results->SetPrecision(a.GetTopology()->GetPrecision()); // the operands'
    results->SetLayerThreads(threads);
    Arealis::LayerOperations::LastParallelPhases() = {};
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    const PolygonLayer* result = operation(*results, &a, &b);
    Timed timed;
    timed.CpuSeconds = ProcessCpuSeconds() - cpuStart;
    timed.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    timed.Pieces = result->GetPolygonCount();
    timed.Phases = Arealis::LayerOperations::LastParallelPhases();
    Topology::Delete(results);
    return timed;
}

// The cores the calling thread may run on.
std::vector<int> UsableCoreIds()
{
    std::vector<int> cores;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (pthread_getaffinity_np(pthread_self(), sizeof(set), &set) == 0)
    {
        for (int core = 0; core < CPU_SETSIZE; ++core)
        {
            if (CPU_ISSET(core, &set))
            {
                cores.push_back(core);
            }
        }
    }
    return cores;
}

// Runs the operation with one thread on the given core only, as `taskset -c core` would.
Timed RunPinned(const Operation& operation, PolygonLayer& a, PolygonLayer& b, int core)
{
    cpu_set_t all;
    CPU_ZERO(&all);
    pthread_getaffinity_np(pthread_self(), sizeof(all), &all);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(core, &one);
    pthread_setaffinity_np(pthread_self(), sizeof(one), &one);
    const Timed timed = Run(operation, a, b, 1);
    pthread_setaffinity_np(pthread_self(), sizeof(all), &all);
    return timed;
}

} // namespace

int main(int argc, char** argv)
{
    int threads = 2;
    int runs = 1;
    std::vector<std::string> only;
    std::vector<int> cellCounts;
    bool pin = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "--threads" && i + 1 < argc)
        {
            threads = std::atoi(argv[++i]);
        }
        else if (argument == "--runs" && i + 1 < argc)
        {
            runs = std::max(1, std::atoi(argv[++i]));
        }
        else if (argument == "--pin")
        {
            pin = true;
        }
        else if (argument == "--files" && i + 2 < argc)
        {
            files = {argv[i + 1], argv[i + 2]};
            i += 2;
        }
        else if (argument == "--only" && i + 1 < argc)
        {
            std::string list = argv[++i];
            for (std::size_t at = 0; at <= list.size();)
            {
                const std::size_t comma = std::min(list.find(',', at), list.size());
                only.push_back(list.substr(at, comma - at));
                at = comma + 1;
            }
        }
        else if (const int cells = std::atoi(argv[i]);
                 cells > 0 && argument.find_first_not_of("0123456789") == std::string::npos)
        {
            cellCounts.push_back(cells);
        }
        else
        {
            std::fprintf(
                stderr,
                "usage: bench_layer_threads [--threads N] [--runs R] [--only OP,...] "
                "[--pin] [CELLS... | --files A.shp B.shp]\nCELLS: cells per side of the generated "
                "layers (default 100 317), not '%s'\n",
                argument.c_str());
            return 2;
        }
    }
    if (cellCounts.empty() && files.empty())
    {
        cellCounts = {100, 317};
    }
    const std::vector<int> cores = pin ? UsableCoreIds() : std::vector<int>();
    const std::vector<std::pair<std::string, Operation>> operations = {
        {"intersection",
         [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Intersection(a, b, true); }},
        {"subtract",
         [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Substract(a, b, true); }},
        {"join", [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Join(a, b, true); }},
        {"union",
         [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Union(a, b, false); }},
        {"unite", [&files](Topology& t, PolygonLayer* a, PolygonLayer* b)
         { return Unite(t, *a, files.empty() ? b : nullptr); }},
        {"identity", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
         { return Arealis::Identity(t, a, b, true); }},
        {"symmetric_difference", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
         { return Arealis::SymmetricDifference(t, a, b, true); }},
    };
    std::printf("%-21s %8s %9s %9s %8s %9s %9s %9s %9s %9s %7s\n", "operation", "polygons",
                "1 thread", (std::to_string(threads) + " thr").c_str(), "speed-up", "prepare",
                "parallel", "merge cpu", "cpu 1", "cpu N", "serial");
    // Each case: the operands' topology with its two layers.
    const auto cases = static_cast<int>(files.empty() ? cellCounts.size() : 1);
    for (int caseNumber = 0; caseNumber < cases; ++caseNumber)
    {
        Topology* operands = Topology::Create();
        PolygonLayer* pCoverage = nullptr;
        PolygonLayer* pMesh = nullptr;
        try
        {
            if (files.empty())
            {
                const int cells = cellCounts[static_cast<std::size_t>(caseNumber)];
                pCoverage = &MakeLayer(*operands, BenchData::VoronoiCoverage(cells, 1));
                pMesh = &MakeLayer(*operands, BenchData::SquareMesh(cells, 1, 0.5, 0.5));
            }
            else
            {
                const bool geographic =
                    Formats::ReadShapefileCompanions(files[0]).System.IsGeographic;
                operands->SetPrecision(Formats::PrecisionChoice{}.For(geographic));
                pCoverage = &ReadLayer(*operands, files[0]);
                pMesh = &ReadLayer(*operands, files[1]);
            }
        }
        catch (const std::exception& error)
        {
            std::fprintf(stderr, "bench_layer_threads: %s\n", error.what());
            Topology::Delete(operands);
            return 2;
        }
        PolygonLayer& coverage = *pCoverage;
        PolygonLayer& mesh = *pMesh;
        for (const auto& [name, operation] : operations)
        {
            if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end())
            {
                continue;
            }
            Timed one;
            Timed many;
            std::vector<double> pinned(cores.size(), 0.0); // fastest per core
            for (int run = 0; run < runs; ++run)
            {
                for (std::size_t c = 0; c < cores.size(); ++c)
                {
                    const double seconds = RunPinned(operation, coverage, mesh, cores[c]).Seconds;
                    pinned[c] = run == 0 ? seconds : std::min(pinned[c], seconds);
                }
                const Timed oneRun = Run(operation, coverage, mesh, 1);
                const Timed manyRun = Run(operation, coverage, mesh, threads);
                if (oneRun.Pieces != manyRun.Pieces)
                {
                    std::fprintf(stderr, "%s: %d pieces with one thread, %d with %d\n",
                                 name.c_str(), oneRun.Pieces, manyRun.Pieces, threads);
                    return 1;
                }
                if (run == 0 || oneRun.Seconds < one.Seconds)
                {
                    one = oneRun;
                }
                if (run == 0 || manyRun.Seconds < many.Seconds)
                {
                    many = manyRun;
                }
            }
            std::printf(
                "%-21s %8d %8.3fs %8.3fs %7.2fx %8.3fs %8.3fs %8.3fs %8.3fs %8.3fs %6.1f%%\n",
                name.c_str(), coverage.GetPolygonCount(), one.Seconds, many.Seconds,
                one.Seconds / many.Seconds, many.Phases.Prepare, many.Phases.Work,
                many.Phases.Merge, one.CpuSeconds, many.CpuSeconds,
                100.0 * many.Phases.Merge / std::max(one.CpuSeconds, 1e-9));
            if (!cores.empty())
            {
                double sum = 0.0;
                double rates = 0.0;
                std::printf("  pinned 1 thread:");
                for (std::size_t c = 0; c < cores.size(); ++c)
                {
                    std::printf(" cpu%d %.3fs (%.2fx)", cores[c], pinned[c],
                                pinned[c] / many.Seconds);
                    sum += pinned[c];
                    rates += 1.0 / std::max(pinned[c], 1e-9);
                }
                const double count = static_cast<double>(cores.size());
                const double mean = sum / count;
                // The one-thread time on a core of the cores' mean speed: the reference for N
                // threads spread over cores of unequal speed (N cores working at once deliver
                // the sum of their rates).
                const double atMeanRate = count / rates;
                std::printf(", mean %.3fs (%.2fx), at the mean rate %.3fs (%.2fx)\n", mean,
                            mean / many.Seconds, atMeanRate, atMeanRate / many.Seconds);
            }
            std::fflush(stdout);
        }
        Topology::Delete(operands);
    }
    return 0;
}
