#include "DataExchange.h"

#include "ControlWrappers.h"
#include "Dialog.h"
#include "MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

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
