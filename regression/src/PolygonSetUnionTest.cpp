#include "Regression/PolygonSetUnionTest.h"

#include "Arealis/Overlay.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Exceptions/Exception.h"
#include "OwnedTopology.h"
#include "Regression/LayerComparison.h"
#include "Regression/Log.h"

#include <optional>

namespace Arealis::Regression
{

std::string PolygonSetUnionTest::CaseName() const
{
    return "polygon set union " + FirstInput().Name + " -> " + Expected().Name;
}

bool PolygonSetUnionTest::Run()
{
    bool passed = false;
    bool failed = false;
    std::optional<OwnedTopology> resultTopology;
    try
    {
        GetLog().WriteSeparator();
        GetLog().WriteLine(" Polygon set union : Input : " + FirstInput().Name + " ; \n" +
                           "Result compare with : " + Expected().Name);
        resultTopology.emplace();
        PolygonLayer* resultLayer = resultTopology->Get().CreatePolygonLayer(true);
        StartTimer();
        PolygonEnumerator polygons = FirstInput().Layer->GetPolygons();
        Overlay::UnitePolygons(polygons.GetEnumerator(), *resultLayer, true);
        StopTimer();
        try
        {
            resultTopology->Get().Commit();
        }
        catch (const Exceptions::Exception&)
        {
            // The comparison judges what the result layer holds, committed or not.
        }
        passed = CompareLayers(*resultLayer, *Expected().Layer, nullptr);
        RecordOutcome(CaseName(), *resultLayer);
        LogDuration();
        if (GetLog().IsDetailed())
        {
            GetLog().WriteResult("Operation", passed);
        }
        GetLog().WriteResult("Test", passed);
        GetLog().WriteSeparator();
    }
    catch (...)
    {
        passed = false;
        GetLog().WriteLine("Error execution");
        failed = true;
    }
    resultTopology.reset();
    if (failed)
    {
        RecordOutcome(CaseName(), "the case ended in Error execution");
    }
    return passed;
}

} // namespace Arealis::Regression
