// bench_output_writers A.shp B.shp FOLDER [RUNS [THREADS]]: intersects the layers, then writes the
// result as GeoJSON (with the inputs' attributes) and as WKT into FOLDER on THREADS threads (1
// unless given; 0 for every core) and writes the same bytes again with one fwrite, the floor
// any writer can reach (wall clock and CPU time of each, the CPU time of all threads); then times
// the hole assignment of polygons of growing numbers of exterior rings, each with a hole,
// against the enumeration by exterior ring that the writers used before. Each writer runs RUNS
// times (5 unless given) and the fastest run counts; GDAL's GeoJSON writer is timed on the same
// features for comparison.

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Formats/PolygonParts.h"
#include "Formats/VectorWriter.h"
#include "InputLayer.h"
#include "Operations.h"
#include "OutputWriters.h"
#include "ResultAttributes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

using namespace ArealisCli;
using Clock = std::chrono::steady_clock;

namespace
{

double SecondsOf(const std::function<void()>& work)
{
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The process's CPU time for work: on a shared machine steadier than the wall clock.
double CpuSecondsOf(const std::function<void()>& work)
{
    const std::clock_t start = std::clock();
    work();
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// Writes with the writer and then the same bytes with one fwrite, runs times each, and reports
// the fastest run of each (a loaded machine only ever adds time).
void CompareWithFwrite(const std::string& name, const std::filesystem::path& file, int runs,
                       const std::function<void(std::ostream&)>& write)
{
    double writer = 1e300;
    double writerCpu = 1e300;
    for (int run = 0; run < runs; ++run)
    {
        double wall = 0;
        writerCpu = std::min(
            writerCpu, CpuSecondsOf(
                           [&]
                           {
                               wall = SecondsOf(
                                   [&]
                                   {
                                       std::ofstream out(file, std::ios::trunc | std::ios::binary);
                                       write(out);
                                   });
                           }));
        writer = std::min(writer, wall);
    }
    std::ifstream in(file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string bytes = buffer.str();
    double floor = 1e300;
    double floorCpu = 1e300;
    for (int run = 0; run < runs; ++run)
    {
        double wall = 0;
        floorCpu = std::min(floorCpu,
                            CpuSecondsOf(
                                [&]
                                {
                                    wall = SecondsOf(
                                        [&]
                                        {
                                            std::FILE* out =
                                                std::fopen((file.string() + ".copy").c_str(), "wb");
                                            std::fwrite(bytes.data(), 1, bytes.size(), out);
                                            std::fclose(out);
                                        });
                                }));
        floor = std::min(floor, wall);
    }
    const double megabytes = static_cast<double>(bytes.size()) / 1e6;
    std::printf("%-8s %9.1f MB  writer %7.3f s (%6.0f MB/s), CPU %7.3f s (%6.0f MB/s)  "
                "fwrite %7.3f s (%6.0f MB/s), CPU %7.3f s  ratio %.2f (CPU %.2f)\n",
                name.c_str(), megabytes, writer, megabytes / writer, writerCpu,
                megabytes / writerCpu, floor, megabytes / floor, floorCpu, writer / floor,
                writerCpu / floorCpu);
}

// A polygon of count exterior squares in a row, each with a square hole.
Arealis::Polygon* RowOfSquaresWithHoles(Arealis::PolygonLayer& layer, int count)
{
    Arealis::Polygon* polygon = layer.CreatePolygon();
    for (int i = 0; i < count; ++i)
    {
        const double x = 3.0 * i;
        // Exterior clockwise, hole counter-clockwise, as the library keeps them.
        const std::vector<Arealis::Point> outer{{x, 0}, {x, 2}, {x + 2, 2}, {x + 2, 0}};
        const std::vector<Arealis::Point> inner{
            {x + 0.5, 0.5}, {x + 1.5, 0.5}, {x + 1.5, 1.5}, {x + 0.5, 1.5}};
        polygon->CreateRing()->AddNodes(outer);
        polygon->CreateRing()->AddNodes(inner);
    }
    polygon->Organise();
    return polygon;
}

std::size_t ByExteriorLookup(Arealis::Polygon& polygon)
{
    std::size_t rings = 0;
    Arealis::RingEnumerator exteriors = polygon.GetRings(Arealis::RingEnumerator::ExteriorRings);
    while (exteriors.MoveNext())
    {
        ++rings;
        Arealis::RingEnumerator holes = polygon.GetInteriorRings(exteriors.Current());
        while (holes.MoveNext())
        {
            ++rings;
        }
    }
    return rings;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 6)
    {
        std::cerr << "usage: bench_output_writers A.shp B.shp FOLDER [RUNS [THREADS]]\n";
        return 2;
    }
    const int runs = argc >= 5 ? std::max(1, std::atoi(argv[4])) : 5;
    const int threads = argc == 6 ? std::max(0, std::atoi(argv[5])) : 1;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::filesystem::path folder(argv[3]);
    std::filesystem::create_directories(folder);
    InputLayer a(argv[1], "A", true);
    InputLayer b(argv[2], "B", true);
    const OperationResult result = RunLayerOperation(Operation::Intersection, a, b);
    const ResultAttributes attributes(Operation::Intersection, {&a, &b});
    const std::vector<Arealis::Polygon*> polygons = AllPolygons(*result.Layer);
    std::printf("%zu result polygons, written on %d threads (0: every core)\n", polygons.size(),
                threads);
    CompareWithFwrite("geojson", folder / "result.geojson", runs,
                      [&](std::ostream& out)
                      {
                          // As the tool writes: the parents' records found for the list.
                          WriteGeoJson(out, polygons, attributes.Columns(),
                                       attributes.ListLookup(*result.Layer, polygons), threads);
                      });
    CompareWithFwrite("wkt", folder / "result.wkt", runs,
                      [&](std::ostream& out) { WriteWkt(out, polygons, threads); });
    // GDAL's own GeoJSON writer on the same features with the same columns (what -o x.geojson
    // would cost through the layer-file path), fastest of the runs.
    double gdalWall = 1e300;
    double gdalCpu = 1e300;
    for (int run = 0; run < runs; ++run)
    {
        const std::filesystem::path gdalFile = folder / "gdal.geojson";
        std::filesystem::remove(gdalFile);
        double wall = 0;
        gdalCpu = std::min(
            gdalCpu, CpuSecondsOf(
                         [&]
                         {
                             wall = SecondsOf(
                                 [&]
                                 {
                                     Formats::VectorWriter writer(
                                         {gdalFile.string(), {}, Formats::FileFormat::GeoJson},
                                         attributes.Columns(), a.System(), true);
                                     FeatureProperties properties;
                                     for (Arealis::Polygon* polygon : polygons)
                                     {
                                         attributes.PropertiesOf(*result.Layer, polygon,
                                                                 properties);
                                         writer.Write(*polygon, properties.Values);
                                     }
                                     writer.Commit();
                                 });
                         }));
        gdalWall = std::min(gdalWall, wall);
    }
    const double gdalMegabytes =
        static_cast<double>(std::filesystem::file_size(folder / "gdal.geojson")) / 1e6;
    std::printf("GDAL's GeoJSON writer: %.1f MB in %.3f s, CPU %.3f s (%.0f MB/s)\n", gdalMegabytes,
                gdalWall, gdalCpu, gdalMegabytes / gdalCpu);

    std::size_t points = 0;
    double checksum = 0.0; // every point read, as a writer reads them
    const double gathering = SecondsOf(
        [&]
        {
            Formats::PolygonParts parts;
            for (Arealis::Polygon* polygon : polygons)
            {
                parts.Gather(*polygon);
                for (std::size_t p = 0; p < parts.Count(); ++p)
                    for (const auto& ring : parts[p])
                    {
                        points += ring.size();
                        for (std::size_t i = 0; i < ring.size(); ++i)
                            checksum += ring[i].X;
                    }
            }
        });
    std::printf("rings of every polygon gathered and read (no formatting): %.3f s, %zu points "
                "(x sum %g)\n",
                gathering, points, checksum);
    std::size_t parents = 0;
    const double looking = SecondsOf(
        [&]
        {
            FeatureProperties properties;
            const PropertiesLookup propertiesOf = attributes.ListLookup(*result.Layer, polygons);
            for (std::size_t i = 0; i < polygons.size(); ++i)
            {
                propertiesOf(i, polygons[i], properties);
                parents += properties.Parents.size();
            }
        });
    std::printf("properties of every polygon looked up (no formatting): %.3f s, %zu parents\n",
                looking, parents);

    std::printf("\nexterior rings  hole assignment  by-exterior lookup\n");
    for (const int count : {1000, 2000, 4000})
    {
        TopologyPtr topology = CreateTopology();
        Arealis::PolygonLayer* layer = topology->CreatePolygonLayer(true);
        Arealis::Polygon* polygon = nullptr;
        const double organise = SecondsOf([&] { polygon = RowOfSquaresWithHoles(*layer, count); });
        std::size_t parts = 0;
        const double linear = SecondsOf(
            [&]
            {
                Formats::PolygonParts gathered;
                gathered.Gather(*polygon);
                parts = gathered.Count();
            });
        std::size_t rings = 0;
        const double lookup = SecondsOf([&] { rings = ByExteriorLookup(*polygon); });
        std::printf("%14d  %13.4f s  %16.4f s  (%zu parts, %zu rings; made and organised in "
                    "%.3f s)\n",
                    count, linear, lookup, parts, rings, organise);
    }
    return 0;
}
