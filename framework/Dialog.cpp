#include "Dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <algorithm>

namespace {
struct CUserException {}; // a failed exchange; caught by UpdateData
} // namespace

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

QWidget* CDataExchange::PrepareCtrl(int id) {
    QWidget* w = m_pDlgWnd->GetDlgItem(id);
    Q_ASSERT_X(w, "CDataExchange", "no control with that id in the template");
    m_pLastCtrl = w;
    return w;
}

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_pLastCtrl) {
        m_pLastCtrl->setFocus();
        if (auto* e = qobject_cast<QLineEdit*>(m_pLastCtrl))
            e->selectAll();
        else if (auto* c = qobject_cast<QComboBox*>(m_pLastCtrl); c && c->lineEdit())
            c->lineEdit()->selectAll();
    }
    throw CUserException{};
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (!rControl.GetSafeHwnd())
        rControl.SubclassWindow(pDX->PrepareCtrl(nIDC));
}

void DDX_Text(CDataExchange* pDX, int nIDC, QString& value) {
    QWidget* w = pDX->PrepareCtrl(nIDC);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (pDX->m_bSaveAndValidate) {
            value = e->text();
        } else {
            // The typing limit is no limit on what the program puts in: the text goes in whole.
            e->setMaxLength(std::max(e->maxLength(), int(value.size())));
            e->setText(value);
        }
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        if (pDX->m_bSaveAndValidate)
            value = l->text();
        else
            l->setText(value);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (pDX->m_bSaveAndValidate)
            value = c->currentText();
        else
            c->setEditText(value);
    }
}

void DDX_CBString(CDataExchange* pDX, int nIDC, QString& value) {
    auto* c = qobject_cast<QComboBox*>(pDX->PrepareCtrl(nIDC));
    if (!c)
        return;
    if (pDX->m_bSaveAndValidate) {
        value = c->currentText();
        return;
    }
    // Select the first entry that begins with the value, ignoring case; else show the text.
    // Every entry begins with the empty string, so an empty value selects the first entry.
    for (int i = 0; i < c->count(); ++i) {
        if (c->itemText(i).startsWith(value, Qt::CaseInsensitive)) {
            c->setCurrentIndex(i);
            if (c->isEditable())
                c->setEditText(c->itemText(i));
            return;
        }
    }
    if (c->isEditable())
        c->setEditText(value);
}

void DDX_Check(CDataExchange* pDX, int nIDC, BOOL& value) {
    auto* b = qobject_cast<QCheckBox*>(pDX->PrepareCtrl(nIDC));
    if (!b)
        return;
    if (pDX->m_bSaveAndValidate)
        value = b->isChecked() ? 1 : 0;
    else
        b->setChecked(value != 0);
}

void DDV_MaxChars(CDataExchange* pDX, const QString& value, int nChars) {
    if (pDX->m_bSaveAndValidate) {
        if (value.size() > nChars) {
            AfxMessageBox(QStringLiteral("Please enter no more than %1 characters.").arg(nChars),
                          MB_ICONEXCLAMATION);
            pDX->Fail();
        }
    } else if (auto* e = qobject_cast<QLineEdit*>(pDX->m_pLastCtrl)) {
        // Typing is limited (an edit box's combo is not). Longer text already in the box stays
        // whole, to be refused above rather than cut and used: typing may shorten it, never
        // lengthen it.
        const bool limited = e->property("maxChars").isValid();
        e->setProperty("maxChars", nChars);
        const auto limit = [e] {
            e->setMaxLength(std::max(e->property("maxChars").toInt(), int(e->text().size())));
        };
        limit();
        if (!limited)
            QObject::connect(e, &QLineEdit::textChanged, e, limit);
    }
}

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
