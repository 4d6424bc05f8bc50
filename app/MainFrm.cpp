#include "MainFrm.h"

#include "CommandTable.h"
#include "EditView.h"
#include "HighlightRules.h"
#include "Images.h"
#include "Profile.h"
#include "Resource.h"

#include <QLocale>

namespace {
const UINT indicators[] = {
    ID_SEPARATOR, // the message pane
    ID_INDICATOR_CAPS,   ID_INDICATOR_NUM,      ID_INDICATOR_SCRL,
    ID_INDICATOR_FOLLOW, ID_INDICATOR_RECEIVED,
};

const QString kLogSection = QStringLiteral("Log");
} // namespace

CMainFrame::CMainFrame() {
    // What the frame's resources give it: menu and accelerators, icon and title.
    LoadCommandTable(TidemarkCommandTable());
    setWindowIcon(DrawMainIcon());
    SetTitle(QString::fromLatin1(kMainFrameTitle));
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::PreCreateWindow(unsigned& style) {
    return CFrameWnd::PreCreateWindow(style);
}

int CMainFrame::OnCreate() {
    if (CFrameWnd::OnCreate() == -1)
        return -1;

    if (!m_wndToolBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_TOP, AFX_IDW_TOOLBAR) ||
        !m_wndToolBar.LoadToolBar(TidemarkToolbarItems(), DrawToolbarBitmap()))
        return -1;

    if (!m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR) ||
        !m_wndStatusBar.SetIndicators(indicators, int(std::size(indicators))))
        return -1;
    // Wide enough for their longest usual texts, so that the bar does not jump as they change.
    const QFontMetrics metrics = m_wndStatusBar.fontMetrics();
    m_wndStatusBar.SetPaneWidth(
        m_wndStatusBar.CommandToIndex(ID_INDICATOR_FOLLOW),
        metrics.horizontalAdvance(QStringLiteral("Paused: 99,999 new lines")) + 12);
    m_wndStatusBar.SetPaneWidth(
        m_wndStatusBar.CommandToIndex(ID_INDICATOR_RECEIVED),
        metrics.horizontalAdvance(QStringLiteral("9,999,999 messages, 99,999/s")) + 12);
    connect(&m_wndStatusBar, &CStatusBar::scrollLockChanged, this, [this](bool on) {
        if (CEditView* view = logView())
            view->SetScrollLock(on);
        UpdatePanes();
    });
    m_paneTimer.setInterval(500);
    connect(&m_paneTimer, &QTimer::timeout, this, &CMainFrame::UpdatePanes);
    m_paneTimer.start();

    m_wndToolBar.SetBarStyle(m_wndToolBar.GetBarStyle() | CBRS_TOOLTIPS | CBRS_FLYBY |
                             CBRS_SIZE_DYNAMIC);

    m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_wndToolBar);
    return 0;
}

bool CMainFrame::LoadFrame(unsigned nIDResource, CSingleDocTemplate* pTemplate, CDocument* pDoc) {
    if (!CFrameWnd::LoadFrame(nIDResource, pTemplate, pDoc))
        return false;
    if (CEditView* view = logView()) {
        view->SetHighlightRules(LoadHighlightRules());
        view->ShowReceiptTimes(GetProfileInt(kLogSection, QStringLiteral("ReceiptTimes"), 0) != 0);
        connect(view, &CEditView::followChanged, this, &CMainFrame::UpdatePanes);
    }
    UpdatePanes();
    return true;
}

CEditView* CMainFrame::logView() const {
    return dynamic_cast<CEditView*>(GetActiveView());
}

void CMainFrame::UpdatePanes() {
    const CEditView* view = logView();
    if (!view)
        return;
    const QLocale locale;
    m_wndStatusBar.SetPaneText(m_wndStatusBar.CommandToIndex(ID_INDICATOR_FOLLOW),
                               view->IsFollowing()
                                   ? QStringLiteral("Following")
                                   : QStringLiteral("Paused: %1 new lines")
                                         .arg(locale.toString(view->GetLinesSincePause())));
    const double rate = view->GetReceivedRate();
    m_wndStatusBar.SetPaneText(m_wndStatusBar.CommandToIndex(ID_INDICATOR_RECEIVED),
                               QStringLiteral("%1 messages, %2/s")
                                   .arg(locale.toString(view->GetReceivedCount()),
                                        locale.toString(rate, 'f', rate < 10 ? 1 : 0)));
}

bool CMainFrame::OnCmdMsg(UINT nID) {
    CEditView* view = logView();
    switch (nID) {
    case ID_VIEW_FOLLOW:
        if (view)
            view->SetFollow(!view->GetFollow());
        return true;
    case ID_VIEW_RECEIPT_TIMES:
        if (view) {
            view->ShowReceiptTimes(!view->AreReceiptTimesShown());
            WriteProfileInt(kLogSection, QStringLiteral("ReceiptTimes"),
                            view->AreReceiptTimesShown() ? 1 : 0);
        }
        return true;
    case ID_VIEW_HIGHLIGHTS: {
        CHighlightDialog dialog(LoadHighlightRules(), this);
        if (dialog.exec() == QDialog::Accepted) {
            SaveHighlightRules(dialog.Rules());
            if (view)
                view->SetHighlightRules(dialog.Rules());
        }
        return true;
    }
    default:
        return CFrameWnd::OnCmdMsg(nID);
    }
}

bool CMainFrame::OnUpdateCmdUI(UINT nID, CCmdUI* pCmdUI) {
    const CEditView* view = logView();
    switch (nID) {
    case ID_VIEW_FOLLOW:
        pCmdUI->Enable(view != nullptr);
        pCmdUI->SetCheck(view && view->GetFollow());
        return true;
    case ID_VIEW_RECEIPT_TIMES:
        pCmdUI->Enable(view != nullptr);
        pCmdUI->SetCheck(view && view->AreReceiptTimesShown());
        return true;
    default:
        return CFrameWnd::OnUpdateCmdUI(nID, pCmdUI);
    }
}
