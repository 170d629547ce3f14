#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ArealisCli
{

enum class Operation
{
    Intersection,
    Union,
    Subtract,
    Join,
    Identity,
    SymmetricDifference,
    Unite,
    Validate,
    Info,
    Regression,
};

enum class OutputFormat
{
    GeoJson,
    Wkt,
    Summary,
};

struct Options
{
    Operation Command = Operation::Info;
    std::string CommandName;
    OutputFormat Format = OutputFormat::GeoJson;
    bool FormatGiven = false;
    std::string OutputPath; // empty: standard output
    // Files (of -o) and tables are replaced only when asked.
    bool Overwrite = false;
    // Inputs in different reference systems: B is transformed to A's instead of refused.
    bool Reproject = false;
    bool Stats = false;
    // Operations go on with the valid polygons of inputs that hold invalid ones and still
    // exit with 0.
    bool AllowInvalid = false;
    // Malformed records are listed and left out instead of ending the read.
    bool SkipBadRecords = false;
    // validate: also report polygons that break the simple-features rules other software
    // applies, though the library accepts them.
    bool Strict = false;
    bool Verbose = false; // regression: print the reader's messages of the validation cases
    // --grid and --tolerance: the node grid and overlay tolerance, in the inputs' units
    // (unset: the defaults, scaled to degrees for a geographic input).
    std::optional<double> Grid;
    std::optional<double> Tolerance;
    // Threads the layer operations and unite split their work over; 0: every core the process
    // may use.
    int Threads = 0;
    std::vector<std::string> Inputs;
    // Set by the tool's own entry point, whose process ends right after the command: the
    // inputs and the result of an operation that went through are left for the exit to take
    // back at once instead of being freed polygon by polygon.
    bool LeaveLayersToExit = false;
};

// A wrong argument; the message is one line saying what is wrong.
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

std::string UsageText();

// Parses the arguments (without the program name's own checks). Returns nothing when help was
// asked for and printed to helpStream; throws UsageError for anything it cannot accept.
std::optional<Options> ParseCommandLine(const std::vector<std::string>& arguments,
                                        std::ostream& helpStream);

} // namespace ArealisCli
