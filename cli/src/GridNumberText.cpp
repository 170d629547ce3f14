#include "GridNumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace ArealisCli
{

namespace
{

constexpr int MaxDecimals = 15;
// 10^15: the integers below it have at most 15 digits, and 10^d is exact up to d = 22.
constexpr double DigitLimit = 1e15;

char* WriteShortest(char* pOut, double value)
{
    return std::to_chars(pOut, pOut + GridNumberText::MaxLength, value).ptr;
}

constexpr char DigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233"
                              "34353637383940414243444546474849505152535455565758596061626364656667"
                              "6869707172737475767778798081828384858687888990919293949596979899";

} // namespace

GridNumberText::GridNumberText(double gridStep)
{
    double scale = 1.0;
    for (int d = 0; d <= MaxDecimals; ++d, scale *= 10.0)
    {
        // A step written 1e-d is the double nearest to 10^-d: times 10^d, 1 up to rounding.
        if (gridStep > 0.0 && std::fabs(gridStep * scale - 1.0) < 1e-12)
        {
            m_decimals = d;
            m_scale = scale;
            return;
        }
    }
}

char* GridNumberText::Write(char* pOut, double value) const
{
    if (m_decimals < 0 || value == 0.0)
    {
        return WriteShortest(pOut, value); // zero keeps its sign there
    }
    const double scaled = value * m_scale;
    if (!(std::fabs(scaled) < DigitLimit))
    {
        return WriteShortest(pOut, value); // too many digits, infinite or NaN
    }
    const auto k = static_cast<std::int64_t>(scaled + (scaled < 0.0 ? -0.5 : 0.5));
    // k and 10^d are exact and the division rounds once: equality makes value the double
    // nearest to k * 10^-d.
    if (k == 0 || static_cast<double>(k) / m_scale != value)
    {
        return WriteShortest(pOut, value);
    }
    // The digits of |k| end at Width (k has at most 15); Width more bytes let any of them
    // start a copy of Width bytes.
    constexpr int Width = 16;
    std::array<char, 2 * Width> text{};
    std::uint64_t rest = static_cast<std::uint64_t>(k < 0 ? -k : k);
    int first = Width;
    while (rest >= 100)
    {
        first -= 2;
        std::memcpy(text.data() + first, &DigitPairs[2 * (rest % 100)], 2);
        rest /= 100;
    }
    if (rest >= 10)
    {
        first -= 2;
        std::memcpy(text.data() + first, &DigitPairs[2 * rest], 2);
    }
    else
    {
        text[--first] = static_cast<char>('0' + rest);
    }
    int last = Width; // end of the significant digits
    while (text[last - 1] == '0')
    {
        --last;
    }
    const int count = last - first;
    // The power of ten of the last significant digit, and the digits before the point.
    const int exponent = Width - last - m_decimals;
    const int whole = Width - first - m_decimals;
    // std::to_chars writes whichever of fixed and scientific notation is shorter, fixed on a
    // tie; scientific ones are left to it.
    const int fixedLength = exponent >= 0 ? count + exponent : whole > 0 ? count + 1 : 2 - exponent;
    const int scientificExponent = whole - 1;
    const int scientificLength =
        count + (count > 1 ? 1 : 0) + 2 + (std::abs(scientificExponent) >= 100 ? 3 : 2);
    if (scientificLength < fixedLength)
    {
        return WriteShortest(pOut, value);
    }
    if (k < 0)
    {
        *pOut++ = '-';
    }
    // Whole blocks are copied (MaxLength leaves room) and the end set by the counts.
    if (whole <= 0)
    {
        std::memcpy(pOut, "0.00000000000000000", 18);
        pOut += 2 - whole;
        std::memcpy(pOut, text.data() + first, Width);
        return pOut + count;
    }
    std::memcpy(pOut, text.data() + first, Width);
    if (exponent >= 0)
    {
        return pOut + whole; // an integer: its zeros are among the digits
    }
    pOut += whole;
    *pOut++ = '.';
    std::memcpy(pOut, text.data() + first + whole, Width);
    return pOut + (count - whole);
}

} // namespace ArealisCli
