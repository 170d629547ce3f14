#pragma once

namespace Orvista
{

// A pixel position in window coordinates: x to the right, y downwards.
struct PixelPoint
{
    int X = 0;
    int Y = 0;

    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// A pixel rectangle; Right and Bottom lie just outside it, as with window client rectangles.
struct PixelRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    PixelRect Inflated(int by) const { return {Left - by, Top - by, Right + by, Bottom + by}; }

    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct PixelSize
{
    int Width = 0;
    int Height = 0;

    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

} // namespace Orvista
