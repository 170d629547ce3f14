#pragma once

#include "Arealis/LinearEdge.h"
#include "Arealis/Node.h"
#include "Arealis/Rectangle.h"
#include "support/BoxLevels.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Arealis::Detail
{

// The bounds of a ring's edges in groups of Fanout consecutive edges, those groups again in
// groups of Fanout, and so on up to a few boxes for the whole ring. Consecutive edges of a ring
// lie close together, so the groups are tight without any sorting: built in one pass over the
// nodes (an R-tree filled edge by edge cost more than the searches it served on rings of a
// hundred thousand edges), a fifth of the R-tree's memory, and a search finds the edges in the
// ring's order.
class EdgeBoxHierarchy
{
public:
    static constexpr std::size_t Fanout = 8;

    // pRing is the ring the reported edges name; nodes are its nodes, read only here.
    EdgeBoxHierarchy(Ring* pRing, std::span<Node* const> nodes) : m_ring(pRing)
    {
        m_count = nodes.size();
        if (m_count == 0)
        {
            return;
        }
        m_levels.emplace_back((m_count + Fanout - 1) / Fanout);
        std::vector<Rectangle>& groups = m_levels.back();
        for (std::size_t i = 0; i < m_count; ++i)
        {
            const Point& start = nodes[i]->Position;
            const Point& end = nodes[i + 1 < m_count ? i + 1 : 0]->Position;
            Rectangle& group = groups[i / Fanout];
            group.Extend(start);
            group.Extend(end);
        }
        AddLevelsAbove(m_levels, Fanout);
        m_nodes = nodes;
    }

    // Calls visit(LinearEdge) for each edge whose bounds meet query (closed), in the ring's
    // order, until it returns false.
    template <class F>
    void VisitOverlapping(const Rectangle& query, F&& visit) const
    {
        if (m_levels.empty())
        {
            return;
        }
        const std::size_t top = m_levels.size() - 1;
        for (std::size_t group = 0; group < m_levels[top].size(); ++group)
        {
            if (!VisitGroup(top, group, query, visit))
            {
                return;
            }
        }
    }

private:
    template <class F>
    bool VisitGroup(std::size_t level, std::size_t group, const Rectangle& query, F& visit) const
    {
        const std::vector<Rectangle>& boxes = m_levels[level];
        if (!boxes[group].Intersects(query))
        {
            return true;
        }
        const std::size_t first = group * Fanout;
        if (level == 0)
        {
            const std::size_t last = std::min(first + Fanout, m_count);
            for (std::size_t i = first; i < last; ++i)
            {
                const std::size_t next = i + 1 < m_count ? i + 1 : 0;
                if (Rectangle(m_nodes[i]->Position, m_nodes[next]->Position).Intersects(query) &&
                    !visit(LinearEdge{m_ring, static_cast<std::int32_t>(i),
                                      static_cast<std::int32_t>(next)}))
                {
                    return false;
                }
            }
            return true;
        }
        const std::size_t last = std::min(first + Fanout, m_levels[level - 1].size());
        for (std::size_t child = first; child < last; ++child)
        {
            if (!VisitGroup(level - 1, child, query, visit))
            {
                return false;
            }
        }
        return true;
    }

    Ring* m_ring;
    std::span<Node* const> m_nodes;
    std::size_t m_count = 0;
    // m_levels[0] holds the groups of edges, each further level the groups of the one below.
    std::vector<std::vector<Rectangle>> m_levels;
};

} // namespace Arealis::Detail
