// Differential stress test of the polygon overlay and the layer operations against GEOS.
//
//   stress_overlay [--cases N] [--seed S] [--first K] [--show K] [--show-layers K] [--quiet]
//
// Case i (i = first .. first + N - 1) is a random polygon pair (see StressCases.h) put through
// union, intersection and subtraction; every tenth case also a pair of small coverages put
// through the four layer operations; and every case also one of the cases that tend to break
// the simple-features rules (SimpleFeatureCases.h: grid outlines against copies shifted by half
// a cell, nested rings near 1e3 and -5e4, tiny features near 1e7, small layers of grid cells),
// through the polygon operations or the layer operations and UnitePolygons. Each result is compared with GEOS's on the operands as
// generated: the area of the symmetric difference, relative to the operands' area, is an
// agreement up to 1e-6. Above that, a difference is explained when it stays within what the
// library's tolerances may change (below), otherwise it is a disagreement. Results that do not
// validate and exceptions are counted too. --show prints one case in full.
//
// Each case works with a precision fitting the size of its shapes: the default node grid (1e-6)
// and tolerance (0.0005) for shapes of extent 1 and more, both scaled down with the extent for
// smaller ones (the grid never below a few units in the last place of the coordinates). Tolerances allowed for:
//  - node grid: operand vertices and crossing points are rounded to the grid, each moving by up
//    to 0.71 grid steps: the area may change by that much times the boundary length, twice;
//  - snapping: a vertex nearer than the tolerance to an edge of the other operand (without
//    lying on it) is moved onto it: the area may change by the distance times half the length
//    of the vertex's two edges.
//
// Every result polygon must also be valid for GEOS as a multipolygon of each exterior ring with
// its holes (as the tool writes it). The exit status is 1 when there was any disagreement,
// exception, result that is invalid for the library even after its self-touching rings are
// split (as a layer commit does), or result that GEOS calls invalid, whatever the size of the
// shapes; the table of the cases with shapes smaller than 1 tells which of them lie there.
#include "Arealis/GeometryExceptions.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Exceptions/Exception.h"
#include "GeosReference.h"
#include "PolygonQueries.h"
#include "SimpleFeatureCases.h"
#include "StressCases.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace Arealis;
using namespace Stress;
using Arealis::Testing::NetArea;

namespace
{

constexpr double AgreementLimit = 1e-6;

// The precision of a case placed in frame: see the top of this file. The grid is kept a few
// units in the last place of the coordinates' magnitude at least, where a finer one would be
// below what the doubles resolve; the tolerance stays at least five grid steps.
Precision PrecisionFor(const Frame& frame)
{
    if (frame.Decade >= 0)
    {
        return {};
    }
    const double scale = std::pow(10.0, frame.Decade);
    const double magnitude =
        std::max(std::fabs(frame.OffsetX), std::fabs(frame.OffsetY)) + 10 * scale;
    const double grid = std::max(DefaultNodeGridStep * scale, std::ldexp(magnitude, -48));
    return {grid, std::max(DefaultIntersectionTolerance * scale, 5 * grid)};
}

double GridMove()
{
    return 0.71 * CurrentPrecision().GridStep;
}

double SnapDistance()
{
    return CurrentPrecision().Tolerance;
}

struct Options
{
    std::uint64_t Cases = 1000;
    std::uint64_t Seed = 1;
    std::uint64_t First = 0;
    long long Show = -1;
    long long ShowLayers = -1;
    bool Quiet = false;
};

// --- Tallies --------------------------------------------------------------------------------

enum class Outcome
{
    Agree,
    Explained,
    Disagree
};

struct Tally
{
    long long Agree = 0;
    long long Explained = 0;
    long long Disagree = 0;
    long long Invalid = 0;
    long long InvalidSplitValid = 0;
    long long Overlapping = 0;
    long long GisInvalid = 0; // results that GEOS calls invalid
    long long Exceptions = 0;
    double WorstUnexplained = 0;

    void Add(Outcome outcome)
    {
        switch (outcome)
        {
        case Outcome::Agree:
            ++Agree;
            break;
        case Outcome::Explained:
            ++Explained;
            break;
        case Outcome::Disagree:
            ++Disagree;
            break;
        }
    }
    long long Failures() const { return Disagree + Invalid + Overlapping + GisInvalid + Exceptions; }
};

struct Report
{
    std::map<std::string, Tally> Operations; // by operation, in insertion order below
    std::map<std::string, Tally> BelowDesignRange;
    std::vector<std::string> Order;
    std::map<std::string, Tally> Kinds;
    std::map<int, Tally> Decades;
    std::map<std::string, long long> Rejected;
    std::vector<std::string> Problems;
    long long PolygonCases = 0;
    long long LayerCases = 0;

    Tally& Operation(const std::string& name)
    {
        if (Operations.find(name) == Operations.end())
        {
            Order.push_back(name);
        }
        return Operations[name];
    }

    // The operation's tally of cases below the design range: shapes smaller than 1, a few
    // hundred times the snapping distance, where the snapping of one vertex moves others and
    // the results stop following the operands.
    Tally* Small(const std::string& name, const Frame& frame)
    {
        return frame.Decade < MinimumDecade ? &BelowDesignRange[name] : nullptr;
    }

    static constexpr int MinimumDecade = 0;

    // Problems within the design range come first in the report.
    void Problem(const std::string& text, const Frame& frame)
    {
        std::vector<std::string>& list = frame.Decade < MinimumDecade ? SmallProblems : Problems;
        if (list.size() < 40)
        {
            list.push_back(text);
        }
    }
    std::vector<std::string> SmallProblems;
};

// Adds to every tally of the list that is there.
template <class TAction>
void ForEach(std::initializer_list<Tally*> tallies, TAction action)
{
    for (Tally* tally : tallies)
    {
        if (tally != nullptr)
        {
            action(*tally);
        }
    }
}

// --- Geometry helpers -------------------------------------------------------------------------

double Length(const Vertices& ring)
{
    double length = 0;
    for (std::size_t i = 0; i < ring.size(); ++i)
    {
        const Point& p = ring[i];
        const Point& q = ring[(i + 1) % ring.size()];
        length += std::hypot(q.X - p.X, q.Y - p.Y);
    }
    return length;
}

std::vector<const Vertices*> RingsOf(const WorldShape& shape)
{
    std::vector<const Vertices*> rings;
    for (const WorldPart& part : shape)
    {
        rings.push_back(&part.Exterior);
        for (const Vertices& hole : part.Holes)
        {
            rings.push_back(&hole);
        }
    }
    return rings;
}

double DistanceToSegment(const Point& p, const Point& a, const Point& b)
{
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    const double length = dx * dx + dy * dy;
    const double t =
        length == 0 ? 0 : std::clamp(((p.X - a.X) * dx + (p.Y - a.Y) * dy) / length, 0.0, 1.0);
    return std::hypot(p.X - (a.X + t * dx), p.Y - (a.Y + t * dy));
}

// The area the library's tolerances may change between operands given by their rings.
struct Allowance
{
    double Area = 0;
    int SnappedVertices = 0;
};

void AddSnapping(const std::vector<const Vertices*>& from, const std::vector<const Vertices*>& onto,
                 Allowance& allowance)
{
    for (const Vertices* pRing : from)
    {
        const Vertices& ring = *pRing;
        for (std::size_t i = 0; i < ring.size(); ++i)
        {
            // Every edge nearer than the tolerance on which the vertex does not lie already is
            // bent to pass through the vertex (or the vertex moves onto it): the area changes by
            // at most the distance times half the length of the edges involved.
            const Point& p = ring[i];
            const Point& before = ring[(i + ring.size() - 1) % ring.size()];
            const Point& after = ring[(i + 1) % ring.size()];
            const double ownEdges = std::hypot(p.X - before.X, p.Y - before.Y) +
                                    std::hypot(after.X - p.X, after.Y - p.Y);
            bool snapped = false;
            for (const Vertices* pTarget : onto)
            {
                for (std::size_t j = 0; j < pTarget->size(); ++j)
                {
                    const Point& a = (*pTarget)[j];
                    const Point& b = (*pTarget)[(j + 1) % pTarget->size()];
                    const double distance = DistanceToSegment(p, a, b);
                    if (distance > 0 && distance < SnapDistance())
                    {
                        snapped = true;
                        allowance.Area +=
                            distance * (ownEdges + std::hypot(b.X - a.X, b.Y - a.Y)) / 2;
                    }
                }
            }
            allowance.SnappedVertices += snapped ? 1 : 0;
        }
    }
}

Allowance AllowanceFor(const std::vector<const Vertices*>& a, const std::vector<const Vertices*>& b)
{
    Allowance allowance;
    double boundary = 0;
    for (const auto* rings : {&a, &b})
    {
        for (const Vertices* pRing : *rings)
        {
            boundary += Length(*pRing);
        }
    }
    allowance.Area = 2 * GridMove() * boundary;
    AddSnapping(a, b, allowance);
    AddSnapping(b, a, allowance);
    return allowance;
}

Outcome Classify(double difference, double operandArea, const Allowance& allowance)
{
    if (difference <= AgreementLimit * operandArea)
    {
        return Outcome::Agree;
    }
    return difference <= allowance.Area ? Outcome::Explained : Outcome::Disagree;
}

// --- Library side ---------------------------------------------------------------------------

void Fill(Polygon& polygon, const WorldShape& shape)
{
    for (const Vertices* pRing : RingsOf(shape))
    {
        Ring* ring = polygon.CreateRing();
        for (const Point& p : *pRing)
        {
            ring->AddNode(p.X, p.Y);
        }
    }
}

// Validated as a layer commit takes a polygon: repeated nodes and spikes removed, rings split
// at self-intersections, organised.
bool Prepare(Polygon& polygon)
{
    try
    {
        polygon.Validate(true);
        return true;
    }
    catch (const InvalidPolygonException&)
    {
    }
    polygon.Clean(true);
    polygon.Organise();
    return polygon.IsValid();
}

std::vector<Vertices> RingPoints(const Polygon& polygon)
{
    std::vector<Vertices> rings;
    RingEnumerator enumerator = polygon.GetRings();
    while (enumerator.MoveNext())
    {
        const Ring& ring = *enumerator.Current();
        Vertices points;
        for (std::int32_t i = 0; i < ring.Count(); ++i)
        {
            points.push_back(ring.GetNode(i)->Position);
        }
        rings.push_back(std::move(points));
    }
    return rings;
}

enum class Validity
{
    Valid,
    ValidOnceSplit,
    Invalid
};

Validity CheckValidity(Polygon& result, std::string& message)
{
    if (result.IsEmpty())
    {
        return Validity::Valid;
    }
    try
    {
        result.Validate(true);
        return Validity::Valid;
    }
    catch (const Exceptions::Exception& e)
    {
        message = e.Message();
    }
    result.Clean(true);
    result.Organise();
    return result.IsValid() ? Validity::ValidOnceSplit : Validity::Invalid;
}

Geos::Geometry EvenOdd(const Geos& geos, const WorldShape& shape)
{
    std::vector<Vertices> rings;
    for (const Vertices* pRing : RingsOf(shape))
    {
        rings.push_back(*pRing);
    }
    return geos.EvenOdd(rings);
}

std::string Case(const char* what, std::uint64_t index)
{
    return std::string(what) + " " + std::to_string(index);
}

// Extent decades near the origin and far from it, in one ordered key.
int DecadeKey(const Frame& frame)
{
    return 2 * frame.Decade + (frame.Far ? 1 : 0);
}

std::string Extent(const Frame& frame)
{
    return " [extent 1e" + std::to_string(frame.Decade) + (frame.Far ? ", far]" : "]");
}

// Counts a result polygon that GEOS refuses as the tool would write it.
void CheckGisValidity(const Geos& geos, const Polygon& result,
                      std::initializer_list<Tally*> tallies, Report& report,
                      const std::string& what, const Frame& frame)
{
    if (result.IsEmpty())
    {
        return;
    }
    const std::string reason = Arealis::Testing::SimpleFeatureCases(geos).InvalidityReason(result);
    if (!reason.empty())
    {
        ForEach(tallies, [](Tally& t) { ++t.GisInvalid; });
        report.Problem(what + ": GEOS calls the result invalid: " + reason + Extent(frame), frame);
    }
}

// --- Polygon pairs --------------------------------------------------------------------------

using PolygonOperation = std::function<std::unique_ptr<Polygon>(Polygon&, Polygon&)>;
using GeosOperation =
    std::function<Geos::Geometry(const Geos&, const GEOSGeometry*, const GEOSGeometry*)>;

struct NamedOperation
{
    const char* Name;
    PolygonOperation Ours;
    GeosOperation Reference;
};

const std::array<NamedOperation, 3>& PolygonOperations()
{
    static const std::array<NamedOperation, 3> operations{{
        {"union", [](Polygon& a, Polygon& b) { return Overlay::Union(a, b); },
         [](const Geos& g, const GEOSGeometry* a, const GEOSGeometry* b) { return g.Union(a, b); }},
        {"intersection", [](Polygon& a, Polygon& b) { return Overlay::Intersection(a, b); },
         [](const Geos& g, const GEOSGeometry* a, const GEOSGeometry* b)
         { return g.Intersection(a, b); }},
        {"difference", [](Polygon& a, Polygon& b) { return Overlay::Substract(a, b); },
         [](const Geos& g, const GEOSGeometry* a, const GEOSGeometry* b)
         { return g.Difference(a, b); }},
    }};
    return operations;
}

void RunPolygonCase(const Geos& geos, const Options& options, std::uint64_t index, Report& report,
                    bool show)
{
    const PolygonCase c = MakePolygonCase(options.Seed, index);
    const PrecisionScope precision(PrecisionFor(c.Placement));
    ++report.PolygonCases;
    if (show)
    {
        std::printf("case %llu (%s), extent decade %d\nA %s\nB %s\n",
                    static_cast<unsigned long long>(index), c.Kind.c_str(), c.Placement.Decade,
                    Describe(c.A).c_str(), Describe(c.B).c_str());
    }
    Polygon a(nullptr);
    Polygon b(nullptr);
    Fill(a, c.A);
    Fill(b, c.B);
    if (!Prepare(a) || !Prepare(b))
    {
        ++report.Rejected[c.Kind];
        if (show)
        {
            std::printf("an operand is not valid, even after cleaning\n");
        }
        return;
    }
    const Geos::Geometry geosA = EvenOdd(geos, c.A);
    const Geos::Geometry geosB = EvenOdd(geos, c.B);
    const double operandArea = geos.Area(geosA.get()) + geos.Area(geosB.get());
    const Allowance allowance = AllowanceFor(RingsOf(c.A), RingsOf(c.B));

    for (const NamedOperation& operation : PolygonOperations())
    {
        Tally& tally = report.Operation(operation.Name);
        Tally& byKind = report.Kinds[c.Kind];
        Tally& byDecade = report.Decades[DecadeKey(c.Placement)];
        Tally* small = report.Small(operation.Name, c.Placement);
        const auto all = {&tally, &byKind, &byDecade, small};
        std::unique_ptr<Polygon> ours;
        try
        {
            ours = operation.Ours(a, b);
        }
        catch (const std::exception& e)
        {
            ForEach(all, [](Tally& t) { ++t.Exceptions; });
            report.Problem(Case("polygon case", index) + " " + operation.Name + ": exception " +
                               e.what(),
                           c.Placement);
            continue;
        }
        std::string message;
        const Validity validity = CheckValidity(*ours, message);
        if (validity != Validity::Valid)
        {
            ForEach(all, [validity](Tally& t)
                    { ++(validity == Validity::Invalid ? t.Invalid : t.InvalidSplitValid); });
            if (validity == Validity::Invalid)
            {
                report.Problem(Case("polygon case", index) + " " + operation.Name +
                                   ": invalid result: " + message + Extent(c.Placement),
                               c.Placement);
            }
        }
        CheckGisValidity(geos, *ours, all, report,
                         Case("polygon case", index) + " " + operation.Name, c.Placement);
        const Geos::Geometry expected = operation.Reference(geos, geosA.get(), geosB.get());
        const Geos::Geometry actual = geos.EvenOdd(RingPoints(*ours));
        const double difference = geos.Area(geos.SymDifference(actual.get(), expected.get()).get());
        const Outcome outcome = Classify(difference, operandArea, allowance);
        ForEach(all, [outcome](Tally& t) { t.Add(outcome); });
        if (outcome == Outcome::Disagree)
        {
            const double relative = difference / operandArea;
            tally.WorstUnexplained = std::max(tally.WorstUnexplained, relative);
            char text[160];
            std::snprintf(text, sizeof text, ": relative difference %.3g (allowance %.3g)",
                          relative, allowance.Area / operandArea);
            report.Problem(Case("polygon case", index) + " " + operation.Name + " (" + c.Kind +
                               ")" + text + Extent(c.Placement),
                           c.Placement);
        }
        if (show)
        {
            std::printf("%s: difference %.6g of %.6g (allowance %.6g, %d snapped vertices)%s\n"
                        "  ours  %s\n  GEOS  %s\n",
                        operation.Name, difference, operandArea, allowance.Area,
                        allowance.SnappedVertices,
                        validity == Validity::Valid ? "" : (" invalid: " + message).c_str(),
                        geos.Wkt(actual.get()).c_str(), geos.Wkt(expected.get()).c_str());
        }
    }
}

// --- Layer operations -----------------------------------------------------------------------

struct TopologyDeleter
{
    void operator()(Topology* pTopology) const { Topology::Delete(pTopology); }
};
using TopologyPtr = std::unique_ptr<Topology, TopologyDeleter>;

// A topology with the precision of the case being run.
TopologyPtr NewTopology()
{
    TopologyPtr topology(Topology::Create());
    topology->SetPrecision(CurrentPrecision());
    return topology;
}


PolygonLayer* MakeLayer(Topology& topology, const std::vector<WorldShape>& cells)
{
    PolygonLayer* layer = topology.CreatePolygonLayer(false);
    for (const WorldShape& cell : cells)
    {
        Fill(*layer->CreatePolygon(), cell);
    }
    layer->Commit();
    return layer;
}

Geos::Geometry UnionOfCells(const Geos& geos, const std::vector<WorldShape>& cells)
{
    std::vector<Geos::Geometry> parts;
    parts.reserve(cells.size());
    for (const WorldShape& cell : cells)
    {
        parts.push_back(EvenOdd(geos, cell));
    }
    return geos.UnionOf(std::move(parts));
}

std::vector<const Vertices*> RingsOfCells(const std::vector<WorldShape>& cells)
{
    std::vector<const Vertices*> rings;
    for (const WorldShape& cell : cells)
    {
        const std::vector<const Vertices*> more = RingsOf(cell);
        rings.insert(rings.end(), more.begin(), more.end());
    }
    return rings;
}

void RunLayerCase(const Geos& geos, const Options& options, std::uint64_t index, Report& report,
                  bool show)
{
    const LayerCase c = MakeLayerCase(options.Seed, index);
    const PrecisionScope precision(PrecisionFor(c.Placement));
    ++report.LayerCases;
    const TopologyPtr operands(NewTopology());
    PolygonLayer* layerA = nullptr;
    PolygonLayer* layerB = nullptr;
    try
    {
        layerA = MakeLayer(*operands, c.A);
        layerB = MakeLayer(*operands, c.B);
    }
    catch (const Exceptions::Exception&)
    {
        ++report.Rejected["coverage"];
        return;
    }
    const Geos::Geometry geosA = UnionOfCells(geos, c.A);
    const Geos::Geometry geosB = UnionOfCells(geos, c.B);
    const double operandArea = geos.Area(geosA.get()) + geos.Area(geosB.get());
    const Allowance allowance = AllowanceFor(RingsOfCells(c.A), RingsOfCells(c.B));
    if (show)
    {
        std::printf("layer case %llu, extent decade %d\n", static_cast<unsigned long long>(index),
                    c.Placement.Decade);
        for (const WorldShape& cell : c.A)
        {
            std::printf("A %s\n", Describe(cell).c_str());
        }
        for (const WorldShape& cell : c.B)
        {
            std::printf("B %s\n", Describe(cell).c_str());
        }
    }

    using LayerOperation = std::function<PolygonLayer*(Topology&)>;
    const std::array<std::tuple<const char*, LayerOperation, Geos::Geometry>, 4> operations{{
        {"layer intersection", [&](Topology& t) { return t.Intersection(layerA, layerB, true); },
         geos.Intersection(geosA.get(), geosB.get())},
        {"layer union", [&](Topology& t) { return t.Union(layerA, layerB, false); },
         geos.Union(geosA.get(), geosB.get())},
        {"layer subtraction", [&](Topology& t) { return t.Substract(layerA, layerB, true); },
         geos.Difference(geosA.get(), geosB.get())},
        {"layer join", [&](Topology& t) { return t.Join(layerA, layerB, true); },
         geos.Union(geosA.get(), geosB.get())},
    }};
    for (const auto& [name, operation, expected] : operations)
    {
        Tally& tally = report.Operation(name);
        Tally& byDecade = report.Decades[DecadeKey(c.Placement)];
        Tally* small = report.Small(name, c.Placement);
        const auto all = {&tally, &byDecade, small};
        const TopologyPtr results(NewTopology());
        PolygonLayer* result = nullptr;
        try
        {
            result = operation(*results);
        }
        catch (const std::exception& e)
        {
            ForEach(all, [](Tally& t) { ++t.Exceptions; });
            report.Problem(Case("layer case", index) + " " + name + ": exception " + e.what(),
                           c.Placement);
            continue;
        }
        try
        {
            results->Commit();
        }
        catch (const Exceptions::Exception&)
        {
        }
        if (result->GetEditingCount() > 0)
        {
            ForEach(all, [](Tally& t) { ++t.Invalid; });
            report.Problem(Case("layer case", index) + " " + name + ": " +
                               std::to_string(result->GetEditingCount()) +
                               " result polygons fail the commit" + Extent(c.Placement),
                           c.Placement);
        }
        std::vector<Geos::Geometry> parts;
        double sum = 0;
        PolygonEnumerator polygons = result->GetPolygons();
        while (polygons.MoveNext())
        {
            parts.push_back(geos.EvenOdd(RingPoints(*polygons.Current())));
            CheckGisValidity(geos, *polygons.Current(), all, report,
                             Case("layer case", index) + " " + name, c.Placement);
            sum += NetArea(*polygons.Current());
        }
        const Geos::Geometry actual = geos.UnionOf(std::move(parts));
        const double difference = geos.Area(geos.SymDifference(actual.get(), expected.get()).get());
        const Outcome outcome = Classify(difference, operandArea, allowance);
        ForEach(all, [outcome](Tally& t) { t.Add(outcome); });
        if (outcome == Outcome::Disagree)
        {
            tally.WorstUnexplained = std::max(tally.WorstUnexplained, difference / operandArea);
            report.Problem(Case("layer case", index) + " " + name + ": relative difference " +
                               std::to_string(difference / operandArea) + Extent(c.Placement),
                           c.Placement);
        }
        // The result polygons must not overlap one another: their areas add up to the area of
        // their union.
        const double overlap = std::abs(sum - geos.Area(actual.get()));
        if (Classify(overlap, operandArea, allowance) == Outcome::Disagree)
        {
            ForEach(all, [](Tally& t) { ++t.Overlapping; });
            report.Problem(Case("layer case", index) + " " + name +
                               ": result polygons overlap, by " + std::to_string(overlap),
                           c.Placement);
        }
        if (show)
        {
            std::printf("%s: %d polygons, difference %.6g of %.6g (allowance %.6g), overlap %.6g\n",
                        name, result->GetPolygonCount(), difference, operandArea, allowance.Area,
                        overlap);
        }
    }
}

// --- Cases that tend to break the simple-features rules ------------------------------------

std::vector<const Vertices*> RingsOfPolygons(const std::vector<Arealis::Testing::Rings>& polygons)
{
    std::vector<const Vertices*> rings;
    for (const Arealis::Testing::Rings& polygon : polygons)
    {
        for (const Vertices& ring : polygon)
        {
            rings.push_back(&ring);
        }
    }
    return rings;
}

void FillRings(Polygon& polygon, const Arealis::Testing::Rings& rings)
{
    for (const Vertices& points : rings)
    {
        Ring* pRing = polygon.CreateRing();
        for (const Point& p : points)
        {
            pRing->AddNode(p.X, p.Y);
        }
    }
}

// The operands' area as GEOS sees it: the even-odd area of each polygon's rings, united.
Geos::Geometry UnionOfPolygons(const Geos& geos,
                               const std::vector<Arealis::Testing::Rings>& polygons)
{
    std::vector<Geos::Geometry> parts;
    for (const Arealis::Testing::Rings& rings : polygons)
    {
        parts.push_back(geos.EvenOdd(rings));
    }
    return geos.UnionOf(std::move(parts));
}

// Compares the result polygons with GEOS's answer and checks each for both validities.
void CheckSimpleFeatureResult(const Geos& geos, const std::string& name,
                              const std::vector<Polygon*>& results, const GEOSGeometry* pExpected,
                              double operandArea, const Allowance& allowance,
                              const std::string& context, const Frame& frame, Report& report)
{
    Tally& tally = report.Operation(name);
    const auto all = {&tally, report.Small(name, frame)};
    std::vector<Geos::Geometry> parts;
    for (Polygon* pResult : results)
    {
        std::string message;
        if (CheckValidity(*pResult, message) == Validity::Invalid)
        {
            ForEach(all, [](Tally& t) { ++t.Invalid; });
            report.Problem(context + " " + name + ": invalid result: " + message + Extent(frame),
                           frame);
        }
        CheckGisValidity(geos, *pResult, all, report, context + " " + name, frame);
        parts.push_back(geos.EvenOdd(RingPoints(*pResult)));
    }
    const Geos::Geometry actual = geos.UnionOf(std::move(parts));
    const double difference = geos.Area(geos.SymDifference(actual.get(), pExpected).get());
    const Outcome outcome = Classify(difference, operandArea, allowance);
    ForEach(all, [outcome](Tally& t) { t.Add(outcome); });
    if (outcome == Outcome::Disagree)
    {
        tally.WorstUnexplained = std::max(tally.WorstUnexplained, difference / operandArea);
        report.Problem(context + " " + name + ": relative difference " +
                           std::to_string(difference / operandArea) + Extent(frame),
                       frame);
    }
}

void RunSimpleFeatureCase(const Geos& geos, const Options& options, std::uint64_t index,
                          Report& report)
{
    const Arealis::Testing::SimpleFeatureCases cases(geos);
    const Arealis::Testing::SimpleFeatureCase c = cases.Make(options.Seed, index);
    // Failures here always count, though nested and far cases have features of thousandths.
    Frame frame;
    frame.Far = c.Kind != "grid" && c.Kind != "cells";
    const std::string context = "simple-features case " + std::to_string(index) + " (" + c.Kind + ")";
    const Geos::Geometry geosA = UnionOfPolygons(geos, c.A);
    const Geos::Geometry geosB = UnionOfPolygons(geos, c.B);
    const double operandArea = geos.Area(geosA.get()) + geos.Area(geosB.get());
    const Allowance allowance = AllowanceFor(RingsOfPolygons(c.A), RingsOfPolygons(c.B));
    if (c.Kind != "cells")
    {
        Polygon a(nullptr);
        Polygon b(nullptr);
        FillRings(a, c.A.front());
        FillRings(b, c.B.front());
        if (!Prepare(a) || !Prepare(b))
        {
            ++report.Rejected["simple-features " + c.Kind];
            return;
        }
        for (const NamedOperation& operation : PolygonOperations())
        {
            const std::string name = std::string("sf ") + operation.Name;
            std::unique_ptr<Polygon> result;
            try
            {
                result = operation.Ours(a, b);
            }
            catch (const std::exception& e)
            {
                ++report.Operation(name).Exceptions;
                report.Problem(context + " " + name + ": exception " + e.what(), frame);
                continue;
            }
            const Geos::Geometry expected = operation.Reference(geos, geosA.get(), geosB.get());
            CheckSimpleFeatureResult(geos, name, {result.get()}, expected.get(), operandArea,
                                     allowance, context, frame, report);
        }
        return;
    }
    const TopologyPtr topology(Topology::Create());
    PolygonLayer* pA = topology->CreatePolygonLayer(false);
    PolygonLayer* pB = topology->CreatePolygonLayer(false);
    for (const auto& [pLayer, polygons] : {std::pair{pA, &c.A}, std::pair{pB, &c.B}})
    {
        for (const Arealis::Testing::Rings& rings : *polygons)
        {
            FillRings(*pLayer->CreatePolygon(), rings);
        }
        pLayer->Commit();
    }
    const Geos::Geometry united = geos.Union(geosA.get(), geosB.get());
    using LayerOperation = std::function<PolygonLayer*()>;
    const std::array<std::pair<const char*, LayerOperation>, 4> operations{{
        {"sf layer intersection", [&] { return topology->Intersection(pA, pB, false); }},
        {"sf layer union", [&] { return topology->Union(pA, pB, false); }},
        {"sf layer subtraction", [&] { return topology->Substract(pA, pB, false); }},
        {"sf layer join", [&] { return topology->Join(pA, pB, false); }},
    }};
    const Geos::Geometry common = geos.Intersection(geosA.get(), geosB.get());
    const Geos::Geometry rest = geos.Difference(geosA.get(), geosB.get());
    const std::array<const GEOSGeometry*, 4> expectations{common.get(), united.get(), rest.get(),
                                                          united.get()};
    for (std::size_t i = 0; i < operations.size(); ++i)
    {
        const auto& [name, operation] = operations[i];
        try
        {
            PolygonLayer* pResult = operation();
            std::vector<Polygon*> polygons = Arealis::Testing::PolygonsOf(*pResult);
            CheckSimpleFeatureResult(geos, name, polygons, expectations[i], operandArea,
                                     allowance, context, frame, report);
            if (std::string(name) == "sf layer join")
            {
                // The pieces of the join, united again, give A and B in one polygon.
                const PolygonEnumerator pieces = pResult->GetPolygons();
                const std::unique_ptr<Polygon> all = Overlay::UnitePolygons(pieces.GetEnumerator());
                CheckSimpleFeatureResult(geos, "sf unite", {all.get()}, united.get(), operandArea,
                                         allowance, context, frame, report);
            }
        }
        catch (const std::exception& e)
        {
            ++report.Operation(name).Exceptions;
            report.Problem(context + " " + name + ": exception " + e.what(), frame);
        }
    }
}

// --- Report ---------------------------------------------------------------------------------

void PrintRow(const std::string& name, const Tally& t)
{
    std::printf("%-22s %9lld %9lld %9lld %9lld %9lld %9lld %9lld %9lld\n", name.c_str(), t.Agree,
                t.Explained, t.Disagree, t.Invalid, t.InvalidSplitValid, t.Overlapping,
                t.GisInvalid, t.Exceptions);
}

void PrintReport(const Report& report, double seconds)
{
    std::printf("\n%lld polygon pairs, %lld coverage pairs, %.1f s\n\n", report.PolygonCases,
                report.LayerCases, seconds);
    std::printf("%-22s %9s %9s %9s %9s %9s %9s %9s %9s\n", "operation", "agree", "explained",
                "disagree", "invalid", "split-ok", "overlap", "gis-inval", "exception");
    for (const std::string& name : report.Order)
    {
        PrintRow(name, report.Operations.at(name));
    }
    std::printf("\nof these, below the design range (shapes smaller than 1):\n");
    for (const std::string& name : report.Order)
    {
        const auto found = report.BelowDesignRange.find(name);
        PrintRow(name, found == report.BelowDesignRange.end() ? Tally{} : found->second);
    }
    std::printf("\nby kind of polygon pair:\n");
    for (const auto& [name, tally] : report.Kinds)
    {
        PrintRow(name, tally);
    }
    std::printf("\nby decade of the extent of the shapes (and far from the origin):\n");
    for (const auto& [decade, tally] : report.Decades)
    {
        const int far = decade & 1;
        PrintRow((far != 0 ? "far 1e" : "1e") + std::to_string((decade - far) / 2), tally);
    }
    if (!report.Rejected.empty())
    {
        std::printf("\noperands that do not validate even after cleaning (skipped):");
        for (const auto& [kind, count] : report.Rejected)
        {
            std::printf(" %s %lld;", kind.c_str(), count);
        }
        std::printf("\n");
    }
    if (!report.Problems.empty() || !report.SmallProblems.empty())
    {
        std::printf("\nfirst problems (rerun one with --show N or --show-layers N):\n");
        for (const auto* list : {&report.Problems, &report.SmallProblems})
        {
            for (const std::string& problem : *list)
            {
                std::printf("  %s\n", problem.c_str());
            }
        }
    }
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--cases" && hasValue)
        {
            options.Cases = std::strtoull(argv[++i], nullptr, 10);
        }
        else if (arg == "--seed" && hasValue)
        {
            options.Seed = std::strtoull(argv[++i], nullptr, 10);
        }
        else if (arg == "--first" && hasValue)
        {
            options.First = std::strtoull(argv[++i], nullptr, 10);
        }
        else if (arg == "--show" && hasValue)
        {
            options.Show = std::strtoll(argv[++i], nullptr, 10);
        }
        else if (arg == "--show-layers" && hasValue)
        {
            options.ShowLayers = std::strtoll(argv[++i], nullptr, 10);
        }
        else if (arg == "--quiet")
        {
            options.Quiet = true;
        }
        else
        {
            std::fprintf(stderr,
                         "usage: stress_overlay [--cases N] [--seed S] [--first K] [--show K] "
                         "[--show-layers K] [--quiet]\n");
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
    {
        return 2;
    }
    const Geos geos;
    Report report;
    if (options.Show >= 0 || options.ShowLayers >= 0)
    {
        if (options.Show >= 0)
        {
            RunPolygonCase(geos, options, static_cast<std::uint64_t>(options.Show), report, true);
        }
        if (options.ShowLayers >= 0)
        {
            RunLayerCase(geos, options, static_cast<std::uint64_t>(options.ShowLayers), report,
                         true);
        }
        return 0;
    }
    const auto start = std::chrono::steady_clock::now();
    for (std::uint64_t i = options.First; i < options.First + options.Cases; ++i)
    {
        RunPolygonCase(geos, options, i, report, false);
        RunSimpleFeatureCase(geos, options, i, report);
        if (i % 10 == 9)
        {
            RunLayerCase(geos, options, i, report, false);
        }
        if (!options.Quiet && (i + 1 - options.First) % 10000 == 0)
        {
            std::fprintf(stderr, "%llu cases\n", static_cast<unsigned long long>(i) + 1);
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    PrintReport(report, elapsed.count());
    long long failures = 0;
    long long small = 0;
    for (const auto& [name, tally] : report.Operations)
    {
        failures += tally.Failures();
    }
    for (const auto& [name, tally] : report.BelowDesignRange)
    {
        small += tally.Failures();
    }
    std::printf("\n%lld failures, %lld of them with shapes smaller than 1\n", failures, small);
    return failures == 0 ? 0 : 1;
}
