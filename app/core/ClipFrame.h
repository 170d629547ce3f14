#pragma once

#include "Arealis/Point.h"

#include <array>
#include <memory>

namespace Arealis
{
class Polygon;
class PolygonLayer;
class Topology;
} // namespace Arealis

namespace Orvista
{

// The drawing view's scratch layer, in a topology of its own: it holds the frame polygon, a
// rectangle just outside the window, and, while a very large polygon is drawn, the part of
// that polygon inside the frame. Drawing that part keeps pixel coordinates small at high zoom.
class ClipFrame
{
public:
    // Deletes a clipped part from the scratch layer once it has been drawn.
    class PartDeleter
    {
    public:
        explicit PartDeleter(Arealis::PolygonLayer* pLayer = nullptr) : m_pLayer(pLayer) {}
        void operator()(Arealis::Polygon* pPolygon) const noexcept;

    private:
        Arealis::PolygonLayer* m_pLayer;
    };
    using ClippedPart = std::unique_ptr<Arealis::Polygon, PartDeleter>;

    ClipFrame();
    ~ClipFrame();
    ClipFrame(const ClipFrame&) = delete;
    ClipFrame& operator=(const ClipFrame&) = delete;

    // Replaces the frame by the rectangle through the four corners (clockwise in world
    // coordinates). A frame too small for the node grid is dropped, and nothing is clipped.
    void Rebuild(const std::array<Arealis::Point, 4>& corners);

    Arealis::Polygon* GetFrame() const { return m_pFrame; }
    Arealis::PolygonLayer* GetLayer() const { return m_pLayer; }

    // Whether the polygon is large enough to be drawn clipped: three times the area of its
    // bounds exceeds the area of the frame's bounds.
    bool NeedsClipping(const Arealis::Polygon& polygon) const;
    // The part of the polygon inside the frame, made in the scratch layer.
    ClippedPart Clip(Arealis::Polygon& polygon);

private:
    Arealis::Topology* m_pTopology;
    Arealis::PolygonLayer* m_pLayer;
    Arealis::Polygon* m_pFrame = nullptr;
    std::array<Arealis::Point, 4> m_corners{};
};

} // namespace Orvista
