#include "Exceptions/Exception.h"

#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"

#include <utility>

namespace Exceptions
{

std::string MakeLocation(std::string_view unit, int line)
{
    std::string location(unit);
    location += ", line: ";
    location += std::to_string(line);
    return location;
}

Exception::Exception(const std::string& message, std::string location)
    : std::logic_error(message), m_location(std::move(location))
{
}

Exception::Exception(const std::string& message) : Exception(message, UndefinedLocation) {}

ArgumentException::ArgumentException()
    : Exception(Messages::InvalidArgument), std::invalid_argument("")
{
}

ArgumentException::ArgumentException(const std::string& message, std::string location)
    : Exception(message, std::move(location)), std::invalid_argument(message)
{
}

ArgumentOutOfRangeException::ArgumentOutOfRangeException()
    : ArgumentException(Messages::ArgumentOutOfRange, UndefinedLocation), std::out_of_range("")
{
}

InvalidOperationException::InvalidOperationException(const std::string& message,
                                                     std::string location)
    : Exception(message, std::move(location))
{
}

} // namespace Exceptions
