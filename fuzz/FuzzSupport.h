#pragma once

// Helpers shared by the fuzz targets: a reader that turns the fuzzer's bytes into small
// numbers (zeros once the bytes run out, so that every input decodes to something), and a
// check that stops the run with a message, which libFuzzer records as a crash together with
// the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Fuzzing
{

class ByteReader
{
public:
    ByteReader(const std::uint8_t* data, std::size_t size) noexcept : m_data(data), m_size(size) {}

    bool IsEmpty() const noexcept { return m_position >= m_size; }
    std::size_t Remaining() const noexcept { return IsEmpty() ? 0 : m_size - m_position; }

    std::uint8_t Byte() noexcept { return IsEmpty() ? 0 : m_data[m_position++]; }

    // A value in 0 .. count-1.
    int Below(int count) noexcept { return Byte() % count; }

    bool Bit() noexcept { return (Byte() & 1U) != 0; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

// A description of the decoded input, printed when a check fails.
inline std::string& Context()
{
    static std::string text;
    return text;
}

[[noreturn]] inline void Fail(const char* file, int line, const char* condition, const char* text)
{
    std::fprintf(stderr, "%s:%d: check failed: %s (%s)\ninput: %s\n", file, line, condition, text,
                 Context().c_str());
    std::abort();
}

} // namespace Fuzzing

// A property of the library that must hold for every input.
#define FUZZ_CHECK(condition, text)                                                                \
    do                                                                                             \
    {                                                                                              \
        if (!(condition))                                                                          \
        {                                                                                          \
            ::Fuzzing::Fail(__FILE__, __LINE__, #condition, text);                                 \
        }                                                                                          \
    } while (false)
