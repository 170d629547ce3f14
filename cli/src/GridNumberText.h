#pragma once

#include <cstddef>

namespace ArealisCli
{

// Writes doubles as their shortest round-trip text (what std::to_chars gives without a format),
// faster for values that lie on a decimal node grid. A value x with x == k / 10^d for an
// integer k of at most 15 digits is the double nearest to the decimal k * 10^-d; decimals of
// at most 15 significant digits never share their nearest double, so k's digits (trailing
// zeros dropped) are the shortest text and the only one of that length. Those digits come from
// the integer; every other value (about a third of the snapped ones, whose product k * step
// rounds differently) goes through std::to_chars.
class GridNumberText
{
public:
    // Room that one number may take (the text is at most 24 characters; the rest lets the
    // digits be copied in whole blocks).
    static constexpr std::size_t MaxLength = 48;

    // For a grid of step 10^-d, 0 <= d <= 15; any other step leaves every value to
    // std::to_chars. The text is the same for every step: it only decides how often the
    // integer path is taken.
    explicit GridNumberText(double gridStep);

    // Writes the text of value at pOut (MaxLength bytes free) and returns its end.
    char* Write(char* pOut, double value) const;

private:
    int m_decimals = -1;  // d, or -1 for no grid path
    double m_scale = 0.0; // 10^d
};

} // namespace ArealisCli
