#include "Generators.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <utility>

namespace BenchData
{

namespace
{

// The library's node grid: the same rounding, so that reading a file changes no coordinate.
double RoundToGrid(double value)
{
    constexpr double step = 1e-6;
    return std::floor(value / step + 0.5) * step;
}

XY RoundToGrid(const XY& p)
{
    return {RoundToGrid(p.X), RoundToGrid(p.Y)};
}

// Uniform in [0, 1) from the raw output of the standard engine, whose sequence the standard
// fixes (the distributions it offers are not fixed across libraries).
double Uniform(std::mt19937_64& engine)
{
    constexpr double scale = 1.0 / 9007199254740992.0; // 2^-53
    return static_cast<double>(engine() >> 11U) * scale;
}

// --- Voronoi cells by clipping ----------------------------------------------------------------

// A cell edge lies on the bisector with another site (a site index, >= 0) or on a side of the
// box (the negative values below).
constexpr std::int32_t LeftSide = -1;
constexpr std::int32_t RightSide = -2;
constexpr std::int32_t BottomSide = -3;
constexpr std::int32_t TopSide = -4;

struct CellVertex
{
    XY Position;
    std::int32_t EdgeAfter; // what the edge from this vertex to the next lies on
};

class Voronoi
{
public:
    Voronoi(std::int32_t cells, std::uint64_t seed) : m_cells(cells), m_side(cells * CellSize)
    {
        std::mt19937_64 engine(seed);
        m_sites.reserve(static_cast<std::size_t>(cells) * static_cast<std::size_t>(cells));
        for (std::int32_t j = 0; j < cells; ++j)
        {
            for (std::int32_t i = 0; i < cells; ++i)
            {
                const double u = Uniform(engine);
                const double v = Uniform(engine);
                m_sites.push_back(RoundToGrid(XY{(i + u) * CellSize, (j + v) * CellSize}));
            }
        }
    }

    std::int32_t SiteCount() const { return static_cast<std::int32_t>(m_sites.size()); }

    // The cell of a site, counter-clockwise, each vertex computed from the three sites (or
    // sides) that define it in a fixed order.
    std::vector<XY> Cell(std::int32_t site) const
    {
        std::vector<CellVertex> polygon{{{0.0, 0.0}, BottomSide},
                                        {{m_side, 0.0}, RightSide},
                                        {{m_side, m_side}, TopSide},
                                        {{0.0, m_side}, LeftSide}};
        const std::int32_t i = site % m_cells;
        const std::int32_t j = site / m_cells;
        // Jittered sites: every Voronoi vertex lies within sqrt(2) cells of its sites, so the
        // neighbours lie within three cells.
        constexpr std::int32_t reach = 3;
        for (std::int32_t dj = -reach; dj <= reach; ++dj)
        {
            for (std::int32_t di = -reach; di <= reach; ++di)
            {
                const std::int32_t ni = i + di;
                const std::int32_t nj = j + dj;
                if ((di == 0 && dj == 0) || ni < 0 || nj < 0 || ni >= m_cells || nj >= m_cells)
                {
                    continue;
                }
                Clip(polygon, site, nj * m_cells + ni);
            }
        }
        std::vector<XY> ring;
        ring.reserve(polygon.size());
        const std::size_t n = polygon.size();
        for (std::size_t k = 0; k < n; ++k)
        {
            const std::int32_t before = polygon[(k + n - 1) % n].EdgeAfter;
            const XY p = Canonical(site, before, polygon[k].EdgeAfter);
            if (ring.empty() || !(ring.back() == p))
            {
                ring.push_back(p);
            }
        }
        while (ring.size() > 1 && ring.front() == ring.back())
        {
            ring.pop_back();
        }
        return ring;
    }

private:
    // Keeps the part of the polygon nearer to the site than to the other site.
    void Clip(std::vector<CellVertex>& polygon, std::int32_t site, std::int32_t other) const
    {
        const XY& p = m_sites[static_cast<std::size_t>(site)];
        const XY& q = m_sites[static_cast<std::size_t>(other)];
        const XY middle{(p.X + q.X) / 2, (p.Y + q.Y) / 2};
        const XY direction{q.X - p.X, q.Y - p.Y};
        const auto side = [&](const XY& x)
        { return (x.X - middle.X) * direction.X + (x.Y - middle.Y) * direction.Y; };
        bool anyOutside = false;
        for (const CellVertex& vertex : polygon)
        {
            anyOutside = anyOutside || side(vertex.Position) > 0.0;
        }
        if (!anyOutside)
        {
            return;
        }
        std::vector<CellVertex> clipped;
        const std::size_t n = polygon.size();
        for (std::size_t k = 0; k < n; ++k)
        {
            const CellVertex& a = polygon[k];
            const CellVertex& b = polygon[(k + 1) % n];
            const double fa = side(a.Position);
            const double fb = side(b.Position);
            const auto crossing = [&]
            {
                const double t = fa / (fa - fb);
                return XY{a.Position.X + t * (b.Position.X - a.Position.X),
                          a.Position.Y + t * (b.Position.Y - a.Position.Y)};
            };
            if (fa <= 0.0)
            {
                clipped.push_back(a);
                if (fb > 0.0)
                {
                    clipped.push_back({crossing(), other});
                }
            }
            else if (fb <= 0.0)
            {
                clipped.push_back({crossing(), a.EdgeAfter});
            }
        }
        polygon = std::move(clipped);
    }

    XY Canonical(std::int32_t site, std::int32_t first, std::int32_t second) const
    {
        if (first < 0 && second < 0)
        {
            return Corner(first, second);
        }
        if (first < 0 || second < 0)
        {
            const std::int32_t other = std::max(first, second);
            const std::int32_t sideId = std::min(first, second);
            return BisectorOnSide(std::min(site, other), std::max(site, other), sideId);
        }
        std::array<std::int32_t, 3> triple{site, first, second};
        std::sort(triple.begin(), triple.end());
        return Circumcentre(triple[0], triple[1], triple[2]);
    }

    XY Corner(std::int32_t a, std::int32_t b) const
    {
        const bool left = a == LeftSide || b == LeftSide;
        const bool bottom = a == BottomSide || b == BottomSide;
        return {left ? 0.0 : m_side, bottom ? 0.0 : m_side};
    }

    XY BisectorOnSide(std::int32_t a, std::int32_t b, std::int32_t sideId) const
    {
        const XY& p = m_sites[static_cast<std::size_t>(a)];
        const XY& q = m_sites[static_cast<std::size_t>(b)];
        const XY middle{(p.X + q.X) / 2, (p.Y + q.Y) / 2};
        const XY d{q.X - p.X, q.Y - p.Y};
        // Points x of the bisector: (x - middle) . d = 0.
        if (sideId == LeftSide || sideId == RightSide)
        {
            const double x = sideId == LeftSide ? 0.0 : m_side;
            return {x, RoundToGrid(middle.Y - (x - middle.X) * d.X / d.Y)};
        }
        const double y = sideId == BottomSide ? 0.0 : m_side;
        return {RoundToGrid(middle.X - (y - middle.Y) * d.Y / d.X), y};
    }

    XY Circumcentre(std::int32_t a, std::int32_t b, std::int32_t c) const
    {
        const XY& pa = m_sites[static_cast<std::size_t>(a)];
        const XY& pb = m_sites[static_cast<std::size_t>(b)];
        const XY& pc = m_sites[static_cast<std::size_t>(c)];
        const double bx = pb.X - pa.X;
        const double by = pb.Y - pa.Y;
        const double cx = pc.X - pa.X;
        const double cy = pc.Y - pa.Y;
        const double d = 2.0 * (bx * cy - by * cx);
        const double b2 = bx * bx + by * by;
        const double c2 = cx * cx + cy * cy;
        return RoundToGrid(XY{pa.X + (cy * b2 - by * c2) / d, pa.Y + (bx * c2 - cx * b2) / d});
    }

    std::int32_t m_cells;
    double m_side;
    std::vector<XY> m_sites;
};

std::vector<XY> Clockwise(std::vector<XY> ring)
{
    std::reverse(ring.begin(), ring.end());
    return ring;
}

// --- Cutting along grid lines ------------------------------------------------------------------

// The point of segment a-b on the line where the coordinate picked by axis equals value,
// computed from the two ends in a fixed order so that both polygons along the segment get the
// same point.
XY CutPoint(XY a, XY b, bool vertical, double value)
{
    if (b.X < a.X || (b.X == a.X && b.Y < a.Y))
    {
        std::swap(a, b);
    }
    if (vertical)
    {
        const double t = (value - a.X) / (b.X - a.X);
        return {value, RoundToGrid(a.Y + t * (b.Y - a.Y))};
    }
    const double t = (value - a.Y) / (b.Y - a.Y);
    return {RoundToGrid(a.X + t * (b.X - a.X)), value};
}

// The part of a convex ring on one side of a grid line: keep is +1 for coordinates >= value,
// -1 for coordinates <= value.
std::vector<XY> ClipAtLine(const std::vector<XY>& ring, bool vertical, double value, int keep)
{
    const auto side = [&](const XY& p) { return keep * ((vertical ? p.X : p.Y) - value); };
    std::vector<XY> clipped;
    const std::size_t n = ring.size();
    for (std::size_t k = 0; k < n; ++k)
    {
        const XY& a = ring[k];
        const XY& b = ring[(k + 1) % n];
        const double fa = side(a);
        const double fb = side(b);
        if (fa >= 0.0)
        {
            clipped.push_back(a);
        }
        if ((fa > 0.0 && fb < 0.0) || (fa < 0.0 && fb > 0.0))
        {
            clipped.push_back(CutPoint(a, b, vertical, value));
        }
    }
    std::vector<XY> cleaned;
    for (const XY& p : clipped)
    {
        if (cleaned.empty() || !(cleaned.back() == p))
        {
            cleaned.push_back(p);
        }
    }
    while (cleaned.size() > 1 && cleaned.front() == cleaned.back())
    {
        cleaned.pop_back();
    }
    return cleaned;
}

double TwiceArea(const std::vector<XY>& ring)
{
    double sum = 0.0;
    for (std::size_t k = 0; k < ring.size(); ++k)
    {
        const XY& a = ring[k];
        const XY& b = ring[(k + 1) % ring.size()];
        sum += a.X * b.Y - b.X * a.Y;
    }
    return sum;
}

void CutAlong(const std::vector<XY>& ring, bool vertical, double spacing,
              std::vector<std::vector<XY>>& pieces)
{
    double low = ring.front().X;
    double high = low;
    for (const XY& p : ring)
    {
        const double v = vertical ? p.X : p.Y;
        low = std::min(low, v);
        high = std::max(high, v);
    }
    const auto first = static_cast<std::int64_t>(std::floor(low / spacing));
    const auto last = static_cast<std::int64_t>(std::ceil(high / spacing));
    for (std::int64_t k = first; k < last; ++k)
    {
        std::vector<XY> piece = ring;
        piece = ClipAtLine(piece, vertical, static_cast<double>(k) * spacing, 1);
        if (piece.size() >= 3)
        {
            piece = ClipAtLine(piece, vertical, static_cast<double>(k + 1) * spacing, -1);
        }
        if (piece.size() >= 3 && TwiceArea(piece) > 0.0)
        {
            pieces.push_back(std::move(piece));
        }
    }
}

} // namespace

std::vector<PolygonRecord> VoronoiCoverage(std::int32_t cells, std::uint64_t seed)
{
    const Voronoi voronoi(cells, seed);
    std::vector<PolygonRecord> records;
    records.reserve(static_cast<std::size_t>(voronoi.SiteCount()));
    for (std::int32_t site = 0; site < voronoi.SiteCount(); ++site)
    {
        records.push_back({Clockwise(voronoi.Cell(site))});
    }
    return records;
}

std::vector<PolygonRecord> SquareMesh(std::int32_t cells, std::int32_t step, double offsetX,
                                      double offsetY)
{
    const double side = CellSize * step;
    const std::int32_t count = cells / step;
    std::vector<PolygonRecord> records;
    records.reserve(static_cast<std::size_t>(count) * static_cast<std::size_t>(count));
    for (std::int32_t j = 0; j < count; ++j)
    {
        for (std::int32_t i = 0; i < count; ++i)
        {
            const double x0 = RoundToGrid(i * side + offsetX * CellSize);
            const double y0 = RoundToGrid(j * side + offsetY * CellSize);
            const double x1 = RoundToGrid(x0 + side);
            const double y1 = RoundToGrid(y0 + side);
            records.push_back({{{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}}});
        }
    }
    return records;
}

std::vector<PolygonRecord> CutCoverage(std::int32_t cells, std::int32_t step, std::uint64_t seed)
{
    const Voronoi voronoi(cells, seed);
    const double spacing = CellSize * step;
    std::vector<PolygonRecord> records;
    for (std::int32_t site = 0; site < voronoi.SiteCount(); ++site)
    {
        std::vector<std::vector<XY>> columns;
        CutAlong(voronoi.Cell(site), true, spacing, columns);
        for (const std::vector<XY>& column : columns)
        {
            std::vector<std::vector<XY>> pieces;
            CutAlong(column, false, spacing, pieces);
            for (std::vector<XY>& piece : pieces)
            {
                records.push_back({Clockwise(std::move(piece))});
            }
        }
    }
    return records;
}

PolygonRecord WavyStar(std::int32_t n, std::int32_t waves, double radius, double amplitude,
                       double phase, double sampleOffset)
{
    Ring ring;
    ring.reserve(static_cast<std::size_t>(n));
    const double step = 2.0 * std::numbers::pi / n;
    for (std::int32_t i = 0; i < n; ++i)
    {
        // Decreasing angles: clockwise.
        const double t = -(i + sampleOffset) * step;
        const double r = radius * (1.0 + amplitude * std::sin(waves * t + phase));
        const XY p = RoundToGrid(XY{r * std::cos(t), r * std::sin(t)});
        if (ring.empty() || !(ring.back() == p))
        {
            ring.push_back(p);
        }
    }
    return {ring};
}

} // namespace BenchData
