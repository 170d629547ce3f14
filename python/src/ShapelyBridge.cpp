#include "ShapelyBridge.h"

#include "FrameOverlay.h"

#include <geos_c.h>

#include <memory>
#include <vector>
#include <stdexcept>

namespace py = pybind11;

namespace ArealisPython::ShapelyBridge
{

namespace
{

// One GEOS context, used with the GIL held.
struct Context
{
    GEOSContextHandle_t Handle = GEOS_init_r();
    GEOSWKBWriter* Writer = GEOSWKBWriter_create_r(Handle);
    GEOSWKBReader* Reader = GEOSWKBReader_create_r(Handle);

    Context() { GEOSWKBWriter_setOutputDimension_r(Handle, Writer, 2); }
};

Context& Geos()
{
    static Context* context = new Context(); // used until the process ends
    return *context;
}

// The shapely classes, looked up once.
struct Classes
{
    py::object Polygon;
    py::object MultiPolygon;
};

Classes& ShapelyClasses()
{
    static Classes* classes = []
    {
        const py::module_ geometry = py::module_::import("shapely.geometry");
        return new Classes{geometry.attr("Polygon"), geometry.attr("MultiPolygon")};
    }();
    return *classes;
}

// Attribute names and values used for every geometry, made once.
struct Names
{
    py::str Geom{"__geom__"};
    py::str Dimensions{"_ndim"};
    py::str IsEmpty{"_is_empty"};
    py::int_ Two{2};
    py::tuple NoArguments;
};

Names& Interned()
{
    static auto* names = new Names();
    return *names;
}

GEOSGeometry* GeosOf(py::handle item)
{
    PyObject* address = PyObject_GetAttr(item.ptr(), Interned().Geom.ptr());
    if (address == nullptr)
    {
        PyErr_Clear();
        throw py::type_error("geometries must be shapely geometries or WKB bytes, not " +
                             py::str(py::type::handle_of(item)).cast<std::string>());
    }
    void* pointer = address == Py_None ? nullptr : PyLong_AsVoidPtr(address);
    Py_DECREF(address);
    if (PyErr_Occurred() != nullptr)
    {
        throw py::error_already_set();
    }
    return static_cast<GEOSGeometry*>(pointer);
}

// A shapely object owning pGeometry, made as shapely's own geom_factory makes it but without
// its attribute checks: the attributes are stored directly.
py::object Wrap(GEOSGeometry* pGeometry, bool multi)
{
    const Classes& classes = ShapelyClasses();
    const py::handle type = multi ? classes.MultiPolygon : classes.Polygon;
    PyTypeObject* pType = reinterpret_cast<PyTypeObject*>(type.ptr());
    const Names& names = Interned();
    py::object object = py::reinterpret_steal<py::object>(
        pType->tp_new(pType, names.NoArguments.ptr(), nullptr));
    if (!object)
    {
        GEOSGeom_destroy_r(Geos().Handle, pGeometry);
        throw py::error_already_set();
    }
    const auto set = [&object](const py::str& name, PyObject* pValue)
    {
        if (PyObject_GenericSetAttr(object.ptr(), name.ptr(), pValue) != 0)
        {
            throw py::error_already_set();
        }
    };
    const py::object address = py::reinterpret_steal<py::object>(PyLong_FromVoidPtr(pGeometry));
    set(names.Geom, address.ptr());
    set(names.Dimensions, names.Two.ptr());
    set(names.IsEmpty, Py_False);
    return object;
}

} // namespace

bool Handles(py::handle item)
{
    static const bool shapely18 = []
    {
        const std::string version =
            py::module_::import("shapely").attr("__version__").cast<std::string>();
        return version.rfind("1.8", 0) == 0;
    }();
    return shapely18 && py::hasattr(item, "__geom__");
}

std::string WkbOf(py::handle item)
{
    const GEOSGeometry* pGeometry = GeosOf(item);
    Context& geos = Geos();
    if (pGeometry == nullptr || GEOSisEmpty_r(geos.Handle, pGeometry) == 1)
    {
        return {};
    }
    std::size_t size = 0;
    unsigned char* pData = GEOSWKBWriter_write_r(geos.Handle, geos.Writer, pGeometry, &size);
    if (pData == nullptr)
    {
        throw std::runtime_error("GEOS could not write a geometry as WKB");
    }
    std::string wkb(reinterpret_cast<const char*>(pData), size);
    GEOSFree_r(geos.Handle, pData);
    return wkb;
}

py::array Geometries(const Pieces& pieces)
{
    const std::size_t count = pieces.Left.size();
    py::array out(py::dtype("O"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(count)});
    auto** items = static_cast<PyObject**>(out.mutable_data());
    Context& geos = Geos();
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::size_t begin = pieces.Offsets[i];
        const auto* pData = reinterpret_cast<const unsigned char*>(pieces.Data.data() + begin);
        GEOSGeometry* pGeometry = GEOSWKBReader_read_r(geos.Handle, geos.Reader, pData,
                                                       pieces.Offsets[i + 1] - begin);
        if (pGeometry == nullptr)
        {
            throw std::runtime_error("GEOS could not read a result polygon");
        }
        const bool multi = GEOSGeomTypeId_r(geos.Handle, pGeometry) == GEOS_MULTIPOLYGON;
        py::object object = Wrap(pGeometry, multi);
        Py_XDECREF(items[i]);
        items[i] = object.release().ptr();
    }
    return out;
}

} // namespace ArealisPython::ShapelyBridge
