#pragma once

#include "Exceptions/Exception.h"

#include <string>

namespace Arealis
{

class Ring;

// A polygon whose ring structure is not valid.
class InvalidPolygonException : public Exceptions::Exception
{
public:
    InvalidPolygonException(const std::string& message, std::string location);
};

// A ring that cannot bound an area.
class InvalidRingException : public InvalidPolygonException
{
public:
    InvalidRingException(const std::string& message, std::string location);
};

// A ring whose non-adjacent edges meet; carries the ring (not owned).
class SelfIntersectingRingException : public InvalidRingException
{
public:
    SelfIntersectingRingException(const std::string& message, std::string location,
                                  const Ring* pRing);
    const Ring* GetRing() const noexcept { return m_ring; }

private:
    const Ring* m_ring;
};

// Polygons that overlap in a layer that does not allow it.
class PolygonsOverlapException : public Exceptions::Exception
{
public:
    PolygonsOverlapException(const std::string& message, std::string location);
};

} // namespace Arealis
