#pragma once

// Work split over several threads for the layer operations. Items are handed out in ascending
// order from a shared counter; callers store each item's output in a slot of its own, so the
// order in which threads finish never shows in a result.

#include "Arealis/Precision.h"

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>

namespace Arealis::Parallel
{

// The number of cores this process may run on (its CPU affinity), at least 1.
unsigned UsableCores() noexcept;

// The thread count to use for a request: 0 asks for every usable core.
unsigned ResolveThreadCount(int nRequested) noexcept;

// CPU seconds of the calling thread, for the phases the benchmarks report: on a busy machine
// (and with workers beside it) the wall-clock time of a serial step would count other threads'
// turns on the cores.
double CallingThreadCpuSeconds() noexcept;

// What a worker takes over from the thread that starts it. Every worker begins through
// Apply, the one place where per-thread state of the calling thread (settings that live in
// thread-local scopes) is copied onto the worker.
class WorkerSetUp
{
public:
    // Called on the starting thread.
    static WorkerSetUp Capture();
    // Called first thing on each worker.
    void Apply() const;

private:
    Precision m_precision; // of the operation that starts the workers
};

// Runs task(k) for every k in [0, count) on the given number of worker threads while the
// calling thread calls poll about every 50 ms and once at the end. The first exception of a
// task stops the handing out of items (tasks in progress finish) and is returned once every
// worker has ended; nullptr when all items ran. An exception of poll stops the workers the same
// way and is rethrown after they ended.
std::exception_ptr ForEach(std::size_t count, unsigned threads,
                           const std::function<void(std::size_t)>& task,
                           const std::function<void()>& poll);

// ForEach whose calling thread also does the serial part of the work while the workers run,
// so that it overlaps theirs instead of following it: serial() does what is ready and returns
// whether it did anything; it is called again at once when it did, otherwise after a short
// wait. Once every worker has ended without a failure it is called until it returns false.
// It is not called again after a task failed; an exception of serial stops the workers like
// one of poll and is rethrown after they ended. With callerWorks, the calling thread also does
// items while serial() has nothing ready, and counts as one of the threads: two threads are
// then the caller and one worker, not the caller beside two workers on two cores.
// mayStart(k), when given, bounds how far the items run ahead of the serial work: no thread
// starts item k (items start in ascending order) while it returns false; held-back workers
// ask again after serial() did something, or after a millisecond. It must return true for
// every item that the serial work waits for next, or the run could wait forever; it is
// called from several threads at once.
std::exception_ptr ForEach(std::size_t count, unsigned threads,
                           const std::function<void(std::size_t)>& task,
                           const std::function<void()>& poll,
                           const std::function<bool()>& serial, bool callerWorks = false,
                           const std::function<bool(std::size_t)>& mayStart = {});

// Runs task(k) for k in [0, count): on the calling thread for one thread, else split over
// the threads in runs of consecutive items. report, when given, is called on the calling
// thread now and then (after each item on one thread) and may throw to stop the work. A
// task's exception is rethrown once every thread has ended.
// serial, when given, is serial work of the calling thread beside the threads, as ForEach's
// serial (it does what is ready and returns whether it did anything), called at the end until
// it returns false. The calling thread then takes no items: with two threads, two workers
// share the cores with the serial work. On one thread the items run first, then the serial
// work. An exception of serial stops the items and is rethrown once every thread has ended.
void RunItems(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& task,
              const std::function<void()>& report, const std::function<bool()>& serial = {});

} // namespace Arealis::Parallel
