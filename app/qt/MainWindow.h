#pragma once

#include "CommandRouting.h"

#include <QMainWindow>
#include <map>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QSplitter;
class QToolBar;

namespace Orvista
{

class AttributesDock;
class CMainFrame;
class COrvistaDoc;
class DrawingViewWidget;
class IPlatform;
class LayerTreeWidget;
class QtComboList;
class RecentFileList;

// The main window: the layer tree and the drawing view side by side in a splitter, the menus,
// the two toolbars, the hidden Working Topology list and the status bar. It also answers the
// framework's and the application's commands (exit, toolbar and status bar, recent files,
// panes, about).
class MainWindow final : public QMainWindow, public ICommandTarget
{
    Q_OBJECT

public:
    MainWindow(IPlatform& platform, COrvistaDoc& document, RecentFileList& recentFiles,
               QWidget* pParent = nullptr);
    ~MainWindow() override;

    CMainFrame& Frame() { return *m_frame; }
    LayerTreeWidget& Tree() { return *m_pTree; }
    DrawingViewWidget& View() { return *m_pView; }
    AttributesDock& Attributes() { return *m_pAttributes; }
    QComboBox& WorkingTopologyCombo() { return *m_pWorkingTopology; }
    QSplitter& Splitter() { return *m_pSplitter; }
    QToolBar& FirstToolBar() { return *m_pToolBar1; }
    QToolBar& SecondToolBar() { return *m_pToolBar2; }
    // The status bar's field with the world coordinates under the cursor.
    QLabel& CursorPositionLabel() { return *m_pCursorPosition; }
    // Whether the second toolbar shows the buttons of the editing modes and commands.
    bool ShowsEditingTools() const { return m_editingTools; }

    // The settings key that remembers "Editing Tools".
    static constexpr const char* EditingToolsKey = "Settings/EditingTools";
    // The action of a command; null for an unknown id.
    QAction* Action(int id) const;

    // Runs a command through the command chain, then updates every command's state.
    void RunCommand(int id);
    // Enables, disables, checks and unchecks every command as the command chain says.
    void UpdateCommandStates();
    // Opens a file named on the command line or chosen from the recent files as a layer.
    bool OpenFile(const QString& path);

    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, CommandState& state) override;

private:
    void CreateActions();
    QAction* CreateAction(int id, const QString& text);
    void CreateMenus();
    void CreateToolBars();
    // Puts the buttons of the second toolbar's layout (with or without the editing tools) on it.
    void FillSecondToolBar();
    void CreateStatusBar();
    // The Attributes panel at the right, following the view's selection, with its switch in
    // the View menu.
    void CreateAttributesDock();
    void ShowCursorPosition(double x, double y, double scale);
    void RefreshRecentFiles();
    void SwitchPane();

    IPlatform& m_platform;
    COrvistaDoc& m_document;
    RecentFileList& m_recentFiles;
    QSplitter* m_pSplitter = nullptr;
    LayerTreeWidget* m_pTree = nullptr;
    DrawingViewWidget* m_pView = nullptr;
    AttributesDock* m_pAttributes = nullptr;
    QToolBar* m_pToolBar1 = nullptr;
    QToolBar* m_pToolBar2 = nullptr;
    QComboBox* m_pWorkingTopology = nullptr;
    QLabel* m_pCursorPosition = nullptr;
    bool m_editingTools = false;
    std::unique_ptr<QtComboList> m_workingTopologyList;
    std::unique_ptr<CMainFrame> m_frame;
    std::map<int, QAction*> m_actions;
};

} // namespace Orvista
