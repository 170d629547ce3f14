#pragma once

// Command identifiers of the menus, toolbars and accelerators. The numbers are those of the
// program's command table; the framework's standard commands keep their usual numbers.
namespace Orvista::CommandId
{

// File
inline constexpr int FileNew = 57600;
inline constexpr int FileOpen = 57601; // "Open Layer..."
inline constexpr int FileSave = 57603;
inline constexpr int FileSaveAs = 57604;
inline constexpr int FilePrint = 57607;
// "Export Layer...": writes the selected layer to a file of a GIS format.
inline constexpr int FileExportLayer = 32861;
inline constexpr int FileMruFirst = 57616; // recent files 1 to 4
inline constexpr int FileMruLast = 57619;
inline constexpr int DeleteSelectedLayer = 32829;
// "Precision...": the node grid and tolerance of the selected layer, which is read again.
inline constexpr int LayerPrecision = 32862;
inline constexpr int AppExit = 57665;
inline constexpr int AppAbout = 57664;

// Edit (clipboard commands have no handler and stay disabled)
inline constexpr int EditCopy = 57634;
inline constexpr int EditCut = 57635;
inline constexpr int EditPaste = 57637;
inline constexpr int EditUndo = 57643;
inline constexpr int EditRedo = 57644;
inline constexpr int EditDelete = 57632; // deletes the selected polygon
inline constexpr int MakeAllPolygonsEdited = 32813;
inline constexpr int CommitChanges = 32788;
inline constexpr int ZoomToCurrent = 32831;

// Window
inline constexpr int NextPane = 57680;
inline constexpr int PrevPane = 57681;
inline constexpr int ViewToolbar = 59392;
inline constexpr int ViewStatusBar = 59393;
// Shows the buttons of the editing modes and commands on the second toolbar.
inline constexpr int ViewEditingTools = 32860;

// Drawing view and document commands of the second toolbar
inline constexpr int SnapByNodeIndex = 32787; // "Use BTree for snapping under moving nodes"
inline constexpr int BooleanUnion = 32822;
inline constexpr int BooleanIntersect = 32823;
inline constexpr int BooleanSubtract = 32825;
inline constexpr int WorkingTopology = 32826; // place of the Working Topology list
inline constexpr int AddPolygon = 32837;
inline constexpr int AddRing = 32838;
inline constexpr int ShowParents = 32840;
inline constexpr int ClearParents = 32841;
inline constexpr int UniteAllPolygons = 32843;
inline constexpr int UniteTwoLayers = 32844;
inline constexpr int IntersectLayers = 32845;
inline constexpr int SubtractLayers = 32846;
inline constexpr int JoinLayers = 32847;
inline constexpr int StartTest = 32850;
inline constexpr int CompareLayers = 32852;
inline constexpr int LayerUtility = 32853;

// Interaction modes
inline constexpr int ModeZoomIn = 32900;
inline constexpr int ModeZoomOut = 32901;
inline constexpr int ModeSelect = 32902;
inline constexpr int ModeValidate = 32903;
inline constexpr int ModeMoveNode = 32904;
inline constexpr int ModeBooleanSelection = 32905;
inline constexpr int ModeCreate = 32906;

constexpr bool IsMode(int id)
{
    return ModeZoomIn <= id && id <= ModeCreate;
}

constexpr bool IsLayerOperation(int id)
{
    return UniteTwoLayers <= id && id <= JoinLayers;
}

} // namespace Orvista::CommandId
