#include "GridNumberText.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

using ArealisCli::GridNumberText;

namespace
{

std::string Shortest(double value)
{
    std::array<char, GridNumberText::MaxLength> buffer{};
    return std::string(buffer.data(),
                       std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr);
}

std::string Written(const GridNumberText& numbers, double value)
{
    std::array<char, GridNumberText::MaxLength> buffer{};
    return std::string(buffer.data(), numbers.Write(buffer.data(), value));
}

} // namespace

// The integer path must give exactly std::to_chars' shortest text: on grid values made both
// ways a snap can round (k / 10^d and k * step), with few and many digits, trailing zeros
// that make scientific notation shorter, values off the grid, and any bit pattern.
TEST(GridNumberTextTest, WriteTheShortestRoundTripText)
{
    std::mt19937_64 random(20261208);
    std::vector<double> special{0.0,
                                -0.0,
                                1.0,
                                -1.0,
                                0.5,
                                1e-6,
                                1e-7,
                                1.2e7,
                                1.2e6,
                                1e15,
                                9.99e14,
                                1e20,
                                -1.5e-5,
                                123.456,
                                1e-300,
                                5e-324,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN()};
    for (const double step : {1e-6, 1e-3, 1.0, 1e-9, 1e-15, 0.01, 0.5, 0.0})
    {
        const GridNumberText numbers(step);
        for (const double value : special)
        {
            ASSERT_EQ(Written(numbers, value), Shortest(value)) << "step " << step;
        }
        const double scale = step > 0.0 ? std::round(1.0 / step) : 1.0;
        for (int i = 0; i < 40000; ++i)
        {
            // Integers of 1 to 16 digits, some ending in up to 3 zeros.
            const int zeros = static_cast<int>(random() % 4);
            const int digits =
                static_cast<int>(random() % static_cast<std::uint64_t>(16 - zeros)) + 1;
            auto k = static_cast<std::int64_t>(random() %
                                               static_cast<std::uint64_t>(std::pow(10.0, digits)));
            k *= static_cast<std::int64_t>(std::pow(10.0, zeros));
            const double sign = random() % 2 == 0 ? 1.0 : -1.0;
            const double kd = sign * static_cast<double>(k);
            for (const double value : {kd / scale, kd * step, std::bit_cast<double>(random()),
                                       std::ldexp(static_cast<double>(random() >> 11),
                                                  -static_cast<int>(random() % 80))})
            {
                ASSERT_EQ(Written(numbers, value), Shortest(value)) << "step " << step;
            }
        }
    }
}
