// Decodes the bytes into two small polygons on a coarse grid (so that shared edges, collinear
// overlaps and vertices on edges are frequent), then checks union, intersection, both
// subtractions and the partition against each other and against the operands:
//   - every non-empty result validates (where two rings of one operand touch at a point, a
//     result ring may touch itself there; it must validate once split, as a commit does);
//   - the area identities |A u B| = |A| + |B| - |A n B|, |A - B| = |A| - |A n B| and the
//     partition's areas hold within the rounding of crossing points to the node grid;
//   - at sample points clear of every operand edge, each result contains the point exactly
//     when the operands' membership says so (even-odd rule, computed here on grid coordinates).
// Operands that the library does not accept as valid polygons are rejected. Operands that it
// accepts but that are not valid in the strict sense (a hole running along its exterior ring,
// say) go through every operation without these checks: they must not crash.
//
// Input layout (missing bytes read as 0):
//   byte 0: bits 0-1 scale (1, 0.5, 1000, 3 world units per grid step), bits 2-3 offset
//           (0, 1e6, 1e7, -12345.5), bit 4 operands and results in a topology layer instead
//           of free polygons, bit 5 B starts with A's first ring shifted by a few steps;
//   then polygon A, then polygon B: one byte for the ring count (1 + b % 3), then per ring
//   one kind byte (bits 0-1 rectangle, star, raw vertex list, triangle; bit 2 hole; the
//   higher bits the vertex count of stars and raw lists) and the grid coordinates (0-15).
#include "Arealis/GeometryExceptions.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Exceptions/Exception.h"
#include "FuzzSupport.h"
#include "GridGeometry.h"
#include "PolygonQueries.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace Arealis;
using Arealis::Testing::NetArea;
using Arealis::Testing::Perimeter;
using Fuzzing::ByteReader;
using Fuzzing::Describe;

namespace
{

constexpr int GridSize = 16;

using Fuzzing::GridPoint;
using Fuzzing::GridRing;
using GridShape = std::vector<GridRing>;

struct Frame
{
    double Scale;
    double OffsetX;
    double OffsetY;

    Point ToWorld(double x, double y) const { return {OffsetX + x * Scale, OffsetY + y * Scale}; }
};

GridPoint ReadPoint(ByteReader& in)
{
    const long long x = in.Below(GridSize);
    return {x, in.Below(GridSize)};
}

GridRing ReadRectangle(ByteReader& in)
{
    GridPoint a = ReadPoint(in);
    GridPoint b = ReadPoint(in);
    if (a.X == b.X)
    {
        b.X = a.X == GridSize - 1 ? 0 : a.X + 1;
    }
    if (a.Y == b.Y)
    {
        b.Y = a.Y == GridSize - 1 ? 0 : a.Y + 1;
    }
    return {{a.X, a.Y}, {a.X, b.Y}, {b.X, b.Y}, {b.X, a.Y}};
}

// Points sorted by angle around their centre: a star-shaped ring unless points coincide or
// line up with the centre.
GridRing ReadStar(ByteReader& in, int count)
{
    GridRing ring;
    for (int i = 0; i < count; ++i)
    {
        ring.push_back(ReadPoint(in));
    }
    double cx = 0;
    double cy = 0;
    for (const GridPoint& p : ring)
    {
        cx += static_cast<double>(p.X);
        cy += static_cast<double>(p.Y);
    }
    cx /= count;
    cy /= count;
    std::stable_sort(
        ring.begin(), ring.end(),
        [&](const GridPoint& a, const GridPoint& b)
        {
            return std::atan2(static_cast<double>(a.Y) - cy, static_cast<double>(a.X) - cx) <
                   std::atan2(static_cast<double>(b.Y) - cy, static_cast<double>(b.X) - cx);
        });
    ring.erase(std::unique(ring.begin(), ring.end()), ring.end());
    return ring;
}

GridRing ReadRing(ByteReader& in, bool first)
{
    const std::uint8_t kind = in.Byte();
    GridRing ring;
    switch (kind & 3U)
    {
    case 0:
        ring = ReadRectangle(in);
        break;
    case 1:
        ring = ReadStar(in, 3 + (kind >> 3U) % 6);
        break;
    case 2:
        for (int i = 0, n = 3 + (kind >> 3U) % 8; i < n; ++i)
        {
            ring.push_back(ReadPoint(in));
        }
        break;
    default:
        for (int i = 0; i < 3; ++i)
        {
            ring.push_back(ReadPoint(in));
        }
        break;
    }
    // Exterior rings clockwise, holes counter-clockwise; the first ring is always exterior.
    const bool hole = !first && (kind & 4U) != 0;
    const long long area = Fuzzing::TwiceSignedArea(ring);
    if ((area > 0 && hole) || (area < 0 && !hole))
    {
        std::reverse(ring.begin(), ring.end());
    }
    return ring;
}

GridShape ReadShape(ByteReader& in)
{
    GridShape shape;
    const int rings = 1 + in.Below(3);
    for (int r = 0; r < rings; ++r)
    {
        shape.push_back(ReadRing(in, r == 0));
    }
    return shape;
}

// --- The oracle: membership and distances on grid coordinates ------------------------------

bool IsInside(const GridShape& shape, double x, double y)
{
    bool inside = false;
    for (const GridRing& ring : shape)
    {
        for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
        {
            const GridPoint& a = ring[i];
            const GridPoint& b = ring[j];
            if ((static_cast<double>(a.Y) > y) != (static_cast<double>(b.Y) > y) &&
                x < static_cast<double>(b.X - a.X) * (y - static_cast<double>(a.Y)) /
                            static_cast<double>(b.Y - a.Y) +
                        static_cast<double>(a.X))
            {
                inside = !inside;
            }
        }
    }
    return inside;
}

double DistanceToSegment(double x, double y, const GridPoint& a, const GridPoint& b)
{
    const double ax = static_cast<double>(a.X);
    const double ay = static_cast<double>(a.Y);
    const double dx = static_cast<double>(b.X) - ax;
    const double dy = static_cast<double>(b.Y) - ay;
    const double length = dx * dx + dy * dy;
    const double t =
        length == 0 ? 0 : std::clamp(((x - ax) * dx + (y - ay) * dy) / length, 0.0, 1.0);
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

bool IsClearOfEdges(const GridShape& shape, double x, double y)
{
    for (const GridRing& ring : shape)
    {
        for (std::size_t i = 0; i < ring.size(); ++i)
        {
            if (DistanceToSegment(x, y, ring[i], ring[(i + 1) % ring.size()]) < 1e-4)
            {
                return false;
            }
        }
    }
    return true;
}

// Even-odd rule over the rings of a library polygon, in world coordinates.
bool Contains(const Polygon& polygon, const Point& p)
{
    bool inside = false;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring& ring = *rings.Current();
        const std::int32_t n = ring.Count();
        for (std::int32_t i = 0, j = n - 1; i < n; j = i++)
        {
            const Point& a = ring.GetNode(i)->Position;
            const Point& b = ring.GetNode(j)->Position;
            if ((a.Y > p.Y) != (b.Y > p.Y) && p.X < (b.X - a.X) * (p.Y - a.Y) / (b.Y - a.Y) + a.X)
            {
                inside = !inside;
            }
        }
    }
    return inside;
}

void AddRings(Polygon& polygon, const GridShape& shape, const Frame& frame)
{
    for (const GridRing& gridRing : shape)
    {
        Ring* ring = polygon.CreateRing();
        for (const GridPoint& p : gridRing)
        {
            const Point world = frame.ToWorld(static_cast<double>(p.X), static_cast<double>(p.Y));
            ring->AddNode(world.X, world.Y);
        }
    }
}

// Valid in the strict sense on which the area and membership checks rely: simple rings, and
// no two rings of the polygon sharing a piece of boundary (touching at points is allowed).
// The library's validation also accepts, for example, a hole that runs along its exterior
// ring; such operands still go through every operation, for crashes and sanitizer reports.
bool IsStrictlyValid(const GridShape& shape)
{
    for (std::size_t i = 0; i < shape.size(); ++i)
    {
        if (!Fuzzing::IsSimple(shape[i]))
        {
            return false;
        }
        for (std::size_t j = 0; j < i; ++j)
        {
            if (Fuzzing::ShareBoundary(shape[i], shape[j]))
            {
                return false;
            }
        }
    }
    return true;
}

// --- Checks --------------------------------------------------------------------------------

enum class Membership
{
    Union,
    Intersection,
    AMinusB,
    BMinusA
};

bool Expected(Membership kind, bool inA, bool inB)
{
    switch (kind)
    {
    case Membership::Union:
        return inA || inB;
    case Membership::Intersection:
        return inA && inB;
    case Membership::AMinusB:
        return inA && !inB;
    case Membership::BMinusA:
        return inB && !inA;
    }
    return false;
}

struct Operands
{
    const GridShape& A;
    const GridShape& B;
    const Frame& World;
    double AreaA;
    double AreaB;
    double Tolerance;
    bool Checked; // both operands strictly valid
};

void PrintRings(const Polygon& polygon)
{
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring& ring = *rings.Current();
        std::fprintf(stderr, "  ring:");
        for (std::int32_t i = 0; i < ring.Count(); ++i)
        {
            std::fprintf(stderr, " (%.17g, %.17g)", ring.GetNode(i)->Position.X,
                         ring.GetNode(i)->Position.Y);
        }
        std::fprintf(stderr, "\n");
    }
}

bool HasTouchingRings(const GridShape& shape)
{
    for (std::size_t i = 0; i < shape.size(); ++i)
    {
        for (std::size_t j = 0; j < i; ++j)
        {
            if (Fuzzing::RingsTouch(shape[i], shape[j]))
            {
                return true;
            }
        }
    }
    return false;
}

// Every result validates as it is, with one known exception: where two rings of one operand
// touch at a point, the overlay does not cut them there (it intersects A's edges with B's
// only), so a result ring can pass that point twice and touch itself. Splitting the rings at
// such points, as a layer commit does, must then give a valid polygon.
void CheckValid(const Operands& operands, Polygon& result, const char* what)
{
    if (result.IsEmpty())
    {
        return;
    }
    try
    {
        result.Validate(true);
        return;
    }
    catch (const SelfIntersectingRingException& e)
    {
        if (!HasTouchingRings(operands.A) && !HasTouchingRings(operands.B))
        {
            std::fprintf(stderr, "%s: invalid result: %s\n", what, e.Message());
            PrintRings(result);
            FUZZ_CHECK(false, "every result validates");
        }
    }
    catch (const Exceptions::Exception& e)
    {
        std::fprintf(stderr, "%s: invalid result: %s\n", what, e.Message());
        PrintRings(result);
        FUZZ_CHECK(false, "every result validates");
    }
    result.Clean(true);
    try
    {
        result.Validate(true);
    }
    catch (const Exceptions::Exception& e)
    {
        std::fprintf(stderr, "%s: invalid after splitting: %s\n", what, e.Message());
        PrintRings(result);
        FUZZ_CHECK(false, "a result validates once its self-touching rings are split");
    }
}

void CheckMembership(const Operands& operands, const Polygon& result, Membership kind)
{
    constexpr double OffsetX = 0.31830988618379067;
    constexpr double OffsetY = 0.70710678118654752;
    for (int gx = -1; gx < GridSize; ++gx)
    {
        for (int gy = -1; gy < GridSize; ++gy)
        {
            const double x = gx + OffsetX;
            const double y = gy + OffsetY;
            if (!IsClearOfEdges(operands.A, x, y) || !IsClearOfEdges(operands.B, x, y))
            {
                continue;
            }
            const bool expected =
                Expected(kind, IsInside(operands.A, x, y), IsInside(operands.B, x, y));
            if (Contains(result, operands.World.ToWorld(x, y)) != expected)
            {
                std::fprintf(stderr, "operation %d, grid point (%g, %g): expected %s\n",
                             static_cast<int>(kind), x, y, expected ? "inside" : "outside");
                FUZZ_CHECK(false, "results contain exactly the points the operation keeps");
            }
        }
    }
}

void CheckArea(double actual, double expected, double tolerance, const char* what)
{
    if (std::abs(actual - expected) > tolerance)
    {
        std::fprintf(stderr, "%s: area %.17g, expected %.17g (tolerance %g)\n", what, actual,
                     expected, tolerance);
        FUZZ_CHECK(false, "the area identities hold");
    }
}

// The results, whether free or made in a layer.
struct Results
{
    Polygon* Union;
    Polygon* Intersection;
    Polygon* AMinusB;
    Polygon* BMinusA;
    std::array<Polygon*, 3> Partition;
};

void CheckResults(const Operands& operands, const Results& results)
{
    if (!operands.Checked)
    {
        return;
    }
    const double t = operands.Tolerance;
    const double aI = NetArea(*results.Intersection);
    CheckArea(NetArea(*results.Union), operands.AreaA + operands.AreaB - aI, t, "union");
    CheckArea(NetArea(*results.AMinusB), operands.AreaA - aI, t, "A - B");
    CheckArea(NetArea(*results.BMinusA), operands.AreaB - aI, t, "B - A");
    FUZZ_CHECK(aI <= std::min(operands.AreaA, operands.AreaB) + t, "A n B is not larger than A");
    CheckArea(NetArea(*results.Partition[0]), aI, t, "partition A n B");
    CheckArea(NetArea(*results.Partition[1]), NetArea(*results.AMinusB), t, "partition A - B");
    CheckArea(NetArea(*results.Partition[2]), NetArea(*results.BMinusA), t, "partition B - A");

    const std::array<std::pair<Polygon*, Membership>, 7> all{{
        {results.Union, Membership::Union},
        {results.Intersection, Membership::Intersection},
        {results.AMinusB, Membership::AMinusB},
        {results.BMinusA, Membership::BMinusA},
        {results.Partition[0], Membership::Intersection},
        {results.Partition[1], Membership::AMinusB},
        {results.Partition[2], Membership::BMinusA},
    }};
    for (const auto& [result, kind] : all)
    {
        CheckMembership(operands, *result, kind);
        CheckValid(operands, *result,
                   kind == Membership::Union          ? "union"
                   : kind == Membership::Intersection ? "intersection"
                   : kind == Membership::AMinusB      ? "A - B"
                                                      : "B - A");
    }
}

bool Validates(Polygon& polygon)
{
    try
    {
        polygon.Validate(true);
        return true;
    }
    catch (const Exceptions::Exception&)
    {
        return false;
    }
}

Operands MakeOperands(const GridShape& a, const GridShape& b, const Frame& frame, Polygon& pA,
                      Polygon& pB)
{
    // Crossing points move by up to 0.71e-6 when rounded to the node grid; each changes an
    // area by that much times its edges' length. Large offsets add the rounding of the
    // coordinates themselves.
    const double perimeter = Perimeter(pA) + Perimeter(pB);
    const double magnitude =
        std::max(std::abs(frame.OffsetX), std::abs(frame.OffsetY)) + GridSize * frame.Scale;
    const double tolerance = 4e-6 * perimeter + 64 * 2.2e-16 * magnitude * perimeter;
    return {
        a, b, frame, NetArea(pA), NetArea(pB), tolerance, IsStrictlyValid(a) && IsStrictlyValid(b)};
}

struct TopologyDeleter
{
    void operator()(Topology* pTopology) const { Topology::Delete(pTopology); }
};

int RunFree(const GridShape& a, const GridShape& b, const Frame& frame)
{
    Polygon pA(nullptr);
    Polygon pB(nullptr);
    AddRings(pA, a, frame);
    AddRings(pB, b, frame);
    if (!Validates(pA) || !Validates(pB))
    {
        return -1;
    }
    const Operands operands = MakeOperands(a, b, frame, pA, pB);
    const auto united = Overlay::Union(pA, pB);
    const auto common = Overlay::Intersection(pA, pB);
    const auto aMinusB = Overlay::Substract(pA, pB);
    const auto bMinusA = Overlay::Substract(pB, pA);
    const auto parts = Overlay::Partition(pA, pB);
    CheckResults(operands, {united.get(),
                            common.get(),
                            aMinusB.get(),
                            bMinusA.get(),
                            {parts[0].get(), parts[1].get(), parts[2].get()}});
    return 0;
}

int RunInLayer(const GridShape& a, const GridShape& b, const Frame& frame)
{
    const std::unique_ptr<Topology, TopologyDeleter> topology(Topology::Create());
    PolygonLayer* operandLayer = topology->CreatePolygonLayer(true);
    Polygon* pA = operandLayer->CreatePolygon();
    Polygon* pB = operandLayer->CreatePolygon();
    AddRings(*pA, a, frame);
    AddRings(*pB, b, frame);
    if (!Validates(*pA) || !Validates(*pB))
    {
        return -1;
    }
    operandLayer->Commit();
    const Operands operands = MakeOperands(a, b, frame, *pA, *pB);
    PolygonLayer* results = topology->CreatePolygonLayer(true);
    Results made{
        Overlay::Union(*pA, *pB, *results, true), Overlay::Intersection(*pA, *pB, *results, true),
        Overlay::Substract(*pA, *pB, *results, true), Overlay::Substract(*pB, *pA, *results, false),
        Overlay::Partition(*pA, *pB, *results, true)};
    CheckResults(operands, made);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ByteReader in(data, size);
    const std::uint8_t header = in.Byte();
    constexpr std::array<double, 4> Scales{1.0, 0.5, 1000.0, 3.0};
    constexpr std::array<double, 4> Offsets{0.0, 1e6, 1e7, -12345.5};
    const double offset = Offsets[(header >> 2U) & 3U];
    const Frame frame{Scales[header & 3U], offset, -offset / 2};
    const bool inLayer = (header & 0x10U) != 0;
    const bool sharedRing = (header & 0x20U) != 0;

    const GridShape a = ReadShape(in);
    GridShape b = ReadShape(in);
    if (sharedRing)
    {
        const int dx = in.Below(5) - 2;
        const int dy = in.Below(5) - 2;
        GridRing shifted = a.front();
        for (GridPoint& p : shifted)
        {
            p.X = std::clamp<long long>(p.X + dx, 0, GridSize - 1);
            p.Y = std::clamp<long long>(p.Y + dy, 0, GridSize - 1);
        }
        b.front() = shifted;
    }
    Fuzzing::Context() = "scale " + std::to_string(frame.Scale) + " offset " +
                         std::to_string(offset) + (inLayer ? " in a layer" : " free") + " A " +
                         Describe(a) + " B " + Describe(b);
    return inLayer ? RunInLayer(a, b, frame) : RunFree(a, b, frame);
}
