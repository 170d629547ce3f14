#pragma once

#include "Arealis/Precision.h"

#include <pybind11/pybind11.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace Arealis
{
class Topology;
}

namespace ArealisPython
{

// Deletes a topology with everything in it; a topology the library refuses to delete (its
// polygons are still parents elsewhere) is left to the end of the process.
struct TopologyDeleter
{
    void operator()(Arealis::Topology* pTopology) const noexcept;
};
using TopologyPtr = std::unique_ptr<Arealis::Topology, TopologyDeleter>;
// Every topology of the package is made here, with the precision its call chose.
TopologyPtr CreateTopology(const Arealis::Precision& precision = {});

// The precision of a call's grid= and tolerance= arguments (None: the default, scaled to
// degrees for a geographic frame). Raises ValueError for a value that is not a positive finite
// number and for a tolerance below the grid step, with the tool's wording.
Arealis::Precision ChoosePrecision(std::optional<double> grid, std::optional<double> tolerance,
                                   bool geographic);

// The library keeps process-wide state (the topology registry, the intersection algorithms) that
// one thread at a time may use. Every call into it holds this lock, taken with the GIL released
// so that a thread waiting for it never blocks one that needs the GIL to report progress.
std::mutex& LibraryMutex();

// Thrown through the library from a progress callback to end an operation early; the Python
// error that caused it (KeyboardInterrupt, or whatever the user's callback raised) is kept by
// the Guard and raised again once the library has unwound.
struct OperationStopped
{
};

// Bad input found while converting geometries; becomes ValueError.
class InputError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One call into the library from Python: releases the GIL, holds the library lock and turns
// progress reports into calls of the Python callback (at most every 50 ms, and at the end) and
// into checks for Ctrl+C. Construct it with the GIL held.
class Guard
{
public:
    explicit Guard(pybind11::object progress = pybind11::none());
    ~Guard();

    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    // Runs work without the GIL under the library lock. An OperationStopped from a progress
    // report comes out as the Python error that caused it; library exceptions pass on.
    template <class Work> auto Run(Work&& work) -> decltype(work())
    {
        try
        {
            pybind11::gil_scoped_release release;
            const std::lock_guard<std::mutex> lock(LibraryMutex());
            return work();
        }
        catch (const OperationStopped&)
        {
            RaiseStored();
        }
    }

    // For the library's progress arguments: called without the GIL, from within Run.
    void Report(std::int64_t done, std::int64_t total);
    std::function<void(std::int64_t, std::int64_t)> Callback();

    // Stages of one call report as one run: a stage of weight w moves the overall count by w
    // from its first report to its last.
    void BeginStage(std::int64_t weight, std::int64_t totalWeight);

private:
    [[noreturn]] void RaiseStored();

    pybind11::object m_progress;
    PyObject* m_type = nullptr;
    PyObject* m_value = nullptr;
    PyObject* m_traceback = nullptr;
    std::chrono::steady_clock::time_point m_lastCheck;
    std::int64_t m_stageOffset = 0;
    std::int64_t m_stageWeight = 0;
    std::int64_t m_totalWeight = 0;
};

} // namespace ArealisPython
