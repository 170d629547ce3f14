#pragma once

#include <stdexcept>
#include <string>

namespace Arealis::Regression
{

// The plain texts the test infrastructure throws ("Cant open file " and the name, "Can't open
// log file"); the run shows them as they are, with the caption "Test".
class TextError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace Arealis::Regression
