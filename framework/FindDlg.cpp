#include "FindDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

CFindDialog::CFindDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Find"));
    setModal(false);

    auto* label = new QLabel(QStringLiteral("Fi&nd what:"), this);
    m_pWhat = new QLineEdit(this);
    label->setBuddy(m_pWhat);
    m_pCase = new QCheckBox(QStringLiteral("Match &case"), this);
    auto* direction = new QGroupBox(QStringLiteral("Direction"), this);
    m_pUp = new QRadioButton(QStringLiteral("&Up"), direction);
    m_pDown = new QRadioButton(QStringLiteral("&Down"), direction);
    m_pDown->setChecked(true);
    auto* directionLayout = new QHBoxLayout(direction);
    directionLayout->addWidget(m_pUp);
    directionLayout->addWidget(m_pDown);
    m_pFindNext = new QPushButton(QStringLiteral("&Find Next"), this);
    m_pFindNext->setDefault(true);
    m_pFindNext->setEnabled(false);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_pWhat, 0, 1, 1, 2);
    grid->addWidget(m_pFindNext, 0, 3);
    grid->addWidget(m_pCase, 1, 0, 1, 2, Qt::AlignBottom);
    grid->addWidget(direction, 1, 2);
    grid->addWidget(cancel, 1, 3, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    setTabOrder(m_pWhat, m_pFindNext);
    setTabOrder(m_pFindNext, m_pCase);
    setTabOrder(m_pCase, m_pUp);
    setTabOrder(m_pUp, m_pDown);
    setTabOrder(m_pDown, cancel);

    connect(m_pWhat, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_pFindNext->setEnabled(!text.isEmpty()); });
    connect(m_pFindNext, &QPushButton::clicked, this, &CFindDialog::findNext);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // The dialog sits beside the text; the user resizes it only in width.
    setMinimumWidth(sizeHint().width() + 80);
    setMaximumHeight(sizeHint().height());
}

QString CFindDialog::GetFindString() const {
    return m_pWhat->text();
}

void CFindDialog::SetFindString(const QString& text) {
    m_pWhat->setText(text);
    m_pWhat->selectAll();
}

bool CFindDialog::MatchCase() const {
    return m_pCase->isChecked();
}

void CFindDialog::SetMatchCase(bool on) {
    m_pCase->setChecked(on);
}

bool CFindDialog::SearchDown() const {
    return m_pDown->isChecked();
}

void CFindDialog::SetSearchDown(bool down) {
    (down ? m_pDown : m_pUp)->setChecked(true);
}
