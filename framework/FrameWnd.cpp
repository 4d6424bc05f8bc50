#include "FrameWnd.h"

#include "DocTemplate.h"
#include "Document.h"
#include "View.h"
#include "WinApp.h"

#include <QCloseEvent>

CFrameWnd::CFrameWnd() = default;

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
