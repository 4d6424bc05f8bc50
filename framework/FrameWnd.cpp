#include "FrameWnd.h"

#include "DocTemplate.h"
#include "Document.h"
#include "View.h"
#include "WinApp.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QDir>
#include <QKeySequence>
#include <QMenuBar>
#include <QScreen>

CFrameWnd::CFrameWnd() {
    // Menus and buttons follow their commands' state whenever the program goes idle.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &CFrameWnd::UpdateCommandUI);
    // The bars are not offered for hiding through a context menu of the frame.
    setContextMenuPolicy(Qt::NoContextMenu);
}

CFrameWnd::~CFrameWnd() {
    // The view goes before the window that holds it.
    if (m_pView) {
        QWidget* w = m_pView->GetWidget();
        if (w && w->parent() == this)
            takeCentralWidget();
        m_pView.reset();
    }
}

bool CFrameWnd::LoadFrame(unsigned /*nIDResource*/, CSingleDocTemplate* pTemplate,
                          CDocument* pDoc) {
    m_style = FWS_ADDTOTITLE | FWS_PREFIXTITLE;
    if (!PreCreateWindow(m_style))
        return false;
    if (OnCreate() == -1)
        return false;
    m_pView = pTemplate->CreateView();
    if (!m_pView || !m_pView->Create(this))
        return false;
    setCentralWidget(m_pView->GetWidget());
    // The default size a new top-level window gets: three quarters of the screen's free area.
    if (const QScreen* s = screen())
        resize(s->availableGeometry().size() * 3 / 4);
    if (pDoc) {
        pDoc->AddView(m_pView.get());
        connect(pDoc, &CDocument::titleChanged, this, &CFrameWnd::OnUpdateFrameTitle);
    }
    return true;
}

CDocument* CFrameWnd::GetActiveDocument() const {
    return m_pView ? m_pView->GetDocument() : nullptr;
}

void CFrameWnd::InitialUpdateFrame(CDocument* /*pDoc*/, bool bMakeVisible) {
    if (m_pView)
        m_pView->OnInitialUpdate();
    OnUpdateFrameTitle();
    if (bMakeVisible)
        show();
}

void CFrameWnd::OnUpdateFrameTitle() {
    const CDocument* doc = GetActiveDocument();
    if ((m_style & FWS_ADDTOTITLE) && doc && !doc->GetTitle().isEmpty())
        setWindowTitle(doc->GetTitle() + QStringLiteral(" - ") + m_strTitle);
    else
        setWindowTitle(m_strTitle);
}

bool CFrameWnd::RouteCommand(UINT nID) {
    if (m_pView && m_pView->OnCmdMsg(nID))
        return true;
    if (CDocument* doc = GetActiveDocument(); doc && doc->OnCmdMsg(nID))
        return true;
    if (OnCmdMsg(nID))
        return true;
    return AfxGetApp() && AfxGetApp()->OnCmdMsg(nID);
}

bool CFrameWnd::RouteUpdateCmdUI(UINT nID, CCmdUI* pCmdUI) {
    if (m_pView && m_pView->OnUpdateCmdUI(nID, pCmdUI))
        return true;
    if (CDocument* doc = GetActiveDocument(); doc && doc->OnUpdateCmdUI(nID, pCmdUI))
        return true;
    if (OnUpdateCmdUI(nID, pCmdUI))
        return true;
    return AfxGetApp() && AfxGetApp()->OnUpdateCmdUI(nID, pCmdUI);
}

void CFrameWnd::closeEvent(QCloseEvent* event) {
    CDocument* doc = GetActiveDocument();
    if (doc && !doc->SaveModified()) {
        event->ignore();
        return;
    }
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Commands, menu and recent files

namespace {
QString promptPart(const char* prompt, bool tooltip) {
    const QString text = QString::fromLatin1(prompt ? prompt : "");
    const qsizetype nl = text.indexOf(QLatin1Char('\n'));
    if (nl < 0)
        return tooltip ? QString() : text;
    return tooltip ? text.mid(nl + 1) : text.left(nl);
}

// "&New\tCtrl+N" -> "&New" and "Ctrl+N"
QString menuLabel(const char* menuText) {
    const QString text = QString::fromLatin1(menuText ? menuText : "");
    return text.section(QLatin1Char('\t'), 0, 0);
}

// A long path keeps its first folder and the file name: "/home/.../log.txt".
QString abbreviatePath(const QString& path) {
    const QString native = QDir::toNativeSeparators(path);
    if (native.size() <= 40)
        return native;
    const QString sep = QDir::separator();
    const QStringList parts = native.split(sep);
    if (parts.size() <= 3)
        return native;
    return parts.at(0) + sep + parts.at(1) + sep + QStringLiteral("...") + sep + parts.last();
}
} // namespace

void CFrameWnd::LoadCommandTable(std::span<const CCommandEntry> table) {
    QMap<QString, QMenu*> menus;
    for (const CCommandEntry& entry : table) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(entry.name));
        action->setText(menuLabel(entry.menuText));
        action->setStatusTip(promptPart(entry.prompt, false));
        action->setToolTip(promptPart(entry.prompt, true));
        action->setIconVisibleInMenu(false);
        if (entry.keys && *entry.keys) {
            action->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(entry.keys)));
            action->setShortcutContext(Qt::WindowShortcut);
        }
        const UINT nID = entry.nID;
        connect(action, &QAction::triggered, this, [this, nID] { RouteCommand(nID); });
        addAction(action); // keys work with or without a menu entry
        m_actions.insert(nID, action);

        if (!entry.menu)
            continue;
        const QString title = QString::fromLatin1(entry.menu);
        QMenu* menu = menus.value(title);
        if (!menu) {
            menu = menuBar()->addMenu(title);
            menus.insert(title, menu);
            connect(menu, &QMenu::aboutToShow, this, &CFrameWnd::UpdateCommandUI);
        }
        if (entry.separatorBefore)
            menu->addSeparator();
        menu->addAction(action);
        if (nID == ID_FILE_MRU_FILE1) {
            // The first recent-file entry doubles as the grayed placeholder of an empty list.
            m_pRecentMenu = menu;
            m_pRecentAnchor = action;
        }
    }
    if (m_pRecentAnchor) {
        if (CWinApp* app = AfxGetApp())
            connect(app, &CWinApp::recentFilesChanged, this, &CFrameWnd::rebuildRecentFiles);
        rebuildRecentFiles();
    }
}

void CFrameWnd::rebuildRecentFiles() {
    if (!m_pRecentMenu || !m_pRecentAnchor)
        return;
    qDeleteAll(m_recentActions);
    m_recentActions.clear();
    const QStringList files = AfxGetApp() ? AfxGetApp()->GetRecentFileList() : QStringList();
    const QString prompt = m_pRecentAnchor->statusTip();
    for (qsizetype i = 0; i < files.size() && i < 16; ++i) {
        auto* action =
            new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(abbreviatePath(files.at(i))), this);
        action->setStatusTip(prompt);
        action->setData(files.at(i));
        const UINT nID = ID_FILE_MRU_FILE1 + UINT(i);
        connect(action, &QAction::triggered, this, [this, nID] { RouteCommand(nID); });
        m_pRecentMenu->insertAction(m_pRecentAnchor, action);
        m_recentActions.append(action);
    }
    m_pRecentAnchor->setVisible(files.isEmpty());
    m_pRecentAnchor->setEnabled(false);
}

void CFrameWnd::UpdateCommandUI() {
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        if (it.key() >= ID_FILE_MRU_FILE1 && it.key() <= ID_FILE_MRU_FILE16)
            continue; // the placeholder stays grayed; real entries are separate actions
        CCmdUI ui;
        if (!RouteUpdateCmdUI(it.key(), &ui))
            continue;
        QAction* action = it.value();
        action->setEnabled(ui.m_bEnabled);
        if (ui.m_bChecked && !action->isCheckable())
            action->setCheckable(true);
        if (action->isCheckable())
            action->setChecked(ui.m_bChecked);
    }
}

void CFrameWnd::EnableDocking(unsigned dwDockStyle) {
    m_dwDockStyle = dwDockStyle;
    setDockOptions(dockOptions() | QMainWindow::AnimatedDocks);
}

void CFrameWnd::DockControlBar(QToolBar* pBar) {
    Qt::ToolBarArea area = Qt::TopToolBarArea;
    if (!(m_dwDockStyle & CBRS_ALIGN_TOP)) {
        if (m_dwDockStyle & CBRS_ALIGN_LEFT)
            area = Qt::LeftToolBarArea;
        else if (m_dwDockStyle & CBRS_ALIGN_BOTTOM)
            area = Qt::BottomToolBarArea;
        else if (m_dwDockStyle & CBRS_ALIGN_RIGHT)
            area = Qt::RightToolBarArea;
    }
    addToolBar(area, pBar);
    pBar->show();
}

bool CFrameWnd::OnCmdMsg(UINT nID) {
    if (nID == ID_VIEW_TOOLBAR || nID == ID_VIEW_STATUS_BAR) {
        if (QWidget* bar =
                GetControlBar(nID == ID_VIEW_TOOLBAR ? AFX_IDW_TOOLBAR : AFX_IDW_STATUS_BAR)) {
            bar->setVisible(bar->isHidden());
            UpdateCommandUI();
        }
        return true;
    }
    return false;
}

bool CFrameWnd::OnUpdateCmdUI(UINT nID, CCmdUI* pCmdUI) {
    if (nID == ID_VIEW_TOOLBAR || nID == ID_VIEW_STATUS_BAR) {
        QWidget* bar = GetControlBar(nID == ID_VIEW_TOOLBAR ? AFX_IDW_TOOLBAR : AFX_IDW_STATUS_BAR);
        pCmdUI->Enable(bar != nullptr);
        pCmdUI->SetCheck(bar && !bar->isHidden());
        return true;
    }
    return false;
}
