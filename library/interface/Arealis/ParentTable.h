#pragma once

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

namespace Arealis
{

class Polygon;

// The parents of a list of polygons, gathered at once (PolygonLayer::GetParentTable): those of
// the polygon at place nIndex of the list are Of(nIndex), in the order the layer stores them.
// A copy: later changes of the layer's parents do not show here.
class ParentTable
{
public:
    ParentTable() = default;
    ParentTable(std::vector<std::size_t> starts, std::vector<Polygon*> parents)
        : m_starts(std::move(starts)), m_parents(std::move(parents))
    {
    }

    std::size_t Count() const noexcept { return m_starts.empty() ? 0 : m_starts.size() - 1; }
    std::span<Polygon* const> Of(std::size_t nIndex) const
    {
        return std::span<Polygon* const>(m_parents).subspan(
            m_starts.at(nIndex), m_starts.at(nIndex + 1) - m_starts[nIndex]);
    }

private:
    // The parents of polygon i are m_parents[m_starts[i]] .. m_parents[m_starts[i + 1] - 1].
    std::vector<std::size_t> m_starts;
    std::vector<Polygon*> m_parents;
};

} // namespace Arealis
