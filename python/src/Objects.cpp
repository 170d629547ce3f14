#include "Objects.h"

#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Conversion.h"
#include "Guard.h"
#include "ShapelyBridge.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace py = pybind11;

namespace ArealisPython
{

namespace
{

// Runs a short library call without the GIL under the library lock.
template <class Work> auto Locked(Work&& work) -> decltype(work())
{
    const py::gil_scoped_release release;
    const std::lock_guard<std::mutex> lock(LibraryMutex());
    return work();
}

// A topology shared by the Python objects that refer into it. It also keeps alive the
// topologies whose polygons its layers name as parents; its own parents are cleared before it
// goes, so that those topologies can go after it.
class TopologyOwner
{
public:
    explicit TopologyOwner(const Arealis::Precision& precision)
        : m_topology(Locked([&] { return CreateTopology(precision); }))
    {
    }
    ~TopologyOwner()
    {
        Locked(
            [this]
            {
                for (std::int32_t i = 0; i < m_topology->GetLayerCount(); ++i)
                {
                    m_topology->GetLayer(i)->ClearAllParents();
                }
                m_topology.reset();
            });
    }
    TopologyOwner(const TopologyOwner&) = delete;
    TopologyOwner& operator=(const TopologyOwner&) = delete;

    Arealis::Topology& Get() const { return *m_topology; }
    void DependOn(const std::shared_ptr<TopologyOwner>& other)
    {
        if (other.get() != this &&
            std::find(m_dependencies.begin(), m_dependencies.end(), other) == m_dependencies.end())
        {
            m_dependencies.push_back(other);
        }
    }

private:
    std::vector<std::shared_ptr<TopologyOwner>> m_dependencies;
    TopologyPtr m_topology;
};

using OwnerPtr = std::shared_ptr<TopologyOwner>;

// The owner of each live topology by its identifier, so that a polygon met through a Parents
// collection is wrapped with its own topology's owner. Used with the GIL held.
std::unordered_map<std::uint8_t, std::weak_ptr<TopologyOwner>>& Owners()
{
    static auto* owners = new std::unordered_map<std::uint8_t, std::weak_ptr<TopologyOwner>>();
    return *owners;
}

OwnerPtr MakeOwner(std::optional<double> grid, std::optional<double> tolerance)
{
    auto owner = std::make_shared<TopologyOwner>(ChoosePrecision(grid, tolerance, false));
    Owners()[owner->Get().GetId()] = owner;
    return owner;
}

// The owner of the topology of pLayer; fallback (which keeps it alive) when it has none.
OwnerPtr OwnerOf(const Arealis::PolygonLayer* pLayer, const OwnerPtr& fallback)
{
    const auto found = Owners().find(pLayer->GetTopology()->GetId());
    OwnerPtr owner = found == Owners().end() ? nullptr : found->second.lock();
    return owner && &owner->Get() == pLayer->GetTopology() ? owner : fallback;
}

struct Layer
{
    OwnerPtr Owner;
    Arealis::PolygonLayer* Pointer;
};

// A polygon of a layer (kept alive by its topology) or a free polygon (owned here).
struct Polygon
{
    OwnerPtr Owner;
    std::shared_ptr<Arealis::Polygon> Free;
    Arealis::Polygon* Pointer;

    static Polygon MakeFree(std::unique_ptr<Arealis::Polygon> pPolygon)
    {
        Arealis::Polygon* pointer = pPolygon.get();
        std::shared_ptr<Arealis::Polygon> owned(pPolygon.release(),
                                                [](Arealis::Polygon* p)
                                                { Locked([p] { delete p; }); });
        return Polygon{nullptr, std::move(owned), pointer};
    }
};

std::string WkbOfObject(const py::handle geometry)
{
    if (PyBytes_Check(geometry.ptr()))
    {
        return geometry.cast<std::string>();
    }
    if (ShapelyBridge::Handles(geometry))
    {
        return ShapelyBridge::WkbOf(geometry);
    }
    if (py::hasattr(geometry, "wkb"))
    {
        return geometry.attr("wkb").cast<std::string>();
    }
    throw py::type_error("a shapely geometry or WKB bytes is needed");
}

void Fill(Arealis::Polygon& polygon, const std::string& wkb)
{
    ReadWkb(wkb, polygon);
    polygon.Clean(false);
}

py::bytes WkbOf(const Polygon& polygon)
{
    std::string out;
    Locked([&] { AppendWkb(*polygon.Pointer, out); });
    return py::bytes(out);
}

double Area(const Arealis::Polygon& polygon)
{
    double area = 0.0;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        area += rings.Current()->GetSignedArea();
    }
    return area;
}

py::list PolygonsOf(const OwnerPtr& owner, Arealis::PolygonEnumerator polygons)
{
    py::list out;
    while (polygons.MoveNext())
    {
        out.append(py::cast(Polygon{owner, nullptr, polygons.Current()}));
    }
    return out;
}

// Why the polygon is not valid, or None.
py::object Reason(Arealis::Polygon& polygon)
{
    std::string reason;
    Locked(
        [&]
        {
            try
            {
                polygon.Validate(true);
            }
            catch (const Exceptions::Exception& error)
            {
                reason = std::string(error.Message()) + " (" + error.Location() + ")";
            }
        });
    return reason.empty() ? py::object(py::none()) : py::object(py::str(reason));
}

using FreeOperation = std::unique_ptr<Arealis::Polygon> (*)(Arealis::Polygon&, Arealis::Polygon&);

Polygon Combine(const Polygon& a, const Polygon& b, FreeOperation operation)
{
    return Polygon::MakeFree(Locked([&] { return operation(*a.Pointer, *b.Pointer); }));
}

using LayerOperation = Arealis::PolygonLayer* (Arealis::Topology::*)(
    Arealis::PolygonLayer*, Arealis::PolygonLayer*, bool, const Arealis::Topology::LayerProgress&);

// The library's layer operations take only committed polygons. Polygons added from Python
// are committed here first, so that none is left out in silence: a polygon the commit refuses
// raises InvalidPolygonError instead of vanishing from the result.
void CommitEdits(Arealis::PolygonLayer& layer)
{
    if (layer.GetEditingCount() > 0)
    {
        layer.Commit();
    }
}

// A layer operation into a new layer of the topology. When it stops early (an error, Ctrl+C
// or the progress callback raising), the layer it had begun is emptied again.
Layer RunLayerOperation(const OwnerPtr& owner, const Layer& a, const Layer& b, bool recordParents,
                        const py::object& progress, LayerOperation operation)
{
    Arealis::Topology& topology = owner->Get();
    owner->DependOn(a.Owner);
    owner->DependOn(b.Owner);
    Guard guard(progress);
    Arealis::PolygonLayer* pResult = guard.Run(
        [&]
        {
            CommitEdits(*a.Pointer);
            CommitEdits(*b.Pointer);
            const std::int32_t layers = topology.GetLayerCount();
            try
            {
                return (topology.*operation)(a.Pointer, b.Pointer, recordParents,
                                             guard.Callback());
            }
            catch (...)
            {
                if (topology.GetLayerCount() > layers)
                {
                    Arealis::PolygonLayer* pBegun = topology.GetLayer(layers);
                    pBegun->ClearAllParents();
                    std::vector<Arealis::Polygon*> polygons;
                    Arealis::PolygonEnumerator all = pBegun->GetPolygons();
                    while (all.MoveNext())
                    {
                        polygons.push_back(all.Current());
                    }
                    for (Arealis::Polygon* pPolygon : polygons)
                    {
                        pBegun->DeletePolygon(pPolygon);
                    }
                }
                throw;
            }
        });
    return Layer{owner, pResult};
}

py::tuple Bounds(const Arealis::Rectangle& bounds)
{
    if (bounds.IsEmpty())
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return py::make_tuple(nan, nan, nan, nan);
    }
    return py::make_tuple(bounds.MinX, bounds.MinY, bounds.MaxX, bounds.MaxY);
}

} // namespace

void BindObjects(py::module_& module)
{
    py::class_<TopologyOwner, OwnerPtr>(module, "Topology",
                                         "A set of layers whose rings share their nodes.")
        .def(py::init(&MakeOwner), py::kw_only(), py::arg("grid") = py::none(),
             py::arg("tolerance") = py::none(),
             "A topology whose nodes snap to a grid of step grid and whose operations put a "
             "vertex nearer than tolerance to an edge on that edge (None: 1e-6 and 0.0005, in "
             "the coordinates' units).")
        .def_property_readonly("grid", [](const OwnerPtr& self)
                               { return self->Get().GetPrecision().GridStep; })
        .def_property_readonly("tolerance", [](const OwnerPtr& self)
                               { return self->Get().GetPrecision().Tolerance; })
        .def(
            "create_layer",
            [](const OwnerPtr& self, bool allowOverlap)
            {
                return Layer{self,
                             Locked([&] { return self->Get().CreatePolygonLayer(allowOverlap); })};
            },
            py::arg("allow_overlap") = true, "A new empty layer of this topology.")
        .def_property_readonly("layers",
                               [](const OwnerPtr& self)
                               {
                                   std::vector<Layer> layers;
                                   for (std::int32_t i = 0; i < self->Get().GetLayerCount(); ++i)
                                   {
                                       layers.push_back(Layer{self, self->Get().GetLayer(i)});
                                   }
                                   return layers;
                               })
        .def(
            "commit", [](const OwnerPtr& self) { Locked([&] { self->Get().Commit(); }); },
            "Commits every layer; invalid polygons raise InvalidPolygonError.")
        .def(
            "intersection",
            [](const OwnerPtr& self, const Layer& a, const Layer& b, bool parents,
               const py::object& progress)
            { return RunLayerOperation(self, a, b, parents, progress, &Arealis::Topology::Intersection); },
            py::arg("a"), py::arg("b"), py::arg("record_parents") = true,
            py::arg("progress") = py::none(),
            "A new layer with every common part of a polygon of a and a polygon of b.")
        .def(
            "difference",
            [](const OwnerPtr& self, const Layer& a, const Layer& b, bool parents,
               const py::object& progress)
            { return RunLayerOperation(self, a, b, parents, progress, &Arealis::Topology::Substract); },
            py::arg("a"), py::arg("b"), py::arg("record_parents") = true,
            py::arg("progress") = py::none(),
            "A new layer with every polygon of a without the parts covered by b.")
        .def(
            "union",
            [](const OwnerPtr& self, const Layer& a, const Layer& b, const py::object& progress)
            { return RunLayerOperation(self, a, b, false, progress, &Arealis::Topology::Union); },
            py::arg("a"), py::arg("b"), py::arg("progress") = py::none(),
            "A new layer with the polygons of a and b, overlapping ones dissolved into one.")
        .def(
            "join",
            [](const OwnerPtr& self, const Layer& a, const Layer& b, bool parents,
               const py::object& progress)
            { return RunLayerOperation(self, a, b, parents, progress, &Arealis::Topology::Join); },
            py::arg("a"), py::arg("b"), py::arg("record_parents") = true,
            py::arg("progress") = py::none(),
            "A new layer with the common parts and the parts of either layer outside the other.");

    py::class_<Layer>(module, "Layer", "Polygons of a topology; made by Topology.create_layer.")
        .def_property_readonly("topology", [](const Layer& self) { return self.Owner; })
        .def(
            "add",
            [](const Layer& self, const py::handle geometry)
            {
                if (py::isinstance<Polygon>(geometry))
                {
                    const Polygon& source = geometry.cast<const Polygon&>();
                    return Polygon{self.Owner, nullptr,
                                   Locked([&] { return self.Pointer->AddPolygon(source.Pointer); })};
                }
                const std::string wkb = WkbOfObject(geometry);
                Arealis::Polygon* pPolygon = Locked(
                    [&]
                    {
                        Arealis::Polygon* pNew = self.Pointer->CreatePolygon();
                        try
                        {
                            Fill(*pNew, wkb);
                        }
                        catch (...)
                        {
                            self.Pointer->DeletePolygon(pNew);
                            throw;
                        }
                        return pNew;
                    });
                return Polygon{self.Owner, nullptr, pPolygon};
            },
            py::arg("geometry"),
            "Adds a polygon (a shapely Polygon or MultiPolygon, WKB, or a Polygon to copy).")
        .def(
            "commit", [](const Layer& self) { Locked([&] { self.Pointer->Commit(); }); },
            "Validates and indexes the polygons being edited; invalid ones raise "
            "InvalidPolygonError and stay in the edit list.")
        .def("__len__", [](const Layer& self) { return self.Pointer->GetPolygonCount(); })
        .def_property_readonly("polygons", [](const Layer& self)
                               { return PolygonsOf(self.Owner, self.Pointer->GetPolygons()); })
        .def(
            "query",
            [](const Layer& self, double minX, double minY, double maxX, double maxY)
            {
                return PolygonsOf(self.Owner, self.Pointer->GetPolygons(
                                                  Arealis::Rectangle(minX, minY, maxX, maxY)));
            },
            py::arg("minx"), py::arg("miny"), py::arg("maxx"), py::arg("maxy"),
            "The polygons whose bounds meet the rectangle.")
        .def_property_readonly("bounds", [](const Layer& self)
                               { return Bounds(self.Pointer->GetBounds()); })
        .def_property_readonly("committed_count",
                               [](const Layer& self) { return self.Pointer->GetCommittedCount(); })
        .def_property_readonly("allows_overlap",
                               [](const Layer& self) { return self.Pointer->AllowsOverlap(); });

    py::class_<Polygon>(module, "Polygon",
                        "A polygon of a layer, or a free polygon made from a geometry.")
        .def(py::init(
                 [](const py::handle geometry)
                 {
                     const std::string wkb = WkbOfObject(geometry);
                     auto pPolygon = std::make_unique<Arealis::Polygon>(nullptr);
                     Locked([&] { Fill(*pPolygon, wkb); });
                     return Polygon::MakeFree(std::move(pPolygon));
                 }),
             py::arg("geometry"))
        .def_property_readonly("wkb", &WkbOf)
        .def_property_readonly("area", [](const Polygon& self)
                               { return Locked([&] { return Area(*self.Pointer); }); })
        .def_property_readonly("bounds", [](const Polygon& self)
                               { return Bounds(self.Pointer->GetBounds()); })
        .def_property_readonly("ring_count",
                               [](const Polygon& self) { return self.Pointer->GetRingCount(); })
        .def_property_readonly("node_count",
                               [](const Polygon& self) { return self.Pointer->GetNodeCount(); })
        .def_property_readonly("is_empty", [](const Polygon& self) { return self.Pointer->IsEmpty(); })
        .def_property_readonly("is_valid",
                               [](const Polygon& self) { return Reason(*self.Pointer).is_none(); })
        .def(
            "validate", [](const Polygon& self) { return Reason(*self.Pointer); },
            "None when the polygon is valid, otherwise why it is not.")
        .def_property_readonly("layer",
                               [](const Polygon& self) -> py::object
                               {
                                   if (!self.Owner)
                                   {
                                       return py::none();
                                   }
                                   return py::cast(Layer{self.Owner, self.Pointer->GetLayer()});
                               })
        .def_property_readonly(
            "parents",
            [](const Polygon& self) -> py::list
            {
                if (!self.Owner)
                {
                    return py::list();
                }
                // Parents may lie in other topologies, which this one keeps alive.
                py::list out;
                Arealis::PolygonEnumerator parents =
                    self.Pointer->GetLayer()->GetParents(self.Pointer);
                while (parents.MoveNext())
                {
                    Arealis::Polygon* pParent = parents.Current();
                    out.append(py::cast(
                        Polygon{OwnerOf(pParent->GetLayer(), self.Owner), nullptr, pParent}));
                }
                return out;
            },
            "The polygons this one was made from (a layer operation with record_parents).")
        .def("union", [](const Polygon& a, const Polygon& b)
             { return Combine(a, b, &Arealis::Overlay::Union); })
        .def("intersection", [](const Polygon& a, const Polygon& b)
             { return Combine(a, b, &Arealis::Overlay::Intersection); })
        .def("difference", [](const Polygon& a, const Polygon& b)
             { return Combine(a, b, &Arealis::Overlay::Substract); })
        .def("__eq__", [](const Polygon& a, const Polygon& b) { return a.Pointer == b.Pointer; })
        .def("__hash__", [](const Polygon& self) { return reinterpret_cast<std::uintptr_t>(self.Pointer); })
        .def("__repr__",
             [](const Polygon& self)
             {
                 return "<arealis.Polygon of " + std::to_string(self.Pointer->GetRingCount()) +
                        " rings, " + std::to_string(self.Pointer->GetNodeCount()) + " nodes" +
                        (self.Owner ? "" : ", free") + ">";
             });
}

} // namespace ArealisPython
