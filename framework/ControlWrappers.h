#pragma once
// The control wrappers: objects that drive a dialog's controls with the framework's calls
// (SetWindowText, AddString, SetPos, ...), bound to the template's controls by DDX_Control.
#include "AfxTypes.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QComboBox;
class QSlider;

// A control wrapper bound to a template control by DDX_Control. Subclassing keeps the widget
// owned by the dialog; the wrapper only drives it.
class CWnd {
public:
    virtual ~CWnd() = default;
    QWidget* GetSafeHwnd() const { return m_hWnd; }
    bool SubclassWindow(QWidget* w);
    int GetDlgCtrlID() const;
    void SetWindowText(const QString& text);
    QString GetWindowText() const;

protected:
    virtual void PreSubclassWindow() {}
    QPointer<QWidget> m_hWnd;
};

class CStatic : public CWnd {
public:
    QLabel* label() const;
};

class CComboBox : public CWnd {
public:
    QComboBox* combo() const;
    void ResetContent();
    int AddString(const QString& s); // inserts in sorted position when the box sorts
    int GetCount() const;
    QString GetLBText(int index) const;
    int SelectString(int startAfter, const QString& prefix); // -1 when none begins with prefix
    void SetSorted(bool sorted) { m_bSort = sorted; }

private:
    bool m_bSort = false;
};

// The trackbar. As on the platform, a new range resets the page size to a fifth of the range
// (at least 1); the line size stays 1.
class CSliderCtrl : public CWnd {
public:
    QSlider* slider() const;
    void SetRangeMin(int nMin, BOOL bRedraw = 0);
    void SetRangeMax(int nMax, BOOL bRedraw = 0);
    void SetTicFreq(int nFreq);
    void SetPos(int nPos); // clamped to the range
    int GetPos() const;
    int GetPageSize() const;
    int GetLineSize() const;
};
