#include "InputLayer.h"

#include "Arealis/PolygonLayer.h"
#include "Shapefile/ShapefileReader.h"

#include <exception>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
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
    : InputLayer(RecordsLater{}, path, std::move(label), allowOverlap, skipBadRecords, precision,
                 threads)
{
    ReadRecords();
}

InputLayer::InputLayer(RecordsLater, const std::string& path, std::string label, bool allowOverlap,
                       bool skipBadRecords, const PrecisionChoice& precision, int threads)
    : m_path(path), m_label(std::move(label)), m_topology(CreateTopology()),
      m_layer(m_topology->CreatePolygonLayer(allowOverlap)), m_skipBadRecords(skipBadRecords)
{
    m_topology->SetLayerThreads(threads);
    if (std::filesystem::is_directory(path))
    {
        throw Arealis::ShapefileFormatException(path + ": is a folder, not a shapefile",
                                                "undefined");
    }
    const auto remember = [this](Arealis::Polygon* pPolygon, std::int64_t record)
    { Remember(pPolygon, record); };
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
    m_recordsPending = true;
}

void InputLayer::Remember(Arealis::Polygon* pPolygon, std::int64_t record)
{
    m_records[pPolygon] = record;
}

void InputLayer::ReadRecords()
{
    if (!m_recordsPending)
    {
        return;
    }
    m_recordsPending = false;
    CollectingReporter reporter;
    Arealis::ShapefileReadOptions options;
    options.OnPolygon = [this](Arealis::Polygon* pPolygon, std::int64_t record)
    { Remember(pPolygon, record); };
    options.SkipBadRecords = m_skipBadRecords;
    m_readResult = Arealis::ReadShapefile(*m_layer, m_path, reporter, options);
    for (const std::string& message : reporter.Messages)
    {
        // The reader's own notes (skipped records) name the file already; the commit's do not.
        const bool named = message.rfind(m_path + ": ", 0) == 0;
        m_warnings.push_back(named ? message : m_path + ": " + message);
    }
}

void ReadRecordsOfBoth(InputLayer& a, InputLayer& b, int threads)
{
    const bool together =
        threads >= 2 || (threads == 0 && std::thread::hardware_concurrency() >= 2);
    std::thread second;
    std::exception_ptr failureOfB;
    if (together)
    {
        try
        {
            second = std::thread(
                [&b, &failureOfB]
                {
                    try
                    {
                        b.ReadRecords();
                    }
                    catch (...)
                    {
                        failureOfB = std::current_exception();
                    }
                });
        }
        catch (const std::system_error&) // no thread to be had: in turn
        {
        }
    }
    std::exception_ptr failureOfA;
    try
    {
        a.ReadRecords();
    }
    catch (...)
    {
        failureOfA = std::current_exception();
    }
    if (second.joinable())
    {
        second.join();
    }
    else if (failureOfA == nullptr)
    {
        b.ReadRecords();
    }
    // A's failure first, as reading in turn would have met it before B was read.
    if (failureOfA != nullptr)
    {
        std::rethrow_exception(failureOfA);
    }
    if (failureOfB != nullptr)
    {
        std::rethrow_exception(failureOfB);
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
