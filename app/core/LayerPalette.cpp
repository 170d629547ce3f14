#include "LayerPalette.h"

#include <array>
#include <cstddef>

namespace Orvista
{

namespace
{

constexpr std::array<LayerColours, 8> Palette{{
    {{49, 49, 98}, {172, 172, 215}},
    {{5, 52, 163}, {125, 166, 251}},
    {{0, 117, 0}, {168, 255, 168}},
    {{119, 119, 0}, {255, 255, 164}},
    {{166, 0, 83}, {255, 164, 209}},
    {{113, 0, 0}, {255, 151, 151}},
    {{108, 0, 108}, {255, 151, 255}},
    {{0, 149, 74}, {130, 255, 192}},
}};

std::size_t g_nextPaletteIndex = 0;

} // namespace

LayerColours TakeNextLayerColours()
{
    const LayerColours colours = Palette[g_nextPaletteIndex];
    g_nextPaletteIndex = (g_nextPaletteIndex + 1) % Palette.size();
    return colours;
}

} // namespace Orvista
