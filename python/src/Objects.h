#pragma once

#include <pybind11/pybind11.h>

namespace ArealisPython
{

// Topology, Layer and Polygon: the library's objects for Python, each keeping alive what it
// refers to.
void BindObjects(pybind11::module_& module);

} // namespace ArealisPython
