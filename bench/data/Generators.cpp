#include "Generators.h"

#include <algorithm>
#include <array>
#include <bit>
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

// --- Rough edges ----------------------------------------------------------------------------

std::uint64_t Mix(std::uint64_t value)
{
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27U)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31U);
}

std::uint64_t SeedOf(std::uint64_t seed, const XY& a, const XY& b)
{
    for (const double value : {a.X, a.Y, b.X, b.Y})
    {
        seed = Mix(seed ^ std::bit_cast<std::uint64_t>(value));
    }
    return seed;
}

bool Before(const XY& a, const XY& b)
{
    return a.X < b.X || (a.X == b.X && a.Y < b.Y);
}

// Midpoint displacement between two known values: the offset of a middle grows with the
// interval's share of the whole as share^0.7, so the profile is rough at every scale.
void Displace(std::vector<double>& profile, std::size_t low, std::size_t high,
              std::mt19937_64& engine)
{
    if (high - low < 2)
    {
        return;
    }
    constexpr double roughness = 0.12;
    constexpr double hurst = 0.7;
    const std::size_t middle = (low + high) / 2;
    const double share = static_cast<double>(high - low) / static_cast<double>(profile.size() - 1);
    profile[middle] = (profile[low] + profile[high]) / 2 +
                      (2.0 * Uniform(engine) - 1.0) * roughness * std::pow(share, hurst);
    Displace(profile, low, middle, engine);
    Displace(profile, middle, high, engine);
}

// The inner points of the rough curve from a to b (a before b in the order of Before), each
// moved across the chord by profile * length, kept within the cone |offset| <= 0.15 * the
// distance along the chord from the nearer end.
std::vector<XY> RoughEdge(const XY& a, const XY& b, std::uint64_t seed, double spacing)
{
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    const auto segments = static_cast<std::size_t>(std::hypot(dx, dy) / spacing);
    std::vector<XY> points;
    if (segments < 2)
    {
        return points;
    }
    std::vector<double> profile(segments + 1, 0.0);
    std::mt19937_64 engine(SeedOf(seed, a, b));
    Displace(profile, 0, segments, engine);
    constexpr double cone = 0.15;
    points.reserve(segments - 1);
    for (std::size_t i = 1; i < segments; ++i)
    {
        const double t = static_cast<double>(i) / static_cast<double>(segments);
        const double limit = cone * std::min(t, 1.0 - t);
        const double offset = std::clamp(profile[i], -limit, limit);
        const XY p = RoundToGrid(XY{a.X + t * dx - offset * dy, a.Y + t * dy + offset * dx});
        if ((points.empty() ? !(p == a) : !(points.back() == p)) && !(p == b))
        {
            points.push_back(p);
        }
    }
    return points;
}

// The smooth field of Displaced at a point.
XY FieldAt(const XY& p, double amplitude)
{
    return {amplitude * std::sin(p.X / 37.0) * std::cos(p.Y / 53.0),
            amplitude * std::cos(p.X / 41.0) * std::sin(p.Y / 29.0)};
}

double Cross(const XY& o, const XY& a, const XY& b)
{
    return (a.X - o.X) * (b.Y - o.Y) - (a.Y - o.Y) * (b.X - o.X);
}

bool CrossProperly(const XY& a, const XY& b, const XY& c, const XY& d)
{
    const double abc = Cross(a, b, c);
    const double abd = Cross(a, b, d);
    const double cda = Cross(c, d, a);
    const double cdb = Cross(c, d, b);
    return ((abc > 0 && abd < 0) || (abc < 0 && abd > 0)) &&
           ((cda > 0 && cdb < 0) || (cda < 0 && cdb > 0));
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

std::vector<PolygonRecord> SquareGrid(std::int32_t count, double side, double originX,
                                      double originY)
{
    std::vector<PolygonRecord> records;
    records.reserve(static_cast<std::size_t>(count) * static_cast<std::size_t>(count));
    for (std::int32_t j = 0; j < count; ++j)
    {
        for (std::int32_t i = 0; i < count; ++i)
        {
            const double x0 = RoundToGrid(originX + i * side);
            const double y0 = RoundToGrid(originY + j * side);
            const double x1 = RoundToGrid(originX + (i + 1) * side);
            const double y1 = RoundToGrid(originY + (j + 1) * side);
            records.push_back({{{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}}});
        }
    }
    return records;
}

std::vector<PolygonRecord> RoughCoverage(std::int32_t cells, std::uint64_t seed, double spacing)
{
    const Voronoi voronoi(cells, seed);
    std::vector<PolygonRecord> records;
    records.reserve(static_cast<std::size_t>(voronoi.SiteCount()));
    for (std::int32_t site = 0; site < voronoi.SiteCount(); ++site)
    {
        const std::vector<XY> corners = voronoi.Cell(site);
        std::vector<XY> ring;
        for (std::size_t k = 0; k < corners.size(); ++k)
        {
            const XY& p = corners[k];
            const XY& q = corners[(k + 1) % corners.size()];
            ring.push_back(p);
            if (Before(p, q))
            {
                const std::vector<XY> inner = RoughEdge(p, q, seed, spacing);
                ring.insert(ring.end(), inner.begin(), inner.end());
            }
            else
            {
                const std::vector<XY> inner = RoughEdge(q, p, seed, spacing);
                ring.insert(ring.end(), inner.rbegin(), inner.rend());
            }
        }
        records.push_back({Clockwise(std::move(ring))});
    }
    return records;
}

PolygonRecord SpikyStar(std::int32_t spikes, double inner, double outer, XY centre, double phase)
{
    Ring ring;
    ring.reserve(2 * static_cast<std::size_t>(spikes));
    const double step = 2.0 * std::numbers::pi / spikes;
    for (std::int32_t j = 0; j < spikes; ++j)
    {
        // Decreasing angles: clockwise.
        const double base = -(j + phase) * step;
        const double tip = base - step / 2;
        ring.push_back(
            RoundToGrid(XY{centre.X + inner * std::cos(base), centre.Y + inner * std::sin(base)}));
        ring.push_back(
            RoundToGrid(XY{centre.X + outer * std::cos(tip), centre.Y + outer * std::sin(tip)}));
    }
    return {ring};
}

std::int64_t CountCrossings(const Ring& a, const Ring& b, XY centre)
{
    const auto angleOf = [&centre](const XY& p)
    { return std::atan2(p.Y - centre.Y, p.X - centre.X); };
    const std::size_t buckets = std::max<std::size_t>(16, b.size());
    const double perRadian = static_cast<double>(buckets) / (2.0 * std::numbers::pi);
    // The buckets an edge's angular range covers, the shorter way round.
    const auto visit = [&](const XY& p, const XY& q, const auto& action)
    {
        double from = angleOf(p);
        double to = angleOf(q);
        if (to < from)
        {
            std::swap(from, to);
        }
        if (to - from > std::numbers::pi)
        {
            from += 2.0 * std::numbers::pi;
            std::swap(from, to);
        }
        const auto first =
            static_cast<std::int64_t>(std::floor((from + std::numbers::pi) * perRadian));
        const auto last =
            static_cast<std::int64_t>(std::floor((to + std::numbers::pi) * perRadian));
        const auto count = static_cast<std::int64_t>(buckets);
        for (std::int64_t k = first; k <= last; ++k)
        {
            action(static_cast<std::size_t>(((k % count) + count) % count));
        }
    };
    std::vector<std::vector<std::uint32_t>> edgesIn(buckets);
    for (std::size_t i = 0; i < b.size(); ++i)
    {
        visit(b[i], b[(i + 1) % b.size()],
              [&](std::size_t bucket)
              { edgesIn[bucket].push_back(static_cast<std::uint32_t>(i)); });
    }
    std::int64_t crossings = 0;
    std::vector<std::uint32_t> candidates;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        const XY& p = a[i];
        const XY& q = a[(i + 1) % a.size()];
        candidates.clear();
        visit(p, q,
              [&](std::size_t bucket) {
                  candidates.insert(candidates.end(), edgesIn[bucket].begin(),
                                    edgesIn[bucket].end());
              });
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        for (const std::uint32_t j : candidates)
        {
            crossings += CrossProperly(p, q, b[j], b[(j + 1) % b.size()]) ? 1 : 0;
        }
    }
    return crossings;
}

std::vector<PolygonRecord> ScatteredSmallPolygons(std::int32_t cells, std::uint64_t seed)
{
    std::mt19937_64 engine(seed);
    std::vector<PolygonRecord> records;
    records.reserve(static_cast<std::size_t>(cells) * static_cast<std::size_t>(cells));
    for (std::int32_t j = 0; j < cells; ++j)
    {
        for (std::int32_t i = 0; i < cells; ++i)
        {
            // Centre within 5 of the cell's middle, radius at most 40: the polygon stays
            // inside its cell.
            const XY centre{(i + 0.5) * CellSize + 10.0 * (Uniform(engine) - 0.5),
                            (j + 0.5) * CellSize + 10.0 * (Uniform(engine) - 0.5)};
            const double radius = 20.0 + 20.0 * Uniform(engine);
            const auto vertices = 8 + static_cast<std::int32_t>(9.0 * Uniform(engine));
            const double turn = Uniform(engine);
            Ring ring;
            for (std::int32_t k = 0; k < vertices; ++k)
            {
                const double t = -(k + turn) * 2.0 * std::numbers::pi / vertices;
                const double r = radius * (0.8 + 0.2 * Uniform(engine));
                ring.push_back(
                    RoundToGrid(XY{centre.X + r * std::cos(t), centre.Y + r * std::sin(t)}));
            }
            records.push_back({ring});
        }
    }
    return records;
}

std::vector<PolygonRecord> Displaced(std::vector<PolygonRecord> records, double amplitude)
{
    for (PolygonRecord& record : records)
    {
        for (Ring& ring : record)
        {
            for (XY& p : ring)
            {
                const XY shift = FieldAt(p, amplitude);
                p = RoundToGrid(XY{p.X + shift.X, p.Y + shift.Y});
            }
        }
    }
    return records;
}

PolygonRecord Translated(PolygonRecord record, double dx, double dy)
{
    for (Ring& ring : record)
    {
        for (XY& p : ring)
        {
            p = RoundToGrid(XY{p.X + dx, p.Y + dy});
        }
    }
    return record;
}

} // namespace BenchData
