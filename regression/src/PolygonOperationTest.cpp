#include "Regression/PolygonOperationTest.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Exceptions/Exception.h"
#include "OwnedTopology.h"
#include "Regression/LayerComparison.h"
#include "Regression/Log.h"
#include "Regression/TextError.h"

namespace Arealis::Regression
{

namespace
{

Polygon* FirstPolygonOf(const LoadedLayer& input)
{
    PolygonEnumerator polygons = input.Layer->GetPolygons();
    if (!polygons.MoveNext())
    {
        throw TextError("No polygon in " + input.Name);
    }
    return polygons.Current();
}

// True when the layer refuses to delete the polygon, as it must while a Parents collection
// names it. A deletion that is not refused really removes the polygon.
bool DeletionIsRefused(PolygonLayer& layer, Polygon* pPolygon)
{
    try
    {
        layer.DeletePolygon(pPolygon);
    }
    catch (const Exceptions::Exception&)
    {
        return true;
    }
    return false;
}

} // namespace

void PolygonOperationTest::WriteHeading(const std::string& operationWord)
{
    m_caseName = "polygon " + operationWord + " " + FirstInput().Name + " , " + SecondInput().Name +
                 " -> " + Expected().Name;
    GetLog().WriteLine(" Polygon " + operationWord + " : Input : " + FirstInput().Name + " , " +
                       SecondInput().Name + " ; \n" + "Result compare with : " + Expected().Name);
}

bool PolygonOperationTest::Run()
{
    bool passed = false;
    m_caseName = "polygon operation " + FirstInput().Name + " , " + SecondInput().Name + " -> " +
                 Expected().Name;
    try
    {
        GetLog().WriteSeparator();
        OwnedTopology resultTopology;
        m_resultLayer = resultTopology.Get().CreatePolygonLayer(true);
        m_resultPolygon = nullptr;
        m_firstPolygon = FirstPolygonOf(FirstInput());
        m_secondPolygon = FirstPolygonOf(SecondInput());
        if (RunTimedOperation())
        {
            passed = m_resultPolygon == nullptr ||
                     (CheckConvexity() && CheckParents() && CheckReferences());
        }
        GetLog().WriteResult("Test", passed);
        GetLog().WriteSeparator();
        m_resultLayer = nullptr;
        resultTopology.Delete();
    }
    catch (...)
    {
        passed = false;
        m_resultLayer = nullptr;
        GetLog().WriteLine("Error execution");
        RecordOutcome(m_caseName, "the case ended in Error execution");
    }
    GetLog().CountResult(passed);
    return passed;
}

bool PolygonOperationTest::RunTimedOperation()
{
    StartTimer();
    Execute();
    StopTimer();
    try
    {
        m_resultLayer->GetTopology()->Commit();
    }
    catch (const Exceptions::Exception&)
    {
        // The comparison judges what the result layer holds, committed or not.
    }
    const bool ok = CompareLayers(*m_resultLayer, *Expected().Layer, nullptr);
    RecordOutcome(m_caseName, *m_resultLayer);
    LogDuration();
    if (GetLog().IsDetailed())
    {
        GetLog().WriteResult("Operation ", ok);
    }
    return ok;
}

bool PolygonOperationTest::CheckConvexity()
{
    const bool ok = m_resultPolygon->IsConvex() == m_convexExpected;
    if (GetLog().IsDetailed())
    {
        GetLog().WriteResult("Convex ", ok);
    }
    return ok;
}

bool PolygonOperationTest::CheckParents()
{
    const auto isOperand = [this](const Polygon* pPolygon)
    { return pPolygon == m_firstPolygon || pPolygon == m_secondPolygon; };
    bool ok = false;
    PolygonEnumerator results = m_resultLayer->GetPolygons();
    if (results.MoveNext())
    {
        PolygonEnumerator parents = m_resultLayer->GetParents(results.Current());
        ok = parents.MoveNext() && isOperand(parents.Current());
        if (ok && IsSymmetric())
        {
            ok = parents.MoveNext() && isOperand(parents.Current());
        }
    }
    if (GetLog().IsDetailed())
    {
        GetLog().WriteResult("Polygon parent", ok);
    }
    return ok;
}

bool PolygonOperationTest::CheckReferences()
{
    bool ok = DeletionIsRefused(*FirstInput().Layer, m_firstPolygon);
    if (ok && IsSymmetric())
    {
        ok = DeletionIsRefused(*SecondInput().Layer, m_secondPolygon);
    }
    if (GetLog().IsDetailed())
    {
        GetLog().WriteResult("Polygon refer", ok);
    }
    return ok;
}

void PolygonIntersectionTest::Execute()
{
    WriteHeading("intersect");
    SetResultPolygon(ResultLayer().Intersection(FirstPolygon(), SecondPolygon(), true));
}

void PolygonUnionTest::Execute()
{
    WriteHeading("union");
    SetResultPolygon(ResultLayer().Union(FirstPolygon(), SecondPolygon(), true));
}

void PolygonSubstractTest::Execute()
{
    WriteHeading("substract");
    SetResultPolygon(ResultLayer().Substract(FirstPolygon(), SecondPolygon(), true));
}

} // namespace Arealis::Regression
