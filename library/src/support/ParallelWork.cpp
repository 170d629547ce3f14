#include "support/ParallelWork.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

namespace Arealis::Parallel
{

unsigned UsableCores() noexcept
{
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0)
    {
        const int count = CPU_COUNT(&set);
        if (count > 0)
        {
            return static_cast<unsigned>(count);
        }
    }
#endif
    return std::max(1U, std::thread::hardware_concurrency());
}

unsigned ResolveThreadCount(int nRequested) noexcept
{
    return nRequested > 0 ? static_cast<unsigned>(nRequested) : UsableCores();
}

WorkerSetUp WorkerSetUp::Capture()
{
    WorkerSetUp setUp;
    setUp.m_precision = CurrentPrecision();
    return setUp;
}

// A worker thread ends with its work, so the precision is set for the rest of its life rather
// than through a scope.
void WorkerSetUp::Apply() const
{
    Detail::t_currentPrecision = m_precision;
}

namespace
{

// The state the workers and the polling thread share.
class Run
{
public:
    Run(std::size_t count, const std::function<void(std::size_t)>& task)
        : m_count(count), m_task(task)
    {
    }

    void Work(const WorkerSetUp& setUp)
    {
        try
        {
            setUp.Apply();
            for (;;)
            {
                if (m_stop.load(std::memory_order_relaxed))
                {
                    break;
                }
                const std::size_t k = m_next.fetch_add(1, std::memory_order_relaxed);
                if (k >= m_count)
                {
                    break;
                }
                m_task(k);
            }
        }
        catch (...)
        {
            Fail(std::current_exception());
        }
        const std::lock_guard lock(m_mutex);
        ++m_ended;
        m_changed.notify_all();
    }

    // Polls, and does the serial work as it becomes ready, until every worker has ended.
    void Wait(unsigned workers, const std::function<void()>& poll,
              const std::function<bool()>& serial)
    {
        using Clock = std::chrono::steady_clock;
        constexpr auto pollInterval = std::chrono::milliseconds(50);
        // Short: the serial work waits for items the workers finish at a high rate.
        constexpr auto serialInterval = std::chrono::milliseconds(1);
        Clock::time_point nextPoll = Clock::now() + pollInterval;
        std::unique_lock lock(m_mutex);
        while (m_ended < workers)
        {
            bool progressed = false;
            if (serial && m_callerFailure == nullptr && !m_stop.load() &&
                !CallUnlocked(lock, [&] { progressed = serial(); }))
            {
                continue;
            }
            if (!progressed)
            {
                const Clock::time_point until =
                    serial && m_callerFailure == nullptr && !m_stop.load()
                        ? std::min(nextPoll, Clock::now() + serialInterval)
                        : nextPoll;
                m_changed.wait_until(lock, until, [&] { return m_ended == workers; });
            }
            if (poll && m_callerFailure == nullptr &&
                (m_ended == workers || Clock::now() >= nextPoll))
            {
                nextPoll = Clock::now() + pollInterval;
                if (!CallUnlocked(lock, poll))
                {
                    continue;
                }
            }
        }
    }

    void Stop() noexcept { m_stop.store(true); }
    std::exception_ptr TaskFailure() const { return m_taskFailure; }
    std::exception_ptr CallerFailure() const { return m_callerFailure; }

private:
    // Calls the calling thread's part (the serial work or the poll) with the lock released.
    // An exception stops the workers and becomes the caller's failure: false then.
    template <class Call>
    bool CallUnlocked(std::unique_lock<std::mutex>& lock, const Call& call)
    {
        lock.unlock();
        try
        {
            call();
        }
        catch (...)
        {
            m_stop.store(true);
            lock.lock();
            m_callerFailure = std::current_exception();
            return false;
        }
        lock.lock();
        return true;
    }

    void Fail(std::exception_ptr failure)
    {
        m_stop.store(true);
        const std::lock_guard lock(m_mutex);
        if (m_taskFailure == nullptr)
        {
            m_taskFailure = std::move(failure);
        }
    }

    const std::size_t m_count;
    const std::function<void(std::size_t)>& m_task;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    unsigned m_ended = 0;
    std::exception_ptr m_taskFailure;
    std::exception_ptr m_callerFailure; // of poll or serial
};

} // namespace

std::exception_ptr ForEach(std::size_t count, unsigned threads,
                           const std::function<void(std::size_t)>& task,
                           const std::function<void()>& poll)
{
    return ForEach(count, threads, task, poll, {});
}

std::exception_ptr ForEach(std::size_t count, unsigned threads,
                           const std::function<void(std::size_t)>& task,
                           const std::function<void()>& poll,
                           const std::function<bool()>& serial)
{
    Run run(count, task);
    const WorkerSetUp setUp = WorkerSetUp::Capture();
    const unsigned workers =
        static_cast<unsigned>(std::clamp<std::size_t>(count, 1, std::max(threads, 1U)));
    std::vector<std::jthread> started;
    started.reserve(workers);
    try
    {
        for (unsigned i = 0; i < workers; ++i)
        {
            started.emplace_back([&run, &setUp] { run.Work(setUp); });
        }
    }
    catch (...)
    {
        // No thread could be started: the ones running end, and the failure is the caller's.
        run.Stop();
        started.clear();
        throw;
    }
    run.Wait(workers, poll, serial);
    started.clear(); // joins
    if (run.CallerFailure() != nullptr)
    {
        std::rethrow_exception(run.CallerFailure());
    }
    if (serial && run.TaskFailure() == nullptr)
    {
        while (serial())
        {
        }
    }
    if (poll)
    {
        poll();
    }
    return run.TaskFailure();
}

} // namespace Arealis::Parallel
