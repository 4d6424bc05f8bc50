#pragma once
// Reaching into the Connect dialog from its tests.
#include "ConnectDlg.h"
#include "Profile.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

class TestConnectDlg : public CConnectDlg {
public:
    using CConnectDlg::OnInitDialog;
    using CConnectDlg::OnOK;

    QLineEdit* user() const { return qobject_cast<QLineEdit*>(GetDlgItem(IDC_USER)); }
    QLineEdit* password() const { return qobject_cast<QLineEdit*>(GetDlgItem(IDC_PASSWORD)); }
    QComboBox* connect() const { return qobject_cast<QComboBox*>(GetDlgItem(IDC_CONNECT)); }
    QPushButton* connectButton() const { return qobject_cast<QPushButton*>(GetDlgItem(IDOK)); }
    QPushButton* cancelButton() const { return qobject_cast<QPushButton*>(GetDlgItem(IDCANCEL)); }
    QString status(int line) const {
        return GetDlgItem(IDC_STATUS1 + line - 1)->property("text").toString();
    }
    QStringList listEntries() const {
        QStringList entries;
        for (int i = 0; i < connect()->count(); ++i)
            entries << connect()->itemText(i);
        return entries;
    }
};

// The remembered connect strings in the profile's order.
inline QStringList StoredServers() {
    QStringList items;
    const int n = GetProfileInt(QStringLiteral("ServerList"), QStringLiteral("Items"), 0);
    for (int i = 1; i <= n; ++i)
        items << GetProfileString(QStringLiteral("ServerList"), QStringLiteral("Item%1").arg(i));
    return items;
}

inline void StoreServers(const QStringList& items) {
    WriteProfileInt(QStringLiteral("ServerList"), QStringLiteral("Items"), int(items.size()));
    for (int i = 0; i < items.size(); ++i)
        WriteProfileString(QStringLiteral("ServerList"), QStringLiteral("Item%1").arg(i + 1),
                           items[i]);
}
