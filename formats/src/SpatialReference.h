#pragma once

#include "Formats/CoordinateSystem.h"

#include <memory>
#include <ogr_spatialref.h>

namespace Formats
{

// The description kept with a layer of a GDAL reference system (nothing for null or empty).
CoordinateSystem DescribeSpatialReference(const OGRSpatialReference* pReference);

// GDAL's reference system for a kept description, in longitude-latitude (x-y) axis order.
std::unique_ptr<OGRSpatialReference> MakeSpatialReference(const CoordinateSystem& system);

} // namespace Formats
