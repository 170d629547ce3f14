#include "Arealis/GeometryExceptions.h"

#include <utility>

namespace Arealis
{

InvalidPolygonException::InvalidPolygonException(const std::string& message, std::string location)
    : Exceptions::Exception(message, std::move(location))
{
}

InvalidRingException::InvalidRingException(const std::string& message, std::string location)
    : InvalidPolygonException(message, std::move(location))
{
}

SelfIntersectingRingException::SelfIntersectingRingException(const std::string& message,
                                                             std::string location,
                                                             const Ring* pRing)
    : InvalidRingException(message, std::move(location)), m_ring(pRing)
{
}

PolygonsOverlapException::PolygonsOverlapException(const std::string& message,
                                                   std::string location)
    : Exceptions::Exception(message, std::move(location))
{
}

} // namespace Arealis
