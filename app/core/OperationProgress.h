#pragma once

#include "Platform.h"

#include <cstdint>
#include <functional>

namespace Orvista
{

// Follows a long library operation through its progress callback and shows the platform's
// progress bar once the operation has run for about a second, so that short operations do
// not flash a bar. The bar goes when the object does.
class OperationProgress
{
public:
    static constexpr std::uint32_t ShowAfterMilliseconds = 1000;
    // The bar is updated at most this often; the work is not slowed down by redrawing.
    static constexpr std::uint32_t UpdateMilliseconds = 100;

    explicit OperationProgress(IPlatform& platform);
    ~OperationProgress();
    OperationProgress(const OperationProgress&) = delete;
    OperationProgress& operator=(const OperationProgress&) = delete;

    // Takes (work done, work total) from the operation.
    void Report(std::int64_t done, std::int64_t total);
    // A callback for the library operations that forwards to Report.
    std::function<void(std::int64_t, std::int64_t)> Callback();

private:
    IPlatform& m_platform;
    std::uint32_t m_start;
    std::uint32_t m_lastUpdate = 0;
    bool m_shown = false;
};

} // namespace Orvista
