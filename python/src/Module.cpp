// The extension module arealis._arealis: the frame operations behind arealis.overlay,
// dissolve, validate and read_file, the library's exceptions, and the objects of Objects.cpp.
#include "Arealis/GeometryExceptions.h"
#include "Formats/FormatError.h"
#include "FrameOverlay.h"
#include "Guard.h"
#include "Objects.h"
#include "ShapelyBridge.h"
#include "SourceReading.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <type_traits>
#include <variant>

namespace py = pybind11;

namespace ArealisPython
{

namespace
{

PyObject* g_arealisError = nullptr;
PyObject* g_invalidPolygonError = nullptr;

// The WKB of each item of a list: bytes, a shapely 1.8 geometry (read through GEOS) or None
// for a missing geometry. Views of bytes stay valid while the caller keeps the list.
FrameGeometries Geometries(const py::list& items, std::string name)
{
    FrameGeometries frame{std::move(name), {}, {}};
    frame.Wkb.reserve(items.size());
    frame.Owned.reserve(items.size());
    // The kind of the first geometry decides how all are read.
    int shapely = -1;
    for (const py::handle item : items)
    {
        if (item.is_none())
        {
            frame.Wkb.emplace_back();
            continue;
        }
        if (shapely < 0)
        {
            shapely = ShapelyBridge::Handles(item) ? 1 : 0;
        }
        if (shapely == 1)
        {
            frame.Owned.push_back(ShapelyBridge::WkbOf(item));
            frame.Wkb.emplace_back(frame.Owned.back());
            continue;
        }
        char* data = nullptr;
        Py_ssize_t size = 0;
        if (!PyBytes_Check(item.ptr()) || PyBytes_AsStringAndSize(item.ptr(), &data, &size) != 0)
        {
            throw py::type_error(frame.Name +
                                 ": geometries must be shapely geometries or WKB bytes");
        }
        frame.Wkb.emplace_back(data, static_cast<std::size_t>(size));
    }
    return frame;
}

py::array_t<std::int64_t> ToArray(const std::vector<std::int64_t>& values)
{
    py::array_t<std::int64_t> array(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), array.mutable_data());
    return array;
}

// (geometries, left rows, right rows): the geometries as an object array of shapely
// geometries when the inputs were shapely 1.8 geometries, otherwise as a list of WKB bytes.
py::tuple ToPython(const Pieces& pieces, bool shapely)
{
    if (shapely)
    {
        return py::make_tuple(ShapelyBridge::Geometries(pieces), ToArray(pieces.Left),
                              ToArray(pieces.Right));
    }
    py::list wkb(pieces.Left.size());
    for (std::size_t i = 0; i < pieces.Left.size(); ++i)
    {
        const std::size_t begin = pieces.Offsets[i];
        wkb[i] = py::bytes(pieces.Data.data() + begin, pieces.Offsets[i + 1] - begin);
    }
    return py::make_tuple(wkb, ToArray(pieces.Left), ToArray(pieces.Right));
}

bool AnyShapely(const py::list& items)
{
    for (const py::handle item : items)
    {
        if (!item.is_none())
        {
            return ShapelyBridge::Handles(item);
        }
    }
    return false;
}

py::dict ToPython(const Timings& time)
{
    py::dict result;
    result["convert_in"] = time.ConvertIn;
    result["operation"] = time.Operation;
    result["convert_out"] = time.ConvertOut;
    return result;
}

py::dict OverlayFramesPy(const py::list& left, const py::list& right, const py::iterable& parts,
                         const py::object& progress, const std::string& leftName,
                         const std::string& rightName, int threads, double grid,
                         double tolerance)
{
    if (threads < 0)
    {
        throw py::value_error("threads must be at least 1, got " + std::to_string(threads));
    }
    OverlayRequest request;
    request.Threads = threads;
    request.Precision = {grid, tolerance};
    for (const py::handle part : parts)
    {
        const auto name = part.cast<std::string>();
        if (name == "intersection")
            request.Intersection = true;
        else if (name == "difference")
            request.Difference = true;
        else if (name == "reverse_difference")
            request.ReverseDifference = true;
        else
            throw py::value_error("unknown overlay part '" + name + "'");
    }
    const auto start = std::chrono::steady_clock::now();
    const FrameGeometries a = Geometries(left, leftName);
    const FrameGeometries b = Geometries(right, rightName);
    const double timeIn =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Guard guard(progress);
    const OverlayResult result = OverlayFrames(a, b, request, guard);
    const bool shapely = AnyShapely(left) || AnyShapely(right);
    py::dict out;
    double timeOut = 0.0;
    const auto convert = [&](const Pieces& pieces)
    {
        const auto began = std::chrono::steady_clock::now();
        py::tuple converted = ToPython(pieces, shapely);
        timeOut += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        return converted;
    };
    if (request.Intersection)
    {
        out["intersection"] = convert(result.Intersection);
        out["touching"] = py::make_tuple(ToArray(result.TouchingLeft), ToArray(result.TouchingRight));
    }
    if (request.Difference)
        out["difference"] = convert(result.Difference);
    if (request.ReverseDifference)
        out["reverse_difference"] = convert(result.ReverseDifference);
    Timings time = result.Time;
    time.ConvertIn += timeIn;
    time.ConvertOut += timeOut;
    out["timings"] = ToPython(time);
    return out;
}

py::tuple DissolvePy(const py::list& geometries, const py::array_t<std::int64_t>& groups,
                     std::int64_t groupCount, const py::object& progress, int threads,
                     double grid, double tolerance)
{
    if (threads < 0)
    {
        throw py::value_error("threads must be at least 1, got " + std::to_string(threads));
    }
    if (static_cast<std::size_t>(groups.size()) != geometries.size())
    {
        throw py::value_error("one group per geometry is needed");
    }
    const FrameGeometries frame = Geometries(geometries, "df");
    std::vector<std::int64_t> groupOf(groups.data(), groups.data() + groups.size());
    for (const std::int64_t group : groupOf)
    {
        if (group >= groupCount)
        {
            throw py::value_error("group number beyond the group count");
        }
    }
    Guard guard(progress);
    Timings time;
    const Pieces pieces =
        DissolveFrame(frame, groupOf, groupCount, {grid, tolerance}, threads, guard, time);
    return py::make_tuple(ToPython(pieces, AnyShapely(geometries)), ToPython(time));
}

py::list ValidatePy(const py::list& geometries, bool strict, const py::object& progress,
                    double grid, double tolerance)
{
    const FrameGeometries frame = Geometries(geometries, "df");
    Guard guard(progress);
    const std::vector<std::string> reasons = ValidateFrame(frame, strict, {grid, tolerance}, guard);
    py::list out(reasons.size());
    for (std::size_t i = 0; i < reasons.size(); ++i)
    {
        out[i] = reasons[i].empty() ? py::object(py::none()) : py::object(py::str(reasons[i]));
    }
    return out;
}

py::object ToPython(const Formats::FieldValue& value)
{
    return std::visit(
        [](const auto& item) -> py::object
        {
            using T = std::decay_t<decltype(item)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return py::none();
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return py::int_(item);
            else if constexpr (std::is_same_v<T, double>)
                return py::float_(item);
            else if constexpr (std::is_same_v<T, std::string>)
            {
                // Text that is not UTF-8 after decoding keeps its readable part.
                PyObject* pText = PyUnicode_DecodeUTF8(item.data(),
                                                       static_cast<Py_ssize_t>(item.size()),
                                                       "replace");
                if (pText == nullptr)
                    throw py::error_already_set();
                return py::reinterpret_steal<py::object>(pText);
            }
            else
                return py::str(Formats::FormatDate(item));
        },
        value);
}

const char* TypeName(Formats::FieldType type)
{
    switch (type)
    {
    case Formats::FieldType::Integer:
        return "integer";
    case Formats::FieldType::Real:
        return "real";
    case Formats::FieldType::Date:
        return "date";
    case Formats::FieldType::String:
        break;
    }
    return "string";
}

// {"geometries": (WKB list, records, -1s), "fields": [(name, type)], "columns": [values per
// field, one per row], "rows": row count, "crs": WKT or None, "notes": [...]}.
py::dict ReadSourcePy(const std::string& path)
{
    Guard guard;
    const SourceTable table = ReadSource(path, guard);
    const Formats::AttributeTable& attributes = table.Description.Attributes;
    py::list fields;
    py::list columns;
    for (std::size_t field = 0; field < attributes.Fields.size(); ++field)
    {
        fields.append(py::make_tuple(attributes.Fields[field].Name,
                                     TypeName(attributes.Fields[field].Type)));
        py::list values(attributes.Rows.size());
        for (std::size_t row = 0; row < attributes.Rows.size(); ++row)
        {
            const std::vector<Formats::FieldValue>& cells = attributes.Rows[row];
            values[row] = field < cells.size() ? ToPython(cells[field]) : py::object(py::none());
        }
        columns.append(values);
    }
    py::dict out;
    out["geometries"] = ToPython(table.Polygons, false);
    out["fields"] = fields;
    out["columns"] = columns;
    out["rows"] = attributes.Rows.size();
    out["crs"] = table.Description.System.IsKnown()
                     ? py::object(py::str(table.Description.System.Wkt))
                     : py::object(py::none());
    out["notes"] = table.Description.Notes;
    return out;
}

// Raises type(message) with the library's location as an attribute.
void Raise(PyObject* type, const Exceptions::Exception& error)
{
    const std::string text = std::string(error.Message()) + " (" + error.Location() + ")";
    py::object instance = py::reinterpret_borrow<py::object>(type)(text);
    instance.attr("location") = error.Location();
    instance.attr("library_message") = std::string(error.Message());
    PyErr_SetObject(type, instance.ptr());
}

void TranslateExceptions(std::exception_ptr pError)
{
    try
    {
        if (pError)
        {
            std::rethrow_exception(pError);
        }
    }
    catch (const InputError& error)
    {
        PyErr_SetString(g_invalidPolygonError, error.what());
    }
    catch (const Formats::FormatError& error)
    {
        PyErr_SetString(g_arealisError, error.what());
    }
    catch (const Arealis::InvalidPolygonException& error)
    {
        Raise(g_invalidPolygonError, error);
    }
    catch (const Exceptions::Exception& error)
    {
        Raise(g_arealisError, error);
    }
}

} // namespace

} // namespace ArealisPython

PYBIND11_MODULE(_arealis, module)
{
    using namespace ArealisPython;
    module.doc() = "Polygon topology and overlay: the compiled part of the arealis package.";

    g_arealisError = PyErr_NewExceptionWithDoc(
        "arealis.ArealisError", "An error reported by the library, with its location.",
        PyExc_RuntimeError, nullptr);
    const py::tuple bases = py::make_tuple(py::handle(g_arealisError), py::handle(PyExc_ValueError));
    g_invalidPolygonError = PyErr_NewExceptionWithDoc(
        "arealis.InvalidPolygonError",
        "A geometry that is not a valid polygon (also a ValueError).", bases.ptr(), nullptr);
    if (g_arealisError == nullptr || g_invalidPolygonError == nullptr)
    {
        throw py::error_already_set();
    }
    module.add_object("ArealisError", py::handle(g_arealisError));
    module.add_object("InvalidPolygonError", py::handle(g_invalidPolygonError));
    py::register_exception_translator(&TranslateExceptions);

    module.def("overlay_frames", &OverlayFramesPy, py::arg("left"), py::arg("right"),
               py::arg("parts"), py::arg("progress") = py::none(), py::arg("left_name") = "df1",
               py::arg("right_name") = "df2", py::arg("threads") = 0,
               py::arg("grid") = Arealis::DefaultNodeGridStep,
               py::arg("tolerance") = Arealis::DefaultIntersectionTolerance,
               "The pieces of the overlay of two lists of WKB polygons: 'intersection' "
               "(pairs of rows), 'difference' (left rows) and 'reverse_difference' (right rows), "
               "each as (WKB list, left rows, right rows), and the timings; threads 0 uses every "
               "usable core.");
    module.def("dissolve_frame", &DissolvePy, py::arg("geometries"), py::arg("groups"),
               py::arg("group_count"), py::arg("progress") = py::none(), py::arg("threads") = 0,
               py::arg("grid") = Arealis::DefaultNodeGridStep,
               py::arg("tolerance") = Arealis::DefaultIntersectionTolerance,
               "The union of the polygons of each group: ((WKB list, groups, -1s), timings); "
               "threads 0 uses every usable core.");
    module.def("validate_frame", &ValidatePy, py::arg("geometries"), py::arg("strict") = false,
               py::arg("progress") = py::none(),
               py::arg("grid") = Arealis::DefaultNodeGridStep,
               py::arg("tolerance") = Arealis::DefaultIntersectionTolerance,
               "For each WKB polygon: None when valid, otherwise the reason; strict adds the "
               "simple-features rules.");
    module.def(
        "choose_precision",
        [](std::optional<double> grid, std::optional<double> tolerance, bool geographic)
        {
            const Arealis::Precision chosen = ChoosePrecision(grid, tolerance, geographic);
            return py::make_tuple(chosen.GridStep, chosen.Tolerance);
        },
        py::arg("grid"), py::arg("tolerance"), py::arg("geographic"),
        "The (grid, tolerance) of a call: None takes the default, scaled to degrees when "
        "geographic; bad values raise ValueError.");
    module.def("read_source", &ReadSourcePy, py::arg("path"),
               "The polygons, attribute table and reference system of a vector source.");
    BindObjects(module);
}
