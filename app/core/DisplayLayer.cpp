#include "DisplayLayer.h"

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "LayerPalette.h"

#include <utility>

namespace Orvista
{

DisplayLayer::DisplayLayer(std::string name)
    : m_name(std::move(name)), m_pTopology(Arealis::Topology::Create()), m_pPolygonLayer(nullptr)
{
    try
    {
        m_pPolygonLayer = m_pTopology->CreatePolygonLayer(true);
    }
    catch (...)
    {
        Arealis::Topology::Delete(m_pTopology);
        throw;
    }
    const LayerColours colours = TakeNextLayerColours();
    m_outline = colours.Outline;
    m_fill = colours.Fill;
}

DisplayLayer::~DisplayLayer()
{
    if (m_pTopology == nullptr)
    {
        return;
    }
    try
    {
        Arealis::Topology::Delete(m_pTopology);
    }
    catch (...) // NOLINT(bugprone-empty-catch): a refused deletion leaves the topology alive
    {
    }
}

std::string WithoutShpExtension(std::string name)
{
    const std::string extension = ".shp";
    for (auto found = name.find(extension); found != std::string::npos;
         found = name.find(extension, found))
    {
        name.erase(found, extension.size());
    }
    return name;
}

void DisplayLayer::SwapContents(DisplayLayer& other) noexcept
{
    std::swap(m_pTopology, other.m_pTopology);
    std::swap(m_pPolygonLayer, other.m_pPolygonLayer);
    std::swap(m_records, other.m_records);
    std::swap(m_attributes, other.m_attributes);
    std::swap(m_system, other.m_system);
    std::swap(m_derivation, other.m_derivation);
    Dirty = true;
    Rendered = false;
    HasPicture = false;
}

void DisplayLayer::DeleteTopology()
{
    if (m_pTopology != nullptr)
    {
        Arealis::Topology::Delete(m_pTopology);
        m_pTopology = nullptr;
        m_pPolygonLayer = nullptr;
    }
}

} // namespace Orvista
