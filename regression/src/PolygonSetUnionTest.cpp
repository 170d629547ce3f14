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

bool PolygonSetUnionTest::Run()
{
    bool passed = false;
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
    }
    resultTopology.reset();
    return passed;
}

} // namespace Arealis::Regression
