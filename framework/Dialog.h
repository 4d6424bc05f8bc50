#pragma once
// Modal dialogs laid out from dialog-unit templates. The control wrappers (ControlWrappers.h) and
// the data exchange (DataExchange.h) that the program's dialogs use come with this header.
#include "AfxTypes.h"
#include "ControlWrappers.h"
#include "DataExchange.h"
#include "MessageBox.h"

#include <QDialog>
#include <QMap>

class QLabel;

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
