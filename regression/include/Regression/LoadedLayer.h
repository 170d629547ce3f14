#pragma once

#include <string>

namespace Arealis
{
class IReporter;
class PolygonLayer;
class Topology;
} // namespace Arealis

namespace Arealis::Regression
{

// A catalogue file loaded into the one layer (overlap allowed) of a topology of its own. The
// holder of the record releases it explicitly with ReleaseTestLayer.
struct LoadedLayer
{
    Arealis::Topology* Topology = nullptr;
    PolygonLayer* Layer = nullptr;
    std::string Name; // the file name without folder, as the log shows it
};

// Loads folder/fileName. A file that cannot be opened throws TextError "Cant open file " and
// the file name; the reader's own messages go to the reporter.
LoadedLayer LoadTestLayer(const std::string& fileName, const std::string& folder,
                          IReporter& reporter);

// Deletes the record's topology (when it has one) and empties the record.
void ReleaseTestLayer(LoadedLayer& layer);

} // namespace Arealis::Regression
