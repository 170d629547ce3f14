#include "TextFile.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

namespace Peers
{

namespace
{

constexpr std::size_t BufferSize = std::size_t{1} << 20;
// Room for one number, however long its text.
constexpr std::size_t NumberRoom = 32;

} // namespace

TextFile::TextFile(const std::string& path)
    : m_path(path), m_file(std::fopen(path.c_str(), "wb")), m_buffer(BufferSize)
{
    if (m_file == nullptr)
    {
        throw std::runtime_error(path + ": cannot open the file for writing");
    }
}

TextFile::~TextFile()
{
    if (m_file != nullptr)
    {
        std::fclose(m_file);
    }
}

void TextFile::Flush()
{
    if (m_used > 0 && std::fwrite(m_buffer.data(), 1, m_used, m_file) != m_used)
    {
        m_failed = true;
    }
    m_written += static_cast<std::int64_t>(m_used);
    m_used = 0;
}

void TextFile::MakeRoom(std::size_t bytes)
{
    if (m_used + bytes > m_buffer.size())
    {
        Flush();
    }
}

void TextFile::Text(std::string_view text)
{
    if (text.size() > m_buffer.size())
    {
        Flush();
        m_failed = m_failed || std::fwrite(text.data(), 1, text.size(), m_file) != text.size();
        m_written += static_cast<std::int64_t>(text.size());
        return;
    }
    MakeRoom(text.size());
    std::memcpy(m_buffer.data() + m_used, text.data(), text.size());
    m_used += text.size();
}

void TextFile::Number(double value)
{
    MakeRoom(NumberRoom);
    char* begin = m_buffer.data() + m_used;
    m_used += static_cast<std::size_t>(std::to_chars(begin, begin + NumberRoom, value).ptr - begin);
}

void TextFile::Integer(std::int64_t value)
{
    MakeRoom(NumberRoom);
    char* begin = m_buffer.data() + m_used;
    m_used += static_cast<std::size_t>(std::to_chars(begin, begin + NumberRoom, value).ptr - begin);
}

std::int64_t TextFile::Finish()
{
    Flush();
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (m_failed || !closed)
    {
        throw std::runtime_error(m_path + ": writing the output failed");
    }
    return m_written;
}

} // namespace Peers
