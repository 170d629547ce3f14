#include "MainWindow.h"

#include "AboutDialog.h"
#include "AttributesDock.h"
#include "CommandTable.h"
#include "Commands.h"
#include "DrawingViewWidget.h"
#include "EventDispatch.h"
#include "LayerTreeWidget.h"
#include "MainFrame.h"
#include "OrvistaDoc.h"
#include "QtComboList.h"
#include "RecentFileList.h"
#include "TestFilesFolder.h"
#include "ToolbarIcons.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <cmath>

namespace Orvista
{

namespace
{

constexpr int RecentFileCount = CommandId::FileMruLast - CommandId::FileMruFirst + 1;

bool IsCheckable(int id)
{
    using namespace CommandId;
    return IsMode(id) || id == ViewToolbar || id == ViewStatusBar || id == SnapByNodeIndex ||
           id == ViewEditingTools;
}

// Enough decimals to tell neighbouring pixels apart.
int DecimalsForScale(double scale)
{
    if (!(scale > 0.0) || !std::isfinite(scale))
    {
        return 0;
    }
    return std::clamp(static_cast<int>(std::ceil(std::log10(scale))), 0, 9);
}

} // namespace

MainWindow::MainWindow(IPlatform& platform, COrvistaDoc& document, RecentFileList& recentFiles,
                       QWidget* pParent)
    : QMainWindow(pParent), m_platform(platform), m_document(document), m_recentFiles(recentFiles)
{
    setWindowTitle(QString::fromLatin1(ApplicationTitle));
    setWindowIcon(ApplicationIcon());
    resize(1000, 700);

    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    m_pTree = new LayerTreeWidget(platform, m_pSplitter);
    m_pView = new DrawingViewWidget(platform, m_pSplitter);
    m_pSplitter->addWidget(m_pTree);
    m_pSplitter->addWidget(m_pView);
    m_pSplitter->setStretchFactor(1, 1);
    m_pSplitter->setSizes({220, 780});
    setCentralWidget(m_pSplitter);
    m_editingTools = QSettings().value(QString::fromLatin1(EditingToolsKey), false).toBool();

    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateStatusBar();

    m_workingTopologyList = std::make_unique<QtComboList>(*m_pWorkingTopology);
    m_document.SetWorkingTopologyList(m_workingTopologyList.get());
    m_pTree->Logic().OnCreate(m_document);
    m_pView->Logic().OnCreate(m_document, *m_pView);
    m_pView->Logic().SetTestFilesFolders(FindTestFilesFolders());
    m_frame = std::make_unique<CMainFrame>(platform, document, m_pView->Logic(), m_pTree->Logic());
    m_pView->SetFrame(m_frame.get());
    CreateAttributesDock();
    m_document.SetFileOpenedHandler(
        [this](const std::string& path)
        {
            m_recentFiles.Add(QString::fromStdString(path));
            m_recentFiles.Save();
            RefreshRecentFiles();
        });

    connect(m_pTree, &LayerTreeWidget::Activated, this,
            [this] { m_frame->SetDrawingViewActive(false); });
    connect(m_pView, &DrawingViewWidget::Activated, this,
            [this] { m_frame->SetDrawingViewActive(true); });
    connect(m_pView, &DrawingViewWidget::CursorMoved, this, &MainWindow::ShowCursorPosition);
    connect(m_pView, &DrawingViewWidget::CursorLeft, m_pCursorPosition, &QLabel::clear);
    // Command states are brought up to date whenever the program has nothing else to do.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &MainWindow::UpdateCommandStates);

    m_pView->setFocus();
    RefreshRecentFiles();
    UpdateCommandStates();
}

MainWindow::~MainWindow()
{
    m_pView->SetFrame(nullptr);
    m_pView->Logic().SetSelectionChangedHandler(nullptr);
    m_document.SetFileOpenedHandler(nullptr);
    m_document.SetLayerTree(nullptr);
    m_document.SetWorkingTopologyList(nullptr);
}

QAction* MainWindow::Action(int id) const
{
    const auto found = m_actions.find(id);
    return found != m_actions.end() ? found->second : nullptr;
}

QAction* MainWindow::CreateAction(int id, const QString& text)
{
    auto* pAction = new QAction(text, this);
    pAction->setData(id);
    pAction->setCheckable(IsCheckable(id));
    // Added to the window so that its shortcuts work also when no menu or toolbar shows it.
    addAction(pAction);
    connect(pAction, &QAction::triggered, this, [this, id] { RunCommand(id); });
    m_actions[id] = pAction;
    return pAction;
}

void MainWindow::CreateActions()
{
    for (const CommandInfo& info : AllCommands())
    {
        QAction* pAction = CreateAction(info.Id, QString::fromUtf8(MenuLabel(info)));
        const QString prompt = QString::fromUtf8(StatusPrompt(info));
        if (!prompt.isEmpty())
        {
            pAction->setStatusTip(prompt);
        }
        pAction->setToolTip(QString::fromStdString(ToolTip(info)));
        pAction->setIcon(CommandIcon(info.Id));
        QList<QKeySequence> shortcuts;
        for (const std::string_view keys : {info.Shortcut, info.AlternateShortcut})
        {
            if (!keys.empty())
            {
                shortcuts << QKeySequence(QString::fromUtf8(keys));
            }
        }
        pAction->setShortcuts(shortcuts);
    }
    for (int id = CommandId::FileMruFirst + 1; id <= CommandId::FileMruLast; ++id)
    {
        CreateAction(id, QString());
    }
}

void MainWindow::CreateMenus()
{
    for (const MenuInfo& menuInfo : MainMenu())
    {
        QMenu* pMenu = menuBar()->addMenu(QString::fromUtf8(menuInfo.Title));
        for (const int id : menuInfo.Items)
        {
            if (id == 0)
            {
                pMenu->addSeparator();
            }
            else if (id == CommandId::FileMruFirst)
            {
                for (int recent = CommandId::FileMruFirst; recent <= CommandId::FileMruLast;
                     ++recent)
                {
                    pMenu->addAction(Action(recent));
                }
            }
            else
            {
                pMenu->addAction(Action(id));
            }
        }
        connect(pMenu, &QMenu::aboutToShow, this, &MainWindow::UpdateCommandStates);
    }
}

void MainWindow::CreateToolBars()
{
    const auto build = [this](const QString& name, const ToolbarLayout& layout)
    {
        QToolBar* pToolBar = addToolBar(name);
        pToolBar->setObjectName(name);
        pToolBar->setMovable(false);
        pToolBar->setFloatable(false);
        pToolBar->setIconSize(QSize(19, 19));
        for (const int id : VisibleButtons(layout))
        {
            if (id == 0)
            {
                pToolBar->addSeparator();
            }
            else
            {
                pToolBar->addAction(Action(id));
            }
        }
        return pToolBar;
    };
    m_pToolBar1 = build(QStringLiteral("toolBar1"), FirstToolbar());
    m_pToolBar2 = build(QStringLiteral("toolBar2"), ToolbarLayout{});
    FillSecondToolBar();
    // The Working Topology list keeps the layers in order with the current one selected; it is
    // never shown.
    m_pWorkingTopology = new QComboBox(m_pToolBar2);
    m_pWorkingTopology->setObjectName(QStringLiteral("workingTopology"));
    m_pWorkingTopology->hide();
}

void MainWindow::FillSecondToolBar()
{
    // The commands' actions belong to the window and stay; the separators belong to the
    // toolbar and go. The hidden Working Topology list is a child widget, not an action.
    const QList<QAction*> previous = m_pToolBar2->actions();
    m_pToolBar2->clear();
    for (QAction* pAction : previous)
    {
        if (pAction->isSeparator() && pAction->parent() == m_pToolBar2)
        {
            delete pAction;
        }
    }
    const ToolbarLayout layout = m_editingTools ? SecondToolbarWithEditingTools() : SecondToolbar();
    for (const int id : VisibleButtons(layout))
    {
        if (id == 0)
        {
            m_pToolBar2->addSeparator();
        }
        else
        {
            m_pToolBar2->addAction(Action(id));
        }
    }
}

void MainWindow::ShowCursorPosition(double x, double y, double scale)
{
    if (!m_document.HasLayers())
    {
        m_pCursorPosition->clear();
        return;
    }
    const int decimals = DecimalsForScale(scale);
    m_pCursorPosition->setText(
        QStringLiteral("X: %1  Y: %2").arg(x, 0, 'f', decimals).arg(y, 0, 'f', decimals));
}

void MainWindow::CreateStatusBar()
{
    statusBar()->addWidget(new QLabel(tr("Ready"), this), 1);
    m_pCursorPosition = new QLabel(this);
    m_pCursorPosition->setObjectName(QStringLiteral("cursorPosition"));
    m_pCursorPosition->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 30);
    // No CAP, NUM and SCRL indicators: the toolkit cannot read those key states portably, and
    // indicators that never change would mislead.
    statusBar()->addPermanentWidget(m_pCursorPosition);
}

void MainWindow::CreateAttributesDock()
{
    m_pAttributes = new AttributesDock(m_document, m_pView->Logic(), this);
    addDockWidget(Qt::RightDockWidgetArea, m_pAttributes);
    m_pView->Logic().SetSelectionChangedHandler([this] { m_pAttributes->Refresh(); });
    for (QAction* pMenu : menuBar()->actions())
    {
        if (pMenu->menu() != nullptr && pMenu->text() == QStringLiteral("&View"))
        {
            pMenu->menu()->addAction(m_pAttributes->toggleViewAction());
        }
    }
}

void MainWindow::RefreshRecentFiles()
{
    const QStringList& files = m_recentFiles.Files();
    for (int index = 0; index < RecentFileCount; ++index)
    {
        QAction* pAction = Action(CommandId::FileMruFirst + index);
        if (index < files.size())
        {
            pAction->setText(QStringLiteral("&%1 %2").arg(index + 1).arg(files[index]));
            pAction->setVisible(true);
        }
        else
        {
            pAction->setText(QStringLiteral("Recent File"));
            pAction->setVisible(index == 0);
        }
    }
}

void MainWindow::RunCommand(int id)
{
    DispatchEvent(m_platform, [this, id] { m_frame->Execute(id, this); });
    UpdateCommandStates();
}

void MainWindow::UpdateCommandStates()
{
    if (!m_frame)
    {
        return;
    }
    for (const auto& [id, pAction] : m_actions)
    {
        const CommandState state = m_frame->QueryState(id, this);
        pAction->setEnabled(state.Enabled);
        if (pAction->isCheckable())
        {
            pAction->setChecked(state.Checked);
        }
    }
}

bool MainWindow::OpenFile(const QString& path)
{
    // A database connection ("PG:...") is no file name to complete.
    const QString fullPath = path.startsWith(QStringLiteral("PG:"), Qt::CaseInsensitive)
                                 ? path
                                 : QFileInfo(path).absoluteFilePath();
    bool opened = false;
    DispatchEvent(m_platform, [this, &fullPath, &opened]
                  { opened = m_document.OpenLayerFile(fullPath.toStdString()); });
    UpdateCommandStates();
    return opened;
}

void MainWindow::SwitchPane()
{
    if (m_pView->hasFocus())
    {
        m_pTree->setFocus();
    }
    else
    {
        m_pView->setFocus();
    }
}

bool MainWindow::OnCommand(int id)
{
    using namespace CommandId;
    if (FileMruFirst <= id && id <= FileMruLast)
    {
        const int index = id - FileMruFirst;
        if (index < m_recentFiles.Files().size())
        {
            const QString path = m_recentFiles.Files()[index];
            // A file that can no longer be opened leaves the list.
            if (!OpenFile(path) && !QFileInfo::exists(path))
            {
                m_recentFiles.Remove(path);
                m_recentFiles.Save();
                RefreshRecentFiles();
            }
        }
        return true;
    }
    switch (id)
    {
    case AppExit:
        close();
        return true;
    case ViewToolbar:
        m_pToolBar1->setVisible(m_pToolBar1->isHidden());
        return true;
    case ViewStatusBar:
        statusBar()->setVisible(statusBar()->isHidden());
        return true;
    case ViewEditingTools:
        m_editingTools = !m_editingTools;
        QSettings().setValue(QString::fromLatin1(EditingToolsKey), m_editingTools);
        FillSecondToolBar();
        return true;
    case NextPane:
    case PrevPane:
        SwitchPane();
        return true;
    case AppAbout:
    {
        AboutDialog about(this);
        about.exec();
        return true;
    }
    default:
        return false;
    }
}

bool MainWindow::OnUpdateCommand(int id, CommandState& state)
{
    using namespace CommandId;
    if (FileMruFirst <= id && id <= FileMruLast)
    {
        state.Enabled = id - FileMruFirst < m_recentFiles.Files().size();
        return true;
    }
    switch (id)
    {
    case AppExit:
    case NextPane:
    case PrevPane:
    case AppAbout:
        state.Enabled = true;
        return true;
    case ViewToolbar:
        state.Enabled = true;
        state.Checked = !m_pToolBar1->isHidden();
        return true;
    case ViewStatusBar:
        state.Enabled = true;
        state.Checked = !statusBar()->isHidden();
        return true;
    case ViewEditingTools:
        state.Enabled = true;
        state.Checked = m_editingTools;
        return true;
    default:
        return false;
    }
}

} // namespace Orvista
