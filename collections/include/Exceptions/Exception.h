#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace Exceptions
{

// Location text of a check that failed: the source unit, ", line: " and the line number
// ("Ring, line: 637"). Exceptions thrown without a location report "undefined".
std::string MakeLocation(std::string_view unit, int line);

inline constexpr const char* UndefinedLocation = "undefined";

// Base of every exception the library throws: a fixed English message and the location of
// the check that threw it.
class Exception : public std::logic_error
{
public:
    Exception(const std::string& message, std::string location);
    explicit Exception(const std::string& message);

    // The message, read through this base: the argument exceptions also derive from a second
    // standard exception, so what() is ambiguous on them.
    const char* Message() const noexcept { return std::logic_error::what(); }
    const std::string& Location() const noexcept { return m_location; }

private:
    std::string m_location;
};

} // namespace Exceptions
