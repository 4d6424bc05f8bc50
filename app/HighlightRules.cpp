#include "HighlightRules.h"

#include "MessageBox.h"
#include "Profile.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const QString kSection = QStringLiteral("Highlights");

QTableWidgetItem* colourItem(const QColor& colour) {
    auto* item = new QTableWidgetItem(colour.name());
    item->setData(Qt::DecorationRole, colour);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}
} // namespace

std::vector<CHighlightRule> DefaultHighlightRules() {
    // The words as people write them: in capitals, capitalised or in lower case.
    return {
        {QStringLiteral("\\bORA-\\d{5}\\b|\\b(?:ERROR|Error|error|EXCEPTION|Exception|exception|"
                        "FATAL|Fatal|fatal)\\b"),
         QColor(0xe0, 0x1b, 0x24)},
        {QStringLiteral("\\b(?:WARNING|Warning|warning|WARN|Warn|warn)\\b"),
         QColor(0xf5, 0xa6, 0x00)},
    };
}

std::vector<CHighlightRule> LoadHighlightRules() {
    const int count = GetProfileInt(kSection, QStringLiteral("Count"), -1);
    if (count < 0)
        return DefaultHighlightRules();
    std::vector<CHighlightRule> rules;
    for (int i = 1; i <= count && i <= CEditView::kMaxHighlightRules; ++i)
        rules.push_back(
            {GetProfileString(kSection, QStringLiteral("Pattern%1").arg(i)),
             QColor::fromString(GetProfileString(kSection, QStringLiteral("Colour%1").arg(i)))});
    return rules;
}

void SaveHighlightRules(const std::vector<CHighlightRule>& rules) {
    WriteProfileInt(kSection, QStringLiteral("Count"), int(rules.size()));
    for (std::size_t i = 0; i < rules.size(); ++i) {
        WriteProfileString(kSection, QStringLiteral("Pattern%1").arg(i + 1), rules[i].pattern);
        WriteProfileString(kSection, QStringLiteral("Colour%1").arg(i + 1), rules[i].colour.name());
    }
}

CHighlightDialog::CHighlightDialog(const std::vector<CHighlightRule>& rules, QWidget* parent)
    : QDialog(parent), m_pTable(new QTableWidget(0, 2, this)) {
    setWindowTitle(QStringLiteral("Highlight Rules"));
    m_pTable->setHorizontalHeaderLabels(
        {QStringLiteral("Colour"), QStringLiteral("Lines matching")});
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->verticalHeader()->hide();
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    setRules(rules);
    m_pTable->resizeColumnToContents(0);
    connect(m_pTable, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column != 0)
            return;
        const QColor colour = QColorDialog::getColor(
            m_pTable->item(row, 0)->data(Qt::DecorationRole).value<QColor>(), this);
        if (colour.isValid())
            m_pTable->setItem(row, 0, colourItem(colour));
    });

    auto* add = new QPushButton(QStringLiteral("&Add"));
    auto* remove = new QPushButton(QStringLiteral("&Remove"));
    auto* defaults = new QPushButton(QStringLiteral("&Defaults"));
    connect(add, &QPushButton::clicked, this, [this] {
        addRow({QString(), QColor(0x1c, 0x71, 0xd8)});
        m_pTable->editItem(m_pTable->item(m_pTable->rowCount() - 1, 1));
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_pTable->currentRow() >= 0)
            m_pTable->removeRow(m_pTable->currentRow());
    });
    connect(defaults, &QPushButton::clicked, this, [this] { setRules(DefaultHighlightRules()); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CHighlightDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(add);
    row->addWidget(remove);
    row->addWidget(defaults);
    row->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTable);
    layout->addLayout(row);
    layout->addWidget(buttons);
    resize(560, 260);
}

void CHighlightDialog::addRow(const CHighlightRule& rule) {
    const int row = m_pTable->rowCount();
    m_pTable->insertRow(row);
    m_pTable->setItem(row, 0, colourItem(rule.colour));
    m_pTable->setItem(row, 1, new QTableWidgetItem(rule.pattern));
}

void CHighlightDialog::setRules(const std::vector<CHighlightRule>& rules) {
    m_pTable->setRowCount(0);
    for (const CHighlightRule& rule : rules)
        addRow(rule);
}

std::vector<CHighlightRule> CHighlightDialog::Rules() const {
    std::vector<CHighlightRule> rules;
    for (int row = 0; row < m_pTable->rowCount(); ++row) {
        const QString pattern = m_pTable->item(row, 1)->text();
        if (!pattern.isEmpty())
            rules.push_back(
                {pattern, m_pTable->item(row, 0)->data(Qt::DecorationRole).value<QColor>()});
    }
    return rules;
}

void CHighlightDialog::accept() {
    for (int row = 0; row < m_pTable->rowCount(); ++row) {
        const QRegularExpression re(m_pTable->item(row, 1)->text());
        if (!re.isValid()) {
            AfxMessageBox(QStringLiteral("The expression of rule %1 is not valid: %2.")
                              .arg(row + 1)
                              .arg(re.errorString()),
                          MB_ICONEXCLAMATION);
            m_pTable->setCurrentCell(row, 1);
            return;
        }
    }
    if (m_pTable->rowCount() > CEditView::kMaxHighlightRules) {
        AfxMessageBox(
            QStringLiteral("No more than %1 rules can be used.").arg(CEditView::kMaxHighlightRules),
            MB_ICONEXCLAMATION);
        return;
    }
    QDialog::accept();
}
