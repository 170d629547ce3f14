#include "support/ParallelWork.h"

#include "support/StealingRanges.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
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

double CallingThreadCpuSeconds() noexcept
{
#if defined(CLOCK_THREAD_CPUTIME_ID)
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#else
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

namespace
{

// Worker threads kept from one run to the next. A thread started for every run would begin
// cold each time: its stack, its allocator caches and the per-thread working data of the
// overlay (thread-local, so that the threads of one run never share it) made again, page by
// page. A run takes idle threads and starts more when there are too few, so that runs from
// several threads at once (or one started from inside a task) each get threads of their own.
class WorkerPool
{
public:
    // The pool of this process. A child made by fork gets a new one: the threads of the
    // parent's pool do not exist there.
    static WorkerPool& Instance()
    {
        static const bool registered = []
        {
#if defined(__linux__)
            pthread_atfork(nullptr, nullptr,
                           [] { s_instance.store(nullptr, std::memory_order_relaxed); });
#endif
            return true;
        }();
        (void)registered;
        WorkerPool* pool = s_instance.load(std::memory_order_acquire);
        if (pool == nullptr)
        {
            // Never destroyed: its threads wait for work until the process ends, and a
            // destructor run at exit could meet a thread still ending its job.
            auto made = std::unique_ptr<WorkerPool>(new WorkerPool());
            if (s_instance.compare_exchange_strong(pool, made.get(), std::memory_order_acq_rel))
            {
                pool = made.release();
            }
        }
        return *pool;
    }

    // Runs work once on each of count threads of the pool and returns at once. Each thread
    // calls ended after its work, once it is back among the idle ones, so that a run that
    // follows at once finds it there; ended is the last use of the two functions' captures.
    void Start(unsigned count, const std::function<void()>& work, const std::function<void()>& ended)
    {
        std::vector<Worker*> taken;
        taken.reserve(count);
        {
            const std::lock_guard lock(m_mutex);
            while (taken.size() < count && !m_idle.empty())
            {
                taken.push_back(m_idle.back());
                m_idle.pop_back();
            }
        }
        try
        {
            while (taken.size() < count)
            {
                taken.push_back(StartWorker());
            }
        }
        catch (...)
        {
            MakeIdle(taken);
            throw;
        }
        for (Worker* worker : taken)
        {
            const std::lock_guard lock(worker->Mutex);
            worker->Work = work;
            worker->Ended = ended;
            worker->Changed.notify_one();
        }
    }

private:
    struct Worker
    {
        std::mutex Mutex;
        std::condition_variable Changed;
        std::function<void()> Work; // empty while idle
        std::function<void()> Ended;
    };

    WorkerPool() = default;

    // A new thread, not idle; throws when no thread can be started.
    Worker* StartWorker()
    {
        auto worker = std::make_unique<Worker>();
        Worker* started = worker.get();
        const std::lock_guard lock(m_mutex);
        // Room first: once the thread runs, keeping and idling it must not fail.
        m_workers.reserve(m_workers.size() + 1);
        m_idle.reserve(m_workers.size() + 1);
        std::thread([this, started] { Serve(*started); }).detach();
        m_workers.push_back(std::move(worker));
        return started;
    }

    // A pool thread: does each work handed to it, then waits idle for the next.
    void Serve(Worker& worker)
    {
        for (;;)
        {
            std::function<void()> work;
            std::function<void()> ended;
            {
                std::unique_lock lock(worker.Mutex);
                worker.Changed.wait(lock, [&] { return static_cast<bool>(worker.Work); });
                work = std::move(worker.Work);
                ended = std::move(worker.Ended);
                worker.Work = nullptr;
                worker.Ended = nullptr;
            }
            work(); // does not throw: Run::Work keeps what its tasks throw
            MakeIdle({&worker});
            ended();
        }
    }

    void MakeIdle(const std::vector<Worker*>& workers) noexcept
    {
        const std::lock_guard lock(m_mutex);
        for (Worker* worker : workers)
        {
            m_idle.push_back(worker); // within the room reserved when it started
        }
    }

    static inline std::atomic<WorkerPool*> s_instance{nullptr};
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::vector<Worker*> m_idle;
};

// The state the workers and the polling thread share.
class Run
{
public:
    Run(std::size_t count, const std::function<void(std::size_t)>& task,
        std::function<bool(std::size_t)> mayStart)
        : m_count(count), m_task(task), m_mayStart(std::move(mayStart))
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
                const std::optional<std::size_t> k = Take();
                if (!k.has_value())
                {
                    // Held back: the serial work wakes the workers when it has done some.
                    std::unique_lock lock(m_mutex);
                    m_serialDone.wait_for(lock, HeldBackWait);
                    continue;
                }
                if (*k >= m_count)
                {
                    break;
                }
                m_task(*k);
            }
        }
        catch (...)
        {
            Fail(std::current_exception());
        }
    }

    // Called by a worker after Work, as its last use of this run.
    void End()
    {
        const std::lock_guard lock(m_mutex);
        ++m_ended;
        m_changed.notify_all();
    }

    // Polls, does the serial work as it becomes ready and, with callerWorks, items while no
    // serial work is ready, until every worker has ended.
    void Wait(unsigned workers, const std::function<void()>& poll,
              const std::function<bool()>& serial, bool callerWorks)
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
            if (progressed && m_mayStart)
            {
                m_serialDone.notify_all();
            }
            if (!progressed && callerWorks && !m_stop.load())
            {
                lock.unlock();
                progressed = DoItem();
                lock.lock();
            }
            if (!progressed)
            {
                const Clock::time_point until =
                    serial && m_callerFailure == nullptr && !m_stop.load()
                        ? std::min(nextPoll, Clock::now() + serialInterval)
                        : nextPoll;
                m_changed.wait_until(lock, until, [&] { return m_ended == workers; });
            }
            // The next poll is due later also when there is nothing to poll: a deadline left
            // in the past would turn the waits above into a loop that takes a core from the
            // workers.
            const bool pollDue = m_ended == workers || Clock::now() >= nextPoll;
            if (pollDue)
            {
                nextPoll = Clock::now() + pollInterval;
            }
            if (pollDue && poll && m_callerFailure == nullptr && !CallUnlocked(lock, poll))
            {
                continue;
            }
        }
    }

    void Stop() noexcept { m_stop.store(true); }

    // Does the next item on the calling thread, a failure counting as a task's; false when
    // none was left.
    bool DoItem()
    {
        const std::optional<std::size_t> k = Take();
        if (!k.has_value() || *k >= m_count)
        {
            return false;
        }
        try
        {
            m_task(*k);
        }
        catch (...)
        {
            Fail(std::current_exception());
        }
        return true;
    }

    std::exception_ptr TaskFailure() const { return m_taskFailure; }
    std::exception_ptr CallerFailure() const { return m_callerFailure; }

private:
    // How long a held-back worker waits before it asks again, unless woken sooner.
    static constexpr auto HeldBackWait = std::chrono::milliseconds(1);

    // The next item for this thread: m_count or above when none is left; nullopt while the
    // next one may not start yet. An item is taken only once it was allowed to start.
    std::optional<std::size_t> Take()
    {
        if (!m_mayStart)
        {
            return m_next.fetch_add(1, std::memory_order_relaxed);
        }
        std::size_t k = m_next.load(std::memory_order_relaxed);
        for (;;)
        {
            if (k >= m_count)
            {
                return k;
            }
            if (!m_mayStart(k))
            {
                return std::nullopt;
            }
            if (m_next.compare_exchange_weak(k, k + 1, std::memory_order_relaxed))
            {
                return k;
            }
        }
    }

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
    const std::function<bool(std::size_t)> m_mayStart; // empty: every item may start
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::condition_variable m_serialDone; // wakes workers held back by m_mayStart
    unsigned m_ended = 0;
    std::exception_ptr m_taskFailure;
    std::exception_ptr m_callerFailure; // of poll or serial
};

} // namespace

std::exception_ptr ForEach(std::size_t count, unsigned threads,
                           const std::function<void(std::size_t)>& task,
                           const std::function<void()>& poll)
{
    return ForEach(count, threads, task, poll, {}, false);
}

std::exception_ptr ForEach(std::size_t count, unsigned threads,
                           const std::function<void(std::size_t)>& task,
                           const std::function<void()>& poll,
                           const std::function<bool()>& serial, bool callerWorks,
                           const std::function<bool(std::size_t)>& mayStart)
{
    Run run(count, task, serial ? mayStart : std::function<bool(std::size_t)>());
    const WorkerSetUp setUp = WorkerSetUp::Capture();
    // The calling thread counts as one of the threads when it does items too.
    const unsigned started = callerWorks && serial ? std::max(threads, 2U) - 1 : threads;
    const unsigned workers =
        static_cast<unsigned>(std::clamp<std::size_t>(count, 1, std::max(started, 1U)));
    // When too few threads can be started, none runs and the failure is the caller's.
    WorkerPool::Instance().Start(
        workers, [&run, &setUp] { run.Work(setUp); }, [&run] { run.End(); });
    run.Wait(workers, poll, serial, callerWorks && serial);
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

void RunItems(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& task,
              const std::function<void()>& report, const std::function<bool()>& serial)
{
    if (threads <= 1 || count <= 1)
    {
        for (std::size_t k = 0; k < count; ++k)
        {
            task(k);
            if (report)
            {
                report();
            }
        }
        while (serial && serial())
        {
        }
        return;
    }
    // Each thread goes through a run of consecutive items (see StealingRanges): neighbouring
    // items share data, which then stays in one core's cache.
    // No more threads than items.
    const auto slots = static_cast<unsigned>(std::min<std::size_t>(threads, count));
    StealingRanges ranges(count, slots);
    // Set by a failed item or a stopping report: the threads then take no more items.
    std::atomic<bool> stop{false};
    const auto stopOnFailure = [&stop](const auto& work)
    {
        try
        {
            work();
        }
        catch (...)
        {
            stop.store(true, std::memory_order_relaxed);
            throw;
        }
    };
    std::function<void()> poll;
    if (report)
    {
        poll = [&] { stopOnFailure(report); };
    }
    std::function<bool()> serialStopping;
    if (serial)
    {
        serialStopping = [&]
        {
            bool progressed = false;
            stopOnFailure([&] { progressed = serial(); });
            return progressed;
        };
    }
    const std::exception_ptr failure = ForEach(
        slots, slots,
        [&](std::size_t slot)
        {
            stopOnFailure(
                [&]
                {
                    for (std::optional<std::size_t> k = ranges.Take(static_cast<unsigned>(slot));
                         k.has_value() && !stop.load(std::memory_order_relaxed);
                         k = ranges.Take(static_cast<unsigned>(slot)))
                    {
                        task(*k);
                    }
                });
        },
        poll, serialStopping);
    if (failure != nullptr)
    {
        std::rethrow_exception(failure);
    }
}

} // namespace Arealis::Parallel
