#include "RegressionCommand.h"

#include "Regression/TestRunner.h"
#include "Shapefile/Reporter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace ArealisCli
{

namespace
{

std::vector<std::string> ReadLines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
    {
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// Drops the reader's plain messages (they come without a caption); the suite's own messages
// and errors still go to standard error.
class QuietReporter final : public Arealis::IReporter
{
public:
    void ShowMessage(const std::string& text, const std::string& caption) override
    {
        if (!caption.empty())
        {
            m_errors.ShowMessage(text, caption);
        }
    }
    bool ShowError(const std::string& text) override { return m_errors.ShowError(text); }

private:
    Arealis::StderrReporter m_errors;
};

} // namespace

bool LogShowsSuccess(const std::vector<std::string>& lines)
{
    const bool anyFailure =
        std::any_of(lines.begin(), lines.end(),
                    [](const std::string& line)
                    {
                        return line.find(" UNSUCCESSFUL") != std::string::npos ||
                               line.find("Error execution") != std::string::npos;
                    });
    return !anyFailure && !lines.empty() && lines.back() == "All test PASSED";
}

int RunRegression(const Options& options, std::ostream& standardOutput, std::ostream& errors)
{
    const std::filesystem::path folder = options.Inputs.at(0);
    if (!std::filesystem::is_directory(folder))
    {
        throw std::runtime_error(folder.string() + ": not a folder");
    }
    const std::filesystem::path logPath = folder / "TestLog.log";
    std::filesystem::remove(logPath);

    // The validation cases read invalid files on purpose: the reader's messages about them are
    // printed only when asked for.
    Arealis::StderrReporter stderrReporter;
    QuietReporter quietReporter;
    Arealis::IReporter& reporter =
        options.Verbose ? static_cast<Arealis::IReporter&>(stderrReporter) : quietReporter;
    Arealis::Regression::TestRunner runner(reporter);
    runner.SetTestFolder(folder.string());
    runner.SetLogFilePath(logPath.string());
    runner.Run();

    const std::vector<std::string> lines = ReadLines(logPath);
    standardOutput << (lines.empty() ? std::string("(empty log)") : lines.back()) << '\n';
    // The log keeps its described form; what it cannot show (results that lost or repeated
    // expected polygons, cases that did not run) is reported here and fails the run too.
    const std::vector<std::string> shortfalls = runner.Shortfalls();
    for (const std::string& shortfall : shortfalls)
    {
        errors << "arealis: regression: " << shortfall << '\n';
    }
    const bool success = LogShowsSuccess(lines) && shortfalls.empty();
    if (!success)
    {
        errors << "arealis: regression failed; see " << logPath.string() << '\n';
    }
    return success ? 0 : 1;
}

} // namespace ArealisCli
