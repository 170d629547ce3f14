#pragma once

#include <chrono>
#include <cstdint>

namespace Peers
{

// What one run of an operation gave: its time and the total area and number of the result's
// polygons (for comparing the answers of the two engines).
struct Outcome
{
    double Seconds = 0.0;
    double Area = 0.0;
    std::int64_t Pieces = 0;
};

class Stopwatch
{
public:
    Stopwatch() : m_start(std::chrono::steady_clock::now()) {}
    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

} // namespace Peers
