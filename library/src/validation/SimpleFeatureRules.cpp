#include "Arealis/SimpleFeatureRules.h"

#include "model/OperandPrecision.h"

#include "Arealis/LinearEdge.h"
#include "Arealis/Node.h"
#include "Arealis/Polygon.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/SegmentIntersection.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

namespace Arealis
{

namespace
{

using Problem = std::optional<SimpleFeatureProblem>;

const Point& PositionAt(const Ring& ring, std::int32_t i)
{
    return ring.GetNode(i)->Position;
}

// Whether p lies on the closed segment a-b, decided exactly on the coordinates.
bool LiesOnSegment(const Point& p, const Point& a, const Point& b)
{
    const double cross = (b.X - a.X) * (p.Y - a.Y) - (b.Y - a.Y) * (p.X - a.X);
    return cross == 0.0 && std::min(a.X, b.X) <= p.X && p.X <= std::max(a.X, b.X) &&
           std::min(a.Y, b.Y) <= p.Y && p.Y <= std::max(a.Y, b.Y);
}

// The numbers of the ring's edges that p lies on.
std::vector<std::int32_t> EdgesThrough(const Ring& ring, const Point& p)
{
    std::vector<std::int32_t> found;
    if (!ring.GetBounds().Contains(p))
    {
        return found;
    }
    EdgeList edges;
    ring.GetEdgesInRectangle(Rectangle(p, p), edges);
    for (const LinearEdge& edge : edges)
    {
        if (LiesOnSegment(p, edge.Start()->Position, edge.End()->Position))
        {
            found.push_back(edge.EdgeNumber());
        }
    }
    return found;
}

// Even-odd test of p against the ring alone, for a point not on its boundary.
bool IsInsideRing(const Ring& ring, const Point& p)
{
    bool inside = false;
    const std::int32_t n = ring.Count();
    for (std::int32_t i = 0, j = n - 1; i < n; j = i++)
    {
        const Point& a = PositionAt(ring, i);
        const Point& b = PositionAt(ring, j);
        if ((a.Y > p.Y) != (b.Y > p.Y) && p.X < (b.X - a.X) * (p.Y - a.Y) / (b.Y - a.Y) + a.X)
        {
            inside = !inside;
        }
    }
    return inside;
}

Problem SelfTouch(const Ring& ring)
{
    const std::int32_t n = ring.Count();
    std::set<Point> seen;
    for (std::int32_t i = 0; i < n; ++i)
    {
        const Point& p = PositionAt(ring, i);
        if (!seen.insert(p).second)
        {
            return SimpleFeatureProblem{SimpleFeatureFault::RingSelfTouch, p};
        }
        for (const std::int32_t edge : EdgesThrough(ring, p))
        {
            // The edges ending at vertex i are edge i and edge i - 1.
            if (edge != i && edge != (i + n - 1) % n)
            {
                return SimpleFeatureProblem{SimpleFeatureFault::RingSelfTouch, p};
            }
        }
    }
    return std::nullopt;
}

// Disjoint sets of the rings of one exterior ring's group (the first entries) and of the
// points where they touch (added as they are found).
class TouchGraph
{
public:
    explicit TouchGraph(std::size_t rings) : m_parent(rings)
    {
        std::iota(m_parent.begin(), m_parent.end(), 0);
    }

    // Records that the ring touches the point; false when that closes a loop.
    bool Add(std::size_t ring, const Point& p)
    {
        if (!m_pairs.insert({ring, p}).second)
        {
            return true;
        }
        const auto [found, added] = m_points.try_emplace(p, m_parent.size());
        if (added)
        {
            m_parent.push_back(m_parent.size());
        }
        const std::size_t a = Root(ring);
        const std::size_t b = Root(found->second);
        if (a == b)
        {
            return false;
        }
        m_parent[a] = b;
        return true;
    }

private:
    std::size_t Root(std::size_t i)
    {
        while (m_parent[i] != i)
        {
            m_parent[i] = m_parent[m_parent[i]];
            i = m_parent[i];
        }
        return i;
    }

    std::vector<std::size_t> m_parent;
    std::map<Point, std::size_t> m_points;
    std::set<std::pair<std::size_t, Point>> m_pairs;
};

// Rings of the group (the exterior ring first, then its holes) touching one another in a loop.
Problem DisconnectedInterior(const std::vector<const Ring*>& group)
{
    TouchGraph graph(group.size());
    for (std::size_t r = 0; r < group.size(); ++r)
    {
        const Ring& ring = *group[r];
        for (std::int32_t i = 0; i < ring.Count(); ++i)
        {
            const Point& p = PositionAt(ring, i);
            for (std::size_t s = 0; s < group.size(); ++s)
            {
                if (s == r || EdgesThrough(*group[s], p).empty())
                {
                    continue;
                }
                if (!graph.Add(r, p) || !graph.Add(s, p))
                {
                    return SimpleFeatureProblem{SimpleFeatureFault::DisconnectedInterior, p};
                }
            }
        }
    }
    return std::nullopt;
}

// An exterior ring with a vertex inside another exterior ring and outside its holes.
Problem NestedExterior(const std::vector<std::vector<const Ring*>>& groups)
{
    for (const auto& outer : groups)
    {
        const Ring& container = *outer.front();
        const Rectangle bounds = container.GetBounds();
        for (const auto& inner : groups)
        {
            const Ring& candidate = *inner.front();
            if (&candidate == &container || !bounds.Contains(candidate.GetBounds()))
            {
                continue;
            }
            for (std::int32_t i = 0; i < candidate.Count(); ++i)
            {
                const Point& p = PositionAt(candidate, i);
                const auto onBoundary = [&p](const Ring* pRing)
                { return !EdgesThrough(*pRing, p).empty(); };
                if (std::any_of(outer.begin(), outer.end(), onBoundary))
                {
                    continue; // decided by a vertex off the other rings
                }
                const bool inHole = std::any_of(outer.begin() + 1, outer.end(),
                                                [&p](const Ring* pHole)
                                                { return IsInsideRing(*pHole, p); });
                if (IsInsideRing(container, p) && !inHole)
                {
                    return SimpleFeatureProblem{SimpleFeatureFault::NestedExteriorRings, p};
                }
                break;
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::string SimpleFeatureProblem::Describe() const
{
    std::ostringstream text;
    text.precision(17);
    switch (Fault)
    {
    case SimpleFeatureFault::RingSelfTouch:
        text << "A ring touches itself";
        break;
    case SimpleFeatureFault::DisconnectedInterior:
        text << "Interior is disconnected";
        break;
    case SimpleFeatureFault::NestedExteriorRings:
        text << "An exterior ring lies inside another exterior ring";
        break;
    }
    text << " at (" << Location.X << ' ' << Location.Y << ')';
    return text.str();
}

std::optional<SimpleFeatureProblem> FindSimpleFeatureProblem(Polygon& polygon)
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(polygon));
    if (polygon.IsModified())
    {
        polygon.Organise();
    }
    std::vector<std::vector<const Ring*>> groups;
    RingEnumerator exteriors = polygon.GetRings(RingEnumerator::ExteriorRings);
    while (exteriors.MoveNext())
    {
        Ring* pExterior = exteriors.Current();
        std::vector<const Ring*> group{pExterior};
        RingEnumerator holes = polygon.GetInteriorRings(pExterior);
        while (holes.MoveNext())
        {
            group.push_back(holes.Current());
        }
        groups.push_back(std::move(group));
    }
    for (const auto& group : groups)
    {
        for (const Ring* pRing : group)
        {
            if (Problem problem = SelfTouch(*pRing))
            {
                return problem;
            }
        }
        if (Problem problem = DisconnectedInterior(group))
        {
            return problem;
        }
    }
    return NestedExterior(groups);
}

} // namespace Arealis
