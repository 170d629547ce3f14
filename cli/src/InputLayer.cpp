#include "InputLayer.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "LayerStatistics.h"
#include "Shapefile/ShapefileReader.h"

#include <filesystem>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <stdexcept>
#include <utility>
#include <vector>

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
                       bool skipBadRecords, const PrecisionChoice& precision, int threads,
                       const PrecisionChosen& onPrecision)
    : InputLayer(path, std::move(label), allowOverlap, skipBadRecords, CreateTopology(), nullptr)
{
    m_topology.SetLayerThreads(threads);
    Read(precision, onPrecision);
}

InputLayer::InputLayer(InputLayer& loaded, InputLayer& host)
    : m_path(loaded.m_path), m_label(loaded.m_label), m_topology(host.m_topology),
      m_layer(loaded.m_layer), m_warnings(loaded.m_warnings), m_readResult(loaded.m_readResult),
      m_description(loaded.m_description), m_skipBadRecords(loaded.m_skipBadRecords)
{
    // A layer read into the host's topology takes its precision as it is, with no note of
    // degree defaults of its own: m_degreeDefaults stays false.
    m_topology.AdoptLayer(*loaded.m_ownTopology, m_layer);
    m_records = std::move(loaded.m_records);
#if defined(__GLIBC__)
    // The join freed both node indexes' former nodes, tens of megabytes for large inputs, in
    // two heaps (B's was read on another thread). The C library keeps such free memory for
    // later allocations of the same heap, where the operation makes little use of it, and
    // the process's peak would grow by it: it goes back to the system now (a few ms).
    malloc_trim(0);
#endif
}

InputLayer::InputLayer(const std::string& path, std::string label, bool allowOverlap,
                       bool skipBadRecords, InputLayer& host)
    : InputLayer(path, std::move(label), allowOverlap, skipBadRecords, nullptr, &host.m_topology)
{
    try
    {
        Read({});
    }
    catch (...)
    {
        // The polygons of records read before the failure, with their nodes: the host's
        // topology goes on without them.
        m_layer->DeletePolygons(AllPolygons(*m_layer));
        throw;
    }
}

InputLayer::InputLayer(const std::string& path, std::string label, bool allowOverlap,
                       bool skipBadRecords, TopologyPtr ownTopology,
                       Arealis::Topology* pHostTopology)
    : m_path(path), m_label(std::move(label)), m_ownTopology(std::move(ownTopology)),
      m_topology(m_ownTopology ? *m_ownTopology : *pHostTopology),
      m_skipBadRecords(skipBadRecords)
{
    if (std::filesystem::is_directory(path))
    {
        throw Arealis::ShapefileFormatException(path + ": is a folder, not a shapefile",
                                                "undefined");
    }
    m_layer = m_topology.CreatePolygonLayer(allowOverlap);
}

void InputLayer::Remember(Arealis::Polygon* pPolygon, std::int64_t record)
{
    m_records[pPolygon] = record;
}

void InputLayer::Read(const PrecisionChoice& precision, const PrecisionChosen& onPrecision)
{
    const auto remember = [this](Arealis::Polygon* pPolygon, std::int64_t record)
    { Remember(pPolygon, record); };
    const auto choosePrecision =
        [this, &precision, &onPrecision](const Formats::CoordinateSystem& system)
    {
        if (m_ownTopology)
        {
            m_topology.SetPrecision(precision.For(system.IsGeographic));
            m_degreeDefaults = precision.TakesDegreeDefaults(system.IsGeographic);
        }
        if (onPrecision)
        {
            onPrecision(m_topology.GetPrecision());
        }
    };
    if (!Formats::IsShapefilePath(m_path) && !Arealis::HasMainFileCode(m_path))
    {
        m_description = Formats::ReadOgrSource(m_path, *m_layer, remember, choosePrecision);
        m_warnings = m_description.Notes;
        return;
    }
    Arealis::CheckMainFile(m_path);
    m_description = Formats::ReadShapefileCompanions(m_path);
    choosePrecision(m_description.System);
    CollectingReporter reporter;
    Arealis::ShapefileReadOptions options;
    options.OnPolygon = remember;
    options.SkipBadRecords = m_skipBadRecords;
    m_readResult = Arealis::ReadShapefile(*m_layer, m_path, reporter, options);
    for (const std::string& message : reporter.Messages)
    {
        // The reader's own notes (skipped records) name the file already; the commit's do not.
        const bool named = message.rfind(m_path + ": ", 0) == 0;
        m_warnings.push_back(named ? message : m_path + ": " + message);
    }
}

void InputLayer::Reproject(const Formats::CoordinateSystem& target)
{
    Arealis::PolygonLayer* layer = m_topology.CreatePolygonLayer(m_layer->AllowsOverlap());
    Arealis::PolygonTable<std::int64_t> records;
    std::vector<std::string> messages;
    try
    {
        messages = Formats::ReprojectLayer(
            *m_layer, *layer, m_description.System, target,
            [this, &records](Arealis::Polygon* pOriginal, Arealis::Polygon* pCopy)
            { records[pCopy] = RecordOf(pOriginal); });
    }
    catch (...)
    {
        layer->DeletePolygons(AllPolygons(*layer)); // a copy cut short holds nodes all the same
        throw;
    }
    for (const std::string& message : messages)
    {
        m_warnings.push_back(m_path + " (transformed to " + target.Name + "): " + message);
    }
    // The original's nodes, in the other reference system, leave the topology's node set.
    m_layer->DeletePolygons(AllPolygons(*m_layer));
    m_records = std::move(records);
    m_layer = layer;
    m_description.System = target;
}

void InputLayer::DropRefused()
{
    std::vector<Arealis::Polygon*> refused = AllPolygons(*m_layer);
    std::erase_if(refused, [](const Arealis::Polygon* pPolygon) { return !pPolygon->IsEditing(); });
    if (refused.empty())
    {
        return;
    }
    m_layer->DeletePolygons(refused);
    // The table has no removal: it is made again for the polygons that stay, so that no
    // record is found for the address of a deleted polygon that a later one reuses.
    Arealis::PolygonTable<std::int64_t> records;
    for (Arealis::Polygon* pPolygon : AllPolygons(*m_layer))
    {
        records[pPolygon] = RecordOf(pPolygon);
    }
    m_records = std::move(records);
}

std::int64_t InputLayer::RecordOf(const Arealis::Polygon* pPolygon) const
{
    const std::int64_t* pRecord = m_records.Find(pPolygon);
    return pRecord != nullptr ? *pRecord : -1;
}

} // namespace ArealisCli
