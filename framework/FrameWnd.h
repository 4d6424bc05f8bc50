#pragma once
// The frame window: a QMainWindow that holds the view, routes commands and shows its title.
#include "CmdTarget.h"

#include <QMainWindow>
#include <memory>

class CView;
class CDocument;
class CSingleDocTemplate;

enum : unsigned {
    FWS_ADDTOTITLE = 0x00008000,
    FWS_PREFIXTITLE = 0x00004000,
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

protected:
    void closeEvent(QCloseEvent* event) override;
    std::unique_ptr<CView> m_pView;
    QString m_strTitle;
    unsigned m_style = 0;
};
