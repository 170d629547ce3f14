#include "Objects.h"

namespace ArealisPython
{

void BindObjects(pybind11::module_&) {}

} // namespace ArealisPython
