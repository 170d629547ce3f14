#include "PreparationAhead.h"

#include "Arealis/GeometryExceptions.h"

#include <atomic>
#include <cstddef>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

using namespace Arealis;
using Arealis::Detail::PreparationAhead;

namespace
{

// The list of a commit; the preparations below never look at the polygons, only count them.
std::vector<Polygon*> ListOf(std::size_t count)
{
    return std::vector<Polygon*>(count, nullptr);
}

TEST(PreparationAheadTest, PassesBoundsAndFailuresOnInOrderAndStopsAtAnUnexpectedOne)
{
    const std::vector<Polygon*> polygons = ListOf(5000);
    std::size_t prepared = 0;
    PreparationAhead ahead(polygons,
                           [&prepared](Polygon*)
                           {
                               const std::size_t k = prepared++;
                               if (k % 700 == 5)
                               {
                                   throw InvalidPolygonException("invalid", "here");
                               }
                               if (k == 3000)
                               {
                                   throw std::runtime_error("out of room");
                               }
                               return Rectangle(double(k), 0.0, double(k) + 1.0, 1.0);
                           });
    for (std::size_t k = 0; k < 3000; ++k)
    {
        if (k % 700 == 5)
        {
            EXPECT_THROW(ahead.Take(k), InvalidPolygonException) << k;
        }
        else
        {
            ASSERT_EQ(ahead.Take(k), Rectangle(double(k), 0.0, double(k) + 1.0, 1.0)) << k;
        }
    }
    EXPECT_THROW(ahead.Take(3000), std::runtime_error);
    // Nothing after the unexpected failure was prepared.
    EXPECT_EQ(ahead.Stop(), 3001U);
    EXPECT_EQ(prepared, 3001U);
}

TEST(PreparationAheadTest, StopsWhileAheadOfACallerThatTakesNothing)
{
    const std::vector<Polygon*> polygons = ListOf(100000);
    std::atomic<std::size_t> prepared{0};
    PreparationAhead ahead(polygons,
                           [&prepared](Polygon*)
                           {
                               ++prepared;
                               return Rectangle();
                           });
    EXPECT_EQ(ahead.Take(0), Rectangle());
    // The thread stays a bounded number of polygons ahead, and a stop ends its wait.
    while (prepared.load() < 100)
    {
    }
    const std::size_t done = ahead.Stop();
    EXPECT_EQ(done, prepared.load());
    EXPECT_LT(done, 5000U);
}

} // namespace
