#include "FrameOverlay.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/LinearEdge.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Collections/IEnumerator.h"
#include "Collections/VectorEnumerator.h"
#include "Conversion.h"
#include "Shapefile/ShapefileReader.h"

#include <algorithm>
#include <chrono>
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

// Every pair of rows on its own, as geopandas does: the frames' polygons may overlap each
// other, so the common part of a pair does not depend on the other rows.
void IntersectPairs(const FrameLayer& left, const FrameLayer& right, OverlayResult& result,
                    Guard& guard)
{
    constexpr std::size_t EdgeIndexThreshold = 50;
    PieceWriter writer(result.Intersection, result.Time);
    const auto rows = static_cast<std::int64_t>(left.Rows());
    for (std::int64_t row = 0; row < rows; ++row)
    {
        Arealis::Polygon* pPolygon = left.PolygonAt(static_cast<std::size_t>(row));
        if (pPolygon != nullptr)
        {
            const auto candidates = Candidates(right, *pPolygon);
            const bool indexed = candidates.size() > EdgeIndexThreshold;
            if (indexed)
            {
                pPolygon->SetUseSpatialIndex(true);
            }
            for (const auto& [other, pOther] : candidates)
            {
                const std::unique_ptr<Arealis::Polygon> common =
                    Arealis::Overlay::Intersection(*pPolygon, *pOther);
                if (!common->IsEmpty())
                {
                    writer.Write(*common, row, other);
                }
                else if (Touch(*pPolygon, *pOther))
                {
                    result.TouchingLeft.push_back(row);
                    result.TouchingRight.push_back(other);
                }
            }
            if (indexed)
            {
                pPolygon->SetUseSpatialIndex(false);
            }
        }
        guard.Report(row + 1, rows);
    }
}

// The library's layer subtraction, its pieces ordered by the row of their parent.
void Substract(Arealis::Topology& topology, const FrameLayer& from, const FrameLayer& without,
               Pieces& pieces, Timings& time, Guard& guard, bool reverse)
{
    Arealis::PolygonLayer* pResult =
        topology.Substract(&from.Layer(), &without.Layer(), true, guard.Callback());
    std::vector<std::pair<std::int64_t, Arealis::Polygon*>> rest;
    Arealis::PolygonEnumerator polygons = pResult->GetPolygons();
    while (polygons.MoveNext())
    {
        Arealis::PolygonEnumerator parents = pResult->GetParents(polygons.Current());
        const std::int64_t row = parents.MoveNext() ? from.RowOf(parents.Current()) : -1;
        rest.emplace_back(row, polygons.Current());
    }
    std::sort(rest.begin(), rest.end());
    PieceWriter writer(pieces, time);
    for (const auto& [row, pPolygon] : rest)
    {
        writer.Write(*pPolygon, reverse ? -1 : row, reverse ? row : -1);
    }
}

using ListEnumerator = Collections::VectorEnumerator<Arealis::Polygon*>;

// Collects the reader's commit messages instead of printing them; errors reach the caller.
class QuietReporter final : public Arealis::IReporter
{
public:
    void ShowMessage(const std::string&, const std::string&) override {}
    bool ShowError(const std::string&) override { return true; }
};

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
            const TopologyPtr topology = CreateTopology();
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
                Substract(*topology, a, b, result.Difference, result.Time, guard, false);
            }
            if (request.ReverseDifference)
            {
                guard.BeginStage(weight(b, true), total);
                Substract(*topology, b, a, result.ReverseDifference, result.Time, guard, true);
            }
            result.Time.Operation = SecondsSince(start) - result.Time.ConvertOut;
            return result;
        });
}

Pieces DissolveFrame(const FrameGeometries& frame, const std::vector<std::int64_t>& groups,
                     std::int64_t groupCount, Guard& guard, Timings& time)
{
    return guard.Run(
        [&]
        {
            Pieces pieces;
            Clock::time_point start = Clock::now();
            const TopologyPtr topology = CreateTopology();
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

std::vector<std::string> ValidateFrame(const FrameGeometries& frame, Guard& guard)
{
    return guard.Run(
        [&]
        {
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

Pieces ReadShapefilePolygons(const std::string& path, Guard& guard)
{
    return guard.Run(
        [&]
        {
            const TopologyPtr topology = CreateTopology();
            Arealis::PolygonLayer* pLayer = topology->CreatePolygonLayer(true);
            std::vector<std::pair<std::int64_t, Arealis::Polygon*>> records;
            QuietReporter reporter;
            Arealis::ReadShapefile(*pLayer, path, reporter,
                                   [&records](Arealis::Polygon* pPolygon, std::int64_t record)
                                   { records.emplace_back(record, pPolygon); });
            std::sort(records.begin(), records.end());
            Pieces pieces;
            Timings time;
            PieceWriter writer(pieces, time);
            for (const auto& [record, pPolygon] : records)
            {
                writer.Write(*pPolygon, record, -1);
            }
            return pieces;
        });
}

} // namespace ArealisPython
