#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace ArealisCli
{

// Formats a list in chunks of consecutive items on worker threads and writes the chunks' text
// to a stream on the calling thread, strictly in list order, as each becomes ready: the text
// is the same as one thread formatting the items one after the other. Only a window of chunks
// is formatted ahead of the one being written, so memory holds a few chunks' text, never all
// of it. The chunks are cut one after the other by the worker that formats each, just before
// it does: a pass over the list to cut it up front would be serial, and cold in the cache.
class OrderedChunkPipeline
{
public:
    // Puts the text of the items [begin, end) into text, which arrives empty (with the
    // capacity of an earlier chunk). Called from several workers at once for different chunks.
    using FormatChunk = std::function<void(std::size_t begin, std::size_t end, std::string& text)>;

    // The end of the chunk that starts at item begin, after begin. Called for one chunk at a
    // time, in list order, under the pipeline's lock.
    using CutChunk = std::function<std::size_t(std::size_t begin)>;

    // count: the items; threads: the workers formatting (at least 1); window: the chunks
    // formatted ahead of the writing.
    OrderedChunkPipeline(std::size_t count, unsigned threads, std::size_t window);
    OrderedChunkPipeline(const OrderedChunkPipeline&) = delete;
    OrderedChunkPipeline& operator=(const OrderedChunkPipeline&) = delete;

    // Formats every chunk and writes it to out. Stops early once the stream has failed (the
    // caller sees the stream's state as after any other write). Every worker has ended when it
    // returns or throws: an exception of the stream or of a worker's formatting stops the
    // rest of the work and is rethrown here.
    void Run(std::ostream& out, const CutChunk& cut, const FormatChunk& format);

private:
    // A chunk's place in the window: its text while formatted or waiting to be written.
    struct Slot
    {
        std::string Text;
        bool Ready = false;
    };

    void Work(const CutChunk& cut, const FormatChunk& format);
    void Fail(std::exception_ptr error);
    void WriteInOrder(std::ostream& out);

    std::size_t m_count;
    unsigned m_threads;
    std::vector<Slot> m_slots; // chunk k lives in slot k % window

    std::mutex m_mutex;
    std::condition_variable m_workerWake; // a slot came free, or the run stops
    std::condition_variable m_chunkReady; // a chunk was formatted, or a worker failed
    std::size_t m_nextBegin = 0;          // the first item of no chunk yet
    std::size_t m_nextToFormat = 0;       // the chunks started
    std::size_t m_nextToWrite = 0;
    bool m_stopping = false;
    std::exception_ptr m_error; // the first worker's exception
};

} // namespace ArealisCli
