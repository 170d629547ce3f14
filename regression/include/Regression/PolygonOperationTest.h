#pragma once

#include "Regression/TestBase.h"

#include <string>

namespace Arealis
{
class Polygon;
}

namespace Arealis::Regression
{

// One operation on the first polygons of two input layers, checked against the expected
// layer, then for convexity, for the recorded parents and for the parents being pinned.
class PolygonOperationTest : public TestBase
{
public:
    using TestBase::TestBase;

    void SetConvexExpected(bool convex) noexcept { m_convexExpected = convex; }
    bool Run();

protected:
    // Writes the case's heading and runs the operation into the result layer.
    virtual void Execute() = 0;
    virtual bool IsSymmetric() const = 0;

    void WriteHeading(const std::string& operationWord);
    Polygon* FirstPolygon() const { return m_firstPolygon; }
    Polygon* SecondPolygon() const { return m_secondPolygon; }
    PolygonLayer& ResultLayer() const { return *m_resultLayer; }
    void SetResultPolygon(Polygon* pPolygon) noexcept { m_resultPolygon = pPolygon; }

private:
    bool RunTimedOperation();
    bool CheckConvexity();
    bool CheckParents();
    bool CheckReferences();

    Polygon* m_firstPolygon = nullptr;
    Polygon* m_secondPolygon = nullptr;
    bool m_convexExpected = false;
    Polygon* m_resultPolygon = nullptr;
    PolygonLayer* m_resultLayer = nullptr;
    std::string m_caseName; // set by WriteHeading
};

class PolygonIntersectionTest final : public PolygonOperationTest
{
public:
    using PolygonOperationTest::PolygonOperationTest;

protected:
    void Execute() override;
    bool IsSymmetric() const override { return true; }
};

class PolygonUnionTest final : public PolygonOperationTest
{
public:
    using PolygonOperationTest::PolygonOperationTest;

protected:
    void Execute() override;
    bool IsSymmetric() const override { return true; }
};

class PolygonSubstractTest final : public PolygonOperationTest
{
public:
    using PolygonOperationTest::PolygonOperationTest;

protected:
    void Execute() override;
    bool IsSymmetric() const override { return false; }
};

} // namespace Arealis::Regression
