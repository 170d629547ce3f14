#include "ClipFrame.h"

#include "Arealis/Geometry.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"

#include <algorithm>
#include <cmath>

namespace Orvista
{

void ClipFrame::PartDeleter::operator()(Arealis::Polygon* pPolygon) const noexcept
{
    if (m_pLayer == nullptr || pPolygon == nullptr)
    {
        return;
    }
    try
    {
        m_pLayer->DeletePolygon(pPolygon);
    }
    catch (...) // NOLINT(bugprone-empty-catch): left in the scratch layer until it goes
    {
    }
}

ClipFrame::ClipFrame() : m_pTopology(Arealis::Topology::Create()), m_pLayer(nullptr)
{
    try
    {
        m_pLayer = m_pTopology->CreatePolygonLayer(true);
    }
    catch (...)
    {
        Arealis::Topology::Delete(m_pTopology);
        throw;
    }
}

ClipFrame::~ClipFrame()
{
    try
    {
        Arealis::Topology::Delete(m_pTopology);
    }
    catch (...) // NOLINT(bugprone-empty-catch): nothing refers to scratch polygons as parents
    {
    }
}

void ClipFrame::Rebuild(const std::array<Arealis::Point, 4>& corners)
{
    m_corners = corners;
    if (m_pFrame != nullptr)
    {
        Arealis::Polygon* pOld = m_pFrame;
        m_pFrame = nullptr;
        m_pLayer->DeletePolygon(pOld);
    }

    double minX = corners[0].X;
    double maxX = corners[0].X;
    double minY = corners[0].Y;
    double maxY = corners[0].Y;
    for (const Arealis::Point& corner : corners)
    {
        minX = std::min(minX, corner.X);
        maxX = std::max(maxX, corner.X);
        minY = std::min(minY, corner.Y);
        maxY = std::max(maxY, corner.Y);
    }
    // Nodes snap to the node grid: a frame narrower than two grid steps, or one that is not
    // finite, would collapse into a ring without area.
    const double span = std::min(maxX - minX, maxY - minY);
    if (!std::isfinite(span) || !std::isfinite(minX) || !std::isfinite(minY) ||
        span < 2 * m_pTopology->GetPrecision().GridStep)
    {
        return;
    }

    Arealis::Polygon* pFrame = m_pLayer->CreatePolygon();
    m_pFrame = pFrame;
    Arealis::Ring* pRing = pFrame->CreateRing();
    for (const Arealis::Point& corner : corners)
    {
        pRing->AddNode(corner.X, corner.Y);
    }
    m_pLayer->EndEdit(pFrame);
}

bool ClipFrame::NeedsClipping(const Arealis::Polygon& polygon) const
{
    return m_pFrame != nullptr && 3 * polygon.GetBounds().Area() > m_pFrame->GetBounds().Area();
}

ClipFrame::ClippedPart ClipFrame::Clip(Arealis::Polygon& polygon)
{
    // The library intersects only polygons of one precision: the frame takes that of the
    // layer being drawn (layers may differ), made again on the new grid.
    const Arealis::Precision& wanted = polygon.GetLayer()->GetTopology()->GetPrecision();
    if (!(m_pTopology->GetPrecision() == wanted))
    {
        if (m_pFrame != nullptr)
        {
            Arealis::Polygon* pOld = m_pFrame;
            m_pFrame = nullptr;
            m_pLayer->DeletePolygon(pOld);
        }
        m_pTopology->SetPrecision(wanted);
        Rebuild(m_corners);
        if (m_pFrame == nullptr)
        {
            return ClippedPart(nullptr, PartDeleter(m_pLayer));
        }
    }
    return ClippedPart(m_pLayer->Intersection(&polygon, m_pFrame, false), PartDeleter(m_pLayer));
}

} // namespace Orvista
