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
    std::vector<std::string> Only; // run only the cases whose name contains one of these
    std::vector<std::string> Skip; // and none whose name contains one of these
    bool ArealisOnly = false;      // for profiling: the GEOS side is not run
    bool GeosOnly = false;         // for a peer's long case: the Arealis side is not run
    bool DefaultMalloc = false;    // leave malloc's thresholds to adjust themselves
    bool EndToEnd = false;         // time the whole command: load, operation, write, free
    bool Memory = false;           // measure peak memory instead of time
    Peers::OutputFormat Format = Peers::OutputFormat::GeoJson;
    std::string OutputDir; // where the end-to-end runs write (default: the first input's)
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
        // Memory that earlier cases freed stays with the process and, reused by the work, would
        // not show in its peak: it goes back to the kernel first.
        malloc_trim(0);
        {
            std::ofstream reset("/proc/self/clear_refs");
            reset << "5"; // the peak starts again from the memory in use now
        }
        const std::int64_t before = StatusKilobytes("VmRSS");
        try
        {
            work();
            const std::int64_t peak = StatusKilobytes("VmHWM");
            if (before >= 0 && peak >= 0)
            {
                growth = peak - before;
            }
        }
        catch (const std::exception& e)
        {
            // The child must not carry the failure into the parent's own suite: it reports it
            // and ends here, and the parent goes on with the next case.
            std::printf("#   failed in the memory run: %s\n", e.what());
            std::fflush(stdout);
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
                         "arealis_pieces,geos_pieces,arealis_cpu_ms,geos_cpu_ms,cpu_ratio,"
                         "arealis_load_ms,arealis_op_ms,arealis_write_ms,arealis_free_ms,"
                         "geos_load_ms,geos_op_ms,geos_write_ms,geos_free_ms,arealis_bytes,"
                         "geos_bytes\n";
            }
        }
        std::printf("# %d runs per engine, medians; load average at start: %s; a fresh page of "
                    "memory costs %.2f us; malloc %s\n",
                    settings.Runs, LoadAverage().c_str(), MicrosecondsPerFreshPage(),
                    settings.DefaultMalloc || settings.Memory
                        ? "as by default"
                        : "keeps freed memory (see --default-malloc)");
        if (settings.Memory)
        {
            std::printf("# peak resident memory of each run above the memory in use before it, "
                        "each engine in a child process\n%-34s %9s %13s %13s %7s\n",
                        "case", "size", "arealis", "geos", "ratio");
        }
        else
        {
            std::printf("%-34s %9s %11s %11s %6s %11s %11s %6s  %-5s %s\n", "case", "size",
                        "arealis ms", "geos ms", "ratio", "arealis cpu", "geos cpu", "ratio",
                        "agree", "areas (arealis / geos), pieces");
        }
        std::fflush(stdout);
    }
    ~Report() { std::printf("# load average at end: %s\n", LoadAverage().c_str()); }
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    bool Wants(const std::string& name) const
    {
        for (const std::string& skipped : m_settings.Skip)
        {
            if (name.find(skipped) != std::string::npos)
            {
                return false;
            }
        }
        return m_settings.Only.empty() ||
               std::any_of(m_settings.Only.begin(), m_settings.Only.end(),
                           [&name](const std::string& only)
                           { return name.find(only) != std::string::npos; });
    }

    const Settings& GetSettings() const { return m_settings; }

    // Runs both engines alternately, so that a change of load touches both alike.
    void Compare(const std::string& name, std::int64_t size, const std::function<Outcome()>& ours,
                 const std::function<Outcome()>& theirs, const char* theirLabel = "geos")
    {
        if (!Wants(name))
        {
            return;
        }
        if (m_settings.Memory)
        {
            CompareMemory(name, size, ours, theirs);
            return;
        }
        std::vector<Outcome> ourRuns;
        std::vector<Outcome> theirRuns;
        std::vector<double> ourPages;
        std::vector<double> theirPages;
        for (int run = 0; run < m_settings.Runs; ++run)
        {
            double pages = FreshPagesSoFar();
            ourRuns.push_back(m_settings.GeosOnly ? Outcome{} : ours());
            ourPages.push_back(FreshPagesSoFar() - pages);
            pages = FreshPagesSoFar();
            try
            {
                theirRuns.push_back(m_settings.ArealisOnly ? Outcome{} : theirs());
            }
            catch (const std::exception& e)
            {
                // A peer that fails on some data ends that case, not the whole suite.
                std::printf("%-34s %9lld  %s failed: %s\n", name.c_str(),
                            static_cast<long long>(size), theirLabel, e.what());
                std::fflush(stdout);
                return;
            }
            theirPages.push_back(FreshPagesSoFar() - pages);
        }
        const auto median = [](const std::vector<Outcome>& runs, double Outcome::*field)
        {
            std::vector<double> values;
            for (const Outcome& outcome : runs)
            {
                values.push_back(outcome.*field * 1000.0);
            }
            return Median(values);
        };
        const Outcome& ourLast = ourRuns.back();
        const Outcome& theirLast = theirRuns.back();
        const double ourMs = median(ourRuns, &Outcome::Seconds);
        const double theirMs = median(theirRuns, &Outcome::Seconds);
        const double ourCpu = median(ourRuns, &Outcome::CpuSeconds);
        const double theirCpu = median(theirRuns, &Outcome::CpuSeconds);
        const bool compared = !std::isnan(ourLast.Area);
        const bool agree = compared && Agree(ourLast.Area, theirLast.Area);
        std::printf("%-34s %9lld %11.1f %11.1f %6.3f %11.1f %11.1f %6.3f  %-5s %.12g / %.12g, "
                    "%lld / %lld%s\n",
                    name.c_str(), static_cast<long long>(size), ourMs, theirMs, ourMs / theirMs,
                    ourCpu, theirCpu, ourCpu / theirCpu,
                    !compared ? "-"
                    : agree   ? "yes"
                              : "NO",
                    ourLast.Area, theirLast.Area, static_cast<long long>(ourLast.Pieces),
                    static_cast<long long>(theirLast.Pieces),
                    std::string(theirLabel) == "geos"
                        ? ""
                        : (std::string(" [") + theirLabel + "]").c_str());
        const bool split = ourLast.LoadSeconds >= 0.0;
        if (split)
        {
            std::printf(
                "#   load / operation / write / free ms (medians): arealis %.1f / %.1f / %.1f / "
                "%.1f, %s %.1f / %.1f / %.1f / %.1f; bytes written: %lld / %lld\n",
                median(ourRuns, &Outcome::LoadSeconds), median(ourRuns, &Outcome::OperationSeconds),
                median(ourRuns, &Outcome::WriteSeconds), median(ourRuns, &Outcome::FreeSeconds),
                theirLabel, median(theirRuns, &Outcome::LoadSeconds),
                median(theirRuns, &Outcome::OperationSeconds),
                median(theirRuns, &Outcome::WriteSeconds), median(theirRuns, &Outcome::FreeSeconds),
                static_cast<long long>(ourLast.Bytes), static_cast<long long>(theirLast.Bytes));
        }
        // Whole runs, setting up and tearing down included: memory that one run gives back
        // may serve the next without faults, so the first run often counts more.
        std::printf("#   fresh pages touched per run (medians): arealis %.0f, %s %.0f\n",
                    Median(ourPages), theirLabel, Median(theirPages));
        std::fflush(stdout);
        if (m_csv.is_open())
        {
            m_csv << name << ',' << size << ',' << ourMs << ',' << theirMs << ',' << ourMs / theirMs
                  << ','
                  << (!compared ? "-"
                      : agree   ? "yes"
                                : "no")
                  << ',' << std::setprecision(17) << ourLast.Area << ',' << theirLast.Area << ','
                  << std::setprecision(6) << ourLast.Pieces << ',' << theirLast.Pieces << ','
                  << ourCpu << ',' << theirCpu << ',' << ourCpu / theirCpu;
            for (const auto* runs : {&ourRuns, &theirRuns})
            {
                for (double Outcome::*field : {&Outcome::LoadSeconds, &Outcome::OperationSeconds,
                                               &Outcome::WriteSeconds, &Outcome::FreeSeconds})
                {
                    m_csv << ',';
                    if (split)
                    {
                        m_csv << median(*runs, field);
                    }
                }
            }
            m_csv << ',' << ourLast.Bytes << ',' << theirLast.Bytes << '\n';
            m_csv.flush(); // a long suite's rows survive its interruption
        }
    }

private:
    // One run of each engine, each in a child process of its own.
    void CompareMemory(const std::string& name, std::int64_t size,
                       const std::function<Outcome()>& ours, const std::function<Outcome()>& theirs)
    {
        const std::int64_t ourKb = m_settings.GeosOnly ? -1 : PeakGrowthInChild([&] { ours(); });
        const std::int64_t theirKb =
            m_settings.ArealisOnly ? -1 : PeakGrowthInChild([&] { theirs(); });
        const double ourMb = static_cast<double>(ourKb) / 1024.0;
        const double theirMb = static_cast<double>(theirKb) / 1024.0;
        if ((ourKb < 0 && !m_settings.GeosOnly) || (theirKb < 0 && !m_settings.ArealisOnly))
        {
            std::printf("%-34s %9lld  not measured (%s failed)\n", name.c_str(),
                        static_cast<long long>(size),
                        ourKb < 0 && theirKb < 0 ? "both" : (ourKb < 0 ? "arealis" : "geos"));
            std::fflush(stdout);
            return;
        }
        std::printf("%-34s %9lld %10.1f MB %10.1f MB %7.3f\n", name.c_str(),
                    static_cast<long long>(size), ourMb, theirMb, ourMb / theirMb);
        std::fflush(stdout);
        if (m_csv.is_open())
        {
            m_csv << name << " peak MB," << size << ',' << ourMb << ',' << theirMb << ','
                  << ourMb / theirMb << ",-,,,,,,,,,,,,,,,\n";
        }
    }

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
    // The second layer of a pair goes into the first one's topology, with its precision.
    LoadedLayer(const Peers::GeosContext& context, const std::string& path,
                const LoadedLayer* pFirst = nullptr)
        : Arealis(path, pFirst != nullptr ? &pFirst->Arealis : nullptr),
          Geos(context, Arealis)
    {
    }
    Peers::ArealisLayer Arealis;
    Peers::GeosLayer Geos;
};

// Where an end-to-end run writes: the output folder, or the first input's.
std::string OutputPathFor(const Settings& settings, const std::string& input)
{
    const std::filesystem::path folder = settings.OutputDir.empty()
                                             ? std::filesystem::path(input).parent_path()
                                             : std::filesystem::path(settings.OutputDir);
    // The process number keeps two runs on the same data from removing each other's output.
    const std::string name = "bench_output_" + std::to_string(getpid());
    return (folder / (name + (settings.Format == Peers::OutputFormat::Wkt ? ".wkt" : ".geojson")))
        .string();
}

// The whole command on the files in each engine, once per run.
void CompareEndToEnd(Report& report, const Peers::GeosContext& context, const std::string& name,
                     std::int64_t size, Peers::EndToEndCase command)
{
    const Settings& settings = report.GetSettings();
    command.OutputPath = OutputPathFor(settings, command.Inputs.front());
    command.Format = settings.Format;
    report.Compare(
        "e2e " + name, size, [&] { return Peers::RunArealisEndToEnd(command); },
        [&] { return Peers::RunGeosEndToEnd(context, command); });
    std::error_code ignored;
    std::filesystem::remove(command.OutputPath, ignored);
}

void CompareLayers(Report& report, const Peers::GeosContext& context, const std::string& prefix,
                   const std::string& pathA, const std::string& pathB, std::int64_t size)
{
    const bool endToEnd = report.GetSettings().EndToEnd;
    bool wanted = false;
    for (Peers::LayerOperation operation : LayerOperations)
    {
        const std::string name = prefix + std::string(Peers::NameOf(operation));
        wanted = wanted || report.Wants(endToEnd ? "e2e " + name : name);
    }
    if (!wanted)
    {
        return;
    }
    if (endToEnd)
    {
        if (size <= 0)
        {
            size = Peers::DecodeShapefile(pathA).Records;
        }
        for (Peers::LayerOperation operation : LayerOperations)
        {
            CompareEndToEnd(report, context, prefix + Peers::NameOf(operation), size,
                            {false, operation, {pathA, pathB}, "", Peers::OutputFormat::GeoJson});
        }
        return;
    }
    const LoadedLayer a(context, pathA);
    const LoadedLayer b(context, pathB, &a);
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
                  std::int64_t size, const std::string& prefix = "")
{
    const std::string name = prefix + "unite";
    if (report.GetSettings().EndToEnd)
    {
        if (report.Wants("e2e " + name))
        {
            size = size > 0 ? size : Peers::DecodeShapefile(path).Records;
            CompareEndToEnd(
                report, context, name, size,
                {true, Peers::LayerOperation::Union, {path}, "", Peers::OutputFormat::GeoJson});
        }
        return;
    }
    if (!report.Wants(name))
    {
        return;
    }
    const LoadedLayer layer(context, path);
    if (size <= 0)
    {
        size = static_cast<std::int64_t>(layer.Arealis.Polygons().size());
    }
    report.Compare(
        name, size, [&] { return Peers::RunArealisUnite(layer.Arealis); },
        [&] { return Peers::RunGeosUnite(context, layer.Geos); });
}

void ComparePair(Report& report, const Peers::GeosContext& context, const std::string& pathA,
                 const std::string& pathB, std::int64_t size)
{
    if (report.GetSettings().EndToEnd)
    {
        return; // the pairs are the layer operations on one polygon each
    }
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
    const LoadedLayer b(context, pathB, &a);
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
    if (!report.Wants("read") || report.GetSettings().EndToEnd)
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

void CompareMemory(const Peers::GeosContext& context, const std::string& pathA,
                   const std::string& pathB)
{
    const LoadedLayer a(context, pathA);
    const LoadedLayer b(context, pathB, &a);
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

// The classes of other shapes (bench_make_data's second group of files): each pair through the
// four layer operations, and the union of the rough coverage's polygons.
void RunClasses(Report& report, const Peers::GeosContext& context, const std::string& folder)
{
    const auto file = [&folder](const std::string& name)
    { return (std::filesystem::path(folder) / (name + ".shp")).string(); };
    const auto have = [&file](const std::string& name)
    { return std::filesystem::exists(file(name)); };
    struct Class
    {
        std::string Prefix;
        std::string A;
        std::string B;
        std::int64_t Size; // polygons of the first file, or crossings of a spiky pair
    };
    const std::vector<Class> classes{{"countries ", "countries_256", "countries_mesh_1024", 256},
                                     {"spiky 1e4 ", "spiky_a_10000", "spiky_b_10000", 10000},
                                     {"spiky 1e5 ", "spiky_a_100000", "spiky_b_100000", 100000},
                                     {"spiky 1e6 ", "spiky_a_1000000", "spiky_b_1000000", 1000000},
                                     {"small-large ", "small_100000", "large_1", 99856},
                                     {"slivers ", "slivers_a_10000", "slivers_b_10000", 10000}};
    for (const Class& pair : classes)
    {
        if (have(pair.A) && have(pair.B))
        {
            CompareLayers(report, context, pair.Prefix, file(pair.A), file(pair.B), pair.Size);
        }
    }
    if (have("countries_256"))
    {
        CompareUnite(report, context, file("countries_256"), 256, "countries ");
    }
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
    RunClasses(report, context, folder);
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
    "usage: bench_peers <command> <files...> [--runs N] [--csv FILE] [--only TEXT]...\n"
    "                   [--skip TEXT]...  (leaves out the cases whose name contains TEXT)\n"
    "                   [--arealis-only]  (for profiling: GEOS is not run)\n"
    "                   [--geos-only]  (for a long GEOS case: Arealis is not run)\n"
    "                   [--default-malloc]  (malloc returns freed memory as it sees fit)\n"
    "                   [--end-to-end [--format geojson|wkt|summary] [--output-dir DIR]]\n"
    "                       (the whole command: load, operation, write the result, free;\n"
    "                        Arealis through the command-line tool's code, GEOS by the same\n"
    "                        steps with a plain reader and a buffered GeoJSON writer)\n"
    "                   [--memory]  (peak memory of each case instead of its time)\n"
    "  suite <folder> [--max-polygons N] [--max-vertices N]   all cases on bench_make_data's "
    "files\n"
    "  classes <folder>         the classes of other shapes alone (countries, spiky pairs,\n"
    "                           small against large, slivers)\n"
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
            settings.Only.emplace_back(argv[++i]);
        }
        else if (argument == "--skip" && hasValue)
        {
            settings.Skip.emplace_back(argv[++i]);
        }
        else if (argument == "--arealis-only")
        {
            settings.ArealisOnly = true;
        }
        else if (argument == "--geos-only")
        {
            settings.GeosOnly = true;
        }
        else if (argument == "--default-malloc")
        {
            settings.DefaultMalloc = true;
        }
        else if (argument == "--end-to-end")
        {
            settings.EndToEnd = true;
        }
        else if (argument == "--memory")
        {
            settings.Memory = true;
        }
        else if (argument == "--output-dir" && hasValue)
        {
            settings.OutputDir = argv[++i];
        }
        else if (argument == "--format" && hasValue)
        {
            const std::string format = argv[++i];
            if (format == "geojson" || format == "wkt" || format == "summary")
            {
                settings.Format = format == "geojson" ? Peers::OutputFormat::GeoJson
                                  : format == "wkt"   ? Peers::OutputFormat::Wkt
                                                      : Peers::OutputFormat::Summary;
            }
            else
            {
                std::cerr << "bench_peers: --format takes geojson, wkt or summary\n";
                return 2;
            }
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
    const bool measuresMemory =
        settings.Memory || (!positional.empty() && positional.front() == "memory");
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
        else if (command == "classes" && need(2))
        {
            RunClasses(report, context, positional[1]);
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
