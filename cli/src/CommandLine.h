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
    bool Stats = false;
    bool Verbose = false; // regression: print the reader's messages of the validation cases
    std::vector<std::string> Inputs;
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
