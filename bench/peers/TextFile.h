#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace Peers
{

// A file written through a buffer of 1 MB: text and numbers are appended to the buffer, which
// goes to the file with one fwrite whenever it is nearly full. The GEOS side's output writer,
// about the least that writing text costs.
class TextFile
{
public:
    // Throws std::runtime_error when the file cannot be opened.
    explicit TextFile(const std::string& path);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    void Text(std::string_view text);
    // Shortest text that reads back as the same double (as the command-line tool writes).
    void Number(double value);
    void Integer(std::int64_t value);

    // Writes what is left and closes the file; returns the bytes written. Throws when writing
    // failed.
    std::int64_t Finish();

private:
    void MakeRoom(std::size_t bytes);
    void Flush();

    std::string m_path;
    std::FILE* m_file;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::int64_t m_written = 0;
    bool m_failed = false;
};

} // namespace Peers
