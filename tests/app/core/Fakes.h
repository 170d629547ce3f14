#pragma once

#include "Arealis/Point.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Canvas.h"
#include "ComboList.h"
#include "DisplayLayer.h"
#include "FakePlatform.h"
#include "LayerReader.h"
#include "MainFrame.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "SetOperationDlg.h"
#include "TopologyTreeView.h"
#include "TreeControl.h"
#include "ViewWindow.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Orvista::Testing
{

class FakeComboList : public IComboList
{
public:
    struct Entry
    {
        std::string Text;
        DisplayLayer* pData;
    };
    std::deque<Entry> Entries;
    int Selected = Error;

    int Count() const override { return static_cast<int>(Entries.size()); }
    int InsertString(int index, const std::string& text, DisplayLayer* pData) override
    {
        if (index < 0 || index > Count())
        {
            return Error;
        }
        Entries.insert(Entries.begin() + index, {text, pData});
        if (Selected >= index)
        {
            ++Selected;
        }
        return index;
    }
    void DeleteString(int index) override
    {
        Entries.erase(Entries.begin() + index);
        Selected = Selected == index ? Error : (Selected > index ? Selected - 1 : Selected);
    }
    std::string GetText(int index) const override
    {
        return Valid(index) ? Entries[Pos(index)].Text : "";
    }
    DisplayLayer* GetItemData(int index) const override
    {
        return Valid(index) ? Entries[Pos(index)].pData : nullptr;
    }
    void SetItemData(int index, DisplayLayer* pData) override
    {
        Entries.at(Pos(index)).pData = pData;
    }
    int GetCurSel() const override { return Selected; }
    void SetCurSel(int index) override { Selected = Valid(index) ? index : Error; }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Entry& entry : Entries)
        {
            texts.push_back(entry.Text);
        }
        return texts;
    }

private:
    bool Valid(int index) const { return 0 <= index && index < Count(); }
    static std::size_t Pos(int index) { return static_cast<std::size_t>(index); }
};

class FakeTreeControl : public ITreeControl
{
public:
    struct Root
    {
        DisplayLayer* pLayer;
        std::string Text;
        bool Checked;
    };
    std::deque<Root> Roots;
    DisplayLayer* pSelected = nullptr;
    std::vector<const DisplayLayer*> RefreshedSwatches;

    int RootCount() const override { return static_cast<int>(Roots.size()); }
    DisplayLayer* RootLayer(int index) const override { return Roots.at(Pos(index)).pLayer; }
    bool IsRootChecked(int index) const override { return Roots.at(Pos(index)).Checked; }
    void InsertFirstRoot(DisplayLayer& layer, const std::string& text, bool checked) override
    {
        Roots.push_front({&layer, text, checked});
    }
    void DeleteRoot(int index) override
    {
        if (Roots.at(Pos(index)).pLayer == pSelected)
        {
            pSelected = nullptr;
        }
        Roots.erase(Roots.begin() + index);
    }
    DisplayLayer* SelectedLayer() const override { return pSelected; }
    void SelectLayer(const DisplayLayer* pLayer) override
    {
        pSelected = nullptr;
        for (const Root& root : Roots)
        {
            pSelected = root.pLayer == pLayer ? root.pLayer : pSelected;
        }
    }
    void RefreshSwatch(const DisplayLayer& layer) override { RefreshedSwatches.push_back(&layer); }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Root& root : Roots)
        {
            texts.push_back(root.Text);
        }
        return texts;
    }

private:
    static std::size_t Pos(int index) { return static_cast<std::size_t>(index); }
};

// One drawing call, in a form that tests compare easily.
struct DrawCall
{
    enum class Kind
    {
        Pen,
        RasterOp,
        Move,
        Line,
        Pixel,
        FillRect,
        Rectangle,
        Fill,
        Segments,
        Transparent,
        Stretched,
    };
    Kind What;
    PixelPoint Point{};
    Orvista::Colour Paint{};
    RasterOp Op = RasterOp::CopyPen;
    std::vector<PixelPoint> Points{};
    std::vector<int> RingSizes{};
    const IBitmap* pSource = nullptr;
};

class RecordingCanvas : public ICanvas
{
public:
    std::vector<DrawCall> Calls;
    RasterOp CurrentOp = RasterOp::CopyPen;

    void SelectPen(Orvista::Colour colour, int /*width*/) override
    {
        Calls.push_back({DrawCall::Kind::Pen, {}, colour});
    }
    void SetRasterOp(RasterOp op) override
    {
        CurrentOp = op;
        Calls.push_back({DrawCall::Kind::RasterOp, {}, {}, op});
    }
    void MoveTo(PixelPoint point) override { Calls.push_back({DrawCall::Kind::Move, point}); }
    void LineTo(PixelPoint point) override
    {
        Calls.push_back({DrawCall::Kind::Line, point, {}, CurrentOp});
    }
    void SetPixel(PixelPoint point, Orvista::Colour colour) override
    {
        Calls.push_back({DrawCall::Kind::Pixel, point, colour});
    }
    void FillRect(const PixelRect& /*rect*/, Orvista::Colour colour) override
    {
        Calls.push_back({DrawCall::Kind::FillRect, {}, colour});
    }
    void DrawRectangle(const PixelRect& rect, Orvista::Colour brush) override
    {
        Calls.push_back({DrawCall::Kind::Rectangle, {rect.Left, rect.Top}, brush});
    }
    void FillPolyPolygon(std::span<const PixelPoint> points, std::span<const int> ringSizes,
                         Orvista::Colour brush) override
    {
        DrawCall call{DrawCall::Kind::Fill, {}, brush, CurrentOp};
        call.Points.assign(points.begin(), points.end());
        call.RingSizes.assign(ringSizes.begin(), ringSizes.end());
        Calls.push_back(call);
    }
    void DrawSegments(std::span<const PixelPoint> points) override
    {
        DrawCall call{DrawCall::Kind::Segments, {}, {}, CurrentOp};
        call.Points.assign(points.begin(), points.end());
        Calls.push_back(call);
    }
    void CopyTransparent(const IBitmap& source, Orvista::Colour transparent) override
    {
        DrawCall call{DrawCall::Kind::Transparent, {}, transparent};
        call.pSource = &source;
        Calls.push_back(call);
    }
    void CopyStretched(const IBitmap& source, const PixelRect& /*sourceRect*/,
                       const PixelRect& /*destRect*/) override
    {
        DrawCall call{DrawCall::Kind::Stretched};
        call.pSource = &source;
        Calls.push_back(call);
    }

    std::vector<DrawCall> Only(DrawCall::Kind kind) const
    {
        std::vector<DrawCall> calls;
        for (const DrawCall& call : Calls)
        {
            if (call.What == kind)
            {
                calls.push_back(call);
            }
        }
        return calls;
    }
    std::vector<PixelPoint> Pixels() const
    {
        std::vector<PixelPoint> pixels;
        for (const DrawCall& call : Only(DrawCall::Kind::Pixel))
        {
            pixels.push_back(call.Point);
        }
        return pixels;
    }
    std::vector<PixelPoint> LineEnds() const
    {
        std::vector<PixelPoint> ends;
        for (const DrawCall& call : Only(DrawCall::Kind::Line))
        {
            ends.push_back(call.Point);
        }
        return ends;
    }
};

class RecordingBitmap : public IBitmap
{
public:
    explicit RecordingBitmap(PixelSize size) : m_size(size) {}
    PixelSize Size() const override { return m_size; }
    ICanvas& Canvas() override { return Recorder; }
    RecordingCanvas Recorder;

private:
    PixelSize m_size;
};

class FakeViewWindow : public IViewWindow
{
public:
    PixelSize Client{200, 100};
    int WholeInvalidations = 0;
    std::vector<PixelRect> InvalidatedRects;
    RecordingCanvas Direct;
    int DirectDrawings = 0;

    PixelSize ClientSize() const override { return Client; }
    void Invalidate() override { ++WholeInvalidations; }
    void InvalidateRect(const PixelRect& rect) override { InvalidatedRects.push_back(rect); }
    std::unique_ptr<IBitmap> CreateBitmap(PixelSize size) override
    {
        return std::make_unique<RecordingBitmap>(size);
    }
    ICanvas& BeginDirectDrawing() override
    {
        ++DirectDrawings;
        return Direct;
    }
    void EndDirectDrawing() override {}
};

// A world polygon: rings of points (clockwise exterior rings, counter-clockwise holes).
using RingPoints = std::vector<Arealis::Point>;
using PolygonRings = std::vector<RingPoints>;

inline Arealis::Polygon* AddPolygon(Arealis::PolygonLayer& layer, const PolygonRings& rings)
{
    Arealis::Polygon* pPolygon = layer.CreatePolygon();
    for (const RingPoints& points : rings)
    {
        Arealis::Ring* pRing = pPolygon->CreateRing();
        for (const Arealis::Point& point : points)
        {
            pRing->AddNode(point.X, point.Y);
        }
    }
    return pPolygon;
}

// The clockwise square with corners (x, y) and (x + side, y + side).
inline RingPoints Square(double x, double y, double side)
{
    return {{x, y}, {x, y + side}, {x + side, y + side}, {x + side, y}};
}

// A reader that makes the polygons listed for a path and commits them; a path listed in
// Failing throws as a reader does after the user confirmed its error with OK.
class FakeLayerReader : public ILayerReader
{
public:
    std::map<std::string, std::vector<PolygonRings>> Files;
    std::vector<std::string> Failing;
    std::vector<std::string> ReadPaths;
    std::map<std::string, Formats::CoordinateSystem> Systems; // told before the polygons

    Formats::SourceDescription ReadDescribed(Arealis::PolygonLayer& layer, const std::string& path,
                                             const RecordCallback& onPolygon,
                                             const SystemCallback& onSystem) override
    {
        Formats::SourceDescription description;
        description.System = Systems[path];
        if (onSystem)
        {
            onSystem(description.System);
        }
        ReadWithRecords(layer, path, onPolygon);
        return description;
    }

    void Read(Arealis::PolygonLayer& layer, const std::string& path) override
    {
        ReadWithRecords(layer, path, {});
    }
    void ReadWithRecords(Arealis::PolygonLayer& layer, const std::string& path,
                         const RecordCallback& onPolygon) override
    {
        ReadPaths.push_back(path);
        std::int64_t record = 0;
        for (const PolygonRings& polygon : Files[path])
        {
            Arealis::Polygon* pPolygon = AddPolygon(layer, polygon);
            if (onPolygon)
            {
                onPolygon(pPolygon, record++);
            }
        }
        if (std::find(Failing.begin(), Failing.end(), path) != Failing.end())
        {
            throw std::runtime_error("unreadable record");
        }
        layer.Commit();
    }
};

class FakeSetOperationWindow : public ISetOperationDialogWindow
{
public:
    std::string Title;
    FakeComboList First;
    FakeComboList Second;
    FakeComboList Result;
    bool ResultEnabled = true;
    std::optional<DialogResult> Ended;

    void SetTitle(const std::string& title) override { Title = title; }
    IComboList& FirstLayerList() override { return First; }
    IComboList& SecondLayerList() override { return Second; }
    IComboList& ResultLayerList() override { return Result; }
    void EnableResultList(bool enable) override { ResultEnabled = enable; }
    void EndDialog(DialogResult result) override { Ended = result; }
};

// Answers the set-operation dialog as a user who takes its proposals and presses OK.
inline DialogResult AcceptProposals(CSetOperationDlg& dialog)
{
    FakeSetOperationWindow window;
    dialog.OnInitDialog(window);
    dialog.OnOK();
    return *window.Ended;
}

// The document with its two views and the frame, wired as the program wires them.
struct Shell
{
    FakePlatform Platform;
    FakeLayerReader Reader;
    FakeComboList WorkingTopology;
    COrvistaDoc Document{Platform, Reader};
    FakeTreeControl TreeControl;
    CTopologyTreeView Tree{Platform, TreeControl};
    FakeViewWindow Window;
    COrvistaView View{Platform};
    CMainFrame Frame{Platform, Document, View, Tree};

    Shell()
    {
        Document.SetWorkingTopologyList(&WorkingTopology);
        Tree.OnCreate(Document);
        View.OnCreate(Document, Window);
    }

    // Opens path through File, Open Layer.
    void Open(const std::string& path)
    {
        Platform.FileAnswers.push_back(path);
        Dispatch([this] { Document.OnOpenLayer(); });
    }

    DisplayLayer& Layer(std::size_t index) const { return *Document.GetLayers().at(index); }

    // The layer of that name; throws when there is none.
    DisplayLayer& Named(const std::string& name) const
    {
        DisplayLayer* pLayer = FindLayer(name);
        if (pLayer == nullptr)
        {
            throw std::out_of_range("no layer " + name);
        }
        return *pLayer;
    }

    DisplayLayer* FindLayer(const std::string& name) const
    {
        for (const auto& layer : Document.GetLayers())
        {
            if (layer->Name() == name)
            {
                return layer.get();
            }
        }
        return nullptr;
    }

    // Clicks a layer in the tree, which also makes the tree the active pane.
    void SelectInTree(DisplayLayer* pLayer)
    {
        TreeControl.pSelected = pLayer;
        Frame.SetDrawingViewActive(false);
        Tree.OnSelectionChanged();
    }

    CommandState State(int id) { return Frame.QueryState(id, nullptr); }
};

} // namespace Orvista::Testing
