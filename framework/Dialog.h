#pragma once
// Modal dialogs laid out from dialog-unit templates, with the data exchange the program uses.
#include "AfxTypes.h"
#include "MessageBox.h"

#include <QDialog>
#include <QMap>
#include <QPointer>

class CDialog;
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

class CDataExchange {
public:
    CDataExchange(CDialog* dlg, bool save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
    QWidget* PrepareCtrl(int id);
    [[noreturn]] void Fail();

    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
    QWidget* m_pLastCtrl = nullptr;
};

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
void DDX_Text(CDataExchange* pDX, int nIDC, QString& value);
void DDX_CBString(CDataExchange* pDX, int nIDC, QString& value);
void DDX_Check(CDataExchange* pDX, int nIDC, BOOL& value);
void DDV_MaxChars(CDataExchange* pDX, const QString& value, int nChars);

class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(QWidget* parent = nullptr);

    // Runs the dialog modally: OnInitDialog, then the loop; returns the EndDialog result.
    int DoModal();
    bool UpdateData(bool bSaveAndValidate = true);
    QWidget* GetDlgItem(int nID) const { return m_controls.value(nID); }
    void EndDialog(int nResult);
    void NextDlgCtrl(); // moves the focus on and selects the new control's text
    void GotoDlgCtrl(QWidget* w);

    // Dialog units of the template font in pixels.
    QRect MapDialogRect(int x, int y, int cx, int cy) const;

protected:
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Template building: controls are added in template (and so tab) order. Buttons with the
    // ids IDOK and IDCANCEL reach OnOK and OnCancel.
    void SetTemplateSize(const QString& caption, int cx, int cy);
    template <class W> W* AddControl(int nID, W* w, int x, int y, int cx, int cy) {
        placeControl(nID, w, x, y, cx, cy);
        return w;
    }
    QLabel* AddStatic(int nID, const QString& text, int x, int y, int cx, int cy,
                      Qt::Alignment align = Qt::AlignLeft);
    void AddGroupBox(const QString& text, int x, int y, int cx, int cy);
    // The template's sizes suit its own font; in another one each label and button grows to the
    // right until its whole text fits, and a check box grows about its middle until its box
    // fits.
    void GrowControlsToText();

    void accept() override;
    void reject() override;

private:
    void placeControl(int nID, QWidget* w, int x, int y, int cx, int cy);
    QMap<int, QWidget*> m_controls;
    int m_nextAnonymous = -1000;
    bool m_inDoModal = false;
};
