#pragma once
// The frame's status bar: the message pane and the lock-key indicator panes.
#include "WinDef.h"

#include <QLabel>
#include <QList>
#include <QMap>
#include <QStatusBar>

class CFrameWnd;

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
