#include "RegressionRun.h"

#include "Platform.h"
#include "Regression/TestRunner.h"
#include "Shapefile/Reporter.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace Orvista
{

namespace
{

namespace fs = std::filesystem;

constexpr const char* Caption = "Test";

// The suite's messages go to the program's message boxes: its own ones (captioned) with OK, the
// reader's errors in the common error box with OK and Cancel. The reader's plain messages
// belong to the validation cases, whose files are invalid on purpose: they are kept for the
// log instead of interrupting the run, and written to it before the suite's closing message.
class PlatformReporter final : public Arealis::IReporter
{
public:
    PlatformReporter(IPlatform& platform, std::string logPath)
        : m_platform(platform), m_logPath(std::move(logPath))
    {
    }

    void ShowMessage(const std::string& text, const std::string& caption) override
    {
        if (caption.empty())
        {
            m_kept.push_back(text);
            return;
        }
        WriteKeptToLog();
        m_platform.ShowMessageBox(text, caption, MessageBoxKind::Ok);
    }
    bool ShowError(const std::string& text) override
    {
        return m_platform.ShowMessageBox(text, ApplicationTitle, MessageBoxKind::OkCancelError) ==
               BoxAnswer::Ok;
    }

    // Writes the kept messages into the log before its last line, the summary, which stays
    // the last.
    void WriteKeptToLog()
    {
        if (m_kept.empty())
        {
            return;
        }
        std::vector<std::string> lines;
        {
            std::ifstream in(m_logPath, std::ios::binary);
            for (std::string line; std::getline(in, line);)
            {
                lines.push_back(line);
            }
        }
        const auto at = lines.empty() ? lines.end() : lines.end() - 1;
        std::vector<std::string> kept;
        for (const std::string& text : m_kept)
        {
            kept.push_back("Reader: " + text);
        }
        lines.insert(at, kept.begin(), kept.end());
        std::ofstream out(m_logPath, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines)
        {
            out << line << '\n';
        }
        m_kept.clear();
    }

private:
    IPlatform& m_platform;
    std::string m_logPath;
    std::vector<std::string> m_kept;
};

// Whether the log can be written in the folder; opening it to append leaves its content alone.
bool CanWriteLog(const fs::path& folder)
{
    std::error_code error;
    if (!fs::is_directory(folder, error))
    {
        return false;
    }
    const std::ofstream probe(folder / TestLogFileName, std::ios::app);
    return probe.is_open();
}

// Copies the files of the folder (not its subfolders) into target, replacing older copies.
// False when anything could not be copied.
bool CopyFolderFiles(const fs::path& folder, const fs::path& target)
{
    std::error_code error;
    fs::create_directories(target, error);
    if (error)
    {
        return false;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
    {
        if (entry.is_regular_file(error) && entry.path().filename() != TestLogFileName)
        {
            fs::copy_file(entry.path(), target / entry.path().filename(),
                          fs::copy_options::overwrite_existing, error);
            if (error)
            {
                return false;
            }
        }
    }
    return !error;
}

} // namespace

std::string RunRegressionSuite(IPlatform& platform, const TestFilesFolders& folders)
{
    fs::path folder = folders.Folder;
    bool onCopy = false;
    std::error_code error;
    if (!folders.WritableCopy.empty() && fs::is_directory(folder, error) && !CanWriteLog(folder))
    {
        onCopy = CopyFolderFiles(folder, folders.WritableCopy);
        if (onCopy)
        {
            folder = folders.WritableCopy;
        }
    }
    std::string logPath = (folder / TestLogFileName).string();

    PlatformReporter reporter(platform, logPath);
    std::vector<std::string> shortfalls;
    bool completed = false;
    {
        const WaitCursor wait(platform);
        Arealis::Regression::TestRunner runner(reporter);
        runner.SetTestFolder(folder.string());
        runner.SetLogFilePath(logPath);
        runner.Run();
        shortfalls = runner.Shortfalls();
        completed = runner.Completed();
    }
    // What the log cannot show (results that lost expected polygons, cases that did not run)
    // in one message, the first few findings named. A run that stopped on an error has shown
    // that error already.
    if (completed && !shortfalls.empty())
    {
        constexpr std::size_t Named = 5;
        std::string text = "The run is not complete: " + std::to_string(shortfalls.size()) +
                           " findings beyond the log.";
        for (std::size_t i = 0; i < shortfalls.size() && i < Named; ++i)
        {
            text += "\n" + shortfalls[i];
        }
        platform.ShowMessageBox(text, Caption, MessageBoxKind::Exclamation);
    }
    reporter.WriteKeptToLog();
    if (onCopy)
    {
        platform.ShowMessageBox("The test files folder " + folders.Folder +
                                    " is read-only: the tests ran on a copy in " + folder.string() +
                                    ".\nThe log is " + logPath,
                                Caption, MessageBoxKind::Information);
    }
    return logPath;
}

} // namespace Orvista
