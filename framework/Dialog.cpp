#include "Dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CDialog::CDialog(QWidget* parent) : QDialog(parent) {
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

int CDialog::DoModal() {
    m_inDoModal = true;
    setResult(0);
    if (OnInitDialog()) {
        // Focus to the first control that takes it, in tab order.
        QWidget* first = nullptr;
        for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
            if (w->isWindow())
                break;
            if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) {
                first = w;
                break;
            }
        }
        if (first)
            first->setFocus(Qt::TabFocusReason);
    }
    const int r = exec();
    m_inDoModal = false;
    return r;
}

bool CDialog::UpdateData(bool bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const CUserException&) {
        return false;
    }
    return true;
}

void CDialog::EndDialog(int nResult) {
    QDialog::done(nResult);
}

void CDialog::GotoDlgCtrl(QWidget* w) {
    if (!w)
        return;
    w->setFocus(Qt::TabFocusReason);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->selectAll();
}

void CDialog::NextDlgCtrl() {
    const auto isTabStop = [this](QWidget* w) {
        return w != this && !w->isWindow() && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
               m_controls.key(w, 0) != 0;
    };
    QWidget* current = focusWidget();
    if (!current) {
        // Nothing focused yet (during OnInitDialog): the control the dialog focuses by default,
        // its first tab stop, counts as the current one.
        for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
            if (isTabStop(w)) {
                current = w;
                break;
            }
        }
    }
    QWidget* w = current ? current->nextInFocusChain() : nextInFocusChain();
    for (; w && w != current; w = w->nextInFocusChain()) {
        if (isTabStop(w)) {
            GotoDlgCtrl(w);
            return;
        }
    }
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (!UpdateData(true))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::accept() {
    OnOK();
}
void CDialog::reject() {
    OnCancel();
}

QRect CDialog::MapDialogRect(int x, int y, int cx, int cy) const {
    const QFontMetrics fm(font());
    const int baseX = (fm.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                           26 +
                       1) /
                      2;
    const int baseY = fm.height();
    return QRect(x * baseX / 4, y * baseY / 8, cx * baseX / 4, cy * baseY / 8);
}

void CDialog::SetTemplateSize(const QString& caption, int cx, int cy) {
    setWindowTitle(caption);
    const QRect r = MapDialogRect(0, 0, cx, cy);
    setFixedSize(r.size());
}

void CDialog::placeControl(int nID, QWidget* w, int x, int y, int cx, int cy) {
    w->setParent(this);
    w->setGeometry(MapDialogRect(x, y, cx, cy));
    if (nID == -1 || nID == 0)
        nID = m_nextAnonymous--;
    w->setProperty("dlgCtrlId", nID);
    m_controls.insert(nID, w);
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        if (nID == IDOK)
            connect(b, &QPushButton::clicked, this, [this] { OnOK(); });
        else if (nID == IDCANCEL)
            connect(b, &QPushButton::clicked, this, [this] { OnCancel(); });
    }
}

QLabel* CDialog::AddStatic(int nID, const QString& text, int x, int y, int cx, int cy,
                           Qt::Alignment align) {
    auto* l = new QLabel(text, this);
    l->setAlignment(align | Qt::AlignTop);
    l->setTextFormat(Qt::PlainText);
    return AddControl(nID, l, x, y, cx, cy);
}

void CDialog::GrowControlsToText() {
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w))
            continue;
        const QSize need = w->sizeHint();
        QRect r = w->geometry();
        if (need.width() > r.width())
            r.setWidth(need.width());
        if (qobject_cast<QCheckBox*>(w) && need.height() > r.height()) {
            r.translate(0, -(need.height() - r.height()) / 2);
            r.setHeight(need.height());
        }
        w->setGeometry(r);
    }
}

void CDialog::AddGroupBox(const QString& text, int x, int y, int cx, int cy) {
    auto* g = new QGroupBox(text, this);
    AddControl(-1, g, x, y, cx, cy);
    g->lower(); // frames sit behind the controls they frame
}
