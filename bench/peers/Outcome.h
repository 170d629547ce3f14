#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

namespace Peers
{

// What one run of an operation gave: its wall and processor time (all threads of the process)
// and the total area and number of the result's polygons (for comparing the answers of the two
// engines). A run of a whole command also says how its wall time split into loading, the
// operation, writing and the rest (freeing the inputs and the result; negative where not
// known), and how many bytes it wrote.
struct Outcome
{
    double Seconds = 0.0;
    double CpuSeconds = 0.0;
    double Area = 0.0;
    std::int64_t Pieces = 0;
    double LoadSeconds = -1.0;
    double OperationSeconds = -1.0;
    double WriteSeconds = -1.0;
    double FreeSeconds = -1.0;
    std::int64_t Bytes = -1;
};

// Processor time of the whole process so far, all threads.
inline double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class Stopwatch
{
public:
    Stopwatch() : m_start(std::chrono::steady_clock::now()), m_cpuStart(ProcessCpuSeconds()) {}
    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }
    double CpuSeconds() const { return ProcessCpuSeconds() - m_cpuStart; }
    // Sets both times of the outcome.
    void Stop(Outcome& outcome) const
    {
        outcome.Seconds = Seconds();
        outcome.CpuSeconds = CpuSeconds();
    }

private:
    std::chrono::steady_clock::time_point m_start;
    double m_cpuStart;
};

} // namespace Peers
