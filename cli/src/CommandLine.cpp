#include "CommandLine.h"

#include <cmath>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>
#include <ostream>

namespace ArealisCli
{

namespace
{

struct OperationInfo
{
    Operation Command;
    std::size_t InputCount;
};

const std::map<std::string, OperationInfo>& OperationTable()
{
    static const std::map<std::string, OperationInfo> table{
        {"intersection", {Operation::Intersection, 2}},
        {"union", {Operation::Union, 2}},
        {"subtract", {Operation::Subtract, 2}},
        {"join", {Operation::Join, 2}},
        {"identity", {Operation::Identity, 2}},
        {"symmetric_difference", {Operation::SymmetricDifference, 2}},
        {"unite", {Operation::Unite, 1}},
        {"validate", {Operation::Validate, 1}},
        {"info", {Operation::Info, 1}},
        {"regression", {Operation::Regression, 1}},
    };
    return table;
}

std::string InputsWord(std::size_t count)
{
    return count == 1 ? "one input" : std::to_string(count) + " inputs";
}

// The value of an option that takes a positive finite number, or a UsageError naming it.
double PositiveNumber(const std::string& option, const std::string& text)
{
    std::size_t used = 0;
    double value = 0.0;
    try
    {
        value = std::stod(text, &used);
    }
    catch (const std::exception&)
    {
        used = 0;
    }
    if (used != text.size() || !std::isfinite(value) || !(value > 0.0))
    {
        throw UsageError(option + " '" + text + "' is not a positive finite number");
    }
    return value;
}

} // namespace

std::string UsageText()
{
    return "usage: arealis OPERATION [--format geojson|wkt|summary] [-o FILE] [--overwrite]\n"
           "               [--reproject] [--stats] [--allow-invalid] [--skip-bad-records]\n"
           "               [--grid G] [--tolerance T] [--threads N] A [B]\n"
           "       arealis validate [--strict] [--format ...] [-o FILE] A\n"
           "       arealis regression [--verbose] FOLDER\n"
           "\n"
           "operations on two layers: intersection, union, subtract, join, identity,\n"
           "                          symmetric_difference\n"
           "operations on one layer:  unite (all polygons into one), validate, info\n"
           "regression FOLDER:        runs the regression catalogue found in FOLDER\n"
           "\n"
           "  --format geojson|wkt|summary   output format (default geojson; info and validate\n"
           "                                 print text unless a format is given)\n"
           "  -o FILE                        write the output to FILE instead of standard output;\n"
           "                                 .shp, .gpkg (FILE.gpkg:TABLE), .fgb, .csv, .geojson\n"
           "                                 and .json files are written in their format, with\n"
           "                                 the inputs' attributes; \"PG:dbname=... TABLE\" a\n"
           "                                 PostGIS table\n"
           "  --overwrite                    replace an existing output file (or table)\n"
           "  --reproject                    transform B to A's reference system when they differ\n"
           "  --stats                        print timings and counts as JSON on standard error\n"
           "  --threads N                    split the work over N threads (default:\n"
           "                                 every core the process may use, one for small\n"
           "                                 inputs); the output is the same for every N\n"
           "  --allow-invalid                operations leave invalid polygons of the inputs out\n"
           "                                 and still exit with 0\n"
           "  --skip-bad-records             read every good record of a file, list each\n"
           "                                 malformed one, and exit with 1 instead of 2\n"
           "  --grid G                       node grid step, in the inputs' units (default 1e-6;\n"
           "                                 1e-9 for longitude/latitude inputs)\n"
           "  --tolerance T                  overlay tolerance, at least the grid step (default\n"
           "                                 0.0005; 5e-9 for longitude/latitude inputs)\n"
           "  --strict                       validate: also report polygons that other GIS\n"
           "                                 software rejects (disconnected interior, nested\n"
           "                                 exterior rings, a ring touching itself)\n"
           "\n"
           "A and B are shapefiles (.shp, with their .dbf attributes) or any vector source GDAL\n"
           "opens: FILE.gpkg, FILE.gpkg:TABLE, FILE.geojson, FILE.fgb, \"PG:dbname=... TABLE\"\n"
           "\n"
           "exit status: 0 success; 1 validate found invalid polygons, an operation left invalid\n"
           "polygons of its inputs out, malformed records were skipped, or the regression\n"
           "failed; 2 a wrong argument, an unreadable or malformed file, or a failed operation\n";
}

std::optional<Options> ParseCommandLine(const std::vector<std::string>& arguments,
                                        std::ostream& helpStream)
{
    const bool wantsHelp = std::any_of(arguments.begin(), arguments.end(),
                                       [](const auto& a) { return a == "-h" || a == "--help"; });
    if (wantsHelp || arguments.empty())
    {
        if (arguments.empty())
        {
            throw UsageError("missing OPERATION; run 'arealis --help' for the usage");
        }
        helpStream << UsageText();
        return std::nullopt;
    }

    Options options;
    std::string format;
    std::vector<std::string> positionals;
    CLI::App app("arealis", "arealis");
    app.set_help_flag();
    app.add_option("--format", format);
    app.add_option("-o,--output", options.OutputPath);
    app.add_flag("--stats", options.Stats);
    app.add_flag("--allow-invalid", options.AllowInvalid);
    app.add_flag("--skip-bad-records", options.SkipBadRecords);
    app.add_flag("--strict", options.Strict);
    app.add_flag("--overwrite", options.Overwrite);
    app.add_flag("--reproject", options.Reproject);
    app.add_flag("--verbose", options.Verbose);
    std::string grid;
    std::string tolerance;
    const CLI::Option* gridOption = app.add_option("--grid", grid);
    const CLI::Option* toleranceOption = app.add_option("--tolerance", tolerance);
    std::optional<int> threads;
    app.add_option("--threads", threads);
    app.add_option("arguments", positionals);
    try
    {
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        app.parse(reversed);
    }
    catch (const CLI::ParseError& e)
    {
        throw UsageError(e.what());
    }

    if (positionals.empty())
    {
        throw UsageError("missing OPERATION; run 'arealis --help' for the usage");
    }
    options.CommandName = positionals.front();
    const auto found = OperationTable().find(options.CommandName);
    if (found == OperationTable().end())
    {
        throw UsageError("unknown operation '" + options.CommandName +
                         "'; expected intersection, union, subtract, join, identity, "
                         "symmetric_difference, unite, validate, info or regression");
    }
    options.Command = found->second.Command;
    if (options.Verbose && options.Command != Operation::Regression)
    {
        throw UsageError("--verbose applies to 'regression' only");
    }
    options.Inputs.assign(positionals.begin() + 1, positionals.end());
    if (threads.has_value())
    {
        if (*threads < 1)
        {
            throw UsageError("--threads must be at least 1, got " + std::to_string(*threads));
        }
        options.Threads = *threads;
    }
    if (options.Strict && options.Command != Operation::Validate)
    {
        throw UsageError("--strict applies to validate only");
    }
    if (options.Inputs.size() != found->second.InputCount)
    {
        throw UsageError("'" + options.CommandName + "' takes " +
                         InputsWord(found->second.InputCount) + ", got " +
                         std::to_string(options.Inputs.size()));
    }

    if (gridOption->count() > 0)
    {
        options.Grid = PositiveNumber("--grid", grid);
    }
    if (toleranceOption->count() > 0)
    {
        options.Tolerance = PositiveNumber("--tolerance", tolerance);
    }
    if (options.Grid && options.Tolerance && *options.Tolerance < *options.Grid)
    {
        throw UsageError("--tolerance " + tolerance + " is smaller than --grid " + grid +
                         "; the tolerance must be at least the grid step");
    }

    if (!format.empty())
    {
        static const std::map<std::string, OutputFormat> formats{
            {"geojson", OutputFormat::GeoJson},
            {"wkt", OutputFormat::Wkt},
            {"summary", OutputFormat::Summary}};
        const auto chosen = formats.find(format);
        if (chosen == formats.end())
        {
            throw UsageError("unknown format '" + format + "'; expected geojson, wkt or summary");
        }
        options.Format = chosen->second;
        options.FormatGiven = true;
    }
    return options;
}

} // namespace ArealisCli
