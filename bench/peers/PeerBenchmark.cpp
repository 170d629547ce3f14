// Side-by-side benchmark of Arealis and GEOS on the same loaded data in one process run.
// See BENCHMARKS.md for the commands; `bench_peers --help` lists them.
#include "ArealisSide.h"
#include "Exceptions/Exception.h"
#include "GeosSide.h"
#include "Outcome.h"
#include "ReadBaseline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <limits>
#include <malloc.h>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

using Peers::Outcome;

constexpr double AgreementTolerance = 1e-9;

struct Settings
{
    int Runs = 3;
    std::int64_t MaxPolygons = 100000;
    std::int64_t MaxVertices = 1000000;
    std::string CsvPath;
    std::string Only;           // run only the cases whose name contains this text
    bool ArealisOnly = false;   // for profiling: the GEOS side is not run
    bool DefaultMalloc = false; // leave malloc's thresholds to adjust themselves
};

std::string LoadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one;
    std::string five;
    file >> one >> five;
    return one + " " + five;
}

// Microseconds that the first touch of a fresh page of memory costs here, from touching 16 MB
// of new anonymous memory once per page. Fresh memory is a large part of reading and of the
// layer operations, and its price differs widely between machines (a fraction of a
// microsecond on bare hardware, tens under some hypervisors), so it is printed with every run.
double MicrosecondsPerFreshPage()
{
    constexpr std::size_t bytes = std::size_t{16} << 20;
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED || page == 0)
    {
        return -1.0;
    }
    const Peers::Stopwatch watch;
    auto* bytesOf = static_cast<volatile unsigned char*>(memory);
    for (std::size_t offset = 0; offset < bytes; offset += page)
    {
        bytesOf[offset] = 1;
    }
    const double seconds = watch.Seconds();
    munmap(memory, bytes);
    const std::size_t pages = bytes / page; // whole pages: bytes is a multiple of any page size
    return seconds * 1e6 / static_cast<double>(pages);
}

// Pages the process has touched for the first time so far (minor page faults).
double FreshPagesSoFar()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_minflt);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool Agree(double a, double b)
{
    const double scale = std::max(std::fabs(a), std::fabs(b));
    return std::fabs(a - b) <= AgreementTolerance * scale;
}

class Report
{
public:
    explicit Report(const Settings& settings) : m_settings(settings)
    {
        if (!settings.CsvPath.empty())
        {
            const bool exists = std::filesystem::exists(settings.CsvPath);
            m_csv.open(settings.CsvPath, std::ios::app);
            if (!exists)
            {
                m_csv << "case,size,arealis_ms,geos_ms,ratio,agree,arealis_area,geos_area,"
                         "arealis_pieces,geos_pieces\n";
            }
        }
        std::printf("# %d runs per engine, medians; load average at start: %s; a fresh page of "
                    "memory costs %.2f us; malloc %s\n",
                    settings.Runs, LoadAverage().c_str(), MicrosecondsPerFreshPage(),
                    settings.DefaultMalloc ? "as by default"
                                           : "keeps freed memory (see --default-malloc)");
        std::printf("%-28s %9s %12s %12s %7s  %-5s %s\n", "case", "size", "arealis ms", "geos ms",
                    "ratio", "agree", "areas (arealis / geos), pieces");
        std::fflush(stdout);
    }
    ~Report() { std::printf("# load average at end: %s\n", LoadAverage().c_str()); }
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    bool Wants(const std::string& name) const
    {
        return m_settings.Only.empty() || name.find(m_settings.Only) != std::string::npos;
    }

    // Runs both engines alternately, so that a change of load touches both alike.
    void Compare(const std::string& name, std::int64_t size, const std::function<Outcome()>& ours,
                 const std::function<Outcome()>& theirs, const char* theirLabel = "geos")
    {
        if (!Wants(name))
        {
            return;
        }
        std::vector<double> ourTimes;
        std::vector<double> theirTimes;
        std::vector<double> ourPages;
        std::vector<double> theirPages;
        Outcome ourLast;
        Outcome theirLast;
        for (int run = 0; run < m_settings.Runs; ++run)
        {
            double pages = FreshPagesSoFar();
            ourLast = ours();
            ourTimes.push_back(ourLast.Seconds * 1000.0);
            ourPages.push_back(FreshPagesSoFar() - pages);
            pages = FreshPagesSoFar();
            if (!m_settings.ArealisOnly)
            {
                theirLast = theirs();
            }
            theirTimes.push_back(theirLast.Seconds * 1000.0);
            theirPages.push_back(FreshPagesSoFar() - pages);
        }
        const double ourMs = Median(ourTimes);
        const double theirMs = Median(theirTimes);
        const double ratio = ourMs / theirMs;
        const bool agree = Agree(ourLast.Area, theirLast.Area);
        std::printf(
            "%-28s %9lld %12.1f %12.1f %7.3f  %-5s %.12g / %.12g, %lld / %lld%s\n", name.c_str(),
            static_cast<long long>(size), ourMs, theirMs, ratio, agree ? "yes" : "NO", ourLast.Area,
            theirLast.Area, static_cast<long long>(ourLast.Pieces),
            static_cast<long long>(theirLast.Pieces),
            std::string(theirLabel) == "geos" ? ""
                                              : (std::string(" [") + theirLabel + "]").c_str());
        // Whole runs, setting up and tearing down included: memory that one run gives back
        // may serve the next without faults, so the first run often counts more.
        std::printf("#   fresh pages touched per run (medians): arealis %.0f, %s %.0f\n",
                    Median(ourPages), theirLabel, Median(theirPages));
        std::fflush(stdout);
        if (m_csv.is_open())
        {
            m_csv << name << ',' << size << ',' << ourMs << ',' << theirMs << ',' << ratio << ','
                  << (agree ? "yes" : "no") << ',' << std::setprecision(17) << ourLast.Area << ','
                  << theirLast.Area << ',' << ourLast.Pieces << ',' << theirLast.Pieces << '\n';
            m_csv << std::setprecision(6);
        }
    }

private:
    const Settings& m_settings;
    std::ofstream m_csv;
};

// --- Cases ----------------------------------------------------------------------------------

constexpr Peers::LayerOperation LayerOperations[] = {
    Peers::LayerOperation::Intersection, Peers::LayerOperation::Subtraction,
    Peers::LayerOperation::Join, Peers::LayerOperation::Union};
constexpr Peers::PairOperation PairOperations[] = {Peers::PairOperation::Union,
                                                   Peers::PairOperation::Intersection,
                                                   Peers::PairOperation::Subtraction};

struct LoadedLayer
{
    LoadedLayer(const Peers::GeosContext& context, const std::string& path)
        : Arealis(path), Geos(context, Arealis)
    {
    }
    Peers::ArealisLayer Arealis;
    Peers::GeosLayer Geos;
};

void CompareLayers(Report& report, const Peers::GeosContext& context, const std::string& prefix,
                   const std::string& pathA, const std::string& pathB, std::int64_t size)
{
    bool wanted = false;
    for (Peers::LayerOperation operation : LayerOperations)
    {
        wanted = wanted || report.Wants(prefix + std::string(Peers::NameOf(operation)));
    }
    if (!wanted)
    {
        return;
    }
    const LoadedLayer a(context, pathA);
    const LoadedLayer b(context, pathB);
    if (size <= 0)
    {
        size = static_cast<std::int64_t>(a.Arealis.Polygons().size());
    }
    for (Peers::LayerOperation operation : LayerOperations)
    {
        report.Compare(
            prefix + Peers::NameOf(operation), size,
            [&] { return Peers::RunArealis(operation, a.Arealis, b.Arealis); },
            [&] { return Peers::RunGeos(context, operation, a.Geos, b.Geos); });
    }
}

void CompareUnite(Report& report, const Peers::GeosContext& context, const std::string& path,
                  std::int64_t size)
{
    if (!report.Wants("unite"))
    {
        return;
    }
    const LoadedLayer layer(context, path);
    if (size <= 0)
    {
        size = static_cast<std::int64_t>(layer.Arealis.Polygons().size());
    }
    report.Compare(
        "unite", size, [&] { return Peers::RunArealisUnite(layer.Arealis); },
        [&] { return Peers::RunGeosUnite(context, layer.Geos); });
}

void ComparePair(Report& report, const Peers::GeosContext& context, const std::string& pathA,
                 const std::string& pathB, std::int64_t size)
{
    bool wanted = false;
    for (Peers::PairOperation operation : PairOperations)
    {
        wanted = wanted || report.Wants(std::string("pair ") + Peers::NameOf(operation));
    }
    if (!wanted)
    {
        return;
    }
    const LoadedLayer a(context, pathA);
    const LoadedLayer b(context, pathB);
    if (size <= 0)
    {
        size = a.Arealis.VertexCount();
    }
    for (Peers::PairOperation operation : PairOperations)
    {
        report.Compare(
            std::string("pair ") + Peers::NameOf(operation), size,
            [&] { return Peers::RunArealis(operation, a.Arealis, b.Arealis); },
            [&] { return Peers::RunGeos(context, operation, a.Geos, b.Geos); });
    }
}

// Reading and committing against reading and decoding the coordinates alone.
void CompareRead(Report& report, const std::string& path, std::int64_t size)
{
    if (!report.Wants("read"))
    {
        return;
    }
    if (size <= 0)
    {
        size = Peers::DecodeShapefile(path).Vertices;
    }
    report.Compare(
        "read and commit", size, [&] { return Peers::RunArealisRead(path); },
        [&]
        {
            const Peers::DecodedFile decoded = Peers::DecodeShapefile(path);
            Outcome outcome;
            outcome.Seconds = decoded.Seconds;
            outcome.Area = decoded.Area;
            outcome.Pieces = decoded.Records;
            return outcome;
        },
        "decode only");
}

// --- Peak memory ------------------------------------------------------------------------------

std::int64_t StatusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
    {
        if (line.rfind(prefix, 0) == 0)
        {
            return std::stoll(line.substr(prefix.size()));
        }
    }
    return -1;
}

// Runs the work in a child process and returns by how much the peak resident memory rose
// above the memory in use when the work started (kilobytes), or -1.
std::int64_t PeakGrowthInChild(const std::function<void()>& work)
{
    int channel[2];
    if (pipe(channel) != 0)
    {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0)
    {
        close(channel[0]);
        std::int64_t growth = -1;
        {
            std::ofstream reset("/proc/self/clear_refs");
            reset << "5"; // the peak starts again from the memory in use now
        }
        const std::int64_t before = StatusKilobytes("VmRSS");
        work();
        const std::int64_t peak = StatusKilobytes("VmHWM");
        if (before >= 0 && peak >= 0)
        {
            growth = peak - before;
        }
        const ssize_t written = write(channel[1], &growth, sizeof growth);
        _exit(written == sizeof growth ? 0 : 1);
    }
    close(channel[1]);
    std::int64_t growth = -1;
    if (child < 0 || read(channel[0], &growth, sizeof growth) != sizeof growth)
    {
        growth = -1;
    }
    close(channel[0]);
    int status = 0;
    if (child > 0)
    {
        waitpid(child, &status, 0);
    }
    return growth;
}

void CompareMemory(const Peers::GeosContext& context, const std::string& pathA,
                   const std::string& pathB)
{
    const LoadedLayer a(context, pathA);
    const LoadedLayer b(context, pathB);
    std::printf("# peak memory of the layer intersection above the memory in use before it\n");
    const std::int64_t ours = PeakGrowthInChild(
        [&] { Peers::RunArealis(Peers::LayerOperation::Intersection, a.Arealis, b.Arealis); });
    const std::int64_t theirs = PeakGrowthInChild(
        [&] { Peers::RunGeos(context, Peers::LayerOperation::Intersection, a.Geos, b.Geos); });
    std::printf("%-28s %9zu %10.1f MB %10.1f MB %7.3f\n", "intersection peak memory",
                a.Arealis.Polygons().size(), static_cast<double>(ours) / 1024.0,
                static_cast<double>(theirs) / 1024.0,
                static_cast<double>(ours) / static_cast<double>(theirs));
}

// --- The whole suite on the generated data ------------------------------------------------------

void RunSuite(Report& report, const Peers::GeosContext& context, const std::string& folder,
              const Settings& settings)
{
    const auto file = [&folder](const std::string& name)
    { return (std::filesystem::path(folder) / (name + ".shp")).string(); };
    const auto have = [&file](const std::string& name)
    { return std::filesystem::exists(file(name)); };
    for (const std::int64_t size : {1000, 10000, 100000})
    {
        const std::string n = std::to_string(size);
        if (size <= settings.MaxPolygons && have("coverage_" + n) && have("mesh_" + n))
        {
            CompareLayers(report, context, "layer ", file("coverage_" + n), file("mesh_" + n),
                          size);
        }
    }
    if (have("shared_coverage_10000") && have("shared_mesh_10000"))
    {
        CompareLayers(report, context, "shared ", file("shared_coverage_10000"),
                      file("shared_mesh_10000"), 10000);
    }
    for (const std::int64_t size : {1000, 10000, 100000})
    {
        const std::string n = std::to_string(size);
        if (size <= settings.MaxPolygons && have("coverage_" + n))
        {
            CompareUnite(report, context, file("coverage_" + n), size);
        }
    }
    for (const std::int64_t size : {10000, 100000, 1000000})
    {
        const std::string n = std::to_string(size);
        if (size <= settings.MaxVertices && have("star_a_" + n) && have("star_b_" + n))
        {
            ComparePair(report, context, file("star_a_" + n), file("star_b_" + n), size);
        }
    }
    for (const char* name : {"coverage_100000", "star_a_1000000"})
    {
        if (have(name))
        {
            CompareRead(report, file(name), 0);
        }
    }
}

// Fixes the two thresholds that glibc's malloc otherwise adjusts as it goes: no block of up to
// 32 MB is mapped apart from the heap, and freed memory stays with the process. By default,
// whether the heap goes back to the kernel between runs depends on which allocation happens to
// sit at its top, and every run after such a return faults its memory in again; at tens of
// microseconds per fresh page under some hypervisors that decides a factor of two. Fixed, the
// runs after the first measure the engines' work; both engines share the setting.
void KeepFreedMemory()
{
    constexpr int largestHeapBlock = 32 << 20;
    constexpr int neverTrim = std::numeric_limits<int>::max();
    mallopt(M_MMAP_THRESHOLD, largestHeapBlock);
    mallopt(M_TRIM_THRESHOLD, neverTrim);
}

const char* const UsageText =
    "usage: bench_peers <command> <files...> [--runs N] [--csv FILE] [--only TEXT]\n"
    "                   [--arealis-only]  (for profiling: GEOS is not run)\n"
    "                   [--default-malloc]  (malloc returns freed memory as it sees fit)\n"
    "  suite <folder> [--max-polygons N] [--max-vertices N]   all cases on bench_make_data's "
    "files\n"
    "  layers <a.shp> <b.shp>   the four layer operations (intersection, subtraction, join, "
    "union)\n"
    "  unite <a.shp>            the union of all polygons of a layer (GEOS: unary union)\n"
    "  pair <a.shp> <b.shp>     union, intersection and subtraction of the first polygons\n"
    "  read <a.shp>             reading and committing against decoding the coordinates\n"
    "  memory <a.shp> <b.shp>   peak memory of the layer intersection in each engine\n";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> positional;
    Settings settings;
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--runs" && hasValue)
        {
            settings.Runs = std::max(1, std::atoi(argv[++i]));
        }
        else if (argument == "--max-polygons" && hasValue)
        {
            settings.MaxPolygons = std::atoll(argv[++i]);
        }
        else if (argument == "--max-vertices" && hasValue)
        {
            settings.MaxVertices = std::atoll(argv[++i]);
        }
        else if (argument == "--csv" && hasValue)
        {
            settings.CsvPath = argv[++i];
        }
        else if (argument == "--only" && hasValue)
        {
            settings.Only = argv[++i];
        }
        else if (argument == "--arealis-only")
        {
            settings.ArealisOnly = true;
        }
        else if (argument == "--default-malloc")
        {
            settings.DefaultMalloc = true;
        }
        else if (argument == "--help" || argument == "-h")
        {
            std::cout << UsageText;
            return 0;
        }
        else
        {
            positional.push_back(argument);
        }
    }
    // Peak memory is measured with malloc as it is: memory kept from earlier work would hide
    // part of an operation's growth.
    const bool measuresMemory = !positional.empty() && positional.front() == "memory";
    if (!settings.DefaultMalloc && !measuresMemory)
    {
        KeepFreedMemory();
    }
    const auto need = [&positional](std::size_t count) { return positional.size() == count; };
    try
    {
        const Peers::GeosContext context;
        const std::string command = positional.empty() ? "" : positional.front();
        if (command == "memory" && need(3))
        {
            CompareMemory(context, positional[1], positional[2]);
            return 0;
        }
        Report report(settings);
        if (command == "suite" && need(2))
        {
            RunSuite(report, context, positional[1], settings);
        }
        else if (command == "layers" && need(3))
        {
            CompareLayers(report, context, "layer ", positional[1], positional[2], 0);
        }
        else if (command == "unite" && need(2))
        {
            CompareUnite(report, context, positional[1], 0);
        }
        else if (command == "pair" && need(3))
        {
            ComparePair(report, context, positional[1], positional[2], 0);
        }
        else if (command == "read" && need(2))
        {
            CompareRead(report, positional[1], 0);
        }
        else
        {
            std::cerr << UsageText;
            return 2;
        }
    }
    catch (const Exceptions::Exception& e)
    {
        std::cerr << "bench_peers: " << e.Message() << " (at " << e.Location() << ")\n";
        return 1;
    }
    catch (const std::exception& e)
    {
        std::cerr << "bench_peers: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
