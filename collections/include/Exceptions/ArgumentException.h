#pragma once

#include "Exceptions/Exception.h"

#include <stdexcept>
#include <string>

namespace Exceptions
{

// A refused argument. Standard handlers for invalid_argument catch it too; that sub-object
// carries the same message (empty for a default-made exception).
class ArgumentException : public Exception, public std::invalid_argument
{
public:
    ArgumentException();
    ArgumentException(const std::string& message, std::string location);
};

// An index outside 0 .. count-1. Its out_of_range sub-object carries an empty text.
class ArgumentOutOfRangeException : public ArgumentException, public std::out_of_range
{
public:
    ArgumentOutOfRangeException();
};

} // namespace Exceptions
