#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ArealisCli
{

// While an operation runs longer than a second, shows a progress line on standard error when
// it is a terminal, so a long operation does not look hung: "<label>: 4500/10000 (45%), 3 s"
// once the operation has reported its work through the callback, "<label>: running, 3 s"
// before that. The line is refreshed a few times a second and cleared when the ticker is
// destroyed.
class ProgressTicker
{
public:
    explicit ProgressTicker(std::string label);
    ProgressTicker(const ProgressTicker&) = delete;
    ProgressTicker& operator=(const ProgressTicker&) = delete;
    ~ProgressTicker();

    // Records (work done, work total); cheap enough to be called for every step of the work.
    void Report(std::int64_t done, std::int64_t total) noexcept;
    // A callback that forwards to Report, for the operation.
    std::function<void(std::int64_t, std::int64_t)> Callback();

    // The line as it would be shown now, after the given time.
    std::string CurrentLine(int seconds) const;
    // The text of the line after the given time.
    static std::string FormatLine(const std::string& label, std::int64_t done, std::int64_t total,
                                  int seconds);

private:
    void Tick();

    std::string m_label;
    std::atomic<std::int64_t> m_done{0};
    std::atomic<std::int64_t> m_total{-1}; // -1 until the operation reports
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stop = false;
    bool m_shown = false;
    std::thread m_thread;
};

} // namespace ArealisCli
