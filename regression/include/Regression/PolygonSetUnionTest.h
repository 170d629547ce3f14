#pragma once

#include "Regression/TestBase.h"

#include <string>

namespace Arealis::Regression
{

// All polygons of the first input united into one, checked against the expected layer. Its
// outcome is logged but not counted among the failed cases.
class PolygonSetUnionTest final : public TestBase
{
public:
    using TestBase::TestBase;
    bool Run();

private:
    std::string CaseName() const;
};

} // namespace Arealis::Regression
