#include "ControlWrappers.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include <algorithm>

bool CWnd::SubclassWindow(QWidget* w) {
    if (!w || m_hWnd)
        return false;
    m_hWnd = w;
    PreSubclassWindow();
    return true;
}

int CWnd::GetDlgCtrlID() const {
    return m_hWnd ? m_hWnd->property("dlgCtrlId").toInt() : 0;
}

void CWnd::SetWindowText(const QString& text) {
    if (auto* l = qobject_cast<QLabel*>(m_hWnd.data()))
        l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(m_hWnd.data()))
        b->setText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(m_hWnd.data()))
        e->setText(text);
    else if (m_hWnd)
        m_hWnd->setWindowTitle(text);
}

QString CWnd::GetWindowText() const {
    if (auto* l = qobject_cast<QLabel*>(m_hWnd.data()))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(m_hWnd.data()))
        return b->text();
    if (auto* e = qobject_cast<QLineEdit*>(m_hWnd.data()))
        return e->text();
    return m_hWnd ? m_hWnd->windowTitle() : QString();
}

QLabel* CStatic::label() const {
    return qobject_cast<QLabel*>(m_hWnd.data());
}
QComboBox* CComboBox::combo() const {
    return qobject_cast<QComboBox*>(m_hWnd.data());
}
QSlider* CSliderCtrl::slider() const {
    return qobject_cast<QSlider*>(m_hWnd.data());
}

namespace {
// The platform's trackbar sets its page size to a fifth of the range whenever the range changes.
void resetPageSize(QSlider* s) {
    s->setPageStep(std::max(1, (s->maximum() - s->minimum()) / 5));
}
} // namespace

void CSliderCtrl::SetRangeMin(int nMin, BOOL bRedraw) {
    if (QSlider* s = slider()) {
        s->setMinimum(nMin);
        resetPageSize(s);
        if (bRedraw)
            s->update();
    }
}

void CSliderCtrl::SetRangeMax(int nMax, BOOL bRedraw) {
    if (QSlider* s = slider()) {
        s->setMaximum(nMax);
        resetPageSize(s);
        if (bRedraw)
            s->update();
    }
}

void CSliderCtrl::SetTicFreq(int nFreq) {
    if (QSlider* s = slider())
        s->setTickInterval(nFreq);
}

void CSliderCtrl::SetPos(int nPos) {
    if (QSlider* s = slider())
        s->setValue(nPos);
}

int CSliderCtrl::GetPos() const {
    return slider() ? slider()->value() : 0;
}
int CSliderCtrl::GetPageSize() const {
    return slider() ? slider()->pageStep() : 0;
}
int CSliderCtrl::GetLineSize() const {
    return slider() ? slider()->singleStep() : 0;
}

void CComboBox::ResetContent() {
    if (QComboBox* c = combo()) {
        c->clear();
        c->setEditText(QString());
    }
}

int CComboBox::AddString(const QString& s) {
    QComboBox* c = combo();
    if (!c)
        return -1;
    int index = c->count();
    if (m_bSort) {
        // The platform's sorted list: case-insensitive order, a new equal entry after the old.
        index = 0;
        while (index < c->count() &&
               QString::compare(c->itemText(index), s, Qt::CaseInsensitive) <= 0)
            ++index;
    }
    const QString edit = c->currentText();
    c->insertItem(index, s);
    if (c->isEditable())
        c->setEditText(edit); // adding to the list never changes the edit field
    return index;
}

int CComboBox::GetCount() const {
    return combo() ? combo()->count() : 0;
}
QString CComboBox::GetLBText(int index) const {
    return combo() ? combo()->itemText(index) : QString();
}

int CComboBox::SelectString(int startAfter, const QString& prefix) {
    QComboBox* c = combo();
    if (!c || c->count() == 0)
        return -1;
    const int n = c->count();
    for (int k = 1; k <= n; ++k) {
        const int i = (startAfter + k) % n;
        if (c->itemText(i).startsWith(prefix, Qt::CaseInsensitive)) {
            c->setCurrentIndex(i);
            if (c->isEditable())
                c->setEditText(c->itemText(i));
            return i;
        }
    }
    return -1;
}
