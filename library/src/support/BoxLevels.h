#pragma once

#include "Arealis/Rectangle.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace Arealis::Detail
{

// Adds levels above the last one of a box hierarchy, each holding the bounds of groups of
// fanout boxes of the level below, until a level of at most fanout boxes is reached.
inline void AddLevelsAbove(std::vector<std::vector<Rectangle>>& levels, std::size_t fanout)
{
    while (levels.back().size() > fanout)
    {
        const std::vector<Rectangle>& below = levels.back();
        std::vector<Rectangle> above((below.size() + fanout - 1) / fanout);
        for (std::size_t i = 0; i < below.size(); ++i)
        {
            above[i / fanout].Extend(below[i]);
        }
        levels.push_back(std::move(above));
    }
}

} // namespace Arealis::Detail
