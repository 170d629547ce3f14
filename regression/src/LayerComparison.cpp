#include "Regression/LayerComparison.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "ScratchTopology.h"

#include <sstream>
#include <string>
#include <vector>

namespace Arealis::Regression
{

namespace
{

bool g_comparisonFlag = false;

std::vector<Polygon*> PolygonsOf(const PolygonLayer& layer)
{
    std::vector<Polygon*> polygons;
    PolygonEnumerator enumerator = layer.GetPolygons();
    while (enumerator.MoveNext())
    {
        polygons.push_back(enumerator.Current());
    }
    return polygons;
}

void CopyRing(const Ring& source, Polygon& target)
{
    if (source.Count() == 0)
    {
        return;
    }
    Ring* copy = target.CreateRing();
    for (std::int32_t i = 0; i < source.Count(); ++i)
    {
        const Point& p = source.GetNode(i)->Position;
        copy->AddNode(p.X, p.Y);
    }
}

bool EveryPolygonHasAMatch(const PolygonLayer& parts, const PolygonLayer& expected)
{
    for (const Polygon* part : PolygonsOf(parts))
    {
        if (!FindMatch(*part, expected))
        {
            return false;
        }
    }
    return true;
}

bool MatchesPartWise(Polygon& polygon, const PolygonLayer& expected)
{
    ScratchTopology scratch;
    return SplitIntoParts(polygon, scratch.Layer()) > 1 &&
           EveryPolygonHasAMatch(scratch.Layer(), expected);
}

} // namespace

void SetComparisonFlag(bool on) noexcept
{
    g_comparisonFlag = on;
}

bool GetComparisonFlag() noexcept
{
    return g_comparisonFlag;
}

bool FindMatch(const Polygon& polygon, const PolygonLayer& expected)
{
    PolygonEnumerator candidates = expected.GetPolygons(polygon.GetBounds(), 0);
    while (candidates.MoveNext())
    {
        if (polygon.IsEqual(candidates.Current(), ComparisonTolerance))
        {
            return true;
        }
    }
    return false;
}

bool CompareLayers(const PolygonLayer& result, const PolygonLayer& expected,
                   PolygonLayer* pMismatches)
{
    bool equal = true;
    for (Polygon* polygon : PolygonsOf(result))
    {
        bool found = FindMatch(*polygon, expected);
        if (!found && g_comparisonFlag)
        {
            found = MatchesPartWise(*polygon, expected);
        }
        if (!found)
        {
            equal = false;
            if (pMismatches != nullptr)
            {
                pMismatches->AddPolygon(polygon);
            }
        }
    }
    return equal;
}

std::string FindShortfall(const PolygonLayer& result, const PolygonLayer& expected)
{
    ScratchTopology resultParts;
    ScratchTopology expectedParts;
    for (Polygon* polygon : PolygonsOf(result))
    {
        SplitIntoParts(*polygon, resultParts.Layer());
    }
    for (Polygon* polygon : PolygonsOf(expected))
    {
        SplitIntoParts(*polygon, expectedParts.Layer());
    }
    std::string shortfall;
    const std::int32_t resultCount = resultParts.Layer().GetPolygonCount();
    const std::int32_t expectedCount = expectedParts.Layer().GetPolygonCount();
    if (resultCount != expectedCount)
    {
        shortfall = "the result has " + std::to_string(resultCount) + " parts, the expected file " +
                    std::to_string(expectedCount);
    }
    std::int32_t unmatched = 0;
    Rectangle first;
    for (const Polygon* part : PolygonsOf(expectedParts.Layer()))
    {
        if (!FindMatch(*part, resultParts.Layer()) && unmatched++ == 0)
        {
            first = part->GetBounds();
        }
    }
    if (unmatched > 0)
    {
        std::ostringstream text;
        text << unmatched << " expected parts have no match in the result, the first within ("
             << first.MinX << " " << first.MinY << ", " << first.MaxX << " " << first.MaxY << ")";
        shortfall += (shortfall.empty() ? "" : "; ") + text.str();
    }
    return shortfall;
}

int SplitIntoParts(Polygon& polygon, PolygonLayer& target)
{
    int parts = 0;
    RingEnumerator exteriors = polygon.GetRings(1);
    while (exteriors.MoveNext())
    {
        Ring* exterior = exteriors.Current();
        Polygon* part = target.CreatePolygon();
        CopyRing(*exterior, *part);
        RingEnumerator holes = polygon.GetInteriorRings(exterior);
        while (holes.MoveNext())
        {
            CopyRing(*holes.Current(), *part);
        }
        ++parts;
    }
    return parts;
}

void CollectOverlapping(const PolygonLayer& a, const PolygonLayer& b, PolygonLayer& target)
{
    try
    {
        {
            ScratchTopology scratch;
            for (Polygon* polygon : PolygonsOf(a))
            {
                SplitIntoParts(*polygon, scratch.Layer());
            }
            for (const Polygon* part : PolygonsOf(scratch.Layer()))
            {
                PolygonEnumerator overlapping = b.GetPolygons(part->GetBounds(), 0);
                while (overlapping.MoveNext())
                {
                    target.AddPolygon(overlapping.Current());
                }
            }
        }
        try
        {
            target.Commit();
        }
        catch (...)
        {
            // What the commit refuses stays in the target layer's edit list, visible as such.
        }
    }
    catch (...)
    {
        // The utility is a viewing aid: a failure keeps what was collected so far.
    }
}

} // namespace Arealis::Regression
