#include "Regression/TopologyOperationTest.h"

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Exceptions/Exception.h"
#include "OwnedTopology.h"
#include "Regression/LayerComparison.h"
#include "Regression/Log.h"

namespace Arealis::Regression
{

void TopologyOperationTest::WriteHeading(const std::string& operationWord)
{
    m_caseName = "topology " + operationWord + " " + FirstInput().Name + " , " +
                 SecondInput().Name + " -> " + Expected().Name;
    GetLog().WriteLine(" Topology " + operationWord + " : Input : " + FirstInput().Name + " , " +
                       SecondInput().Name + " ; \n" + "Result compare with : " + Expected().Name);
}

bool TopologyOperationTest::Run()
{
    bool passed = false;
    m_caseName = "topology operation " + FirstInput().Name + " , " + SecondInput().Name + " -> " +
                 Expected().Name;
    try
    {
        GetLog().WriteSeparator();
        OwnedTopology resultTopology;
        StartTimer();
        PolygonLayer* resultLayer = Execute(resultTopology.Get());
        StopTimer();
        try
        {
            resultTopology.Get().Commit();
        }
        catch (const Exceptions::Exception&)
        {
            // The comparison judges what the result layer holds, committed or not.
        }
        passed = CompareLayers(*resultLayer, *Expected().Layer, nullptr);
        RecordOutcome(m_caseName, *resultLayer);
        LogDuration();
        if (GetLog().IsDetailed())
        {
            GetLog().WriteResult("Operation", passed);
        }
        resultTopology.Delete();
        GetLog().WriteResult("Test", passed);
        GetLog().WriteSeparator();
    }
    catch (...)
    {
        passed = false;
        GetLog().WriteLine("Error execution");
        RecordOutcome(m_caseName, "the case ended in Error execution");
    }
    GetLog().CountResult(passed);
    return passed;
}

PolygonLayer* TopologyIntersectionTest::Execute(Topology& resultTopology)
{
    WriteHeading("intersection");
    return resultTopology.Intersection(FirstInput().Layer, SecondInput().Layer, true);
}

PolygonLayer* TopologyUnionTest::Execute(Topology& resultTopology)
{
    WriteHeading("union");
    return resultTopology.Union(FirstInput().Layer, SecondInput().Layer, true);
}

PolygonLayer* TopologySubstractTest::Execute(Topology& resultTopology)
{
    WriteHeading("substract");
    return resultTopology.Substract(FirstInput().Layer, SecondInput().Layer, true);
}

PolygonLayer* TopologyJoinTest::Execute(Topology& resultTopology)
{
    WriteHeading("join");
    return resultTopology.Join(FirstInput().Layer, SecondInput().Layer, true);
}

} // namespace Arealis::Regression
