#include "Arealis/GeometryExceptions.h"
#include "Arealis/Node.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Formats/CoordinateSystem.h"
#include "Formats/FormatError.h"
#include "GdalSession.h"
#include "SpatialReference.h"

#include <memory>
#include <string_view>
#include <ogr_spatialref.h>

namespace Formats
{

CoordinateSystem DescribeSpatialReference(const OGRSpatialReference* pReference)
{
    CoordinateSystem system;
    if (pReference == nullptr || pReference->IsEmpty())
    {
        return system;
    }
    char* wkt = nullptr;
    const char* const options[] = {"FORMAT=WKT2_2018", nullptr};
    if (pReference->exportToWkt(&wkt, options) == OGRERR_NONE && wkt != nullptr)
    {
        system.Wkt = wkt;
    }
    CPLFree(wkt);
    // A GeoPackage table without a reference system has the "Undefined geographic SRS" of
    // its format (GDAL writes it for data that names none): nothing says that its
    // coordinates are degrees, so it does not count as geographic.
    const char* referenceName = pReference->GetName();
    const bool undefined = referenceName != nullptr &&
                           std::string_view(referenceName).starts_with("Undefined ");
    system.IsGeographic = pReference->IsGeographic() != 0 && !undefined;
    const char* authority = pReference->GetAuthorityName(nullptr);
    const char* code = pReference->GetAuthorityCode(nullptr);
    if (authority != nullptr && code != nullptr)
    {
        system.Name = std::string(authority) + ":" + code;
    }
    else
    {
        const char* name = pReference->GetName();
        system.Name = name != nullptr ? name : "unnamed reference system";
    }
    return system;
}

std::unique_ptr<OGRSpatialReference> MakeSpatialReference(const CoordinateSystem& system)
{
    auto reference = std::make_unique<OGRSpatialReference>();
    reference->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (reference->SetFromUserInput(system.Wkt.c_str()) != OGRERR_NONE)
    {
        throw FormatError("cannot read the reference system '" + system.Name + "'");
    }
    return reference;
}

CoordinateSystem CoordinateSystemFromText(const std::string& text)
{
    EnsureGdal();
    GdalErrors errors;
    OGRSpatialReference reference;
    if (reference.SetFromUserInput(text.c_str()) != OGRERR_NONE)
    {
        throw FormatError("cannot read the reference system '" + text.substr(0, 60) +
                          "': " + errors.Last("not a known definition"));
    }
    // A .prj often carries no authority code; naming it after the matching catalogue entry
    // gives messages a recognisable name.
    if (reference.GetAuthorityCode(nullptr) == nullptr)
    {
        int count = 0;
        int* confidences = nullptr;
        OGRSpatialReferenceH* matches = reference.FindMatches(nullptr, &count, &confidences);
        if (count > 0 && confidences[0] >= 90)
        {
            CoordinateSystem system =
                DescribeSpatialReference(OGRSpatialReference::FromHandle(matches[0]));
            OSRFreeSRSArray(matches);
            CPLFree(confidences);
            return system;
        }
        OSRFreeSRSArray(matches);
        CPLFree(confidences);
    }
    return DescribeSpatialReference(&reference);
}

bool SameCoordinateSystem(const CoordinateSystem& a, const CoordinateSystem& b)
{
    if (!a.IsKnown() || !b.IsKnown() || a.Wkt == b.Wkt)
    {
        return true;
    }
    EnsureGdal();
    GdalErrors errors;
    const auto first = MakeSpatialReference(a);
    const auto second = MakeSpatialReference(b);
    const char* const options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                                   "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
    return first->IsSame(second.get(), options) != 0;
}

std::vector<std::string> ReprojectLayer(
    const Arealis::PolygonLayer& source, Arealis::PolygonLayer& target,
    const CoordinateSystem& from, const CoordinateSystem& to,
    const std::function<void(Arealis::Polygon* pOriginal, Arealis::Polygon* pCopy)>& onCopy)
{
    EnsureGdal();
    GdalErrors errors;
    const auto fromReference = MakeSpatialReference(from);
    const auto toReference = MakeSpatialReference(to);
    std::unique_ptr<OGRCoordinateTransformation> transformation(
        OGRCreateCoordinateTransformation(fromReference.get(), toReference.get()));
    if (!transformation)
    {
        throw FormatError("no transformation from " + from.Name + " to " + to.Name + ": " +
                          errors.Last("GDAL knows none"));
    }
    std::vector<double> xs;
    std::vector<double> ys;
    std::vector<Arealis::Point> points;
    Arealis::PolygonEnumerator polygons = source.GetPolygons();
    while (polygons.MoveNext())
    {
        Arealis::Polygon* original = polygons.Current();
        Arealis::Polygon* copy = target.CreatePolygon();
        Arealis::RingEnumerator rings = original->GetRings();
        while (rings.MoveNext())
        {
            const auto nodes = rings.Current()->GetNodes();
            xs.clear();
            ys.clear();
            for (const Arealis::Node* node : nodes)
            {
                xs.push_back(node->Position.X);
                ys.push_back(node->Position.Y);
            }
            if (!transformation->Transform(xs.size(), xs.data(), ys.data()))
            {
                throw FormatError("cannot transform a point from " + from.Name + " to " + to.Name +
                                  ": " + errors.Last("outside the systems' area"));
            }
            points.clear();
            for (std::size_t i = 0; i < xs.size(); ++i)
            {
                points.push_back({xs[i], ys[i]});
            }
            copy->CreateRing()->AddNodes(points);
        }
        if (onCopy)
        {
            onCopy(original, copy);
        }
    }
    std::vector<std::string> messages;
    try
    {
        target.Commit();
    }
    catch (const Arealis::InvalidPolygonException& e)
    {
        messages.push_back(e.Message());
    }
    catch (const Arealis::PolygonsOverlapException& e)
    {
        messages.push_back(e.Message());
    }
    return messages;
}

} // namespace Formats
