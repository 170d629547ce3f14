#include "Formats/OutputFile.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <unistd.h>

namespace Formats
{

namespace fs = std::filesystem;

namespace
{

fs::path WithExtension(fs::path path, const std::string& extension)
{
    return path.replace_extension(extension);
}

fs::path FolderOf(const fs::path& path)
{
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

} // namespace

OutputFiles::OutputFiles(const fs::path& mainPath, std::vector<std::string> companionExtensions,
                         bool overwrite)
    : m_main(mainPath), m_companions(std::move(companionExtensions))
{
    if (fs::is_directory(m_main))
    {
        throw FormatError(m_main.string() + ": is a folder, not a file");
    }
    if (!overwrite)
    {
        std::vector<fs::path> outputs{m_main};
        for (const std::string& extension : m_companions)
        {
            outputs.push_back(WithExtension(m_main, extension));
        }
        for (const fs::path& output : outputs)
        {
            if (fs::exists(output))
            {
                throw OutputExistsError(output.string() + ": the file exists already");
            }
        }
    }
    static std::atomic<unsigned> counter{0};
    m_folder = FolderOf(m_main) / ("." + m_main.filename().string() + ".partial-" +
                                   std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::error_code error;
    if (!fs::create_directory(m_folder, error))
    {
        throw FormatError(m_main.string() + ": cannot open the file for writing (folder " +
                          FolderOf(m_main).string() + ": " +
                          (error ? error.message() : std::string("name in use")) + ")");
    }
}

OutputFiles::~OutputFiles()
{
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
}

fs::path OutputFiles::TemporaryMain() const
{
    return m_folder / m_main.filename();
}

bool OutputFiles::MainExists() const
{
    return fs::exists(m_main);
}

void OutputFiles::Commit()
{
    if (m_committed)
    {
        return;
    }
    std::vector<fs::path> written;
    for (const auto& entry : fs::directory_iterator(m_folder))
    {
        written.push_back(entry.path().filename());
    }
    const fs::path target = FolderOf(m_main);
    for (const fs::path& name : written)
    {
        std::error_code error;
        fs::rename(m_folder / name, target / name, error);
        if (error)
        {
            throw FormatError((target / name).string() +
                              ": cannot move the written file into "
                              "place (" +
                              error.message() + ")");
        }
    }
    // Companions of an earlier output that this one does not have (a .prj of a layer that
    // now has no reference system) would otherwise be read together with the new files.
    for (const std::string& extension : m_companions)
    {
        const fs::path companion = WithExtension(m_main, extension);
        if (std::find(written.begin(), written.end(), companion.filename()) == written.end())
        {
            std::error_code ignored;
            fs::remove(companion, ignored);
        }
    }
    m_committed = true;
}

} // namespace Formats
