#include "OrderedChunkPipeline.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace ArealisCli
{

OrderedChunkPipeline::OrderedChunkPipeline(std::size_t count, unsigned threads, std::size_t window)
    : m_count(count), m_threads(std::max(1U, threads)), m_slots(std::max<std::size_t>(1, window))
{
}

void OrderedChunkPipeline::Run(std::ostream& out, const CutChunk& cut, const FormatChunk& format)
{
    std::vector<std::thread> workers;
    // However the run ends (the stream may throw, so may making a thread), every worker is
    // told to stop and joined before Run returns: a joinable thread destroyed would end the
    // process, and a worker must not outlive the list it reads.
    const auto stopAndJoin = [&]
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_workerWake.notify_all();
        for (std::thread& worker : workers)
        {
            worker.join();
        }
    };
    try
    {
        workers.reserve(m_threads);
        for (unsigned t = 0; t < m_threads; ++t)
        {
            workers.emplace_back([this, &cut, &format] { Work(cut, format); });
        }
        WriteInOrder(out);
    }
    catch (...)
    {
        stopAndJoin();
        throw;
    }
    stopAndJoin();
    if (m_error)
    {
        std::rethrow_exception(m_error);
    }
}

void OrderedChunkPipeline::Work(const CutChunk& cut, const FormatChunk& format)
{
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        // A chunk may start once the chunk that last used its slot has been written.
        m_workerWake.wait(lock,
                          [this]
                          {
                              return m_stopping || m_nextBegin == m_count ||
                                     m_nextToFormat < m_nextToWrite + m_slots.size();
                          });
        if (m_stopping || m_nextBegin == m_count)
        {
            return;
        }
        const std::size_t begin = m_nextBegin;
        std::size_t end = begin;
        try
        {
            end = std::clamp(cut(begin), begin + 1, m_count);
        }
        catch (...)
        {
            Fail(std::current_exception());
            return;
        }
        m_nextBegin = end;
        const std::size_t chunk = m_nextToFormat++;
        Slot& slot = m_slots[chunk % m_slots.size()];
        std::string text = std::move(slot.Text);
        lock.unlock();
        text.clear();
        try
        {
            format(begin, end, text);
        }
        catch (...)
        {
            lock.lock();
            Fail(std::current_exception());
            return;
        }
        lock.lock();
        slot.Text = std::move(text);
        slot.Ready = true;
        m_chunkReady.notify_one();
    }
}

// Called with the mutex held.
void OrderedChunkPipeline::Fail(std::exception_ptr error)
{
    if (!m_error)
    {
        m_error = std::move(error);
    }
    m_stopping = true;
    m_workerWake.notify_all();
    m_chunkReady.notify_one();
}

void OrderedChunkPipeline::WriteInOrder(std::ostream& out)
{
    for (std::size_t chunk = 0;; ++chunk)
    {
        Slot& slot = m_slots[chunk % m_slots.size()];
        std::string text;
        {
            std::unique_lock lock(m_mutex);
            // Done once every item is in a chunk and this one is past the last.
            const auto written = [&] { return m_nextBegin == m_count && chunk == m_nextToFormat; };
            m_chunkReady.wait(lock, [&] { return slot.Ready || m_error || written(); });
            if (m_error)
            {
                return; // Run rethrows it
            }
            if (!slot.Ready)
            {
                return;
            }
            text = std::move(slot.Text);
            slot.Ready = false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        {
            const std::lock_guard lock(m_mutex);
            slot.Text = std::move(text); // its capacity serves the chunk that takes the slot next
            m_nextToWrite = chunk + 1;
        }
        m_workerWake.notify_one();
        if (!out)
        {
            return; // the rest would be lost; the caller reports the stream's failure
        }
    }
}

} // namespace ArealisCli
