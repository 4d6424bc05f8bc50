#pragma once
// The frame's toolbar: buttons for commands of the frame's command table.
#include "WinDef.h"

#include <QList>
#include <QPixmap>
#include <QToolBar>
#include <span>

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
