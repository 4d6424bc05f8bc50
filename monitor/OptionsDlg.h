#pragma once
// The Options dialog: the five monitor settings, and the installation of the two sending
// procedures with their public synonyms.
#include "Dialog.h"

#include <QString>

class COptionsDlg : public CDialog {
    Q_OBJECT
public:
    enum { IDD = 135 };
    enum : int {
        IDC_PIPENAME = 1000,
        IDC_TIMERSLIDER = 1001,
        IDC_LFFLAG = 1003,
        IDC_TIMERVALUE = 1004,
        IDC_AUTOUNPACK = 1005,
        IDC_ALLOWEDIT = 1006,
        IDC_GENERATE = 1007,
    };

    // Without a parent the application's main window, if there is one, owns the dialog.
    explicit COptionsDlg(QWidget* pParent = nullptr);

    int m_nTimerFrequency = 0; // set by the caller; follows the trackbar while the dialog runs
    CStatic m_ctlTimerValue;
    CSliderCtrl m_ctlTimerSlider;
    QString m_strPipeName;
    BOOL m_bLFFlag = 0;
    BOOL m_bAutoUnpack = 0;
    BOOL m_bAllowEdit = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnHScroll();
    void OnGenerateProcedures();
    void UpdateTimerValue();
};
