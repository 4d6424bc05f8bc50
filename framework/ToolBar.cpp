#include "ToolBar.h"

#include "FrameWnd.h"

#include <QEvent>
#include <QToolButton>

namespace {
// Keeps tooltips and fly-by prompts of the toolbar's buttons to what the bar style allows.
class BarStyleFilter : public QObject {
public:
    BarStyleFilter(CToolBar* bar) : QObject(bar), m_bar(bar) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip && !(m_bar->GetBarStyle() & CBRS_TOOLTIPS))
            return true;
        if (event->type() == QEvent::StatusTip && !(m_bar->GetBarStyle() & CBRS_FLYBY))
            return true;
        return QObject::eventFilter(watched, event);
    }

private:
    CToolBar* m_bar;
};

Qt::ToolBarAreas areasFor(unsigned dwStyle) {
    Qt::ToolBarAreas areas;
    if (dwStyle & CBRS_ALIGN_LEFT)
        areas |= Qt::LeftToolBarArea;
    if (dwStyle & CBRS_ALIGN_TOP)
        areas |= Qt::TopToolBarArea;
    if (dwStyle & CBRS_ALIGN_RIGHT)
        areas |= Qt::RightToolBarArea;
    if (dwStyle & CBRS_ALIGN_BOTTOM)
        areas |= Qt::BottomToolBarArea;
    return areas;
}
} // namespace

bool CToolBar::Create(CFrameWnd* pParent, unsigned dwStyle, UINT nID) {
    if (!pParent)
        return false;
    m_pFrame = pParent;
    m_dwStyle = dwStyle & ~(WS_CHILD | WS_VISIBLE);
    setObjectName(QStringLiteral("ToolBar%1").arg(nID));
    setWindowTitle(QStringLiteral("Toolbar"));
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setMovable(false);
    setFloatable(false);
    setAllowedAreas(areasFor(m_dwStyle));
    pParent->addToolBar(areasFor(m_dwStyle) & Qt::BottomToolBarArea ? Qt::BottomToolBarArea
                                                                    : Qt::TopToolBarArea,
                        this);
    pParent->RegisterControlBar(nID, this);
    setVisible(dwStyle & WS_VISIBLE);
    return true;
}

bool CToolBar::LoadToolBar(std::span<const UINT> items, const QPixmap& bitmap) {
    if (!m_pFrame || bitmap.isNull())
        return false;
    auto* filter = new BarStyleFilter(this);
    int image = 0;
    for (UINT nID : items) {
        if (nID == ID_SEPARATOR) {
            addSeparator();
            m_items.append(ID_SEPARATOR);
            continue;
        }
        QAction* action = m_pFrame->GetCommandAction(nID);
        if (!action || (image + 1) * 16 > bitmap.width())
            return false;
        action->setIcon(QIcon(bitmap.copy(image * 16, 0, 16, 16)));
        ++image;
        addAction(action);
        m_items.append(nID);
        if (auto* button = qobject_cast<QToolButton*>(widgetForAction(action))) {
            button->setAutoRaise(false); // ordinary raised buttons, not flat ones
            button->installEventFilter(filter);
        }
    }
    return true;
}

void CToolBar::SetBarStyle(unsigned dwStyle) {
    m_dwStyle = dwStyle;
}

void CToolBar::EnableDocking(unsigned dwDockStyle) {
    setAllowedAreas(areasFor(dwDockStyle));
    const bool dockable = (dwDockStyle & CBRS_ALIGN_ANY) != 0;
    setMovable(dockable);
    setFloatable(dockable);
}

QList<UINT> CToolBar::GetItemIds() const {
    return m_items;
}

QAction* CToolBar::GetItemAction(int index) const {
    const QList<QAction*> all = actions();
    return index >= 0 && index < all.size() ? all.at(index) : nullptr;
}
