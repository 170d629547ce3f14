#include "InputLayer.h"

#include "Arealis/PolygonLayer.h"
#include "Shapefile/ShapefileReader.h"

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace ArealisCli
{

namespace
{

// Keeps what the reader reports instead of printing it, so the tool decides how to show it:
// warnings for commit messages, one error line for a file it cannot read.
class CollectingReporter final : public Arealis::IReporter
{
public:
    void ShowMessage(const std::string& text, const std::string&) override
    {
        Messages.push_back(text);
    }
    bool ShowError(const std::string&) override { return true; }

    std::vector<std::string> Messages;
};

} // namespace

void TopologyDeleter::operator()(Arealis::Topology* pTopology) const noexcept
{
    try
    {
        Arealis::Topology::Delete(pTopology);
    }
    catch (...)
    {
        // A topology whose polygons are still parents of others is left to the end of the
        // process rather than failing here.
    }
}

TopologyPtr CreateTopology()
{
    return TopologyPtr(Arealis::Topology::Create());
}

TopologyPtr CreateTopology(const Arealis::Precision& precision)
{
    TopologyPtr topology = CreateTopology();
    topology->SetPrecision(precision);
    return topology;
}

InputLayer::InputLayer(const std::string& path, std::string label, bool allowOverlap,
                       bool skipBadRecords, const PrecisionChoice& precision, int threads)
    : m_path(path), m_label(std::move(label)), m_topology(CreateTopology()),
      m_layer(m_topology->CreatePolygonLayer(allowOverlap))
{
    m_topology->SetLayerThreads(threads);
    if (std::filesystem::is_directory(path))
    {
        throw Arealis::ShapefileFormatException(path + ": is a folder, not a shapefile",
                                                "undefined");
    }
    const auto remember = [this](Arealis::Polygon* pPolygon, std::int64_t record)
    { m_records[pPolygon] = record; };
    // The precision is chosen from the reference system before the first polygon is made.
    const auto choosePrecision = [this, &precision](const Formats::CoordinateSystem& system)
    {
        m_topology->SetPrecision(precision.For(system.IsGeographic));
        m_degreeDefaults = precision.TakesDegreeDefaults(system.IsGeographic);
    };
    if (!Formats::IsShapefilePath(path) && !Arealis::HasMainFileCode(path))
    {
        m_description = Formats::ReadOgrSource(path, *m_layer, remember, choosePrecision);
        m_warnings = m_description.Notes;
        return;
    }
    Arealis::CheckMainFile(path);
    m_description = Formats::ReadShapefileCompanions(path);
    choosePrecision(m_description.System);
    CollectingReporter reporter;
    Arealis::ShapefileReadOptions options;
    options.OnPolygon = remember;
    options.SkipBadRecords = skipBadRecords;
    m_readResult = Arealis::ReadShapefile(*m_layer, path, reporter, options);
    for (const std::string& message : reporter.Messages)
    {
        // The reader's own notes (skipped records) name the file already; the commit's do not.
        const bool named = message.rfind(path + ": ", 0) == 0;
        m_warnings.push_back(named ? message : path + ": " + message);
    }
}

void InputLayer::Reproject(const Formats::CoordinateSystem& target)
{
    TopologyPtr topology = CreateTopology(m_topology->GetPrecision());
    topology->SetLayerThreads(m_topology->GetLayerThreads());
    Arealis::PolygonLayer* layer = topology->CreatePolygonLayer(m_layer->AllowsOverlap());
    Arealis::PolygonTable<std::int64_t> records;
    const std::vector<std::string> messages = Formats::ReprojectLayer(
        *m_layer, *layer, m_description.System, target,
        [this, &records](Arealis::Polygon* pOriginal, Arealis::Polygon* pCopy)
        { records[pCopy] = RecordOf(pOriginal); });
    for (const std::string& message : messages)
    {
        m_warnings.push_back(m_path + " (transformed to " + target.Name + "): " + message);
    }
    m_records = std::move(records);
    m_layer = layer;
    m_topology = std::move(topology);
    m_description.System = target;
}

std::int64_t InputLayer::RecordOf(const Arealis::Polygon* pPolygon) const
{
    const std::int64_t* pRecord = m_records.Find(pPolygon);
    return pRecord != nullptr ? *pRecord : -1;
}

} // namespace ArealisCli
