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

int Usage()
{
    std::cerr << "usage: bench_make_data <folder> [--max-polygons N] [--max-vertices N]\n";
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
        WriteLayerPairs(folder, limits);
        WriteStarPairs(folder, limits);
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
