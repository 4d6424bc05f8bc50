#pragma once
// The frame's status bar: the message pane, the lock-key indicator panes and text panes of the
// program's own.
#include "KeyLockState.h"
#include "WinDef.h"

#include <QLabel>
#include <QList>
#include <QMap>
#include <QStatusBar>

class CFrameWnd;

// The status bar: the message pane (idle text "Ready"), indicator panes for the lock keys, and a
// blank text pane for any other id, which the program fills with SetPaneText.
class CStatusBar : public QStatusBar {
    Q_OBJECT
public:
    CStatusBar() = default;
    bool Create(CFrameWnd* pParent, unsigned dwStyle, UINT nID);
    bool SetIndicators(const UINT* lpIDArray, int nIDCount);
    int CommandToIndex(UINT nID) const { return int(m_indicators.indexOf(nID)); }
    // A text pane's text, and its width in pixels (it never gets narrower than its text).
    bool SetPaneText(int nIndex, const QString& text);
    void SetPaneWidth(int nIndex, int cxWidth);
    int GetCount() const { return m_indicators.size(); }
    UINT GetItemID(int nIndex) const { return m_indicators.value(nIndex); }
    // The text a pane shows now (pane 0: the message pane).
    QString GetPaneText(int nIndex) const;
    // Re-reads the lock keys (normally done on a short timer), or shows the state given.
    void UpdateIndicators();
    void UpdateIndicators(const CKeyLockState& state);

signals:
    // Scroll Lock went on or off.
    void scrollLockChanged(bool bOn);

private:
    QList<UINT> m_indicators;
    QLabel* m_pIdle = nullptr;
    QMap<UINT, QLabel*> m_panes;
    int m_nTimer = 0;
    bool m_bScrollLock = false;

protected:
    void timerEvent(QTimerEvent* event) override;
};
