#pragma once

#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "Canvas.h"
#include "ClipFrame.h"
#include "Colour.h"
#include "CommandRouting.h"
#include "Controller.h"
#include "PixelGeometry.h"
#include "RegressionRun.h"
#include "ViewMapping.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace Arealis
{
struct Node;
class Polygon;
class PolygonLayer;
class Ring;
class Topology;
} // namespace Arealis

namespace Orvista
{

class COrvistaDoc;
class DisplayLayer;
class IPlatform;
class IViewWindow;

// The operands of the Boolean polygon operations and the last result.
struct BooleanOperands
{
    Arealis::Polygon* pFirst = nullptr;
    Arealis::Polygon* pSecond = nullptr;
    Arealis::Polygon* pResult = nullptr;
    bool FirstChosen = false;
    bool SecondChosen = false;
    bool ResultValid = false;
};

// What the set-operation dialog hands to a layer operation.
struct LayerOperationSlots
{
    Arealis::PolygonLayer* pFirst = nullptr;
    Arealis::PolygonLayer* pSecond = nullptr;
    Arealis::PolygonLayer* pResult = nullptr;
    DisplayLayer* pResultLayer = nullptr;
    bool Ready = false;
};

// The drawing view: maps world coordinates to the window, keeps the zoom, draws the visible
// layers and the selection, and passes the mouse to the controller of the interaction mode.
//
// Drawing is cached twice: each layer is drawn alone into its own window-sized picture only
// when it changed, the pictures are composed into the view bitmap when something changed, and
// painting copies the view bitmap to the window (stretched while the window is resized).
class COrvistaView final : public ICommandTarget
{
public:
    static constexpr Colour BackgroundColour = White;
    static constexpr Colour SelectionBrush = Red;
    static constexpr Colour SelectionColour = Red;
    static constexpr Colour HighlightColour{50, 255, 50};
    static constexpr Colour UnitedOutlineColour{255, 100, 0};
    static constexpr Colour ParentOutlineColour{0, 255, 255};
    // Outlines of the chosen operands of the Boolean polygon operations.
    static constexpr Colour FirstOperandColour{0, 90, 255};
    static constexpr Colour SecondOperandColour{230, 0, 200};
    // Half the side of the square drawn around a selected node, and the pick distance of the
    // controllers, in pixels.
    static constexpr int NodeMarkSize = 5;
    static constexpr int PickTolerance = 5;
    // The status text of a Boolean operation asked for before two polygons were picked.
    static constexpr const char* PickTwoPolygons = "Pick two polygons first";
    // The margin by which a selection's pixel rectangle is inflated when it is repainted.
    static constexpr int SelectionMargin = 7;
    // A layer that shows more polygons than this is drawn coarsely right after the view moved
    // (outlines only, on the pixel grid, polygons under two pixels as one pixel), when the
    // window asks for it; the full drawing follows once the view rests. A full drawing of
    // this many polygons takes about 20 ms, well inside a frame.
    static constexpr std::size_t DraftPolygonCount = 10000;

    explicit COrvistaView(IPlatform& platform);
    ~COrvistaView() override;

    COrvistaView(const COrvistaView&) = delete;
    COrvistaView& operator=(const COrvistaView&) = delete;

    // The window exists: remembers it and registers with the document.
    void OnCreate(COrvistaDoc& document, IViewWindow& window);
    // The window is going: the controller goes first, while it can still draw, and the
    // document forgets the view.
    void OnDestroy();
    COrvistaDoc* GetDocument() const { return m_pDocument; }
    IPlatform& GetPlatform() const { return m_platform; }
    // The window, for drawing directly on it; null before OnCreate and after OnDestroy.
    IViewWindow* GetWindow() const { return m_pWindow; }

    // --- Mapping and zoom -------------------------------------------------------------------

    PixelPoint WorldToPixel(const Arealis::Point& point) const
    {
        return m_mapping.WorldToPixel(point);
    }
    PixelRect WorldToPixel(const Arealis::Rectangle& rect) const
    {
        return m_mapping.WorldToPixel(rect);
    }
    Arealis::Point PixelToWorld(PixelPoint pixel) const { return m_mapping.PixelToWorld(pixel); }
    double GetScale() const { return m_mapping.Scale(); }
    const ViewMapping& GetMapping() const { return m_mapping; }
    const Arealis::Rectangle& GetRequestedRectangle() const
    {
        return m_mapping.RequestedRectangle();
    }
    PixelSize GetClientSize() const;

    // Shows rect as large as the window allows, centred along the axis with room to spare,
    // and draws every layer again. An empty rectangle (a layer without polygons) is ignored.
    void ZoomToRectangle(const Arealis::Rectangle& rect);
    // Fits the requested rectangle to the window's present size.
    void FitZoomRectangle();
    // Every visible layer must be drawn again; no layer's picture is up to date.
    void MarkLayersForRendering();
    // The polygons of the topology changed: the visible layers that show it are drawn again
    // at the next paint, which is asked for now.
    void RenderLayersOf(const Arealis::Topology* pTopology);

    // --- Drawing while the view moves -------------------------------------------------------

    // Whether a zoom or a pan may draw layers of more than polygonCount visible polygons
    // coarsely first; the window that turns it on calls SettleView once the view has rested.
    void SetDraftWhileMoving(bool on, std::size_t polygonCount = DraftPolygonCount)
    {
        m_draftWhileMoving = on;
        m_draftPolygonCount = polygonCount;
    }
    // The view moved since it last rested: the window should call SettleView after a pause.
    bool IsMoving() const { return m_moving; }
    // The view rests: the layers drawn coarsely are drawn fully at the next paint.
    void SettleView();

    void SetRedrawNeeded(bool needed) { m_redrawNeeded = needed; }
    bool IsRedrawNeeded() const { return m_redrawNeeded; }
    void Invalidate();
    void InvalidateRect(const PixelRect& rect);

    // Selects the layer's entry in the Working Topology list.
    void SetCurrentLayer(DisplayLayer* pLayer);

    // --- Selection --------------------------------------------------------------------------

    // Repaints around the old and the new selection.
    void SetSelection(Arealis::Polygon* pPolygon, Arealis::Ring* pRing, std::int32_t edge,
                      Arealis::Node* pNode);
    // Forgets the selection, its layer and the Boolean operands.
    void ClearSelection();
    DisplayLayer* GetSelectionLayer() const { return m_pSelectionLayer; }
    void SetSelectionLayer(DisplayLayer* pLayer) { m_pSelectionLayer = pLayer; }
    // Called after every change of the selection (the Attributes panel follows it).
    void SetSelectionChangedHandler(std::function<void()> handler)
    {
        m_selectionChanged = std::move(handler);
    }
    Arealis::Polygon* GetSelectedPolygon() const { return m_pSelectedPolygon; }
    Arealis::Ring* GetSelectedRing() const { return m_pSelectedRing; }
    std::int32_t GetSelectedEdge() const { return m_selectedEdge; }
    Arealis::Node* GetSelectedNode() const { return m_pSelectedNode; }
    // Replaces the selected node without looking at the old one, which a move that merged it
    // into another node has released.
    void SetSelectedNode(Arealis::Node* pNode);
    // The world rectangle of the selection: the node's point, the edge's ends or the
    // polygon's bounds; empty without a selection.
    Arealis::Rectangle GetSelectionBounds() const;

    BooleanOperands& GetBooleanOperands() { return m_boolean; }
    LayerOperationSlots& GetLayerOperationSlots() { return m_layerOperation; }
    bool IsSnapByNodeIndex() const { return m_snapByNodeIndex; }

    // The document is about to destroy the layer: nothing may refer to it any more.
    void OnLayerDeleted(DisplayLayer& layer);

    // --- Interaction mode and mouse ---------------------------------------------------------

    // Makes id the interaction mode and replaces the controller by the mode's controller.
    void SetMode(int id);
    int GetMode() const { return m_mode; }
    Controller* GetController() const { return m_controller.get(); }
    void OnLButtonDown(unsigned flags, PixelPoint point);
    void OnLButtonUp(unsigned flags, PixelPoint point);
    void OnMouseMove(unsigned flags, PixelPoint point);
    // Escape: the controller abandons the gesture in progress.
    void OnCancel();

    // --- Drawing ----------------------------------------------------------------------------

    // Paints the window: draws and composes the layers again when needed, then copies the
    // view bitmap to the window.
    void OnDraw(ICanvas& window);
    // Draws one polygon with the current pen: four dots when it is smaller than 2 pixels,
    // otherwise the outline of each ring, then the rings' area combined with the brush colour
    // (mask raster operation) so that the outlines stay visible.
    void DrawPolygon(ICanvas& canvas, Arealis::Polygon& polygon, Colour brush, Colour dot);
    const IBitmap* GetViewBitmap() const { return m_viewBitmap.get(); }
    const ClipFrame* GetClipFrame() const { return m_clipFrame.get(); }

    // --- Commands ---------------------------------------------------------------------------

    // Runs a layer set operation (Union of two one-polygon layers, Intersection, Subtraction
    // or Join) into a new layer chosen in the set-operation dialog.
    void OnLayerOperation(int command);
    // Unites all polygons of the current layer into a new layer named after the layer selected
    // in the layer tree, or the current layer when none is ("a.shp" gives "a_union").
    void OnUniteAllPolygons();
    // "Union", "Intersect" and "Subtract" of the two polygons picked in the Boolean mode; the
    // result goes to the current layer.
    void OnBooleanOperation(int command);
    // Undo and Redo of the last edit (Edit menu); the polygon the edit leaves is selected and
    // the status bar names the edit.
    void OnUndo();
    void OnRedo();
    // "Delete Polygon": deletes the selected polygon (Undo brings it back); a polygon that is a
    // parent of another is refused with the library's message.
    void OnDeletePolygon();
    // "Commit changes": commits the current topology and reports the time it took.
    void OnCommitChanges();
    // "Show Parents" outlines the selected polygon's parents on the window; "Clear Parents"
    // forgets them.
    void OnShowParents();
    void OnClearParents();
    // "Add Polygon" and "Add Ring" of the Create mode.
    void OnAddPolygon();
    void OnAddRing();
    // Compares two layers chosen in the set-operation dialog; the polygons of the first that
    // the second lacks are copied into the result layer.
    void OnCompareLayers();
    // Copies the polygons of the second chosen layer that overlap parts of the first one into
    // the result layer.
    void OnLayerUtility();
    // "StartTest/n": runs the regression suite on the test-files folder.
    void OnStartTest();
    void SetTestFilesFolders(TestFilesFolders folders) { m_testFolders = std::move(folders); }
    const TestFilesFolders& GetTestFilesFolders() const { return m_testFolders; }

    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, CommandState& state) override;

private:
    std::unique_ptr<Controller> CreateController(int mode);
    void RebuildFramePolygon();
    void RenderLayers(const Arealis::Rectangle& visible, PixelSize size);
    void RenderLayer(DisplayLayer& layer, const Arealis::Rectangle& visible, PixelSize size);
    // The coarse picture of many polygons: their outlines, in one call of the canvas.
    void DrawDraft(ICanvas& canvas, const std::vector<Arealis::Polygon*>& polygons,
                   Colour outline);
    void ComposeLayers();
    void DrawSelection(ICanvas& canvas);
    // Outlines one ring and appends its pixels to the fill region when it has more than three.
    void DrawRingOutline(ICanvas& canvas, const Arealis::Ring& ring, Colour dot,
                         std::vector<PixelPoint>& points, std::vector<int>& ringSizes) const;
    void InvalidateSelection();
    void RunLayerOperation(int command);
    // One message naming how many polygons of each operand the operation left out.
    void ReportLeftOut(const Arealis::PolygonLayer& first, const Arealis::PolygonLayer& second);
    void UniteAllPolygons();
    void RunBooleanOperation(int command);
    // Selects the result of a Boolean operation in its layer and says what was made.
    void SelectResult(DisplayLayer& layer, Arealis::Polygon* pResult, const char* made);
    void UndoOrRedo(bool undo);
    void DeleteSelectedPolygon();
    // The layer of the document that holds the polygon; null when none does.
    DisplayLayer* FindLayerOf(const Arealis::Polygon* pPolygon) const;
    void CommitCurrentTopology();
    // Commits the topology; the selection and the controller forget what the commit removed.
    void CommitKeepingSelection(Arealis::Topology& topology);
    void RefreshSelectionAfterCommit(const Arealis::Topology& topology,
                                     const std::optional<Arealis::Point>& nodeAt);
    void DrawParentsOfSelection();
    // Runs the set-operation dialog without an operation; true when it created a result layer.
    bool ChooseLayersForTestSuite(int command);
    void CompareChosenLayers();
    void CollectOverlappingOfChosenLayers();
    void DrawBooleanOperands(ICanvas& canvas);

    IPlatform& m_platform;
    COrvistaDoc* m_pDocument = nullptr;
    IViewWindow* m_pWindow = nullptr;

    bool m_redrawNeeded = true;
    bool m_draftWhileMoving = false;
    bool m_moving = false;
    std::size_t m_draftPolygonCount = DraftPolygonCount;
    PixelRect m_bitmapRect;
    std::unique_ptr<IBitmap> m_viewBitmap;
    ViewMapping m_mapping;
    std::unique_ptr<ClipFrame> m_clipFrame;

    std::unique_ptr<Controller> m_controller;
    int m_mode = 0;

    DisplayLayer* m_pSelectionLayer = nullptr;
    Arealis::Polygon* m_pSelectedPolygon = nullptr;
    Arealis::Ring* m_pSelectedRing = nullptr;
    std::int32_t m_selectedEdge = -1;
    Arealis::Node* m_pSelectedNode = nullptr;
    std::function<void()> m_selectionChanged;

    bool m_snapByNodeIndex = true;
    BooleanOperands m_boolean;
    LayerOperationSlots m_layerOperation;
    TestFilesFolders m_testFolders;
};

} // namespace Orvista
