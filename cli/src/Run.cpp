#include "Run.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/SimpleFeatureRules.h"
#include "Exceptions/Exception.h"
#include "Formats/CoordinateSystem.h"
#include "Formats/OutputFile.h"
#include "Formats/VectorWriter.h"
#include "InputLayer.h"
#include "InputReadBeside.h"
#include "LayerStatistics.h"
#include "Operations.h"
#include "OutputWriters.h"
#include "ProgressTicker.h"
#include "RefusedResults.h"
#include "ResultAttributes.h"

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

// An existing output is named with the option that replaces it.
template <class TWork>
auto RefusingOverwrite(TWork work)
{
    try
    {
        return work();
    }
    catch (const Formats::OutputExistsError& e)
    {
        throw std::runtime_error(std::string(e.what()) + "; give --overwrite to replace it");
    }
}

// Where the output goes: standard output, a text file (GeoJSON, WKT, summary), or a layer
// file whose format the -o name's extension chooses (.shp, .gpkg, .fgb, .csv), written
// through GDAL. Files are written under a temporary name, made before any work so that a
// wrong path fails at once, and take their name only when complete.
class OutputTarget
{
public:
    OutputTarget(const Options& options, std::ostream& standardOutput)
        : m_path(options.OutputPath), m_stream(&standardOutput)
    {
        if (m_path.empty())
        {
            return;
        }
        m_layerFile = Formats::FileTargetFromName(m_path);
        if (m_layerFile && m_layerFile->Format == Formats::FileFormat::GeoJson)
        {
            m_layerFile.reset(); // the streaming writer below writes GeoJSON
        }
        if (m_layerFile)
        {
            if (options.FormatGiven)
            {
                throw std::runtime_error(m_path + ": the file's extension chooses its format; "
                                                  "--format applies to other outputs");
            }
            return;
        }
        m_files = RefusingOverwrite(
            [&]
            {
                return std::make_unique<Formats::OutputFiles>(m_path, std::vector<std::string>{},
                                                              options.Overwrite);
            });
        m_file = std::make_unique<std::ofstream>(m_files->TemporaryMain(), std::ios::trunc);
        if (!m_file->is_open())
        {
            throw std::runtime_error(m_path + ": cannot open the file for writing");
        }
        m_stream = m_file.get();
    }

    // The layer file to write through GDAL, if -o names one.
    const std::optional<Formats::FileTarget>& LayerFile() const { return m_layerFile; }

    std::ostream& Stream() { return *m_stream; }

    void Finish()
    {
        if (m_layerFile)
        {
            return;
        }
        m_stream->flush();
        if (m_file)
        {
            m_file->close();
        }
        if (!*m_stream || (m_file && m_file->fail()))
        {
            throw std::runtime_error((m_path.empty() ? std::string("standard output") : m_path) +
                                     ": writing the output failed");
        }
        if (m_files)
        {
            m_files->Commit();
        }
    }

private:
    std::string m_path;
    std::optional<Formats::FileTarget> m_layerFile;
    std::unique_ptr<Formats::OutputFiles> m_files;
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

void WriteResult(const Options& options, std::ostream& out, const Arealis::PolygonLayer& layer,
                 const ResultAttributes& attributes)
{
    const std::vector<Arealis::Polygon*> polygons = AllPolygons(layer);
    switch (options.Format)
    {
    case OutputFormat::GeoJson:
        WriteGeoJson(out, polygons, attributes.Columns(), attributes.ListLookup(layer, polygons),
                     options.Threads);
        break;
    case OutputFormat::Wkt:
        WriteWkt(out, polygons, options.Threads);
        break;
    case OutputFormat::Summary:
        WriteSummary(out, Measure(layer));
        break;
    }
}

// Writes the result layer to the layer file through GDAL and names the columns the format
// had to rename (a .dbf keeps 10 characters of a name).
void WriteLayerFile(Formats::VectorWriter& writer, const Arealis::PolygonLayer& layer,
                    const ResultAttributes& attributes, const std::string& path,
                    std::ostream& errors)
{
    FeatureProperties properties; // reused from feature to feature
    const std::vector<Arealis::Polygon*> polygons = AllPolygons(layer);
    const PropertiesLookup propertiesOf = attributes.ListLookup(layer, polygons);
    for (std::size_t i = 0; i < polygons.size(); ++i)
    {
        propertiesOf(i, polygons[i], properties);
        writer.Write(*polygons[i], properties.Values);
    }
    writer.Commit();
    for (const auto& [column, stored] : writer.RenamedFields())
    {
        errors << "arealis: note: " << path << ": column '" << column << "' is stored as '"
               << stored << "'\n";
    }
}

PrecisionChoice ChosenPrecision(const Options& options)
{
    return {options.Grid, options.Tolerance};
}

// One note when an input in longitude and latitude took the node grid or the tolerance scaled
// to degrees.
void NoteDegreeDefaults(const std::vector<const InputLayer*>& inputs, std::ostream& errors)
{
    for (const InputLayer* input : inputs)
    {
        if (input->TookDegreeDefaults())
        {
            errors << "note: " << input->Path() << " is in longitude/latitude ("
                   << input->System().Name << "): node grid " << input->Precision().GridStep
                   << " and tolerance " << input->Precision().Tolerance
                   << " degrees; give --grid and --tolerance to choose others\n";
            return;
        }
    }
}

// Two inputs in different reference systems are refused, or B is transformed to A's.
void MatchReferenceSystems(const Options& options, const InputLayer& a, InputLayer& b)
{
    if (Formats::SameCoordinateSystem(a.System(), b.System()))
    {
        return;
    }
    if (!options.Reproject)
    {
        throw std::runtime_error(a.Path() + " is in " + a.System().Name + ", " + b.Path() + " in " +
                                 b.System().Name +
                                 "; give --reproject to transform B to A's reference system");
    }
    b.Reproject(a.System());
}

struct Timings
{
    double LoadMs = 0.0;
    double OperationMs = 0.0;
    double WriteMs = 0.0; // writing the result (operations only)
};

void PrintStats(const Options& options, const Timings& timings,
                const std::vector<const InputLayer*>& inputs, const Arealis::PolygonLayer* pResult,
                std::ostream& errors)
{
    nlohmann::ordered_json inputStats = nlohmann::ordered_json::array();
    for (const InputLayer* input : inputs)
    {
        const LayerCounts counts = CountPolygonsAndVertices(input->Layer());
        inputStats.push_back({{"path", input->Path()},
                              {"polygons", counts.Polygons},
                              {"vertices", counts.Vertices}});
    }
    nlohmann::ordered_json stats{{"operation", options.CommandName},
                                 {"load_ms", timings.LoadMs},
                                 {"op_ms", timings.OperationMs},
                                 {"write_ms", timings.WriteMs},
                                 {"inputs", std::move(inputStats)}};
    const LayerCounts result =
        pResult != nullptr ? CountPolygonsAndVertices(*pResult) : LayerCounts{};
    stats["polygons"] = result.Polygons;
    stats["vertices"] = result.Vertices;
    errors << stats.dump() << '\n';
}

int RunInfo(const Options& options, OutputTarget& output, std::ostream& errors)
{
    const Clock::time_point start = Clock::now();
    const InputLayer input(options.Inputs[0], "A", false, options.SkipBadRecords,
                           ChosenPrecision(options), options.Threads);
    NoteDegreeDefaults({&input}, errors);
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
    const InputLayer input(options.Inputs[0], "A", false, options.SkipBadRecords,
                           ChosenPrecision(options), options.Threads);
    NoteDegreeDefaults({&input}, errors);
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
        WriteGeoJson(out, polygons, {}, [](std::size_t, Arealis::Polygon*, FeatureProperties&) {});
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
    // Declared before the result so that the result, a layer of A's topology whose polygons
    // name polygons of both as parents, lets go of them first.
    // B is a second layer of A's topology, with A's precision, which the result takes too: the
    // result's vertices at vertices of either input are then their node records, not copies.
    // A topology takes one layer's loading at a time, so with a second thread B is read into
    // a topology of its own beside A, from the moment A's precision is chosen, and joined to
    // A's topology afterwards; otherwise once A is read. A's failure comes first either way.
    std::optional<InputReadBeside> beside;
    if (twoLayers && InputReadBeside::Worthwhile(options.Threads))
    {
        beside.emplace(options.Inputs[1], "B", options.SkipBadRecords, options.Threads);
    }
    InputLayer::PrecisionChosen startB;
    if (beside)
    {
        startB = [&beside](const Arealis::Precision& precision) { beside->Start(precision); };
    }
    InputLayer a(options.Inputs[0], "A", true, options.SkipBadRecords, ChosenPrecision(options),
                 options.Threads, startB);
    std::optional<InputLayer> b;
    if (InputLayer* loaded = beside ? beside->Finish() : nullptr)
    {
        b.emplace(*loaded, a);
        beside->Discard();
    }
    else if (twoLayers)
    {
        b.emplace(options.Inputs[1], "B", true, options.SkipBadRecords, a);
    }
    std::vector<const InputLayer*> inputs{&a};
    if (b)
    {
        inputs.push_back(&*b);
    }
    NoteDegreeDefaults(inputs, errors);
    if (b)
    {
        MatchReferenceSystems(options, a, *b);
    }
    Timings timings{MillisecondsSince(start), 0.0};
    PrintWarnings(inputs, errors);
    const std::size_t badRecords = PrintBadRecords(inputs, errors);
    // Only valid polygons take part; the others are named so that no answer is taken for
    // complete in silence.
    const std::size_t leftOut = PrintLeftOut(inputs, errors);
    a.DropRefused();
    if (b)
    {
        b->DropRefused();
    }

    const ResultAttributes attributes(options.Command, inputs);
    std::unique_ptr<Formats::VectorWriter> writer;
    if (output.LayerFile())
    {
        writer = RefusingOverwrite(
            [&]
            {
                return std::make_unique<Formats::VectorWriter>(
                    *output.LayerFile(), attributes.Columns(), a.System(), options.Overwrite);
            });
    }

    const Clock::time_point operationStart = Clock::now();
    OperationResult result =
        Guarded(options.CommandName,
                [&]
                {
                    ProgressTicker ticker("arealis " + options.CommandName);
                    const OperationProgress progress = ticker.Callback();
                    return twoLayers ? RunLayerOperation(options.Command, a, *b, progress,
                                                         options.Threads)
                                     : RunUnite(a, progress, options.Threads);
                });
    timings.OperationMs = MillisecondsSince(operationStart);
    ThrowIfResultRefused(options.CommandName, *result.Layer, inputs);

    const Clock::time_point writeStart = Clock::now();
    if (writer)
    {
        WriteLayerFile(*writer, *result.Layer, attributes, options.OutputPath, errors);
    }
    else
    {
        WriteResult(options, output.Stream(), *result.Layer, attributes);
    }
    output.Finish();
    timings.WriteMs = MillisecondsSince(writeStart);
    if (options.Stats)
    {
        PrintStats(options, timings, inputs, result.Layer.get(), errors);
    }
    if (options.LeaveLayersToExit)
    {
        a.LeaveToExit();
        if (b)
        {
            b->LeaveToExit();
        }
        static_cast<void>(result.Layer.release()); // goes with A's topology
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
    OutputTarget output(options, standardOutput);
    if (output.LayerFile() &&
        (options.Command == Operation::Info || options.Command == Operation::Validate))
    {
        throw std::runtime_error(options.OutputPath + ": '" + options.CommandName +
                                 "' writes text; layer files are written by the operations");
    }
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
