#include "Run.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/SimpleFeatureRules.h"
#include "Exceptions/Exception.h"
#include "InputLayer.h"
#include "LayerStatistics.h"
#include "Operations.h"
#include "OutputWriters.h"
#include "ProgressTicker.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#ifdef AREALIS_HAS_REGRESSION
#include "RegressionCommand.h"
#endif

namespace ArealisCli
{

namespace
{

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The -o file, opened before any work so that a wrong path fails at once.
class OutputTarget
{
public:
    OutputTarget(const std::string& path, std::ostream& standardOutput)
        : m_path(path), m_stream(&standardOutput)
    {
        if (!path.empty())
        {
            m_file = std::make_unique<std::ofstream>(path, std::ios::trunc);
            if (!m_file->is_open())
            {
                throw std::runtime_error(path + ": cannot open the file for writing");
            }
            m_stream = m_file.get();
        }
    }

    std::ostream& Stream() { return *m_stream; }

    void Finish()
    {
        m_stream->flush();
        if (!*m_stream)
        {
            throw std::runtime_error((m_path.empty() ? std::string("standard output") : m_path) +
                                     ": writing the output failed");
        }
    }

private:
    std::string m_path;
    std::unique_ptr<std::ofstream> m_file;
    std::ostream* m_stream;
};

// Turns a library failure during the operation into one line that says which operation.
template <class TWork>
auto Guarded(const std::string& operation, TWork work)
{
    try
    {
        return work();
    }
    catch (const Exceptions::Exception& e)
    {
        throw std::runtime_error(operation + " failed: " + e.Message() + " (at " + e.Location() +
                                 ")");
    }
}

void PrintWarnings(const std::vector<const InputLayer*>& inputs, std::ostream& errors)
{
    for (const InputLayer* input : inputs)
    {
        for (const std::string& warning : input->Warnings())
        {
            errors << "arealis: warning: " << warning << '\n';
        }
    }
}

std::vector<ParentReference> ParentsOf(Arealis::Polygon* pPolygon,
                                       const Arealis::PolygonLayer& resultLayer,
                                       const std::vector<const InputLayer*>& inputs)
{
    std::vector<ParentReference> parents;
    Arealis::PolygonEnumerator enumerator = resultLayer.GetParents(pPolygon);
    while (enumerator.MoveNext())
    {
        for (const InputLayer* input : inputs)
        {
            const std::int64_t record = input->RecordOf(enumerator.Current());
            if (record >= 0)
            {
                parents.push_back({input->Label(), record});
                break;
            }
        }
    }
    return parents;
}

void WriteResult(const Options& options, std::ostream& out, const Arealis::PolygonLayer& layer,
                 const std::vector<const InputLayer*>& inputs)
{
    const std::vector<Arealis::Polygon*> polygons = AllPolygons(layer);
    switch (options.Format)
    {
    case OutputFormat::GeoJson:
        WriteGeoJson(out, polygons,
                     [&layer, &inputs](Arealis::Polygon* pPolygon)
                     { return ParentsOf(pPolygon, layer, inputs); });
        break;
    case OutputFormat::Wkt:
        WriteWkt(out, polygons);
        break;
    case OutputFormat::Summary:
        WriteSummary(out, Measure(layer));
        break;
    }
}

struct Timings
{
    double LoadMs = 0.0;
    double OperationMs = 0.0;
};

void PrintStats(const Options& options, const Timings& timings,
                const std::vector<const InputLayer*>& inputs, const Arealis::PolygonLayer* pResult,
                std::ostream& errors)
{
    nlohmann::ordered_json inputStats = nlohmann::ordered_json::array();
    for (const InputLayer* input : inputs)
    {
        const LayerStatistics statistics = Measure(input->Layer());
        inputStats.push_back({{"path", input->Path()},
                              {"polygons", statistics.Polygons},
                              {"vertices", statistics.Vertices}});
    }
    nlohmann::ordered_json stats{{"operation", options.CommandName},
                                 {"load_ms", timings.LoadMs},
                                 {"op_ms", timings.OperationMs},
                                 {"inputs", std::move(inputStats)}};
    const LayerStatistics result = pResult != nullptr ? Measure(*pResult) : LayerStatistics{};
    stats["polygons"] = result.Polygons;
    stats["vertices"] = result.Vertices;
    errors << stats.dump() << '\n';
}

int RunInfo(const Options& options, OutputTarget& output, std::ostream& errors)
{
    const Clock::time_point start = Clock::now();
    const InputLayer input(options.Inputs[0], "A", false);
    const Timings timings{MillisecondsSince(start), 0.0};
    const LayerStatistics statistics = Measure(input.Layer());
    std::ostream& out = output.Stream();
    if (options.FormatGiven && options.Format == OutputFormat::GeoJson)
    {
        nlohmann::ordered_json info{{"file", input.Path()},
                                    {"polygons", statistics.Polygons},
                                    {"rings", statistics.Rings},
                                    {"vertices", statistics.Vertices},
                                    {"area", statistics.Area},
                                    {"valid", statistics.Committed},
                                    {"invalid_or_overlapping", statistics.Refused}};
        info["bounds"] =
            statistics.Bounds.IsEmpty()
                ? nlohmann::ordered_json(nullptr)
                : nlohmann::ordered_json{statistics.Bounds.MinX, statistics.Bounds.MinY,
                                         statistics.Bounds.MaxX, statistics.Bounds.MaxY};
        out << info.dump() << '\n';
    }
    else
    {
        out << "file: " << input.Path() << '\n';
        WriteSummary(out, statistics);
        out << "valid: " << statistics.Committed << '\n'
            << "invalid or overlapping: " << statistics.Refused << '\n';
    }
    output.Finish();
    if (options.Stats)
    {
        PrintStats(options, timings, {&input}, nullptr, errors);
    }
    return 0;
}

struct Refusal
{
    std::int64_t Record;
    Arealis::Polygon* Polygon;
    std::string Message;
};

// Polygons the layer's commit refused, each committed once more on its own to learn why.
std::vector<Refusal> CollectRefusals(const InputLayer& input)
{
    std::vector<Refusal> refusals;
    for (Arealis::Polygon* polygon : AllPolygons(input.Layer()))
    {
        if (!polygon->IsEditing())
        {
            continue;
        }
        try
        {
            input.Layer().EndEdit(polygon);
        }
        catch (const Exceptions::Exception& e)
        {
            refusals.push_back({input.RecordOf(polygon), polygon, e.Message()});
        }
    }
    std::sort(refusals.begin(), refusals.end(),
              [](const Refusal& a, const Refusal& b) { return a.Record < b.Record; });
    return refusals;
}

// Polygons the commit took that break the simple-features rules, with what and where.
std::vector<Refusal> CollectSimpleFeatureProblems(const InputLayer& input)
{
    std::vector<Refusal> problems;
    for (Arealis::Polygon* polygon : AllPolygons(input.Layer()))
    {
        if (polygon->IsEditing())
        {
            continue; // refused already
        }
        if (const auto problem = Arealis::FindSimpleFeatureProblem(*polygon))
        {
            problems.push_back({input.RecordOf(polygon), polygon,
                                problem->Describe() + " (valid for arealis, not for the "
                                                      "simple-features rules)"});
        }
    }
    return problems;
}

int RunValidate(const Options& options, OutputTarget& output, std::ostream& errors)
{
    const Clock::time_point start = Clock::now();
    const InputLayer input(options.Inputs[0], "A", false);
    Timings timings{MillisecondsSince(start), 0.0};
    const Clock::time_point validation = Clock::now();
    std::vector<Refusal> refusals = CollectRefusals(input);
    if (options.Strict)
    {
        const std::vector<Refusal> more = CollectSimpleFeatureProblems(input);
        refusals.insert(refusals.end(), more.begin(), more.end());
        std::stable_sort(refusals.begin(), refusals.end(),
                         [](const Refusal& a, const Refusal& b) { return a.Record < b.Record; });
    }
    timings.OperationMs = MillisecondsSince(validation);

    std::ostream& out = output.Stream();
    if (options.FormatGiven && options.Format == OutputFormat::GeoJson)
    {
        std::vector<Arealis::Polygon*> polygons;
        polygons.reserve(refusals.size());
        for (const Refusal& refusal : refusals)
        {
            polygons.push_back(refusal.Polygon);
        }
        WriteGeoJson(out, polygons,
                     [](Arealis::Polygon*) { return std::vector<ParentReference>{}; });
    }
    else
    {
        for (const Refusal& refusal : refusals)
        {
            out << "record " << refusal.Record << ": " << refusal.Message << '\n';
        }
        const std::int32_t total = input.Layer().GetPolygonCount();
        if (refusals.empty())
        {
            out << "all " << total << " polygons are valid\n";
        }
        else
        {
            out << refusals.size() << " of " << total
                << (options.Strict ? " polygons are invalid, overlap another or break the "
                                     "simple-features rules\n"
                                   : " polygons are invalid or overlap another\n");
        }
    }
    output.Finish();
    if (options.Stats)
    {
        PrintStats(options, timings, {&input}, nullptr, errors);
    }
    return refusals.empty() ? 0 : 1;
}

int RunOperation(const Options& options, OutputTarget& output, std::ostream& errors)
{
    const Clock::time_point start = Clock::now();
    const bool twoLayers = options.Inputs.size() == 2;
    // Declared before the result so that the result, which names them as parents, goes first.
    InputLayer a(options.Inputs[0], "A", true);
    std::optional<InputLayer> b;
    if (twoLayers)
    {
        b.emplace(options.Inputs[1], "B", true);
    }
    std::vector<const InputLayer*> inputs{&a};
    if (b)
    {
        inputs.push_back(&*b);
    }
    Timings timings{MillisecondsSince(start), 0.0};
    PrintWarnings(inputs, errors);

    const Clock::time_point operationStart = Clock::now();
    OperationResult result =
        Guarded(options.CommandName,
                [&]
                {
                    ProgressTicker ticker("arealis " + options.CommandName);
                    const OperationProgress progress = ticker.Callback();
                    return twoLayers ? RunLayerOperation(options.Command, a, *b, progress)
                                     : RunUnite(a, progress);
                });
    timings.OperationMs = MillisecondsSince(operationStart);

    WriteResult(options, output.Stream(), *result.Layer, inputs);
    output.Finish();
    if (options.Stats)
    {
        PrintStats(options, timings, inputs, result.Layer, errors);
    }
    return 0;
}

} // namespace

int Run(const Options& options, std::ostream& standardOutput, std::ostream& errors)
{
    if (options.Command == Operation::Regression)
    {
#ifdef AREALIS_HAS_REGRESSION
        return RunRegression(options, standardOutput, errors);
#else
        throw std::runtime_error("this build has no regression suite");
#endif
    }
    OutputTarget output(options.OutputPath, standardOutput);
    switch (options.Command)
    {
    case Operation::Info:
        return RunInfo(options, output, errors);
    case Operation::Validate:
        return RunValidate(options, output, errors);
    default:
        return RunOperation(options, output, errors);
    }
}

} // namespace ArealisCli
