#pragma once

#include "Arealis/Topology.h"

namespace Arealis::Regression
{

// A topology that a test case creates for its result and deletes when the case ends, also
// when it ends with an error.
class OwnedTopology
{
public:
    OwnedTopology() : m_topology(Topology::Create()) {}
    OwnedTopology(const OwnedTopology&) = delete;
    OwnedTopology& operator=(const OwnedTopology&) = delete;
    ~OwnedTopology() noexcept
    {
        try
        {
            Delete();
        }
        catch (...)
        {
            // Only reached while an error is already on its way out of the case.
        }
    }

    Topology& Get() const { return *m_topology; }

    // Deletes the topology now, letting a failure reach the caller.
    void Delete()
    {
        Topology* topology = m_topology;
        m_topology = nullptr;
        if (topology != nullptr)
        {
            Topology::Delete(topology);
        }
    }

private:
    Topology* m_topology;
};

} // namespace Arealis::Regression
