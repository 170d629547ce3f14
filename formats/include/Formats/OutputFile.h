#pragma once

#include "Formats/FormatError.h"

#include <filesystem>
#include <string>
#include <vector>

namespace Formats
{

// The output exists and overwriting was not asked for.
class OutputExistsError : public FormatError
{
public:
    using FormatError::FormatError;
};

// An output of one or more files (a shapefile's .shp with its companions) written under
// temporary names in a folder of its own beside the target and moved into place only by
// Commit, so that a failed or interrupted write leaves no half-written file under the target's
// name. The folder is made at construction, so an unwritable folder fails before any work.
class OutputFiles
{
public:
    // mainPath: the file the user named; companionExtensions: the other files of the output
    // (".shx", ...), which count as existing output too and are replaced together.
    OutputFiles(const std::filesystem::path& mainPath, std::vector<std::string> companionExtensions,
                bool overwrite);
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    const std::filesystem::path& MainPath() const { return m_main; }
    // Where the main file is written until Commit.
    std::filesystem::path TemporaryMain() const;
    // Whether the main file exists already (for outputs that add to an existing file).
    bool MainExists() const;
    // Moves every file written into the temporary folder to the target folder; files of the
    // output that were not written again are removed, then the temporary folder.
    void Commit();

private:
    std::filesystem::path m_main;
    std::vector<std::string> m_companions;
    std::filesystem::path m_folder;
    bool m_committed = false;
};

} // namespace Formats
