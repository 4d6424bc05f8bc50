#pragma once
// The frame window: a QMainWindow that holds the view, routes commands and shows its title.
#include "CmdTarget.h"

#include <QLabel>
#include <QMainWindow>
#include <QMap>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QStatusBar>
#include <QToolBar>
#include <memory>
#include <span>

class CView;
class CDocument;
class CSingleDocTemplate;

enum : unsigned {
    FWS_ADDTOTITLE = 0x00008000,
    FWS_PREFIXTITLE = 0x00004000,
};

// Control-bar styles.
enum : unsigned {
    WS_CHILD = 0x40000000,
    WS_VISIBLE = 0x10000000,
    CBRS_ALIGN_LEFT = 0x1000,
    CBRS_ALIGN_TOP = 0x2000,
    CBRS_ALIGN_RIGHT = 0x4000,
    CBRS_ALIGN_BOTTOM = 0x8000,
    CBRS_ALIGN_ANY = 0xF000,
    CBRS_TOP = CBRS_ALIGN_TOP | 0x0200,
    CBRS_BOTTOM = CBRS_ALIGN_BOTTOM | 0x0100,
    CBRS_TOOLTIPS = 0x0010,
    CBRS_FLYBY = 0x0020,
    CBRS_SIZE_DYNAMIC = 0x0004,
};

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

class CFrameWnd;

// The toolbar: buttons for commands of the frame's table, each image cut in turn from one
// strip of 16-pixel-wide images.
class CToolBar : public QToolBar {
    Q_OBJECT
public:
    CToolBar() = default;
    bool Create(CFrameWnd* pParent, unsigned dwStyle, UINT nID);
    // items: command ids in order, ID_SEPARATOR for a separator.
    bool LoadToolBar(std::span<const UINT> items, const QPixmap& bitmap);
    unsigned GetBarStyle() const { return m_dwStyle; }
    void SetBarStyle(unsigned dwStyle);
    void EnableDocking(unsigned dwDockStyle);
    // The ids of the items in order (ID_SEPARATOR for separators).
    QList<UINT> GetItemIds() const;
    QAction* GetItemAction(int index) const;

private:
    CFrameWnd* m_pFrame = nullptr;
    unsigned m_dwStyle = 0;
    QList<UINT> m_items;
};

// The status bar: the message pane (idle text "Ready") and indicator panes for the lock keys.
class CStatusBar : public QStatusBar {
    Q_OBJECT
public:
    CStatusBar() = default;
    bool Create(CFrameWnd* pParent, unsigned dwStyle, UINT nID);
    bool SetIndicators(const UINT* lpIDArray, int nIDCount);
    int GetCount() const { return m_indicators.size(); }
    UINT GetItemID(int nIndex) const { return m_indicators.value(nIndex); }
    // The text a pane shows now (pane 0: the message pane).
    QString GetPaneText(int nIndex) const;
    // Re-reads the lock keys (normally done on a short timer).
    void UpdateIndicators();

private:
    QList<UINT> m_indicators;
    QLabel* m_pIdle = nullptr;
    QMap<UINT, QLabel*> m_panes;
    int m_nTimer = 0;

protected:
    void timerEvent(QTimerEvent* event) override;
};

// Lock-key state as the platform reports it; false for each the platform cannot tell.
struct CKeyLockState {
    bool bKnown = false;
    bool bCaps = false, bNum = false, bScroll = false;
};
CKeyLockState AfxGetKeyLockState();

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
