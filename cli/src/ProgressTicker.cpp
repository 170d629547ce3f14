#include "ProgressTicker.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace ArealisCli
{

namespace
{

constexpr auto FirstShown = std::chrono::seconds(1);
constexpr auto Refresh = std::chrono::milliseconds(250);

} // namespace

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

void ProgressTicker::Report(std::int64_t done, std::int64_t total) noexcept
{
    m_done.store(done, std::memory_order_relaxed);
    m_total.store(total, std::memory_order_relaxed);
}

std::function<void(std::int64_t, std::int64_t)> ProgressTicker::Callback()
{
    return [this](std::int64_t done, std::int64_t total) { Report(done, total); };
}

std::string ProgressTicker::FormatLine(const std::string& label, std::int64_t done,
                                       std::int64_t total, int seconds)
{
    char text[128];
    if (total < 0)
    {
        std::snprintf(text, sizeof text, ": running, %d s", seconds);
    }
    else
    {
        const long long percent = total > 0 ? done * 100 / total : 100;
        std::snprintf(text, sizeof text, ": %lld/%lld (%lld%%), %d s", static_cast<long long>(done),
                      static_cast<long long>(total), percent, seconds);
    }
    return label + text;
}

std::string ProgressTicker::CurrentLine(int seconds) const
{
    return FormatLine(m_label, m_done.load(std::memory_order_relaxed),
                      m_total.load(std::memory_order_relaxed), seconds);
}

void ProgressTicker::Tick()
{
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock lock(m_mutex);
    if (m_stopped.wait_for(lock, FirstShown, [this] { return m_stop; }))
    {
        return;
    }
    do
    {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - start);
        const std::string line = CurrentLine(static_cast<int>(seconds.count()));
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
        m_shown = true;
    } while (!m_stopped.wait_for(lock, Refresh, [this] { return m_stop; }));
}

} // namespace ArealisCli
