#pragma once
// The modeless Find dialog of the edit view: the text to find, whether case must match, and the
// direction. Each press of Find Next asks its owner to search once more; the dialog stays open.
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CFindDialog : public QDialog {
    Q_OBJECT
public:
    explicit CFindDialog(QWidget* parent);

    QString GetFindString() const;
    void SetFindString(const QString& text);
    bool MatchCase() const;
    void SetMatchCase(bool on);
    bool SearchDown() const;
    void SetSearchDown(bool down);

    QPushButton* FindNextButton() const { return m_pFindNext; }

signals:
    void findNext();

private:
    QLineEdit* m_pWhat;
    QCheckBox* m_pCase;
    QRadioButton* m_pUp;
    QRadioButton* m_pDown;
    QPushButton* m_pFindNext;
};
