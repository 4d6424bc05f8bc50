#include "MainFrm.h"

#include "CommandTable.h"
#include "Images.h"
#include "Resource.h"

namespace {
const UINT indicators[] = {
    ID_SEPARATOR, // the message pane
    ID_INDICATOR_CAPS,
    ID_INDICATOR_NUM,
    ID_INDICATOR_SCRL,
};
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

    m_wndToolBar.SetBarStyle(m_wndToolBar.GetBarStyle() | CBRS_TOOLTIPS | CBRS_FLYBY |
                             CBRS_SIZE_DYNAMIC);

    m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_wndToolBar);
    return 0;
}
