#pragma once

#include "Controller.h"

namespace Orvista
{

class COrvistaDoc;

// The mode "Select a polygon, edge or node": a click selects what lies within the pick
// distance of the cursor in the visible layers, the top layer first; in a layer a node wins
// over a polygon, and an edge is selected together with its polygon. The modes that pick only
// some kinds of object derive from it and answer the three predicates accordingly.
class SelectController : public Controller
{
public:
    explicit SelectController(COrvistaView& view);

    void OnLButtonDown(unsigned flags, PixelPoint point) override;

    virtual bool SelectsPolygons() const { return true; }
    virtual bool SelectsEdges() const { return true; }
    virtual bool SelectsNodes() const { return true; }

protected:
    COrvistaDoc* Document() const { return m_pDocument; }
    // The document exists and holds layers; most work of the modes needs both.
    bool HasLayers() const;
    // Makes what lies under the point the view's selection (unguarded; the caller guards).
    void SelectAt(PixelPoint point);

private:
    COrvistaDoc* m_pDocument;
};

} // namespace Orvista
