#include "OperationProgress.h"

namespace Orvista
{

OperationProgress::OperationProgress(IPlatform& platform)
    : m_platform(platform), m_start(platform.TickCount())
{
}

OperationProgress::~OperationProgress()
{
    if (m_shown)
    {
        m_platform.EndProgress();
    }
}

void OperationProgress::Report(std::int64_t done, std::int64_t total)
{
    const std::uint32_t now = m_platform.TickCount();
    if (!m_shown)
    {
        if (static_cast<std::uint32_t>(now - m_start) < ShowAfterMilliseconds)
        {
            return;
        }
        m_platform.BeginProgress();
        m_shown = true;
    }
    else if (static_cast<std::uint32_t>(now - m_lastUpdate) < UpdateMilliseconds && done < total)
    {
        return;
    }
    m_lastUpdate = now;
    m_platform.SetProgress(done, total);
}

std::function<void(std::int64_t, std::int64_t)> OperationProgress::Callback()
{
    return [this](std::int64_t done, std::int64_t total) { Report(done, total); };
}

} // namespace Orvista
