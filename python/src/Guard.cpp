#include "Guard.h"

#include "Arealis/Topology.h"
#include "Formats/PrecisionChoice.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace py = pybind11;

namespace ArealisPython
{

namespace
{
constexpr auto CheckInterval = std::chrono::milliseconds(50);
}

void TopologyDeleter::operator()(Arealis::Topology* pTopology) const noexcept
{
    try
    {
        Arealis::Topology::Delete(pTopology);
    }
    catch (...) // NOLINT(bugprone-empty-catch): kept alive rather than failing in a destructor
    {
    }
}

TopologyPtr CreateTopology(const Arealis::Precision& precision)
{
    TopologyPtr topology(Arealis::Topology::Create());
    topology->SetPrecision(precision);
    return topology;
}

Arealis::Precision ChoosePrecision(std::optional<double> grid, std::optional<double> tolerance,
                                   bool geographic)
{
    const auto check = [](const char* name, std::optional<double> value)
    {
        if (value && !(std::isfinite(*value) && *value > 0.0))
        {
            std::ostringstream text;
            text << name << " " << *value << " is not a positive finite number";
            throw py::value_error(text.str());
        }
    };
    check("grid", grid);
    check("tolerance", tolerance);
    try
    {
        return Formats::PrecisionChoice{grid, tolerance}.For(geographic);
    }
    catch (const std::runtime_error& error)
    {
        throw py::value_error(error.what());
    }
}

std::mutex& LibraryMutex()
{
    static std::mutex mutex;
    return mutex;
}

Guard::Guard(py::object progress)
    : m_progress(std::move(progress)), m_lastCheck(std::chrono::steady_clock::now())
{
}

Guard::~Guard()
{
    Py_XDECREF(m_type);
    Py_XDECREF(m_value);
    Py_XDECREF(m_traceback);
}

void Guard::BeginStage(std::int64_t weight, std::int64_t totalWeight)
{
    m_stageOffset += m_stageWeight;
    m_stageWeight = weight;
    m_totalWeight = totalWeight;
}

std::function<void(std::int64_t, std::int64_t)> Guard::Callback()
{
    return [this](std::int64_t done, std::int64_t total) { Report(done, total); };
}

void Guard::Report(std::int64_t done, std::int64_t total)
{
    const auto now = std::chrono::steady_clock::now();
    const bool last = done >= total;
    if (!last && now - m_lastCheck < CheckInterval)
    {
        return;
    }
    m_lastCheck = now;
    if (m_totalWeight > 0)
    {
        const std::int64_t share = total > 0 ? done * m_stageWeight / total : m_stageWeight;
        done = m_stageOffset + share;
        total = m_totalWeight;
    }
    const py::gil_scoped_acquire acquire;
    bool failed = false;
    if (!m_progress.is_none())
    {
        PyObject* result = PyObject_CallFunction(m_progress.ptr(), "LL",
                                                 static_cast<long long>(done),
                                                 static_cast<long long>(total));
        failed = result == nullptr;
        Py_XDECREF(result);
    }
    // Ctrl+C sets a flag that only the main thread turns into KeyboardInterrupt, here.
    failed = failed || PyErr_CheckSignals() != 0;
    if (failed)
    {
        PyErr_Fetch(&m_type, &m_value, &m_traceback);
        throw OperationStopped{};
    }
}

void Guard::RaiseStored()
{
    PyErr_Restore(m_type, m_value, m_traceback);
    m_type = m_value = m_traceback = nullptr;
    throw py::error_already_set();
}

} // namespace ArealisPython
