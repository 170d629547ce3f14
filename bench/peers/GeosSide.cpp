#include "GeosSide.h"

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "ReadBaseline.h"
#include "TextFile.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numeric>
#include <optional>
#include <stdexcept>

namespace Peers
{

namespace
{

void ReportGeosMessage(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::fputs("GEOS: ", stderr);
    std::vfprintf(stderr, format, arguments);
    std::fputc('\n', stderr);
    va_end(arguments);
}

GEOSGeometry* RingOf(GEOSContextHandle_t handle, const Arealis::Ring& ring)
{
    const std::int32_t n = ring.Count();
    GEOSCoordSequence* sequence =
        GEOSCoordSeq_create_r(handle, static_cast<unsigned int>(n + 1), 2);
    for (std::int32_t i = 0; i <= n; ++i)
    {
        const Arealis::Point& p = ring.GetNode(i % n)->Position;
        GEOSCoordSeq_setXY_r(handle, sequence, static_cast<unsigned int>(i), p.X, p.Y);
    }
    return GEOSGeom_createLinearRing_r(handle, sequence);
}

// Exterior rings each followed by their holes, made into a polygon, or a multipolygon when
// there are several exterior rings. A hole before any exterior ring is taken for one.
class PolygonParts
{
public:
    void Add(GEOSGeometry* pRing, bool exterior)
    {
        if (exterior || m_parts.empty())
        {
            m_parts.push_back(Part{pRing, {}});
        }
        else
        {
            m_parts.back().Holes.push_back(pRing);
        }
    }

    GEOSGeometry* Build(GEOSContextHandle_t handle)
    {
        std::vector<GEOSGeometry*> polygons;
        for (Part& part : m_parts)
        {
            polygons.push_back(
                GEOSGeom_createPolygon_r(handle, part.Shell, part.Holes.data(),
                                         static_cast<unsigned int>(part.Holes.size())));
        }
        if (polygons.size() == 1)
        {
            return polygons.front();
        }
        return GEOSGeom_createCollection_r(handle, GEOS_MULTIPOLYGON, polygons.data(),
                                           static_cast<unsigned int>(polygons.size()));
    }

private:
    struct Part
    {
        GEOSGeometry* Shell = nullptr;
        std::vector<GEOSGeometry*> Holes;
    };
    std::vector<Part> m_parts;
};

// Exterior rings each followed by their holes, as a committed polygon keeps them.
GEOSGeometry* GeometryOf(GEOSContextHandle_t handle, const Arealis::Polygon& polygon)
{
    PolygonParts parts;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Arealis::Ring& ring = *rings.Current();
        if (ring.Count() < 3)
        {
            continue;
        }
        parts.Add(RingOf(handle, ring), ring.IsExterior());
    }
    return parts.Build(handle);
}

// The result geometries of one operation, freed when the run is over, with the records of
// their parents when asked to keep them (for writing them out).
class Results
{
public:
    explicit Results(GEOSContextHandle_t handle, bool keepParents = false)
        : m_handle(handle), m_keepParents(keepParents)
    {
    }
    ~Results()
    {
        for (GEOSGeometry* geometry : m_geometries)
        {
            GEOSGeom_destroy_r(m_handle, geometry);
        }
    }
    Results(const Results&) = delete;
    Results& operator=(const Results&) = delete;

    // parentsOf() gives the result's parents; it is called only when they are kept.
    template <class TParents>
    void Keep(GEOSGeometry* geometry, const TParents& parentsOf)
    {
        if (geometry == nullptr)
        {
            throw std::runtime_error("a GEOS operation failed");
        }
        m_geometries.push_back(geometry);
        if (m_keepParents)
        {
            m_parents.push_back(parentsOf());
        }
    }

    const std::vector<GEOSGeometry*>& Geometries() const { return m_geometries; }
    const std::vector<std::vector<Parent>>& Parents() const { return m_parents; }

    // Measured after the timed run: the lines and points of touching pairs add no area and
    // are not counted as pieces.
    void Fill(Outcome& outcome) const
    {
        for (const GEOSGeometry* geometry : m_geometries)
        {
            double area = 0.0;
            GEOSArea_r(m_handle, geometry, &area);
            if (area > 0.0)
            {
                outcome.Area += area;
                ++outcome.Pieces;
            }
        }
    }

private:
    GEOSContextHandle_t m_handle;
    bool m_keepParents;
    std::vector<GEOSGeometry*> m_geometries;
    std::vector<std::vector<Parent>> m_parents;
};

class Tree
{
public:
    Tree(GEOSContextHandle_t handle, const std::vector<GEOSGeometry*>& geometries)
        : m_handle(handle), m_tree(GEOSSTRtree_create_r(handle, 10))
    {
        for (std::size_t i = 0; i < geometries.size(); ++i)
        {
            GEOSSTRtree_insert_r(handle, m_tree, geometries[i],
                                 reinterpret_cast<void*>(static_cast<std::uintptr_t>(i)));
        }
    }
    ~Tree() { GEOSSTRtree_destroy_r(m_handle, m_tree); }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // Indexes of the geometries whose envelopes meet the envelope of geometry.
    std::vector<std::size_t> Query(const GEOSGeometry* geometry) const
    {
        std::vector<std::size_t> found;
        GEOSSTRtree_query_r(
            m_handle, m_tree, geometry,
            [](void* item, void* userdata)
            {
                static_cast<std::vector<std::size_t>*>(userdata)->push_back(
                    static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(item)));
            },
            &found);
        return found;
    }

private:
    GEOSContextHandle_t m_handle;
    GEOSSTRtree* m_tree;
};

class Prepared
{
public:
    Prepared(GEOSContextHandle_t handle, const GEOSGeometry* geometry)
        : m_handle(handle), m_prepared(GEOSPrepare_r(handle, geometry))
    {
    }
    ~Prepared() { GEOSPreparedGeom_destroy_r(m_handle, m_prepared); }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;

    bool Intersects(const GEOSGeometry* other) const
    {
        return GEOSPreparedIntersects_r(m_handle, m_prepared, other) == 1;
    }
    // The interiors meet: the polygons overlap rather than touch.
    bool Overlaps(const GEOSGeometry* other) const
    {
        return Intersects(other) && GEOSPreparedTouches_r(m_handle, m_prepared, other) == 0;
    }

private:
    GEOSContextHandle_t m_handle;
    const GEOSPreparedGeometry* m_prepared;
};

// The candidates of the other layer that meet the geometry.
std::vector<std::size_t> Meeting(GEOSContextHandle_t handle, const GEOSGeometry* geometry,
                                 const Tree& tree, const std::vector<GEOSGeometry*>& others)
{
    std::vector<std::size_t> candidates = tree.Query(geometry);
    if (candidates.empty())
    {
        return candidates;
    }
    const Prepared prepared(handle, geometry);
    std::erase_if(candidates, [&](std::size_t i) { return !prepared.Intersects(others[i]); });
    return candidates;
}

GEOSGeometry* UnionOf(GEOSContextHandle_t handle, const std::vector<std::size_t>& members,
                      const std::vector<GEOSGeometry*>& geometries)
{
    std::vector<GEOSGeometry*> clones;
    clones.reserve(members.size());
    for (std::size_t i : members)
    {
        clones.push_back(GEOSGeom_clone_r(handle, geometries[i]));
    }
    GEOSGeometry* collection = GEOSGeom_createCollection_r(
        handle, GEOS_GEOMETRYCOLLECTION, clones.data(), static_cast<unsigned int>(clones.size()));
    GEOSGeometry* united = GEOSUnaryUnion_r(handle, collection);
    GEOSGeom_destroy_r(handle, collection);
    return united;
}

void IntersectPairs(GEOSContextHandle_t handle, const GeosLayer& a, const GeosLayer& b,
                    Results& results)
{
    const bool swap = b.Geometries().size() < a.Geometries().size();
    const GeosLayer& enumerated = swap ? b : a;
    const GeosLayer& queried = swap ? a : b;
    const Tree tree(handle, queried.Geometries());
    for (std::size_t e = 0; e < enumerated.Geometries().size(); ++e)
    {
        const GEOSGeometry* polygon = enumerated.Geometries()[e];
        for (std::size_t i : Meeting(handle, polygon, tree, queried.Geometries()))
        {
            const auto recordA = static_cast<std::int64_t>(swap ? i : e);
            const auto recordB = static_cast<std::int64_t>(swap ? e : i);
            results.Keep(GEOSIntersection_r(handle, polygon, queried.Geometries()[i]),
                         [&] {
                             return std::vector<Parent>{{'A', recordA}, {'B', recordB}};
                         });
        }
    }
}

// Every polygon of a without the union of the polygons of b that meet it; label names a.
void SubstractLayer(GEOSContextHandle_t handle, const GeosLayer& a, const GeosLayer& b,
                    Results& results, char label = 'A')
{
    const Tree tree(handle, b.Geometries());
    for (std::size_t p = 0; p < a.Geometries().size(); ++p)
    {
        const GEOSGeometry* polygon = a.Geometries()[p];
        const auto parents = [&] {
            return std::vector<Parent>{{label, static_cast<std::int64_t>(p)}};
        };
        const std::vector<std::size_t> candidates = Meeting(handle, polygon, tree, b.Geometries());
        if (candidates.empty())
        {
            results.Keep(GEOSGeom_clone_r(handle, polygon), parents);
        }
        else if (candidates.size() == 1)
        {
            results.Keep(GEOSDifference_r(handle, polygon, b.Geometries()[candidates.front()]),
                         parents);
        }
        else
        {
            GEOSGeometry* united = UnionOf(handle, candidates, b.Geometries());
            results.Keep(GEOSDifference_r(handle, polygon, united), parents);
            GEOSGeom_destroy_r(handle, united);
        }
    }
}

// Union-find over the polygons of both layers.
class Components
{
public:
    explicit Components(std::size_t count) : m_parent(count)
    {
        std::iota(m_parent.begin(), m_parent.end(), std::size_t{0});
    }
    std::size_t Find(std::size_t i)
    {
        while (m_parent[i] != i)
        {
            m_parent[i] = m_parent[m_parent[i]];
            i = m_parent[i];
        }
        return i;
    }
    void Join(std::size_t i, std::size_t j) { m_parent[Find(i)] = Find(j); }

private:
    std::vector<std::size_t> m_parent;
};

// Polygons of a and b that overlap (directly or through a chain of overlaps) become one
// union; all others stay as they are. Polygons that only touch stay apart.
void UniteLayers(GEOSContextHandle_t handle, const GeosLayer& a, const GeosLayer& b,
                 Results& results)
{
    std::vector<GEOSGeometry*> all = a.Geometries();
    all.insert(all.end(), b.Geometries().begin(), b.Geometries().end());
    const std::size_t countA = a.Geometries().size();
    const bool bLarger = b.Geometries().size() > countA;
    const std::vector<GEOSGeometry*>& listed = bLarger ? a.Geometries() : b.Geometries();
    const std::vector<GEOSGeometry*>& indexed = bLarger ? b.Geometries() : a.Geometries();
    const std::size_t listedBase = bLarger ? 0 : countA;
    const std::size_t indexedBase = bLarger ? countA : 0;

    Components components(all.size());
    const Tree tree(handle, indexed);
    for (std::size_t i = 0; i < listed.size(); ++i)
    {
        const std::vector<std::size_t> candidates = tree.Query(listed[i]);
        if (candidates.empty())
        {
            continue;
        }
        const Prepared prepared(handle, listed[i]);
        for (std::size_t j : candidates)
        {
            if (prepared.Overlaps(indexed[j]))
            {
                components.Join(listedBase + i, indexedBase + j);
            }
        }
    }
    std::vector<std::vector<std::size_t>> members(all.size());
    for (std::size_t i = 0; i < all.size(); ++i)
    {
        members[components.Find(i)].push_back(i);
    }
    for (const std::vector<std::size_t>& component : members)
    {
        const auto parents = [&]
        {
            std::vector<Parent> records;
            for (const std::size_t i : component)
            {
                records.push_back(i < countA ? Parent{'A', static_cast<std::int64_t>(i)}
                                             : Parent{'B', static_cast<std::int64_t>(i - countA)});
            }
            return records;
        };
        if (component.size() == 1)
        {
            results.Keep(GEOSGeom_clone_r(handle, all[component.front()]), parents);
        }
        else if (component.size() > 1)
        {
            results.Keep(UnionOf(handle, component, all), parents);
        }
    }
}

void Operate(GEOSContextHandle_t handle, LayerOperation operation, const GeosLayer& a,
             const GeosLayer& b, Results& results)
{
    switch (operation)
    {
    case LayerOperation::Intersection:
        IntersectPairs(handle, a, b, results);
        break;
    case LayerOperation::Subtraction:
        SubstractLayer(handle, a, b, results);
        break;
    case LayerOperation::Join:
        IntersectPairs(handle, a, b, results);
        SubstractLayer(handle, a, b, results);
        SubstractLayer(handle, b, a, results, 'B');
        break;
    case LayerOperation::Union:
        UniteLayers(handle, a, b, results);
        break;
    }
}

// Signed area of a decoded ring, positive when clockwise (a shapefile's exterior rings).
double ClockwiseArea(const DecodedRing& ring)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i)
    {
        const DecodedPoint& p = ring[i];
        const DecodedPoint& q = ring[(i + 1) % ring.size()];
        sum += p.X * q.Y - q.X * p.Y;
    }
    return -sum / 2;
}

GEOSGeometry* RingOf(GEOSContextHandle_t handle, const DecodedRing& ring)
{
    const auto n = static_cast<unsigned int>(ring.size());
    GEOSCoordSequence* sequence = GEOSCoordSeq_create_r(handle, n + 1, 2);
    for (unsigned int i = 0; i <= n; ++i)
    {
        const DecodedPoint& p = ring[i % n];
        GEOSCoordSeq_setXY_r(handle, sequence, i, p.X, p.Y);
    }
    return GEOSGeom_createLinearRing_r(handle, sequence);
}

// A record's clockwise parts as exterior rings, each followed by the holes after it.
GEOSGeometry* GeometryOf(GEOSContextHandle_t handle, const DecodedRecord& record)
{
    PolygonParts parts;
    for (const DecodedRing& ring : record)
    {
        if (ring.size() < 3)
        {
            continue;
        }
        parts.Add(RingOf(handle, ring), ClockwiseArea(ring) > 0.0);
    }
    return parts.Build(handle);
}

// The polygons of a result, whatever collection holds them; lines and points are left out.
void CollectPolygons(GEOSContextHandle_t handle, const GEOSGeometry* geometry,
                     std::vector<const GEOSGeometry*>& polygons)
{
    const int type = GEOSGeomTypeId_r(handle, geometry);
    if (type == GEOS_POLYGON)
    {
        if (GEOSisEmpty_r(handle, geometry) == 0)
        {
            polygons.push_back(geometry);
        }
    }
    else if (type == GEOS_MULTIPOLYGON || type == GEOS_GEOMETRYCOLLECTION)
    {
        const int count = GEOSGetNumGeometries_r(handle, geometry);
        for (int i = 0; i < count; ++i)
        {
            CollectPolygons(handle, GEOSGetGeometryN_r(handle, geometry, i), polygons);
        }
    }
}

// A ring's points as a GeoJSON array, counter-clockwise for an exterior ring, clockwise for a
// hole.
void WriteRing(GEOSContextHandle_t handle, const GEOSGeometry* ring, bool exterior,
               std::vector<double>& buffer, TextFile& file)
{
    const GEOSCoordSequence* sequence = GEOSGeom_getCoordSeq_r(handle, ring);
    unsigned int size = 0;
    GEOSCoordSeq_getSize_r(handle, sequence, &size);
    buffer.resize(2 * static_cast<std::size_t>(size));
    GEOSCoordSeq_copyToBuffer_r(handle, sequence, buffer.data(), 0, 0);
    char counterClockwise = 0;
    GEOSCoordSeq_isCCW_r(handle, sequence, &counterClockwise);
    const bool reverse = (counterClockwise != 0) != exterior;
    file.Text("[");
    for (unsigned int i = 0; i < size; ++i)
    {
        const std::size_t k = 2 * static_cast<std::size_t>(reverse ? size - 1 - i : i);
        file.Text(i == 0 ? "[" : ",[");
        file.Number(buffer[k]);
        file.Text(",");
        file.Number(buffer[k + 1]);
        file.Text("]");
    }
    file.Text("]");
}

// The results as the command-line tool's GeoJSON: a FeatureCollection, one Feature per result
// that has an area, its geometry a MultiPolygon, its properties the parents. Returns the bytes
// written and counts the features.
std::int64_t WriteGeoJson(GEOSContextHandle_t handle, const Results& results,
                          const std::string& path, std::int64_t& features)
{
    TextFile file(path);
    file.Text(R"({"type":"FeatureCollection","features":[)");
    std::vector<const GEOSGeometry*> polygons;
    std::vector<double> buffer;
    for (std::size_t r = 0; r < results.Geometries().size(); ++r)
    {
        polygons.clear();
        CollectPolygons(handle, results.Geometries()[r], polygons);
        if (polygons.empty())
        {
            continue;
        }
        file.Text(features++ == 0 ? "" : ",");
        file.Text(R"({"type":"Feature","geometry":{"type":"MultiPolygon","coordinates":[)");
        for (std::size_t p = 0; p < polygons.size(); ++p)
        {
            file.Text(p == 0 ? "[" : ",[");
            WriteRing(handle, GEOSGetExteriorRing_r(handle, polygons[p]), true, buffer, file);
            const int holes = GEOSGetNumInteriorRings_r(handle, polygons[p]);
            for (int h = 0; h < holes; ++h)
            {
                file.Text(",");
                WriteRing(handle, GEOSGetInteriorRingN_r(handle, polygons[p], h), false, buffer,
                          file);
            }
            file.Text("]");
        }
        file.Text(R"(]},"properties":{"parents":[)");
        const std::vector<Parent>& parents = results.Parents()[r];
        for (std::size_t k = 0; k < parents.size(); ++k)
        {
            file.Text(k == 0 ? R"({"layer":")" : R"(,{"layer":")");
            file.Text(std::string_view(&parents[k].Layer, 1));
            file.Text(R"(","record":)");
            file.Integer(parents[k].Record);
            file.Text("}");
        }
        file.Text("]}}");
    }
    file.Text("]}\n");
    return file.Finish();
}

} // namespace

GeosContext::GeosContext() : m_handle(GEOS_init_r())
{
    GEOSContext_setNoticeHandler_r(m_handle, ReportGeosMessage);
    GEOSContext_setErrorHandler_r(m_handle, ReportGeosMessage);
}

GeosContext::~GeosContext()
{
    GEOS_finish_r(m_handle);
}

GeosLayer::GeosLayer(const GeosContext& context, const ArealisLayer& source)
    : m_handle(context.Handle())
{
    std::vector<GEOSGeometry*> clones;
    for (const Arealis::Polygon* polygon : source.Polygons())
    {
        m_geometries.push_back(GeometryOf(m_handle, *polygon));
        clones.push_back(GEOSGeom_clone_r(m_handle, m_geometries.back()));
    }
    m_collection = GEOSGeom_createCollection_r(m_handle, GEOS_GEOMETRYCOLLECTION, clones.data(),
                                               static_cast<unsigned int>(clones.size()));
}

GeosLayer::GeosLayer(const GeosContext& context, const std::string& path, bool asCollection)
    : m_handle(context.Handle())
{
    for (const DecodedRecord& record : DecodeShapefileRecords(path))
    {
        m_geometries.push_back(GeometryOf(m_handle, record));
    }
    if (asCollection)
    {
        m_collection =
            GEOSGeom_createCollection_r(m_handle, GEOS_GEOMETRYCOLLECTION, m_geometries.data(),
                                        static_cast<unsigned int>(m_geometries.size()));
        m_geometries.clear();
    }
}

GeosLayer::~GeosLayer()
{
    for (GEOSGeometry* geometry : m_geometries)
    {
        GEOSGeom_destroy_r(m_handle, geometry);
    }
    if (m_collection != nullptr)
    {
        GEOSGeom_destroy_r(m_handle, m_collection);
    }
}

Outcome RunGeos(const GeosContext& context, LayerOperation operation, const GeosLayer& a,
                const GeosLayer& b)
{
    GEOSContextHandle_t handle = context.Handle();
    Outcome outcome;
    Results results(handle);
    const Stopwatch watch;
    Operate(handle, operation, a, b, results);
    watch.Stop(outcome);
    results.Fill(outcome);
    return outcome;
}

Outcome RunGeosUnite(const GeosContext& context, const GeosLayer& layer)
{
    GEOSContextHandle_t handle = context.Handle();
    Outcome outcome;
    Results results(handle);
    const Stopwatch watch;
    results.Keep(GEOSUnaryUnion_r(handle, layer.Collection()),
                 [] { return std::vector<Parent>{}; });
    watch.Stop(outcome);
    results.Fill(outcome);
    return outcome;
}

Outcome RunGeos(const GeosContext& context, PairOperation operation, const GeosLayer& a,
                const GeosLayer& b)
{
    GEOSContextHandle_t handle = context.Handle();
    const GEOSGeometry* first = a.Geometries().at(0);
    const GEOSGeometry* second = b.Geometries().at(0);
    Outcome outcome;
    Results results(handle);
    const Stopwatch watch;
    switch (operation)
    {
    case PairOperation::Union:
        results.Keep(GEOSUnion_r(handle, first, second), [] { return std::vector<Parent>{}; });
        break;
    case PairOperation::Intersection:
        results.Keep(GEOSIntersection_r(handle, first, second),
                     [] { return std::vector<Parent>{}; });
        break;
    case PairOperation::Subtraction:
        results.Keep(GEOSDifference_r(handle, first, second), [] { return std::vector<Parent>{}; });
        break;
    }
    watch.Stop(outcome);
    results.Fill(outcome);
    return outcome;
}

Outcome RunGeosEndToEnd(const GeosContext& context, const EndToEndCase& command)
{
    GEOSContextHandle_t handle = context.Handle();
    Outcome outcome;
    const Stopwatch watch;
    double written = 0.0;
    {
        Results results(handle, true);
        std::optional<GeosLayer> a;
        std::optional<GeosLayer> b;
        a.emplace(context, command.Inputs.at(0), command.Unite);
        if (!command.Unite)
        {
            b.emplace(context, command.Inputs.at(1), false);
        }
        outcome.LoadSeconds = watch.Seconds();
        if (command.Unite)
        {
            const auto count = GEOSGetNumGeometries_r(handle, a->Collection());
            results.Keep(GEOSUnaryUnion_r(handle, a->Collection()),
                         [count]
                         {
                             std::vector<Parent> parents;
                             for (int i = 0; i < count; ++i)
                             {
                                 parents.push_back({'A', i});
                             }
                             return parents;
                         });
        }
        else
        {
            Operate(handle, command.Operation, *a, *b, results);
        }
        const double operated = watch.Seconds();
        outcome.OperationSeconds = operated - outcome.LoadSeconds;
        if (command.Format != OutputFormat::Summary)
        {
            outcome.Bytes = WriteGeoJson(handle, results, command.OutputPath, outcome.Pieces);
        }
        written = watch.Seconds();
        outcome.WriteSeconds = written - operated;
    }
    watch.Stop(outcome);
    // Destroying the inputs and the results, as the Arealis command frees its layers.
    outcome.FreeSeconds = outcome.Seconds - written;
    outcome.Area = std::numeric_limits<double>::quiet_NaN();
    return outcome;
}

} // namespace Peers
