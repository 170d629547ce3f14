#include "overlay/ResultRings.h"

#include "Arealis/Geometry.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "support/PositionTable.h"
#include "validation/RingWidth.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

namespace Arealis::Detail
{

namespace
{

Point ResultPosition(const TracedVertex& vertex) noexcept
{
    return vertex.pNode != nullptr ? vertex.pNode->Position : SnapToNodeGrid(vertex.Location);
}

// Adds the vertices from..end as a ring; fewer than three (a spike walked out and back)
// bound nothing.
void AddLoop(const std::vector<TracedVertex>& vertices, std::size_t from, Polygon& result)
{
    if (vertices.size() - from < 3)
    {
        return;
    }
    Ring* pRing = result.CreateRing();
    pRing->ReserveNodes(static_cast<std::int32_t>(vertices.size() - from));
    for (std::size_t i = from; i < vertices.size(); ++i)
    {
        const TracedVertex& vertex = vertices[i];
        if (vertex.pNode != nullptr)
        {
            pRing->AdoptNode(vertex.pNode);
        }
        else
        {
            pRing->AddNode(vertex.Location.X, vertex.Location.Y);
        }
    }
    // A sliver thinner than the node grid (crossing points on two nearly coinciding edges
    // rounded next to each other) bounds no area the grid can hold; kept, it would make the
    // result invalid.
    if (IsThinnerThanNodeGrid(*pRing, pRing->GetSignedArea()))
    {
        result.RemoveRing(pRing);
    }
}

// Whether two vertices of the ring stand at the same place (in the result's coordinates).
bool HasRepeatedPosition(const TracedRing& traced)
{
    // Most result rings are small pieces: compared pairwise on the stack, without a table.
    constexpr std::size_t SmallRing = 32;
    const std::size_t n = traced.Vertices.size();
    if (n <= SmallRing)
    {
        std::array<Point, SmallRing> small;
        for (std::size_t i = 0; i < n; ++i)
        {
            small[i] = ResultPosition(traced.Vertices[i]);
            for (std::size_t j = 0; j < i; ++j)
            {
                if (small[j] == small[i])
                {
                    return true;
                }
            }
        }
        return false;
    }
    std::vector<Point> positions;
    positions.reserve(n);
    for (const TracedVertex& vertex : traced.Vertices)
    {
        positions.push_back(ResultPosition(vertex));
    }
    PositionTable seen;
    seen.Reserve(n);
    const auto positionOf = [&positions](std::int32_t index)
    { return positions[static_cast<std::size_t>(index)]; };
    for (std::size_t i = 0; i < n; ++i)
    {
        const auto index = static_cast<std::int32_t>(i);
        if (seen.FindOrInsert(positions[i], index, positionOf) != index)
        {
            return true;
        }
    }
    return false;
}

void AddSplitRing(const TracedRing& traced, Polygon& result)
{
    // Most rings pass no vertex twice: they are taken as they are (when closed), without the
    // bookkeeping of the split below, which would come to the same.
    if (!HasRepeatedPosition(traced))
    {
        if (traced.Closed)
        {
            AddLoop(traced.Vertices, 0, result);
        }
        return;
    }
    std::vector<TracedVertex> vertices;
    std::vector<Point> positions;
    std::map<Point, std::size_t> seen;
    vertices.reserve(traced.Vertices.size());
    positions.reserve(traced.Vertices.size());
    for (const TracedVertex& vertex : traced.Vertices)
    {
        const Point position = ResultPosition(vertex);
        const auto found = seen.find(position);
        if (found == seen.end())
        {
            seen.emplace(position, vertices.size());
            vertices.push_back(vertex);
            positions.push_back(position);
            continue;
        }
        // The ring comes back to a vertex it passed: the stretch since then is a loop of its
        // own, and the ring goes on from the first visit.
        const std::size_t first = found->second;
        AddLoop(vertices, first, result);
        for (std::size_t i = first + 1; i < positions.size(); ++i)
        {
            seen.erase(positions[i]);
        }
        vertices.resize(first + 1);
        positions.resize(first + 1);
    }
    if (traced.Closed)
    {
        AddLoop(vertices, 0, result);
    }
}

} // namespace

void AddResultRings(const TracedRings& rings, Polygon& result)
{
    for (const TracedRing& traced : rings)
    {
        AddSplitRing(traced, result);
    }
}

} // namespace Arealis::Detail
