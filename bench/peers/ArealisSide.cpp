#include "ArealisSide.h"

#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Collections/IEnumerator.h"
#include "CommandLine.h"
#include "Formats/PrecisionChoice.h"
#include "Formats/VectorSource.h"
#include "Run.h"
#include "Shapefile/Reporter.h"
#include "Shapefile/ShapefileReader.h"

#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace Peers
{

namespace
{

// Keeps a topology (and with it its layers and polygons) until the end of the scope.
class TopologyScope
{
public:
    TopologyScope() : m_topology(Arealis::Topology::Create()) {}
    ~TopologyScope() { Arealis::Topology::Delete(m_topology); }
    TopologyScope(const TopologyScope&) = delete;
    TopologyScope& operator=(const TopologyScope&) = delete;
    Arealis::Topology* operator->() const { return m_topology; }

private:
    Arealis::Topology* m_topology;
};

class ListEnumerator final : public Collections::IEnumerator<Arealis::Polygon*>
{
public:
    explicit ListEnumerator(const std::vector<Arealis::Polygon*>& polygons) : m_polygons(polygons)
    {
    }
    Arealis::Polygon* Current() const override { return m_polygons[m_position]; }
    bool MoveNext() override { return ++m_position < m_polygons.size(); }
    void Reset() override { m_position = static_cast<std::size_t>(-1); }
    std::unique_ptr<Collections::IEnumerator<Arealis::Polygon*>> Clone() const override
    {
        return std::make_unique<ListEnumerator>(m_polygons);
    }

private:
    const std::vector<Arealis::Polygon*>& m_polygons;
    std::size_t m_position = static_cast<std::size_t>(-1);
};

// Clockwise exterior rings count positively, holes negatively.
double AreaOf(const Arealis::Polygon& polygon)
{
    double area = 0.0;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        area += rings.Current()->GetSignedArea();
    }
    return area;
}

void Measure(const Arealis::PolygonLayer& layer, Outcome& outcome)
{
    Arealis::PolygonEnumerator polygons = layer.GetPolygons();
    while (polygons.MoveNext())
    {
        outcome.Area += AreaOf(*polygons.Current());
        ++outcome.Pieces;
    }
}

// Empties a result layer (recorded without parents), leaving its topology's nodes as they
// were before the operation.
void DeletePolygons(Arealis::PolygonLayer& layer)
{
    std::vector<Arealis::Polygon*> polygons;
    Arealis::PolygonEnumerator all = layer.GetPolygons();
    while (all.MoveNext())
    {
        polygons.push_back(all.Current());
    }
    layer.DeletePolygons(polygons);
}

class SilentReporter final : public Arealis::IReporter
{
public:
    void ShowMessage(const std::string&, const std::string&) override {}
    bool ShowError(const std::string&) override { return true; }
};

} // namespace

ArealisLayer::ArealisLayer(const std::string& path, const ArealisLayer* pFirst)
    : m_topology(pFirst != nullptr ? pFirst->m_topology : Arealis::Topology::Create()),
      m_ownsTopology(pFirst == nullptr)
{
    try
    {
        // Unless given, the precision the command-line tool would choose for the file: degrees'
        // defaults when its reference system is in longitude and latitude, so that both
        // engines compare the same answer on such files.
        if (m_ownsTopology)
        {
            const Formats::SourceDescription description = Formats::ReadShapefileCompanions(path);
            m_topology->SetPrecision(
                Formats::PrecisionChoice{}.For(description.System.IsGeographic));
        }
        m_layer = m_topology->CreatePolygonLayer(true);
        SilentReporter reporter;
        Arealis::ReadShapefile(*m_layer, path, reporter);
        Arealis::PolygonEnumerator polygons = m_layer->GetPolygons();
        while (polygons.MoveNext())
        {
            m_polygons.push_back(polygons.Current());
        }
    }
    catch (...)
    {
        if (m_ownsTopology)
        {
            Arealis::Topology::Delete(m_topology);
        }
        else if (m_layer != nullptr)
        {
            DeletePolygons(*m_layer); // the first layer's topology goes on without them
        }
        throw;
    }
}

ArealisLayer::~ArealisLayer()
{
    if (m_ownsTopology)
    {
        Arealis::Topology::Delete(m_topology);
    }
}

std::int64_t ArealisLayer::VertexCount() const
{
    std::int64_t count = 0;
    for (const Arealis::Polygon* polygon : m_polygons)
    {
        count += polygon->GetNodeCount();
    }
    return count;
}

const char* NameOf(LayerOperation operation)
{
    switch (operation)
    {
    case LayerOperation::Intersection:
        return "intersection";
    case LayerOperation::Subtraction:
        return "subtraction";
    case LayerOperation::Join:
        return "join";
    case LayerOperation::Union:
        return "union";
    }
    return "?";
}

const char* NameOf(PairOperation operation)
{
    switch (operation)
    {
    case PairOperation::Union:
        return "union";
    case PairOperation::Intersection:
        return "intersection";
    case PairOperation::Subtraction:
        return "subtraction";
    }
    return "?";
}

Outcome RunArealis(LayerOperation operation, const ArealisLayer& a, const ArealisLayer& b)
{
    // As the tool runs it: the result in A's topology, where it shares A's nodes.
    Arealis::Topology& topology = a.GetTopology();
    Arealis::PolygonLayer* pA = &a.Layer();
    Arealis::PolygonLayer* pB = &b.Layer();
    Outcome outcome;
    const Stopwatch watch;
    Arealis::PolygonLayer* result = nullptr;
    switch (operation)
    {
    case LayerOperation::Intersection:
        result = topology.Intersection(pA, pB, false);
        break;
    case LayerOperation::Subtraction:
        result = topology.Substract(pA, pB, false);
        break;
    case LayerOperation::Join:
        result = topology.Join(pA, pB, false);
        break;
    case LayerOperation::Union:
        result = topology.Union(pA, pB, false);
        break;
    }
    watch.Stop(outcome);
    Measure(*result, outcome);
    DeletePolygons(*result);
    return outcome;
}

Outcome RunArealisUnite(const ArealisLayer& layer)
{
    ListEnumerator polygons(layer.Polygons());
    Outcome outcome;
    const Stopwatch watch;
    const std::unique_ptr<Arealis::Polygon> united = Arealis::Overlay::UnitePolygons(&polygons);
    watch.Stop(outcome);
    outcome.Area = AreaOf(*united);
    outcome.Pieces = 1;
    return outcome;
}

Outcome RunArealis(PairOperation operation, const ArealisLayer& a, const ArealisLayer& b)
{
    if (a.Polygons().empty() || b.Polygons().empty())
    {
        throw std::runtime_error("a polygon pair needs a polygon in each file");
    }
    Arealis::Polygon& first = *a.Polygons().front();
    Arealis::Polygon& second = *b.Polygons().front();
    Outcome outcome;
    const Stopwatch watch;
    std::unique_ptr<Arealis::Polygon> result;
    switch (operation)
    {
    case PairOperation::Union:
        result = Arealis::Overlay::Union(first, second);
        break;
    case PairOperation::Intersection:
        result = Arealis::Overlay::Intersection(first, second);
        break;
    case PairOperation::Subtraction:
        result = Arealis::Overlay::Substract(first, second);
        break;
    }
    watch.Stop(outcome);
    outcome.Area = AreaOf(*result);
    outcome.Pieces = result->GetRingCount();
    return outcome;
}

Outcome RunArealisRead(const std::string& path)
{
    const TopologyScope topology;
    Outcome outcome;
    const Stopwatch watch;
    Arealis::PolygonLayer* layer = topology->CreatePolygonLayer(true);
    SilentReporter reporter;
    Arealis::ReadShapefile(*layer, path, reporter);
    watch.Stop(outcome);
    Measure(*layer, outcome);
    return outcome;
}

namespace
{

ArealisCli::Operation CommandOf(const EndToEndCase& command)
{
    if (command.Unite)
    {
        return ArealisCli::Operation::Unite;
    }
    switch (command.Operation)
    {
    case LayerOperation::Intersection:
        return ArealisCli::Operation::Intersection;
    case LayerOperation::Subtraction:
        return ArealisCli::Operation::Subtract;
    case LayerOperation::Join:
        return ArealisCli::Operation::Join;
    case LayerOperation::Union:
        return ArealisCli::Operation::Union;
    }
    return ArealisCli::Operation::Intersection;
}

ArealisCli::OutputFormat FormatOf(OutputFormat format)
{
    switch (format)
    {
    case OutputFormat::GeoJson:
        return ArealisCli::OutputFormat::GeoJson;
    case OutputFormat::Wkt:
        return ArealisCli::OutputFormat::Wkt;
    case OutputFormat::Summary:
        return ArealisCli::OutputFormat::Summary;
    }
    return ArealisCli::OutputFormat::GeoJson;
}

// The statistics line, the last line the tool writes to its error stream.
nlohmann::json StatisticsOf(const std::string& errors)
{
    const std::size_t end = errors.find_last_not_of('\n');
    const std::size_t start = errors.rfind('\n', end);
    const std::string line = errors.substr(
        start == std::string::npos ? 0 : start + 1,
        end == std::string::npos ? 0 : end - (start == std::string::npos ? 0 : start + 1) + 1);
    nlohmann::json statistics = nlohmann::json::parse(line, nullptr, false);
    if (statistics.is_discarded() || !statistics.contains("load_ms"))
    {
        throw std::runtime_error("the command wrote no statistics: " + errors);
    }
    return statistics;
}

} // namespace

Outcome RunArealisEndToEnd(const EndToEndCase& command)
{
    ArealisCli::Options options;
    options.Command = CommandOf(command);
    options.CommandName = command.Unite ? "unite" : NameOf(command.Operation);
    options.Format = FormatOf(command.Format);
    options.FormatGiven = true;
    options.OutputPath = command.OutputPath;
    // Runs after the first (and the GEOS run in between) leave the file behind: the tool's
    // --overwrite, as a user repeating the command would give.
    options.Overwrite = true;
    options.Stats = true;
    options.Inputs = command.Inputs;
    std::ostringstream standardOutput;
    std::ostringstream errors;
    Outcome outcome;
    const Stopwatch watch;
    const int status = ArealisCli::Run(options, standardOutput, errors);
    watch.Stop(outcome);
    if (status != 0)
    {
        throw std::runtime_error("the command failed: " + errors.str());
    }
    const nlohmann::json statistics = StatisticsOf(errors.str());
    outcome.LoadSeconds = statistics["load_ms"].get<double>() / 1000.0;
    outcome.OperationSeconds = statistics["op_ms"].get<double>() / 1000.0;
    outcome.WriteSeconds = statistics["write_ms"].get<double>() / 1000.0;
    // What the command does after writing: the statistics line, and freeing both inputs and
    // the result (the tool run on its own leaves them to the process exit).
    outcome.FreeSeconds =
        outcome.Seconds - outcome.LoadSeconds - outcome.OperationSeconds - outcome.WriteSeconds;
    outcome.Pieces = statistics["polygons"].get<std::int64_t>();
    outcome.Area = std::numeric_limits<double>::quiet_NaN();
    outcome.Bytes = command.Format == OutputFormat::Summary
                        ? -1
                        : static_cast<std::int64_t>(std::filesystem::file_size(command.OutputPath));
    return outcome;
}

} // namespace Peers
