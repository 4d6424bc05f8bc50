#pragma once
// Reaching into the Options dialog from its tests.
#include "OptionsDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

class TestOptionsDlg : public COptionsDlg {
public:
    QSlider* slider() const { return qobject_cast<QSlider*>(GetDlgItem(IDC_TIMERSLIDER)); }
    QLabel* value() const { return qobject_cast<QLabel*>(GetDlgItem(IDC_TIMERVALUE)); }
    QLineEdit* pipeName() const { return qobject_cast<QLineEdit*>(GetDlgItem(IDC_PIPENAME)); }
    QCheckBox* check(int id) const { return qobject_cast<QCheckBox*>(GetDlgItem(id)); }
    QPushButton* button(int id) const { return qobject_cast<QPushButton*>(GetDlgItem(id)); }
};
