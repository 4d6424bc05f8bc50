#pragma once
// The main frame: the log view with the menu, one toolbar and one status bar.
#include "FrameWnd.h"
#include "StatusBar.h"
#include "ToolBar.h"

class CMainFrame : public CFrameWnd {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    bool PreCreateWindow(unsigned& style) override;
    int OnCreate() override;

    CStatusBar* GetStatusBar() { return &m_wndStatusBar; }
    CToolBar* GetToolBar() { return &m_wndToolBar; }

protected:
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;
};
