// bench_output_writers A.shp B.shp FOLDER: intersects the layers, then writes the result as
// GeoJSON (with the inputs' attributes) and as WKT into FOLDER and writes the same bytes again
// with one fwrite, the floor any writer can reach (wall clock and CPU time of each); then times
// the hole assignment of polygons of growing numbers of exterior rings, each with a hole,
// against the enumeration by exterior ring that the writers used before.

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Formats/PolygonParts.h"
#include "InputLayer.h"
#include "Operations.h"
#include "OutputWriters.h"
#include "ResultAttributes.h"

#include <chrono>
#include <ctime>
#include <cstdio>
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

void CompareWithFwrite(const std::string& name, const std::filesystem::path& file,
                       const std::function<void(std::ostream&)>& write)
{
    double writer = 0;
    const double writerCpu = CpuSecondsOf(
        [&]
        {
            writer = SecondsOf(
                [&]
                {
                    std::ofstream out(file, std::ios::trunc | std::ios::binary);
                    write(out);
                });
        });
    std::ifstream in(file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string bytes = buffer.str();
    double floor = 0;
    const double floorCpu = CpuSecondsOf(
        [&]
        {
            floor = SecondsOf(
                [&]
                {
                    std::FILE* out = std::fopen((file.string() + ".copy").c_str(), "wb");
                    std::fwrite(bytes.data(), 1, bytes.size(), out);
                    std::fclose(out);
                });
        });
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
    if (argc != 4)
    {
        std::cerr << "usage: bench_output_writers A.shp B.shp FOLDER\n";
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::filesystem::path folder(argv[3]);
    std::filesystem::create_directories(folder);
    InputLayer a(argv[1], "A", true);
    InputLayer b(argv[2], "B", true);
    const OperationResult result = RunLayerOperation(Operation::Intersection, a, b);
    const ResultAttributes attributes(Operation::Intersection, {&a, &b});
    const std::vector<Arealis::Polygon*> polygons = AllPolygons(*result.Layer);
    std::printf("%zu result polygons\n", polygons.size());
    CompareWithFwrite("geojson", folder / "result.geojson",
                      [&](std::ostream& out)
                      {
                          WriteGeoJson(out, polygons, attributes.Columns(),
                                       [&](Arealis::Polygon* p)
                                       { return attributes.PropertiesOf(*result.Layer, p); });
                      });
    CompareWithFwrite("wkt", folder / "result.wkt",
                      [&](std::ostream& out) { WriteWkt(out, polygons); });
    std::size_t points = 0;
    const double gathering = SecondsOf(
        [&]
        {
            for (Arealis::Polygon* polygon : polygons)
                for (const auto& part : Formats::PolygonParts(*polygon))
                    for (const auto& ring : part)
                        points += ring.size();
        });
    std::printf("rings of every polygon gathered (no formatting): %.3f s, %zu points\n", gathering,
                points);
    std::size_t parents = 0;
    const double looking = SecondsOf(
        [&]
        {
            for (Arealis::Polygon* polygon : polygons)
                parents += attributes.PropertiesOf(*result.Layer, polygon).Parents.size();
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
        const double linear = SecondsOf([&] { parts = Formats::PolygonParts(*polygon).size(); });
        std::size_t rings = 0;
        const double lookup = SecondsOf([&] { rings = ByExteriorLookup(*polygon); });
        std::printf("%14d  %13.4f s  %16.4f s  (%zu parts, %zu rings; made and organised in "
                    "%.3f s)\n",
                    count, linear, lookup, parts, rings, organise);
    }
    return 0;
}
