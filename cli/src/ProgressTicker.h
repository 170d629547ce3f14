#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace ArealisCli
{

// While an operation runs longer than a second, shows "<label>: running, N s" on standard
// error when it is a terminal, so a long operation does not look hung. The line is cleared
// when the ticker is destroyed.
class ProgressTicker
{
public:
    explicit ProgressTicker(std::string label);
    ProgressTicker(const ProgressTicker&) = delete;
    ProgressTicker& operator=(const ProgressTicker&) = delete;
    ~ProgressTicker();

private:
    void Tick();

    std::string m_label;
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stop = false;
    bool m_shown = false;
    std::thread m_thread;
};

} // namespace ArealisCli
