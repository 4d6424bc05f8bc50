#pragma once
// The log-on dialog shown once at start-up: user name, password and connect string, three
// status lines, and the remembered connect strings offered in the combo box.
#include "Dialog.h"

#include <QString>

class CConnectDlg : public CDialog {
    Q_OBJECT
public:
    enum { IDD = 146 };
    enum : int {
        IDC_CONNECT = 1007,
        IDC_PASSWORD = 1068,
        IDC_STATUS1 = 1070,
        IDC_STATUS2 = 1071,
        IDC_STATUS3 = 1072,
        IDC_USER = 1074,
    };

    explicit CConnectDlg(QWidget* pParent = nullptr);
    ~CConnectDlg() override;

    CComboBox m_ctlConnect;
    QString m_strUser;
    QString m_strPassword;
    QString m_strConnect;
    QString m_strStatus1;
    QString m_strStatus2;
    QString m_strStatus3;

    // Fills the combo box's list with the remembered connect strings.
    void FillServerList();
    // Remembers a connect string that is not yet in the list (compared case-sensitively).
    void AddServerToList(const QString& strConnect);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
};

// Runs the dialog: IDOK after a successful log-on, 0 after Cancel.
int RunConnectDialog();
