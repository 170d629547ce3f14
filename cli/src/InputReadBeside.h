#pragma once

#include "InputLayer.h"

#include <exception>
#include <optional>
#include <string>
#include <thread>

namespace ArealisCli
{

// The second input of a layer operation read on a thread of its own, into a topology of its
// own, while the first is read on the calling thread; joined to the first's topology once
// both are read (InputLayer's taking constructor). The node lookups of a large input go into
// an index of its own meanwhile, not into the first input's, so the two loads run at once.
class InputReadBeside
{
public:
    InputReadBeside(std::string path, std::string label, bool skipBadRecords, int threads);
    // Waits for a read still going (the first input failed).
    ~InputReadBeside();
    InputReadBeside(const InputReadBeside&) = delete;
    InputReadBeside& operator=(const InputReadBeside&) = delete;

    // Whether a read beside the calling thread's is worth a thread: two threads or more asked
    // for, or every core (0) where the process may run on two.
    static bool Worthwhile(int threads);

    // Starts the read with the first input's precision; once only, later calls do nothing.
    // Without a thread to be had, nothing starts, and the caller reads the input in turn.
    void Start(const Arealis::Precision& precision) noexcept;
    // Waits for the read and gives the layer read, or null when none was started. A read that
    // failed rethrows its failure here.
    InputLayer* Finish();
    // Drops what was read (a topology left empty once its layer was taken).
    void Discard() noexcept { m_layer.reset(); }

private:
    void Read(const Arealis::Precision& precision) noexcept;

    std::string m_path;
    std::string m_label;
    bool m_skipBadRecords;
    int m_threads;
    std::optional<InputLayer> m_layer;
    std::exception_ptr m_failure;
    std::thread m_thread;
};

} // namespace ArealisCli
