#pragma once

#include "Colour.h"

namespace Orvista
{

// The outline and fill colours of a new layer.
struct LayerColours
{
    Colour Outline;
    Colour Fill;
};

// The next pair of the eight-entry layer palette. The position is shared by the whole program
// and only advances, wrapping from the eighth pair back to the first.
LayerColours TakeNextLayerColours();

} // namespace Orvista
