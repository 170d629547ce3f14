#pragma once

#include "Arealis/Point.h"
#include "Controller.h"
#include "RubberBand.h"

#include <cstdint>

namespace Arealis
{
class Polygon;
class Ring;
} // namespace Arealis

namespace Orvista
{

class COrvistaDoc;

// The mode "Create": "Add Polygon" starts a polygon with its first ring in the current layer,
// "Add Ring" a further ring of it, and each click appends a vertex at the clicked world
// position to the ring being built. While the ring grows, a rubber band runs from its last
// vertex to the cursor and on to its first vertex. The polygon is handed to the library as it
// grows and stays in the layer, unvalidated, until it is committed.
class CreatePolygonController final : public Controller
{
public:
    explicit CreatePolygonController(COrvistaView& view);
    // Closes the ring on the window.
    ~CreatePolygonController() override;

    CreatePolygonController(const CreatePolygonController&) = delete;
    CreatePolygonController& operator=(const CreatePolygonController&) = delete;

    // "Add Polygon": a new polygon of the current layer with an empty first ring.
    void StartPolygon();
    // "Add Ring": a new empty ring of the polygon being built; nothing before "Add Polygon".
    void StartRing();

    void OnLButtonDown(unsigned flags, PixelPoint point) override;
    void OnMouseMove(unsigned flags, PixelPoint point) override;
    void OnLayerDeleted(const DisplayLayer& layer) override;
    // Committing the layer's topology finishes the polygon being built.
    void OnTopologyCommitted(const Arealis::Topology& topology) override;
    // The ring being built is finished (turned) before the commit validates it.
    void OnCommitting(const Arealis::Topology& topology) override;
    // Undo, Redo or Delete may take the polygon being built: the construction ends.
    void OnPolygonsReplaced() override;
    void DrawOverlay(ICanvas& canvas) override;

    bool IsActive() const { return m_active; }
    Arealis::Polygon* GetPolygon() const { return m_pPolygon; }
    Arealis::Ring* GetRing() const { return m_pRing; }
    std::int32_t GetVertexCount() const { return m_vertexCount; }

private:
    // Clicks and moves count only while a polygon is being built in a document with layers.
    bool IsWorking() const;
    void ResetRing();
    // Forgets the polygon being built; the next "Add Polygon" starts a new one.
    void EndConstruction();
    // Replaces the rubber band by the closing edge of the ring.
    void CloseRubberBand();
    // Turns the finished ring, when needed, so that the first ring of the polygon is an
    // exterior ring and a further ring a hole (or, when it lies outside the polygon's other
    // rings, another exterior ring), whatever the order of the clicks; the status bar says
    // which was made.
    void FinishRing();
    void ShowRubberBand();
    void DrawPlacedEdge(const Arealis::Point& from, const Arealis::Point& to);

    COrvistaDoc* m_pDocument;
    DisplayLayer* m_pLayer = nullptr;
    Arealis::Polygon* m_pPolygon = nullptr;
    Arealis::Ring* m_pRing = nullptr;
    Arealis::Point m_last{};
    Arealis::Point m_first{};
    Arealis::Point m_cursor{};
    bool m_ringStarted = false;
    std::int32_t m_vertexCount = 0;
    bool m_active = false;
    RubberBand m_band;
};

} // namespace Orvista
