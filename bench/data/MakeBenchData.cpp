// Writes the benchmark layers as polygon shapefiles into a folder. The output depends only on
// the program, never on the time or the machine, so the same files come out everywhere.
//
//   bench_make_data <folder> [--max-polygons N] [--max-vertices N]
//
// Files (sizes up to the limits, by default all):
//   coverage_<n>.shp, mesh_<n>.shp      Voronoi cells of a jittered grid and a square mesh of
//                                        the same cell size shifted by (0.37, 0.61) cells, for
//                                        n = 1000, 10000 and 100000 (about n polygons each)
//   shared_coverage_10000.shp,           the 10000-cell coverage cut along the lines of an
//   shared_mesh_10000.shp                unshifted mesh of squares of two cells, and that mesh
//   star_a_<n>.shp, star_b_<n>.shp      two wavy stars of n vertices that cross n / 10 times,
//                                        for n = 10000, 100000 and 1000000
// and the classes of other shapes (--classes-only writes these alone):
//   countries_256.shp, countries_mesh_1024.shp   256 cells of a coverage with rough borders
//                                        (10,000+ vertices each) and 32 x 32 squares across them
//   spiky_a_<c>.shp, spiky_b_<c>.shp     two stars of 5,000 thin spikes (10,000 vertices) whose
//                                        spikes cross about c = 10^4, 10^5 and 10^6 times
//                                        (inner radius 5,000, outer 10,000)
//   small_100000.shp, large_1.shp        99,856 small polygons apart from each other and one
//                                        wavy polygon of 100,000 vertices over half of them
//   slivers_a_10000.shp, slivers_b_10000.shp   a coverage and the same coverage moved by up to
//                                        0.003: slivers along every shared edge
#include "Generators.h"
#include "ShapefileWriter.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace
{

struct Limits
{
    std::int64_t MaxPolygons = 100000;
    std::int64_t MaxVertices = 1000000;
    bool ClassesOnly = false;
};

std::int64_t VertexCount(const std::vector<BenchData::PolygonRecord>& records)
{
    std::int64_t count = 0;
    for (const BenchData::PolygonRecord& record : records)
    {
        for (const BenchData::Ring& ring : record)
        {
            count += static_cast<std::int64_t>(ring.size());
        }
    }
    return count;
}

void Write(const std::filesystem::path& folder, const std::string& name,
           const std::vector<BenchData::PolygonRecord>& records)
{
    const std::filesystem::path path = folder / (name + ".shp");
    BenchData::WritePolygonShapefile(path.string(), records);
    std::cout << path.string() << ": " << records.size() << " polygons, " << VertexCount(records)
              << " vertices\n";
}

// Grid sides whose square is about the requested number of polygons.
std::int32_t GridSide(std::int64_t polygons)
{
    return static_cast<std::int32_t>(std::lround(std::sqrt(static_cast<double>(polygons))));
}

void WriteLayerPairs(const std::filesystem::path& folder, const Limits& limits)
{
    for (const std::int64_t polygons : {1000, 10000, 100000})
    {
        if (polygons > limits.MaxPolygons)
        {
            continue;
        }
        const std::int32_t side = GridSide(polygons);
        const auto seed = static_cast<std::uint64_t>(polygons);
        Write(folder, "coverage_" + std::to_string(polygons),
              BenchData::VoronoiCoverage(side, seed));
        Write(folder, "mesh_" + std::to_string(polygons),
              BenchData::SquareMesh(side, 1, 0.37, 0.61));
    }
    constexpr std::int64_t sharedPolygons = 10000;
    if (sharedPolygons <= limits.MaxPolygons)
    {
        const std::int32_t side = GridSide(sharedPolygons);
        constexpr std::int32_t step = 2;
        Write(folder, "shared_coverage_10000", BenchData::CutCoverage(side, step, sharedPolygons));
        Write(folder, "shared_mesh_10000", BenchData::SquareMesh(side, step, 0.0, 0.0));
    }
}

void WriteStarPairs(const std::filesystem::path& folder, const Limits& limits)
{
    for (const std::int32_t vertices : {10000, 100000, 1000000})
    {
        if (vertices > limits.MaxVertices)
        {
            continue;
        }
        // The radius grows with the vertex count so that edges keep a length of about 6 and
        // the waves a height of 20: the boundaries cross at wide angles, far from the
        // other polygon's vertices.
        const double radius = vertices;
        const std::int32_t waves = vertices / 20;
        const double amplitude = 20.0 / radius;
        constexpr double phaseA = 0.0;
        constexpr double phaseB = 3.141592653589793 + 0.7;
        constexpr double offsetB = 0.37;
        Write(folder, "star_a_" + std::to_string(vertices),
              {BenchData::WavyStar(vertices, waves, radius, amplitude, phaseA, 0.0)});
        Write(folder, "star_b_" + std::to_string(vertices),
              {BenchData::WavyStar(vertices, waves, radius, amplitude, phaseB, offsetB)});
    }
}

void WriteSpikyPairs(const std::filesystem::path& folder)
{
    constexpr std::int32_t spikes = 5000;
    constexpr double inner = 5000.0;
    constexpr double outer = 10000.0;
    // The distance between the centres sets how many spikes of the other star each spike
    // sweeps over; at 0 they cross only where the turned spikes meet their neighbours.
    struct Pair
    {
        const char* Name;
        double Distance;
    };
    for (const Pair& pair : {Pair{"10000", 0.0}, Pair{"100000", 101.0}, Pair{"1000000", 1118.0}})
    {
        const double angle = 0.3;
        const BenchData::XY centreB{pair.Distance * std::cos(angle),
                                    pair.Distance * std::sin(angle)};
        const BenchData::PolygonRecord a =
            BenchData::SpikyStar(spikes, inner, outer, {0.0, 0.0}, 0.0);
        const BenchData::PolygonRecord b =
            BenchData::SpikyStar(spikes, inner, outer, centreB, 0.37);
        Write(folder, std::string("spiky_a_") + pair.Name, {a});
        Write(folder, std::string("spiky_b_") + pair.Name, {b});
        const BenchData::XY middle{centreB.X / 2, centreB.Y / 2};
        std::cout << "  boundaries cross " << BenchData::CountCrossings(a[0], b[0], middle)
                  << " times\n";
    }
}

void WriteOtherClasses(const std::filesystem::path& folder)
{
    // 16 x 16 cells of 100 with a vertex about every 0.03 along their borders.
    Write(folder, "countries_256", BenchData::RoughCoverage(16, 256, 0.03));
    Write(folder, "countries_mesh_1024", BenchData::SquareGrid(32, 50.0, 18.5, 30.5));
    WriteSpikyPairs(folder);
    constexpr std::int32_t side = 316;
    Write(folder, "small_100000", BenchData::ScatteredSmallPolygons(side, 99856));
    // Waves of height 20 on a circle through the middle of the small polygons' box.
    const double middle = side * BenchData::CellSize / 2;
    const double radius = 0.9 * middle;
    Write(folder, "large_1",
          {BenchData::Translated(BenchData::WavyStar(100000, 5000, radius, 20.0 / radius, 0.0, 0.0),
                                 middle, middle)});
    const std::vector<BenchData::PolygonRecord> coverage = BenchData::VoronoiCoverage(100, 10001);
    Write(folder, "slivers_a_10000", coverage);
    Write(folder, "slivers_b_10000", BenchData::Displaced(coverage, 0.003));
}

int Usage()
{
    std::cerr << "usage: bench_make_data <folder> [--max-polygons N] [--max-vertices N] "
                 "[--classes-only]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        return Usage();
    }
    Limits limits;
    std::filesystem::path folder;
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if ((argument == "--max-polygons" || argument == "--max-vertices") && i + 1 < argc)
        {
            const std::int64_t value = std::stoll(argv[++i]);
            (argument == "--max-polygons" ? limits.MaxPolygons : limits.MaxVertices) = value;
        }
        else if (argument == "--classes-only")
        {
            limits.ClassesOnly = true;
        }
        else if (!argument.empty() && argument[0] != '-' && folder.empty())
        {
            folder = argument;
        }
        else
        {
            return Usage();
        }
    }
    try
    {
        std::filesystem::create_directories(folder);
        const auto start = std::chrono::steady_clock::now();
        if (!limits.ClassesOnly)
        {
            WriteLayerPairs(folder, limits);
            WriteStarPairs(folder, limits);
        }
        WriteOtherClasses(folder);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::cout << "done in " << took.count() << " s\n";
    }
    catch (const std::exception& e)
    {
        std::cerr << "bench_make_data: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
