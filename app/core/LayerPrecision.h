#pragma once

#include "Arealis/Precision.h"

#include <string>

namespace Orvista
{

class DisplayLayer;

// "node grid 1e-06 and tolerance 0.0005".
std::string DescribePrecision(const Arealis::Precision& precision);

// Empty when the two layers have the same precision; otherwise the message that refuses an
// operation between them, naming both layers with their precisions.
std::string DifferentPrecisions(const DisplayLayer& first, const DisplayLayer& second);

} // namespace Orvista
