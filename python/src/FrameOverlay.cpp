#include "FrameOverlay.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/LinearEdge.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/SimpleFeatureRules.h"
#include "Arealis/Topology.h"
#include "Collections/IEnumerator.h"
#include "Collections/VectorEnumerator.h"
#include "Conversion.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <unordered_map>
#include <utility>

namespace ArealisPython
{

namespace
{

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Describe(const Exceptions::Exception& error)
{
    return std::string(error.Message()) + " (" + error.Location() + ")";
}

InputError RowError(const std::string& frame, std::size_t row, const std::string& what)
{
    return InputError(frame + ", row " + std::to_string(row) + ": " + what);
}

// One frame's polygons in a layer of the call's topology, with the row of each polygon.
class FrameLayer
{
public:
    FrameLayer(Arealis::Topology& topology, const FrameGeometries& frame)
        : m_layer(topology.CreatePolygonLayer(true)), m_polygons(frame.Wkb.size(), nullptr)
    {
        for (std::size_t row = 0; row < frame.Wkb.size(); ++row)
        {
            if (!frame.Wkb[row].empty())
            {
                AddRow(frame, row);
            }
        }
        CommitOrExplain(frame.Name);
    }

    Arealis::PolygonLayer& Layer() const { return *m_layer; }
    std::size_t Rows() const { return m_polygons.size(); }
    Arealis::Polygon* PolygonAt(std::size_t row) const { return m_polygons[row]; }
    std::int64_t RowOf(const Arealis::Polygon* pPolygon) const
    {
        const auto found = m_rows.find(pPolygon);
        return found == m_rows.end() ? -1 : found->second;
    }

private:
    void AddRow(const FrameGeometries& frame, std::size_t row)
    {
        Arealis::Polygon* pPolygon = m_layer->CreatePolygon();
        try
        {
            ReadWkb(frame.Wkb[row], *pPolygon);
            // Repeated points (also those that meet on the node grid) are allowed in the input.
            pPolygon->Clean(false);
        }
        catch (const InputError& error)
        {
            throw RowError(frame.Name, row, error.what());
        }
        catch (const Exceptions::Exception& error)
        {
            throw RowError(frame.Name, row, Describe(error));
        }
        if (pPolygon->IsEmpty())
        {
            m_layer->DeletePolygon(pPolygon); // an empty geometry takes part in nothing
            return;
        }
        m_polygons[row] = pPolygon;
        m_rows.emplace(pPolygon, static_cast<std::int64_t>(row));
    }

    // Polygons that the commit refuses stay in the edit list: the first, by row, is reported.
    void CommitOrExplain(const std::string& frame)
    {
        try
        {
            m_layer->Commit();
        }
        catch (const Arealis::InvalidPolygonException&)
        {
        }
        if (m_layer->GetEditingCount() == 0)
        {
            return;
        }
        for (std::size_t row = 0; row < m_polygons.size(); ++row)
        {
            Arealis::Polygon* pPolygon = m_polygons[row];
            if (pPolygon != nullptr && pPolygon->IsEditing())
            {
                try
                {
                    pPolygon->Validate(true);
                }
                catch (const Exceptions::Exception& error)
                {
                    throw RowError(frame, row, "invalid polygon: " + Describe(error));
                }
            }
        }
    }

    Arealis::PolygonLayer* m_layer;
    std::vector<Arealis::Polygon*> m_polygons;
    std::unordered_map<const Arealis::Polygon*, std::int64_t> m_rows;
};

using ListEnumerator = Collections::VectorEnumerator<Arealis::Polygon*>;

// Above this many candidates a polygon's edges are indexed while it is combined with them.
constexpr std::size_t EdgeIndexThreshold = 50;

// Writes result polygons, timing the writing apart from the operation.
class PieceWriter
{
public:
    PieceWriter(Pieces& pieces, Timings& time) : m_pieces(pieces), m_time(time) {}

    void Write(Arealis::Polygon& polygon, std::int64_t left, std::int64_t right)
    {
        const Clock::time_point start = Clock::now();
        AppendWkb(polygon, m_pieces.Data);
        m_pieces.Add(left, right);
        m_time.ConvertOut += SecondsSince(start);
    }

private:
    Pieces& m_pieces;
    Timings& m_time;
};

// The polygons of the layer whose bounds meet pPolygon's, with their rows, by row.
std::vector<std::pair<std::int64_t, Arealis::Polygon*>> Candidates(const FrameLayer& layer,
                                                                    const Arealis::Polygon& polygon)
{
    std::vector<std::pair<std::int64_t, Arealis::Polygon*>> candidates;
    Arealis::PolygonEnumerator found = layer.Layer().GetPolygons(polygon.GetBounds());
    while (found.MoveNext())
    {
        candidates.emplace_back(layer.RowOf(found.Current()), found.Current());
    }
    std::sort(candidates.begin(), candidates.end());
    return candidates;
}

// Whether a node of polygon lies on an edge of other. Nodes of one topology stand for one
// point each, so a common vertex is the same node, found by the edge query as an edge end.
bool AnyNodeOnBoundary(const Arealis::Polygon& polygon, const Arealis::Polygon& other)
{
    const Arealis::Rectangle bounds = other.GetBounds();
    Collections::PlainArray<Arealis::LinearEdge> edges;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        for (const Arealis::Node* pNode : rings.Current()->GetNodes())
        {
            const Arealis::Point& p = pNode->Position;
            if (!bounds.Contains(p))
            {
                continue;
            }
            edges.SetCount(0);
            other.GetEdgesInRectangle(Arealis::Rectangle(p, p), edges);
            for (std::int32_t i = 0; i < edges.Count(); ++i)
            {
                const Arealis::Point& a = edges.Get(i).Start()->Position;
                const Arealis::Point& b = edges.Get(i).End()->Position;
                if ((b.X - a.X) * (p.Y - a.Y) == (p.X - a.X) * (b.Y - a.Y))
                {
                    return true; // on the segment: collinear and inside its bounds
                }
            }
        }
    }
    return false;
}

// Polygons without a common area meet exactly where a vertex of one lies on the other's
// boundary (edges that crossed would enclose a common area).
bool Touch(const Arealis::Polygon& a, const Arealis::Polygon& b)
{
    return AnyNodeOnBoundary(a, b) || AnyNodeOnBoundary(b, a);
}

// Visits each row of rows that holds a polygon with its candidates among others, the polygon's
// edge index switched on while many candidates are worked with, and reports the rows done.
template <class Visit>
void ForEachRowWithCandidates(const FrameLayer& rows, const FrameLayer& others, Guard& guard,
                              const Visit& visit)
{
    const auto count = static_cast<std::int64_t>(rows.Rows());
    for (std::int64_t row = 0; row < count; ++row)
    {
        Arealis::Polygon* pPolygon = rows.PolygonAt(static_cast<std::size_t>(row));
        if (pPolygon != nullptr)
        {
            const auto candidates = Candidates(others, *pPolygon);
            const bool indexed = candidates.size() > EdgeIndexThreshold;
            if (indexed)
            {
                pPolygon->SetUseSpatialIndex(true);
            }
            visit(row, *pPolygon, candidates);
            if (indexed)
            {
                pPolygon->SetUseSpatialIndex(false);
            }
        }
        guard.Report(row + 1, count);
    }
}

// Every pair of rows on its own, as geopandas does: the frames' polygons may overlap each
// other, so the common part of a pair does not depend on the other rows.
void IntersectPairs(const FrameLayer& left, const FrameLayer& right, OverlayResult& result,
                    Guard& guard)
{
    PieceWriter writer(result.Intersection, result.Time);
    ForEachRowWithCandidates(
        left, right, guard,
        [&](std::int64_t row, Arealis::Polygon& polygon, const auto& candidates)
        {
            for (const auto& [other, pOther] : candidates)
            {
                const std::unique_ptr<Arealis::Polygon> common =
                    Arealis::Overlay::Intersection(polygon, *pOther);
                if (!common->IsEmpty())
                {
                    writer.Write(*common, row, other);
                }
                else if (Touch(polygon, *pOther))
                {
                    result.TouchingLeft.push_back(row);
                    result.TouchingRight.push_back(other);
                }
            }
        });
}

// Whether uniting the candidates and subtracting the union once is expected to be cheaper than
// subtracting them one by one from a shrinking rest: the library's layer subtraction decides
// the same way.
bool ShouldUniteFirst(const Arealis::Polygon& polygon, std::size_t candidates,
                      double candidateNodes)
{
    if (candidates < 2)
    {
        return false;
    }
    const auto k = static_cast<double>(candidates);
    return std::log(k) * polygon.GetNodeCount() * (k - 1.0) > std::numbers::ln2 * candidateNodes;
}

// The polygon without every candidate; null when no candidate took anything away.
std::unique_ptr<Arealis::Polygon> Rest(
    Arealis::Polygon& polygon,
    const std::vector<std::pair<std::int64_t, Arealis::Polygon*>>& candidates)
{
    double candidateNodes = 0.0;
    std::vector<Arealis::Polygon*> others;
    others.reserve(candidates.size());
    for (const auto& [row, pOther] : candidates)
    {
        others.push_back(pOther);
        candidateNodes += pOther->GetNodeCount();
    }
    if (ShouldUniteFirst(polygon, others.size(), candidateNodes))
    {
        ListEnumerator enumeration(std::move(others));
        const std::unique_ptr<Arealis::Polygon> united =
            Arealis::Overlay::UnitePolygons(&enumeration);
        return united->IsEmpty() ? nullptr : Arealis::Overlay::Substract(polygon, *united);
    }
    std::unique_ptr<Arealis::Polygon> rest;
    for (Arealis::Polygon* pOther : others)
    {
        rest = Arealis::Overlay::Substract(rest ? *rest : polygon, *pOther);
        if (rest->IsEmpty())
        {
            break;
        }
    }
    return rest;
}

// Each row of from without the polygons of without, as the library's layer subtraction
// computes it, but written straight from the free results instead of being added to a result
// layer first: one piece per row that keeps an area, by row.
void SubtractRows(const FrameLayer& from, const FrameLayer& without, Pieces& pieces,
                  Timings& time, Guard& guard, bool reverse)
{
    PieceWriter writer(pieces, time);
    ForEachRowWithCandidates(
        from, without, guard,
        [&](std::int64_t row, Arealis::Polygon& polygon, const auto& candidates)
        {
            const std::unique_ptr<Arealis::Polygon> rest = Rest(polygon, candidates);
            Arealis::Polygon& remaining = rest ? *rest : polygon;
            if (!remaining.IsEmpty())
            {
                writer.Write(remaining, reverse ? -1 : row, reverse ? row : -1);
            }
        });
}

} // namespace

void Pieces::Add(std::int64_t left, std::int64_t right)
{
    Offsets.push_back(Data.size());
    Left.push_back(left);
    Right.push_back(right);
}

OverlayResult OverlayFrames(const FrameGeometries& left, const FrameGeometries& right,
                            const OverlayRequest& request, Guard& guard)
{
    return guard.Run(
        [&]
        {
            OverlayResult result;
            Clock::time_point start = Clock::now();
            const TopologyPtr topology = CreateTopology(request.Precision);
            topology->SetLayerThreads(request.Threads);
            const FrameLayer a(*topology, left);
            const FrameLayer b(*topology, right);
            result.Time.ConvertIn = SecondsSince(start);

            start = Clock::now();
            const auto weight = [](const FrameLayer& layer, bool on)
            { return on ? static_cast<std::int64_t>(layer.Rows()) : 0; };
            const std::int64_t total = weight(a, request.Intersection) +
                                       weight(a, request.Difference) +
                                       weight(b, request.ReverseDifference);
            if (request.Intersection)
            {
                guard.BeginStage(weight(a, true), total);
                IntersectPairs(a, b, result, guard);
            }
            if (request.Difference)
            {
                guard.BeginStage(weight(a, true), total);
                SubtractRows(a, b, result.Difference, result.Time, guard, false);
            }
            if (request.ReverseDifference)
            {
                guard.BeginStage(weight(b, true), total);
                SubtractRows(b, a, result.ReverseDifference, result.Time, guard, true);
            }
            result.Time.Operation = SecondsSince(start) - result.Time.ConvertOut;
            return result;
        });
}

Pieces DissolveFrame(const FrameGeometries& frame, const std::vector<std::int64_t>& groups,
                     std::int64_t groupCount, const Arealis::Precision& precision, int threads,
                     Guard& guard, Timings& time)
{
    return guard.Run(
        [&]
        {
            Pieces pieces;
            Clock::time_point start = Clock::now();
            const TopologyPtr topology = CreateTopology(precision);
            // The unions below take their thread count from the polygons' topology.
            topology->SetLayerThreads(threads);
            const FrameLayer layer(*topology, frame);
            std::vector<std::vector<Arealis::Polygon*>> members(
                static_cast<std::size_t>(groupCount));
            for (std::size_t row = 0; row < layer.Rows(); ++row)
            {
                if (layer.PolygonAt(row) != nullptr && groups[row] >= 0)
                {
                    members[static_cast<std::size_t>(groups[row])].push_back(layer.PolygonAt(row));
                }
            }
            time.ConvertIn = SecondsSince(start);
            start = Clock::now();
            PieceWriter writer(pieces, time);
            // Each group's unions move the progress by the group's share of the rows.
            const auto rows = static_cast<std::int64_t>(layer.Rows());
            for (std::int64_t group = 0; group < groupCount; ++group)
            {
                std::vector<Arealis::Polygon*>& groupMembers =
                    members[static_cast<std::size_t>(group)];
                guard.BeginStage(static_cast<std::int64_t>(groupMembers.size()), rows);
                ListEnumerator polygons(std::move(groupMembers));
                const std::unique_ptr<Arealis::Polygon> united =
                    Arealis::Overlay::UnitePolygons(&polygons, guard.Callback());
                if (!united->IsEmpty())
                {
                    writer.Write(*united, group, -1);
                }
            }
            guard.Report(1, 1);
            time.Operation = SecondsSince(start) - time.ConvertOut;
            return pieces;
        });
}

std::vector<std::string> ValidateFrame(const FrameGeometries& frame, bool strict,
                                       const Arealis::Precision& precision, Guard& guard)
{
    return guard.Run(
        [&]
        {
            // The polygons are checked on their own, outside any topology.
            const Arealis::PrecisionScope scope(precision);
            std::vector<std::string> reasons(frame.Wkb.size());
            for (std::size_t row = 0; row < frame.Wkb.size(); ++row)
            {
                if (frame.Wkb[row].empty())
                {
                    continue;
                }
                Arealis::Polygon polygon(nullptr);
                try
                {
                    ReadWkb(frame.Wkb[row], polygon);
                    polygon.Clean(false);
                    if (!polygon.IsEmpty())
                    {
                        polygon.Validate(true);
                        if (const auto problem =
                                strict ? Arealis::FindSimpleFeatureProblem(polygon) : std::nullopt)
                        {
                            reasons[row] = problem->Describe();
                        }
                    }
                }
                catch (const InputError& error)
                {
                    reasons[row] = error.what();
                }
                catch (const Exceptions::Exception& error)
                {
                    reasons[row] = Describe(error);
                }
                guard.Report(static_cast<std::int64_t>(row) + 1,
                             static_cast<std::int64_t>(frame.Wkb.size()));
            }
            return reasons;
        });
}

} // namespace ArealisPython
