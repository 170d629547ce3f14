#pragma once

#include "Exceptions/Exception.h"

#include <string>

namespace Exceptions
{

// An operation that the object's present state does not allow.
class InvalidOperationException : public Exception
{
public:
    InvalidOperationException(const std::string& message, std::string location);
};

} // namespace Exceptions
