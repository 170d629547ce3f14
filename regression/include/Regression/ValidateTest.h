#pragma once

#include "Regression/TestBase.h"

#include <string>

namespace Arealis::Regression
{

// Commits every uncommitted polygon of its input and compares the validity found with the
// expectation.
class ValidateTest final : public TestBase
{
public:
    using TestBase::TestBase;
    ~ValidateTest() override;

    void SetExpectedValid(bool valid) noexcept { m_expectedValid = valid; }
    void LoadInput(const std::string& fileName);
    void ReleaseInput();
    bool Run();

private:
    bool m_expectedValid = false;
    LoadedLayer m_input;
};

} // namespace Arealis::Regression
