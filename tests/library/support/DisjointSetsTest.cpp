#include "support/DisjointSets.h"

#include <cstddef>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <utility>
#include <vector>

using Arealis::DisjointSets;

namespace
{

// Joins made by several threads at once, each leaving out a pair found connected already (as
// the layer union's pair tests do), give the same roots as the joins made one after the other:
// a pair wrongly found connected would be left out and split a set.
TEST(DisjointSetsTest, SharedJoinsGiveTheRootsOfSerialJoins)
{
    constexpr std::uint32_t count = 20000;
    for (const std::size_t edgeCount : {std::size_t{5000}, std::size_t{40000}})
    {
        std::mt19937 random(static_cast<std::uint32_t>(edgeCount));
        // Mostly near neighbours, so that long chains and large sets form, and a few far pairs.
        std::uniform_int_distribution<std::uint32_t> any(0, count - 1);
        std::uniform_int_distribution<std::uint32_t> near(1, 40);
        std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;
        for (std::size_t e = 0; e < edgeCount; ++e)
        {
            const std::uint32_t a = any(random);
            const std::uint32_t b = e % 50 == 0 ? any(random) : (a + near(random)) % count;
            edges.emplace_back(a, b);
        }
        DisjointSets<std::uint32_t> serial(count);
        for (const auto& [a, b] : edges)
        {
            serial.Join(a, b);
        }
        DisjointSets<std::uint32_t> shared(count);
        constexpr std::size_t threadCount = 4;
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < threadCount; ++t)
        {
            threads.emplace_back(
                [&, t]
                {
                    for (std::size_t e = t; e < edges.size(); e += threadCount)
                    {
                        if (!shared.SharedConnected(edges[e].first, edges[e].second))
                        {
                            shared.SharedJoin(edges[e].first, edges[e].second);
                        }
                    }
                });
        }
        for (std::thread& thread : threads)
        {
            thread.join();
        }
        for (std::uint32_t k = 0; k < count; ++k)
        {
            ASSERT_EQ(shared.Root(k), serial.Root(k)) << k;
        }
    }
}

} // namespace
