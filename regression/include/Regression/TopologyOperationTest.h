#pragma once

#include "Regression/TestBase.h"

#include <cstdint>
#include <string>

namespace Arealis
{
class Topology;
}

namespace Arealis::Regression
{

// One layer operation of a topology on the two input layers, checked against the expected
// layer.
class TopologyOperationTest : public TestBase
{
public:
    using TestBase::TestBase;

    bool Run();
    // Whether a result polygon may have this many parents under the operation.
    virtual bool AcceptsParentCount(std::int32_t count) const = 0;

protected:
    // Writes the case's heading and runs the operation, returning the result layer.
    virtual PolygonLayer* Execute(Topology& resultTopology) = 0;
    void WriteHeading(const std::string& operationWord);

private:
    std::string m_caseName; // set by WriteHeading
};

class TopologyIntersectionTest final : public TopologyOperationTest
{
public:
    using TopologyOperationTest::TopologyOperationTest;
    bool AcceptsParentCount(std::int32_t count) const override { return count == 2; }

protected:
    PolygonLayer* Execute(Topology& resultTopology) override;
};

class TopologyUnionTest final : public TopologyOperationTest
{
public:
    using TopologyOperationTest::TopologyOperationTest;
    bool AcceptsParentCount(std::int32_t count) const override { return count == 2; }

protected:
    PolygonLayer* Execute(Topology& resultTopology) override;
};

class TopologySubstractTest final : public TopologyOperationTest
{
public:
    using TopologyOperationTest::TopologyOperationTest;
    bool AcceptsParentCount(std::int32_t count) const override { return count == 1; }

protected:
    PolygonLayer* Execute(Topology& resultTopology) override;
};

class TopologyJoinTest final : public TopologyOperationTest
{
public:
    using TopologyOperationTest::TopologyOperationTest;
    bool AcceptsParentCount(std::int32_t count) const override { return count == 1 || count == 2; }

protected:
    PolygonLayer* Execute(Topology& resultTopology) override;
};

} // namespace Arealis::Regression
