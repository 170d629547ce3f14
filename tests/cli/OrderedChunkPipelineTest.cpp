#include "OrderedChunkPipeline.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace ArealisCli;

namespace
{

// Chunks of three items each: chunk k starts at item 3 * k.
std::size_t CutThree(std::size_t begin)
{
    return begin + 3;
}

std::string ItemsText(std::size_t begin, std::size_t end)
{
    std::string text;
    for (std::size_t i = begin; i < end; ++i)
    {
        text += std::to_string(i) + ' ';
    }
    return text;
}

// A stream buffer that counts the writes it was handed: one per chunk.
class CountingBuffer : public std::stringbuf
{
public:
    std::atomic<std::size_t> Writes{0};

protected:
    std::streamsize xsputn(const char* pData, std::streamsize count) override
    {
        ++Writes;
        return std::stringbuf::xsputn(pData, count);
    }
};

// Early chunks take longest, so later ones are ready first: the text still comes in list
// order, and no chunk starts before the one that last used its slot has been written, which
// is what bounds the memory.
TEST(OrderedChunkPipelineTest, WriteChunksInOrderWithinTheWindow)
{
    constexpr std::size_t Chunks = 40;
    constexpr std::size_t Window = 4;
    CountingBuffer buffer;
    std::ostream out(&buffer);
    std::atomic<int> beyondWindow{0};
    OrderedChunkPipeline pipeline(3 * Chunks, 3, Window);
    pipeline.Run(out, CutThree,
                 [&](std::size_t begin, std::size_t end, std::string& text)
                 {
                     const std::size_t chunk = begin / 3;
                     if (chunk >= buffer.Writes + Window)
                     {
                         ++beyondWindow;
                     }
                     std::this_thread::sleep_for(std::chrono::microseconds(300 * (3 - chunk % 4)));
                     text = ItemsText(begin, end);
                 });
    EXPECT_EQ(buffer.str(), ItemsText(0, 3 * Chunks));
    EXPECT_EQ(buffer.Writes, Chunks);
    EXPECT_EQ(beyondWindow, 0);
}

// A formatting failure stops the run: the chunks before it may be written, none after it, and
// the exception reaches the caller once the workers have ended.
TEST(OrderedChunkPipelineTest, RethrowAFormattingFailure)
{
    std::ostringstream out;
    std::atomic<int> formatted{0};
    OrderedChunkPipeline pipeline(3 * 100, 2, 4);
    EXPECT_THROW(pipeline.Run(out, CutThree,
                              [&](std::size_t begin, std::size_t end, std::string& text)
                              {
                                  if (begin == 3 * 10)
                                  {
                                      throw std::runtime_error("no memory");
                                  }
                                  ++formatted;
                                  text = ItemsText(begin, end);
                              }),
                 std::runtime_error);
    const std::string written = out.str();
    EXPECT_EQ(written, ItemsText(0, 3 * 10).substr(0, written.size()));
    EXPECT_LT(formatted, 20);
}

} // namespace
