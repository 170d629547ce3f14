#include "CommandTable.h"

#include "Commands.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace Orvista
{

namespace
{

using namespace CommandId;

const std::array Commands{
    CommandInfo{FileNew, "&New\tCtrl+N", "Create a new document\nNew", "Ctrl+N", {}},
    CommandInfo{
        FileOpen, "&Open Layer...\tCtrl+O", "Open an existing layer\nOpen Layer...", "Ctrl+O", {}},
    CommandInfo{FileSave, "&Save\tCtrl+S", "Save the active document\nSave", "Ctrl+S", {}},
    CommandInfo{FileSaveAs,
                "Save &As...",
                "Write the selected layer to a file of another name or format\nSave As",
                {},
                {}},
    CommandInfo{FileExportLayer,
                "&Export Layer...",
                "Write the selected layer with its attributes to a shapefile, GeoPackage, "
                "GeoJSON, FlatGeobuf or CSV file\nExport Layer",
                {},
                {}},
    CommandInfo{DeleteSelectedLayer,
                "Delete Selected Layer",
                "Delete Selected Layer\nDelete Selected Layer",
                {},
                {}},
    CommandInfo{LayerPrecision,
                "&Precision...",
                "Set the node grid and tolerance of the selected layer and read its file again"
                "\nPrecision",
                {},
                {}},
    CommandInfo{FilePrint, "&Print...", "Print\nPrint", {}, {}},
    CommandInfo{FileMruFirst, "Recent File", {}, {}, {}},
    CommandInfo{AppExit, "E&xit", {}, {}, {}},
    CommandInfo{EditUndo,
                "&Undo\tCtrl+Z",
                "Undo the last edit\nUndo",
                "Ctrl+Z",
                "Alt+Backspace"},
    CommandInfo{EditRedo,
                "&Redo\tCtrl+Shift+Z",
                "Redo the last edit undone\nRedo",
                "Ctrl+Shift+Z",
                "Ctrl+Y"},
    CommandInfo{EditDelete,
                "&Delete Polygon\tDel",
                "Delete the selected polygon\nDelete Polygon",
                "Del",
                {}},
    CommandInfo{EditCut, "Cu&t\tCtrl+X", "Cut\nCut", "Ctrl+X", "Shift+Del"},
    CommandInfo{EditCopy, "&Copy\tCtrl+C", "Copy\nCopy", "Ctrl+C", "Ctrl+Ins"},
    CommandInfo{EditPaste, "&Paste\tCtrl+V", "Paste\nPaste", "Ctrl+V", "Shift+Ins"},
    CommandInfo{MakeAllPolygonsEdited, "Make all polygons edited", {}, {}, {}},
    CommandInfo{CommitChanges, "Commit changes", {}, {}, {}},
    CommandInfo{ZoomToCurrent, "Zoom to current", "Zoom To Selected Layer", {}, {}},
    CommandInfo{NextPane, "Next Pane", {}, "F6", {}},
    CommandInfo{PrevPane, "Previous Pane", {}, "Shift+F6", {}},
    CommandInfo{ViewToolbar, "&Toolbar", {}, {}, {}},
    CommandInfo{ViewStatusBar, "&Status Bar", {}, {}, {}},
    CommandInfo{ViewEditingTools,
                "&Editing Tools",
                "Show or hide the buttons of the editing modes and commands\nEditing Tools",
                {},
                {}},
    CommandInfo{AppAbout, "&About Arealis Demo...", {}, {}, {}},
    CommandInfo{SnapByNodeIndex, "Use BTree for snapping under moving nodes", {}, {}, {}},
    CommandInfo{ModeZoomIn, "Zoom In", {}, {}, {}},
    CommandInfo{ModeZoomOut, "Zoom Out", {}, {}, {}},
    CommandInfo{ModeSelect, "Select a polygon, edge or node", {}, {}, {}},
    CommandInfo{ShowParents, "Show Parents", {}, {}, {}},
    CommandInfo{ClearParents, "Clear Parents", {}, {}, {}},
    CommandInfo{ModeValidate, "Validate", {}, {}, {}},
    CommandInfo{ModeMoveNode, "Move a node", {}, {}, {}},
    CommandInfo{ModeBooleanSelection, "Select for Boolean Operatoin", {}, {}, {}},
    CommandInfo{BooleanUnion, "Union", {}, {}, {}},
    CommandInfo{BooleanIntersect, "Intersect", {}, {}, {}},
    CommandInfo{BooleanSubtract, "Subtract", {}, {}, {}},
    CommandInfo{UniteAllPolygons, "Unite all polygons of the selected layer", {}, {}, {}},
    CommandInfo{WorkingTopology, "Working Topology", {}, {}, {}},
    CommandInfo{ModeCreate, "Create", {}, {}, {}},
    CommandInfo{AddPolygon, "Add Polygon", {}, {}, {}},
    CommandInfo{AddRing, "Add Ring", {}, {}, {}},
    CommandInfo{UniteTwoLayers, "Unite two layers containing 1 polygon", {}, {}, {}},
    CommandInfo{IntersectLayers, "Intersect two layers", {}, {}, {}},
    CommandInfo{SubtractLayers, "Subtract two layers", {}, {}, {}},
    CommandInfo{JoinLayers, "Join two layers", {}, {}, {}},
    CommandInfo{StartTest, "StartTest/n", {}, {}, {}},
    CommandInfo{CompareLayers,
                {},
                "Compare two layers\nCompare two layers",
                {},
                {}},
    CommandInfo{LayerUtility,
                {},
                "Copy the polygons of a layer that overlap another layer\nLayer utility",
                {},
                {}},
};

} // namespace

std::span<const CommandInfo> AllCommands()
{
    return Commands;
}

const CommandInfo& FindCommand(int id)
{
    const auto found = std::find_if(Commands.begin(), Commands.end(),
                                    [id](const CommandInfo& info) { return info.Id == id; });
    if (found == Commands.end())
    {
        throw std::out_of_range("Unknown command " + std::to_string(id));
    }
    return *found;
}

std::string_view StatusPrompt(const CommandInfo& info)
{
    return info.Prompt.substr(0, info.Prompt.find('\n'));
}

std::string_view MenuLabel(const CommandInfo& info)
{
    return info.MenuText.substr(0, info.MenuText.find('\t'));
}

std::string ToolTip(const CommandInfo& info)
{
    const auto newline = info.Prompt.find('\n');
    if (newline != std::string_view::npos)
    {
        return std::string(info.Prompt.substr(newline + 1));
    }
    if (!info.Prompt.empty())
    {
        return std::string(info.Prompt);
    }
    std::string label(MenuLabel(info));
    std::erase(label, '&');
    return label;
}

std::vector<MenuInfo> MainMenu()
{
    return {
        {"&File",
         {FileOpen, FileExportLayer, FileSaveAs, DeleteSelectedLayer, LayerPrecision, 0,
          FileMruFirst, 0,
          AppExit}},
        {"&Edit", {EditUndo, EditRedo, 0, EditDelete}},
        {"&View", {ViewToolbar, ViewStatusBar, ViewEditingTools}},
        {"&Help", {AppAbout}},
    };
}

ToolbarLayout FirstToolbar()
{
    return {{FileNew, FileOpen, FileSave, DeleteSelectedLayer, 0, EditCut, EditCopy, EditPaste, 0,
             FilePrint, 0, AppAbout},
            {FileNew, FileSave, EditCut, EditCopy, EditPaste, FilePrint, AppAbout},
            true,
            {8, 10}};
}

ToolbarLayout SecondToolbar()
{
    return {{CommitChanges,
             SnapByNodeIndex,
             0,
             ModeZoomIn,
             ModeZoomOut,
             ZoomToCurrent,
             0,
             ModeSelect,
             ShowParents,
             ClearParents,
             0,
             ModeValidate,
             0,
             ModeMoveNode,
             0,
             ModeBooleanSelection,
             BooleanUnion,
             BooleanIntersect,
             BooleanSubtract,
             UniteAllPolygons,
             0,
             WorkingTopology,
             0,
             ModeCreate,
             AddPolygon,
             AddRing,
             0,
             UniteTwoLayers,
             IntersectLayers,
             SubtractLayers,
             JoinLayers,
             StartTest,
             CompareLayers},
            {CommitChanges, SnapByNodeIndex, ShowParents, ClearParents, ModeValidate, ModeMoveNode,
             ModeBooleanSelection, BooleanUnion, BooleanIntersect, BooleanSubtract, WorkingTopology,
             ModeCreate, AddPolygon, AddRing, StartTest, CompareLayers},
            true,
            {10, 14, 20, 26}};
}

ToolbarLayout SecondToolbarWithEditingTools()
{
    ToolbarLayout layout = SecondToolbar();
    // Everything but the place of the Working Topology list, which is never shown, and the
    // separator before it (the one after it stays).
    layout.HiddenIds = {WorkingTopology};
    layout.HideFirstSeparator = false;
    layout.HiddenPositions = {20};
    return layout;
}

std::vector<int> VisibleButtons(const ToolbarLayout& layout)
{
    const auto contains = [](const std::vector<int>& values, int value)
    { return std::find(values.begin(), values.end(), value) != values.end(); };

    std::vector<int> visible;
    bool firstSeparatorSeen = false;
    for (int position = 0; position < static_cast<int>(layout.Buttons.size()); ++position)
    {
        const int id = layout.Buttons[static_cast<std::size_t>(position)];
        bool hidden = contains(layout.HiddenPositions, position);
        if (id == 0)
        {
            hidden = hidden || (layout.HideFirstSeparator && !firstSeparatorSeen);
            firstSeparatorSeen = true;
        }
        else
        {
            hidden = hidden || contains(layout.HiddenIds, id);
        }
        if (!hidden)
        {
            visible.push_back(id);
        }
    }
    return visible;
}

} // namespace Orvista
