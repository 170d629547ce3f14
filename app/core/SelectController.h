#pragma once

#include "Controller.h"

#include <string>
#include <utility>

namespace Arealis
{
class Polygon;
}

namespace Orvista
{

class COrvistaDoc;
class DisplayLayer;

// "Record 12 of parcels.shp: area 250.5, 1 ring, 5 vertices, valid": the polygon's record in
// its layer's file (or "New polygon" for one made in the program), its area, its rings and
// vertices and whether it is valid.
std::string DescribePolygon(const DisplayLayer& layer, Arealis::Polygon& polygon);

// The mode "Select a polygon, edge or node": a click selects what lies within the pick
// distance of the cursor in the visible layers, the top layer first; in a layer a node wins
// over a polygon, and an edge is selected together with its polygon. The modes that pick only
// some kinds of object derive from it and answer the three predicates accordingly.
class SelectController : public Controller
{
public:
    explicit SelectController(COrvistaView& view);

    void OnLButtonDown(unsigned flags, PixelPoint point) override;
    // Identify: the polygon under the cursor is described in the status bar.
    void OnMouseMove(unsigned flags, PixelPoint point) override;

    virtual bool SelectsPolygons() const { return true; }
    virtual bool SelectsEdges() const { return true; }
    virtual bool SelectsNodes() const { return true; }
    // Whether hovering and clicking describe the polygon in the status bar (the Select mode).
    virtual bool Identifies() const { return true; }

protected:
    COrvistaDoc* Document() const { return m_pDocument; }
    // The document exists and holds layers; most work of the modes needs both.
    bool HasLayers() const;
    // Makes what lies under the point the view's selection (unguarded; the caller guards).
    void SelectAt(PixelPoint point);

private:
    // The top visible layer's polygon under the point, with the layer; nulls for none.
    std::pair<DisplayLayer*, Arealis::Polygon*> PolygonAt(PixelPoint point) const;

    COrvistaDoc* m_pDocument;
    // Compared only, never read: the polygon last described.
    const Arealis::Polygon* m_pDescribed = nullptr;
};

} // namespace Orvista
