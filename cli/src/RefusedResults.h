#pragma once

#include <string>
#include <vector>

namespace Arealis
{
class PolygonLayer;
} // namespace Arealis

namespace ArealisCli
{

class InputLayer;

// A result polygon that the commit refused (rings turned inside out, rings crossing) is a
// failure of the operation, not an answer: written, it would read as an empty or wrong area
// with exit status 0. Throws std::runtime_error naming the first one by the input records it
// came from (its parents, or for a result that records none, the input polygons whose bounds
// meet it), with the validation's reason and the count of the others.
void ThrowIfResultRefused(const std::string& operation, Arealis::PolygonLayer& result,
                          const std::vector<const InputLayer*>& inputs);

} // namespace ArealisCli
