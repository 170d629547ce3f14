#include "ProgressTicker.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace ArealisCli
{

ProgressTicker::ProgressTicker(std::string label) : m_label(std::move(label))
{
    if (isatty(STDERR_FILENO) != 0)
    {
        m_thread = std::thread([this] { Tick(); });
    }
}

ProgressTicker::~ProgressTicker()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_stopped.notify_all();
    if (m_thread.joinable())
    {
        m_thread.join();
    }
    if (m_shown)
    {
        std::fputs("\r\033[K", stderr);
    }
}

void ProgressTicker::Tick()
{
    std::unique_lock lock(m_mutex);
    for (int seconds = 1;; ++seconds)
    {
        if (m_stopped.wait_for(lock, std::chrono::seconds(1), [this] { return m_stop; }))
        {
            return;
        }
        std::fprintf(stderr, "\r%s: running, %d s", m_label.c_str(), seconds);
        std::fflush(stderr);
        m_shown = true;
    }
}

} // namespace ArealisCli
