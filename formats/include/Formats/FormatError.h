#pragma once

#include <stdexcept>

namespace Formats
{

// A source that cannot be read or a file that cannot be written; the message names the file
// (or the connection) and says what was wrong.
class FormatError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace Formats
