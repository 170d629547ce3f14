#pragma once

#include <string>
#include <vector>

namespace Arealis::Regression
{

// What the completeness check found for one case that ran, besides what the log says: the
// case named as the log's heading names it, and what was lost (an empty text when nothing
// was). The log looks from the result to the expected file only; this looks back.
struct CaseOutcome
{
    std::string Name;
    std::string Shortfall;
};

using CaseOutcomes = std::vector<CaseOutcome>;

} // namespace Arealis::Regression
