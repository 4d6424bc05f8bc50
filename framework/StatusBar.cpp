#include "StatusBar.h"

#include "FrameWnd.h"
#include "KeyLockState.h"

#include <QTimerEvent>

bool CStatusBar::Create(CFrameWnd* pParent, unsigned dwStyle, UINT nID) {
    if (!pParent)
        return false;
    setObjectName(QStringLiteral("StatusBar%1").arg(nID));
    pParent->setStatusBar(this);
    pParent->RegisterControlBar(nID, this);
    setVisible(dwStyle & WS_VISIBLE);
    return true;
}

bool CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount) {
    if (!lpIDArray || nIDCount < 1)
        return false;
    for (int i = 0; i < nIDCount; ++i) {
        const UINT nID = lpIDArray[i];
        m_indicators.append(nID);
        if (nID == ID_SEPARATOR) {
            if (!m_pIdle) {
                m_pIdle = new QLabel(QStringLiteral("Ready"), this);
                addWidget(m_pIdle, 1);
            }
            continue;
        }
        QString text;
        switch (nID) {
        case ID_INDICATOR_CAPS:
            text = QStringLiteral("CAP");
            break;
        case ID_INDICATOR_NUM:
            text = QStringLiteral("NUM");
            break;
        case ID_INDICATOR_SCRL:
            text = QStringLiteral("SCRL");
            break;
        default:
            break; // a text pane of the program's
        }
        auto* pane = new QLabel(this);
        pane->setFrameShape(QFrame::Panel);
        pane->setFrameShadow(QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        if (!text.isEmpty()) {
            pane->setProperty("indicatorText", text);
            pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(text) + 12);
        }
        addPermanentWidget(pane);
        m_panes.insert(nID, pane);
    }
    UpdateIndicators();
    if (!m_panes.isEmpty() && AfxGetKeyLockState().bKnown)
        m_nTimer = startTimer(250);
    return true;
}

QString CStatusBar::GetPaneText(int nIndex) const {
    const UINT nID = GetItemID(nIndex);
    if (nIndex < 0 || nIndex >= m_indicators.size())
        return QString();
    if (nID == ID_SEPARATOR)
        return currentMessage().isEmpty() && m_pIdle ? m_pIdle->text() : currentMessage();
    const QLabel* pane = m_panes.value(nID);
    return pane ? pane->text() : QString();
}

bool CStatusBar::SetPaneText(int nIndex, const QString& text) {
    QLabel* pane = m_panes.value(GetItemID(nIndex));
    if (nIndex < 0 || nIndex >= m_indicators.size() || !pane ||
        pane->property("indicatorText").isValid())
        return false;
    if (pane->text() != text)
        pane->setText(text);
    return true;
}

void CStatusBar::SetPaneWidth(int nIndex, int cxWidth) {
    if (QLabel* pane = m_panes.value(GetItemID(nIndex)); pane && nIndex > 0)
        pane->setMinimumWidth(cxWidth);
}

void CStatusBar::UpdateIndicators() {
    UpdateIndicators(AfxGetKeyLockState());
}

void CStatusBar::UpdateIndicators(const CKeyLockState& state) {
    if (state.bScroll != m_bScrollLock) {
        m_bScrollLock = state.bScroll;
        emit scrollLockChanged(m_bScrollLock);
    }
    for (auto it = m_panes.cbegin(); it != m_panes.cend(); ++it) {
        if (!it.value()->property("indicatorText").isValid())
            continue;
        bool on = false;
        if (it.key() == ID_INDICATOR_CAPS)
            on = state.bCaps;
        else if (it.key() == ID_INDICATOR_NUM)
            on = state.bNum;
        else if (it.key() == ID_INDICATOR_SCRL)
            on = state.bScroll;
        const QString text = on ? it.value()->property("indicatorText").toString() : QString();
        if (it.value()->text() != text)
            it.value()->setText(text);
    }
}

void CStatusBar::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_nTimer)
        UpdateIndicators();
    else
        QStatusBar::timerEvent(event);
}
