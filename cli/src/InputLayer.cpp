#include "InputLayer.h"

#include "Arealis/PolygonLayer.h"
#include "Shapefile/ShapefileReader.h"

#include <array>
#include <filesystem>
#include <fstream>
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

InputLayer::InputLayer(const std::string& path, std::string label, bool allowOverlap,
                       bool skipBadRecords)
    : m_path(path), m_label(std::move(label)), m_topology(CreateTopology()),
      m_layer(m_topology->CreatePolygonLayer(allowOverlap))
{
    if (std::filesystem::is_directory(path))
    {
        throw Arealis::ShapefileFormatException(path + ": is a folder, not a shapefile",
                                                "undefined");
    }
    Arealis::CheckMainFile(path);
    CollectingReporter reporter;
    Arealis::ShapefileReadOptions options;
    options.OnPolygon = [this](Arealis::Polygon* pPolygon, std::int64_t record)
    { m_records.emplace(pPolygon, record); };
    options.SkipBadRecords = skipBadRecords;
    m_readResult = Arealis::ReadShapefile(*m_layer, path, reporter, options);
    for (const std::string& message : reporter.Messages)
    {
        // The reader's own notes (skipped records) name the file already; the commit's do not.
        const bool named = message.rfind(path + ": ", 0) == 0;
        m_warnings.push_back(named ? message : path + ": " + message);
    }
}

std::int64_t InputLayer::RecordOf(const Arealis::Polygon* pPolygon) const
{
    const auto found = m_records.find(pPolygon);
    return found == m_records.end() ? -1 : found->second;
}

} // namespace ArealisCli
