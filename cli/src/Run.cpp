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

// Lists the malformed records that the reader left out (--skip-bad-records); returns how many.
std::size_t PrintBadRecords(const std::vector<const InputLayer*>& inputs, std::ostream& errors)
{
    std::size_t count = 0;
    for (const InputLayer* input : inputs)
    {
        for (const std::string& bad : input->ReadResult().BadRecords)
        {
            errors << "arealis: warning: skipped " << bad << '\n';
            ++count;
        }
    }
    return count;
}

// "N (2 of shape type 0 (null), 1 of shape type 8 (multipoint))", or "0".
std::string SkippedRecordsText(const InputLayer& input)
{
    const Arealis::ShapefileReadResult& read = input.ReadResult();
    std::string text = std::to_string(read.SkippedCount());
    const std::string described = Arealis::DescribeSkippedRecords(read.SkippedByShapeType);
    const std::size_t kinds = described.find(": ");
    if (kinds != std::string::npos)
    {
        text += " (" + described.substr(kinds + 2, described.size() - kinds - 3) + ")";
    }
    return text;
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
    const InputLayer input(options.Inputs[0], "A", false, options.SkipBadRecords);
    const Timings timings{MillisecondsSince(start), 0.0};
    const std::size_t badRecords = PrintBadRecords({&input}, errors);
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
        nlohmann::ordered_json skipped = nlohmann::ordered_json::object();
        for (const auto& [type, count] : input.ReadResult().SkippedByShapeType)
        {
            skipped[std::to_string(type)] = count;
        }
        info["skipped_records_by_shape_type"] = std::move(skipped);
        info["malformed_records_skipped"] = badRecords;
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
            << "invalid or overlapping: " << statistics.Refused << '\n'
            << "records skipped, not polygons: " << SkippedRecordsText(input) << '\n';
        if (options.SkipBadRecords)
        {
            out << "records skipped, malformed: " << badRecords << '\n';
        }
    }
    output.Finish();
    if (options.Stats)
    {
        PrintStats(options, timings, {&input}, nullptr, errors);
    }
    return badRecords == 0 ? 0 : 1;
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
    const InputLayer input(options.Inputs[0], "A", false, options.SkipBadRecords);
    Timings timings{MillisecondsSince(start), 0.0};
    const std::size_t badRecords = PrintBadRecords({&input}, errors);
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
        if (input.ReadResult().SkippedCount() > 0)
        {
            out << "records skipped, not polygons: " << SkippedRecordsText(input) << '\n';
        }
        if (badRecords > 0)
        {
            out << "records skipped, malformed: " << badRecords << '\n';
        }
    }
    output.Finish();
    if (options.Stats)
    {
        PrintStats(options, timings, {&input}, nullptr, errors);
    }
    return refusals.empty() && badRecords == 0 ? 0 : 1;
}

// Lists the polygons of the inputs that the operation leaves out because their commit refused
// them; returns how many.
std::size_t PrintLeftOut(const std::vector<const InputLayer*>& inputs, std::ostream& errors)
{
    std::size_t count = 0;
    for (const InputLayer* input : inputs)
    {
        for (const Refusal& refusal : CollectRefusals(*input))
        {
            errors << "arealis: warning: " << input->Path() << ": record " << refusal.Record
                   << " left out of the operation: " << refusal.Message << '\n';
            ++count;
        }
    }
    return count;
}

int RunOperation(const Options& options, OutputTarget& output, std::ostream& errors)
{
    const Clock::time_point start = Clock::now();
    const bool twoLayers = options.Inputs.size() == 2;
    // Declared before the result so that the result, which names them as parents, goes first.
    InputLayer a(options.Inputs[0], "A", true, options.SkipBadRecords);
    std::optional<InputLayer> b;
    if (twoLayers)
    {
        b.emplace(options.Inputs[1], "B", true, options.SkipBadRecords);
    }
    std::vector<const InputLayer*> inputs{&a};
    if (b)
    {
        inputs.push_back(&*b);
    }
    Timings timings{MillisecondsSince(start), 0.0};
    PrintWarnings(inputs, errors);
    const std::size_t badRecords = PrintBadRecords(inputs, errors);
    // Only valid polygons take part; the others are named so that no answer is taken for
    // complete in silence.
    const std::size_t leftOut = PrintLeftOut(inputs, errors);

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
    if (leftOut > 0 && !options.AllowInvalid)
    {
        errors << "arealis: " << leftOut
               << " invalid polygons of the inputs were left out; --allow-invalid accepts that\n";
        return 1;
    }
    return badRecords == 0 ? 0 : 1;
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
