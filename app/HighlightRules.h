#pragma once
// The log's highlight rules: the defaults (errors in red, warnings in amber), keeping them in
// the profile, and the small dialog that edits them.
#include "EditView.h"

#include <QDialog>
#include <vector>

class QTableWidget;

std::vector<CHighlightRule> DefaultHighlightRules();
// From the profile's "Highlights" section; the defaults while it holds none.
std::vector<CHighlightRule> LoadHighlightRules();
void SaveHighlightRules(const std::vector<CHighlightRule>& rules);

// A table of rules, one a row: its colour (double-click to choose) and its regular expression.
// OK checks every expression and keeps the dialog open on one that does not compile.
class CHighlightDialog : public QDialog {
    Q_OBJECT
public:
    explicit CHighlightDialog(const std::vector<CHighlightRule>& rules, QWidget* parent = nullptr);
    std::vector<CHighlightRule> Rules() const;
    QTableWidget* Table() const { return m_pTable; }
    void accept() override;

private:
    void addRow(const CHighlightRule& rule);
    void setRules(const std::vector<CHighlightRule>& rules);
    QTableWidget* m_pTable;
};
