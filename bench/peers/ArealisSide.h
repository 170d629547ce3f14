#pragma once

#include "Arealis/Precision.h"
#include "Outcome.h"

#include <memory>
#include <string>
#include <vector>

namespace Arealis
{
class Polygon;
class PolygonLayer;
class Topology;
} // namespace Arealis

namespace Peers
{

// A shapefile read into a layer, as the command-line tool reads its inputs (overlapping polygons
// allowed, the layer committed): the first operand of a pair into a topology of its own, the
// second into a new layer of the first one's topology, with its precision, so that the two and
// the results share the node records of common vertices.
class ArealisLayer
{
public:
    explicit ArealisLayer(const std::string& path, const ArealisLayer* pFirst = nullptr);
    ~ArealisLayer();
    ArealisLayer(const ArealisLayer&) = delete;
    ArealisLayer& operator=(const ArealisLayer&) = delete;

    Arealis::PolygonLayer& Layer() const { return *m_layer; }
    // The topology of the layer, which takes the results of operations with this layer as
    // their first operand, as the command-line tool's results go in their first input's.
    Arealis::Topology& GetTopology() const { return *m_topology; }
    const std::vector<Arealis::Polygon*>& Polygons() const { return m_polygons; }
    std::int64_t VertexCount() const;

private:
    Arealis::Topology* m_topology = nullptr;
    bool m_ownsTopology = false;
    Arealis::PolygonLayer* m_layer = nullptr;
    std::vector<Arealis::Polygon*> m_polygons;
};

enum class LayerOperation
{
    Intersection,
    Subtraction,
    Join,
    Union
};

enum class PairOperation
{
    Union,
    Intersection,
    Subtraction
};

const char* NameOf(LayerOperation operation);
const char* NameOf(PairOperation operation);

// The operations, each timed without loading and without freeing the result. A layer
// operation's result goes in a new layer of A's topology and its polygons are deleted after
// it was measured, so that every run starts from the same layers.
Outcome RunArealis(LayerOperation operation, const ArealisLayer& a, const ArealisLayer& b);
Outcome RunArealisUnite(const ArealisLayer& layer);
Outcome RunArealis(PairOperation operation, const ArealisLayer& a, const ArealisLayer& b);

// Reading and committing a shapefile into a new layer.
Outcome RunArealisRead(const std::string& path);

// A parent of a result polygon as the output names it: the layer ('A' or 'B') and its record.
struct Parent
{
    char Layer = 'A';
    std::int64_t Record = -1;
};

enum class OutputFormat
{
    GeoJson,
    Wkt,
    Summary
};

// One whole command: the operation on the files (unite: on the one file), the result written
// to OutputPath in the format.
struct EndToEndCase
{
    bool Unite = false;
    LayerOperation Operation = LayerOperation::Intersection;
    std::vector<std::string> Inputs;
    std::string OutputPath;
    OutputFormat Format = OutputFormat::GeoJson;
};

// The command as a user of the command-line tool meets it, run in this process through the
// tool's own code with --stats: loading, the operation, writing the result to the file and
// freeing everything. The split comes from the tool's statistics: its load and operation
// times, and the rest (writing the output, the statistics and freeing) as writing.
Outcome RunArealisEndToEnd(const EndToEndCase& command);

} // namespace Peers
