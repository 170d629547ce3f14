#include "Formats/Attributes.h"

#include <cstdio>

namespace Formats
{

std::string FormatDate(const Date& date)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.Year % 10000, date.Month % 100,
                  date.Day % 100);
    return text;
}

} // namespace Formats
