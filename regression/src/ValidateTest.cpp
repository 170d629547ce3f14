#include "Regression/ValidateTest.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Regression/Log.h"

#include <vector>

namespace Arealis::Regression
{

ValidateTest::~ValidateTest()
{
    try
    {
        ReleaseInput();
    }
    catch (...)
    {
        // Nothing names a polygon of a validation input as a parent.
    }
}

void ValidateTest::LoadInput(const std::string& fileName)
{
    m_input = Load(fileName);
}

void ValidateTest::ReleaseInput()
{
    ReleaseTestLayer(m_input);
}

bool ValidateTest::Run()
{
    bool valid = true;
    try
    {
        GetLog().WriteSeparator();
        GetLog().WriteLine(" Polygon validate : Input : " + m_input.Name);
        // Committing moves polygons between the layer's edit list and index, so the polygons
        // are listed before any is committed.
        std::vector<Polygon*> polygons;
        PolygonEnumerator enumerator = m_input.Layer->GetPolygons();
        while (enumerator.MoveNext())
        {
            polygons.push_back(enumerator.Current());
        }
        for (Polygon* polygon : polygons)
        {
            if (!polygon->IsEditing())
            {
                continue;
            }
            try
            {
                m_input.Layer->EndEdit(polygon);
            }
            catch (const InvalidPolygonException& e)
            {
                valid = false;
                if (GetLog().IsDetailed())
                {
                    GetLog().WriteLine(e.Message());
                }
            }
            catch (const PolygonsOverlapException& e)
            {
                valid = false;
                if (GetLog().IsDetailed())
                {
                    GetLog().WriteLine(e.Message());
                }
            }
        }
        GetLog().WriteResult("Test", valid == m_expectedValid);
        RecordOutcome("polygon validate " + m_input.Name, std::string());
    }
    catch (...)
    {
        valid = false;
        GetLog().WriteLine("Error execution");
        RecordOutcome("polygon validate " + m_input.Name, "the case ended in Error execution");
    }
    GetLog().CountResult(valid == m_expectedValid);
    GetLog().WriteSeparator();
    return valid == m_expectedValid;
}

} // namespace Arealis::Regression
