#pragma once
// The frame window: a QMainWindow that holds the view, routes commands, builds its menu from a
// command table and shows its title. Its tool bar and status bar live in ToolBar.h and StatusBar.h.
#include "CmdTarget.h"

#include <QMainWindow>
#include <QMap>
#include <QMenu>
#include <QPointer>
#include <QToolBar>
#include <memory>
#include <span>

class CView;
class CDocument;
class CSingleDocTemplate;

// One command of a program's command table. The frame builds its menu bar, accelerator keys,
// toolbar buttons and status-bar prompts from such a table.
struct CCommandEntry {
    UINT nID;
    const char* name;     // the id's symbol, e.g. "ID_FILE_NEW"
    const char* menu;     // top-level menu title ("&File"), or nullptr for no menu entry
    const char* menuText; // entry text, a tab before the key shown ("&New\tCtrl+N")
    const char* keys;     // accelerator keys, "; " between several ("Ctrl+Z; Alt+Backspace")
    const char* prompt;   // status-bar text, a line feed, tooltip text
    int toolbarSlot;      // item position on the toolbar (1-based, separators counted), or 0
    bool separatorBefore; // a menu separator goes before this entry
};

class CFrameWnd : public QMainWindow, public CCmdTarget {
    Q_OBJECT
public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Creates the window (OnCreate), the view from the template and joins it to the document.
    virtual bool LoadFrame(unsigned nIDResource, CSingleDocTemplate* pTemplate, CDocument* pDoc);
    virtual bool PreCreateWindow(unsigned& style) {
        (void)style;
        return true;
    }
    // -1 aborts creation.
    virtual int OnCreate() { return 0; }

    CView* GetActiveView() const { return m_pView.get(); }
    CDocument* GetActiveDocument() const;
    void InitialUpdateFrame(CDocument* pDoc, bool bMakeVisible);
    // "<document title> - <application title>".
    virtual void OnUpdateFrameTitle();
    void SetTitle(const QString& title) {
        m_strTitle = title;
        OnUpdateFrameTitle();
    }

    // Sends a command along the route: view, document, frame, application.
    bool RouteCommand(UINT nID);
    bool RouteUpdateCmdUI(UINT nID, CCmdUI* pCmdUI);

    // Builds one action per command of the table (prompt, tooltip, keys), the menu bar from the
    // entries with a menu, and keeps the recent-file entries of the File menu current. Keys of
    // commands without a menu entry still work.
    void LoadCommandTable(std::span<const CCommandEntry> table);
    QAction* GetCommandAction(UINT nID) const { return m_actions.value(nID); }
    // Refreshes the enabled and checked state of every command through RouteUpdateCmdUI.
    void UpdateCommandUI();

    void EnableDocking(unsigned dwDockStyle);
    void DockControlBar(QToolBar* pBar);
    // A control bar the frame holds, by window id (AFX_IDW_TOOLBAR, AFX_IDW_STATUS_BAR).
    QWidget* GetControlBar(UINT nID) const { return m_controlBars.value(nID); }
    void RegisterControlBar(UINT nID, QWidget* pBar) { m_controlBars.insert(nID, pBar); }

    // Shows or hides a control bar (View, Toolbar / Status Bar), with check marks.
    bool OnCmdMsg(UINT nID) override;
    bool OnUpdateCmdUI(UINT nID, CCmdUI* pCmdUI) override;

protected:
    void rebuildRecentFiles();
    QMap<UINT, QAction*> m_actions;
    QMap<UINT, QPointer<QWidget>> m_controlBars;
    QPointer<QMenu> m_pRecentMenu;
    QAction* m_pRecentAnchor = nullptr; // the placeholder entry; files are inserted before it
    QList<QAction*> m_recentActions;
    unsigned m_dwDockStyle = 0;

    void closeEvent(QCloseEvent* event) override;
    std::unique_ptr<CView> m_pView;
    QString m_strTitle;
    unsigned m_style = 0;
};
