#pragma once
// The main frame: the log view with the menu, one toolbar and one status bar.
#include "FrameWnd.h"
#include "StatusBar.h"
#include "ToolBar.h"

#include <QTimer>

class CEditView;

class CMainFrame : public CFrameWnd {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    bool PreCreateWindow(unsigned& style) override;
    int OnCreate() override;
    // Gives the view the profile's highlight rules and receipt-time setting.
    bool LoadFrame(unsigned nIDResource, CSingleDocTemplate* pTemplate, CDocument* pDoc) override;

    // Following, receipt times and highlight rules (View), on the log view.
    bool OnCmdMsg(UINT nID) override;
    bool OnUpdateCmdUI(UINT nID, CCmdUI* pCmdUI) override;
    // Refreshes the panes of following and of the messages received (done on a timer).
    void UpdatePanes();

    CStatusBar* GetStatusBar() { return &m_wndStatusBar; }
    CToolBar* GetToolBar() { return &m_wndToolBar; }

protected:
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;

private:
    CEditView* logView() const;
    QTimer m_paneTimer;
};
