#include "InputReadBeside.h"

#include "Arealis/Topology.h"

#include <system_error>
#include <utility>

namespace ArealisCli
{

InputReadBeside::InputReadBeside(std::string path, std::string label, bool skipBadRecords,
                                 int threads)
    : m_path(std::move(path)), m_label(std::move(label)), m_skipBadRecords(skipBadRecords),
      m_threads(threads)
{
}

InputReadBeside::~InputReadBeside()
{
    if (m_thread.joinable())
    {
        m_thread.join();
    }
}

bool InputReadBeside::Worthwhile(int threads)
{
    return Arealis::Topology::ResolveLayerThreads(threads) >= 2;
}

void InputReadBeside::Start(const Arealis::Precision& precision) noexcept
{
    if (m_thread.joinable())
    {
        return; // started already
    }
    try
    {
        m_thread = std::thread([this, precision] { Read(precision); });
    }
    catch (const std::system_error&) // no thread to be had: read in turn
    {
    }
}

void InputReadBeside::Read(const Arealis::Precision& precision) noexcept
{
    try
    {
        // The layer allows overlap, as the first input's: the operations' inputs do.
        m_layer.emplace(m_path, m_label, true, m_skipBadRecords,
                        PrecisionChoice::Exactly(precision), m_threads);
    }
    catch (...)
    {
        m_failure = std::current_exception();
    }
}

InputLayer* InputReadBeside::Finish()
{
    if (!m_thread.joinable())
    {
        return nullptr;
    }
    m_thread.join();
    if (m_failure != nullptr)
    {
        std::rethrow_exception(std::exchange(m_failure, nullptr));
    }
    return &*m_layer;
}

} // namespace ArealisCli
