#include "ConnectDlg.h"

#include "Logon.h"
#include "Profile.h"
#include "WaitCursor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {
const QString kConnectSection = QStringLiteral("Connect");
const QString kServerListSection = QStringLiteral("ServerList");
const QString kItems = QStringLiteral("Items");

QString itemName(int i) {
    return QStringLiteral("Item%1").arg(i);
}

// The number of remembered connect strings. A damaged count is held to a bound that no real
// list reaches: a huge one would keep the program in this loop for hours before any window.
int serverListCount() {
    constexpr int kMostItems = 10000;
    return std::clamp(GetProfileInt(kServerListSection, kItems, 0), 0, kMostItems);
}

// Overwrites the bytes that carried a password before they are released.
void wipe(QByteArray& bytes) {
    bytes.fill('\0');
}
} // namespace

CConnectDlg::CConnectDlg(QWidget* pParent) : CDialog(pParent) {
    // Template 146.
    SetTemplateSize(QStringLiteral("Connect to Oracle"), 243, 138);

    QLabel* userLabel = AddStatic(-1, QStringLiteral("&Username:"), 13, 17, 35, 8);
    auto* user = AddControl(IDC_USER, new QLineEdit(this), 52, 15, 120, 12);
    userLabel->setBuddy(user);

    QLabel* passwordLabel = AddStatic(-1, QStringLiteral("&Password:"), 13, 36, 35, 8);
    auto* password = AddControl(IDC_PASSWORD, new QLineEdit(this), 52, 33, 120, 12);
    password->setEchoMode(QLineEdit::Password);
    passwordLabel->setBuddy(password);

    QLabel* connectLabel = AddStatic(-1, QStringLiteral("&Connect:"), 13, 53, 34, 8);
    auto* connect = new QComboBox(this);
    connect->setEditable(true);
    // The list changes only through the program, and the typed text stays as typed.
    connect->setInsertPolicy(QComboBox::NoInsert);
    connect->setCompleter(nullptr);
    connect->setToolTip(QStringLiteral("Oracle: a net service name or //host:port/service\n"
                                       "PostgreSQL with orafce: pg:host:port/database"));
    AddControl(IDC_CONNECT, connect, 52, 50, 120, 40);
    // The template's height includes the drop-down list; the closed box is one line high.
    const QRect line = MapDialogRect(52, 50, 120, 12);
    connect->setGeometry(line.x(), line.y(), line.width(),
                         std::max(line.height(), connect->sizeHint().height()));
    connect->setMaxVisibleItems(std::max(1, (40 - 12) / 8));
    connectLabel->setBuddy(connect);
    m_ctlConnect.SetSorted(true);

    auto* ok = AddControl(IDOK, new QPushButton(QStringLiteral("Connect"), this), 186, 7, 50, 14);
    ok->setDefault(true);
    auto* cancel =
        AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), this), 186, 24, 50, 14);

    AddGroupBox(QStringLiteral("Status"), 4, 74, 232, 57);
    AddStatic(IDC_STATUS1, QString(), 12, 88, 218, 8, Qt::AlignHCenter);
    AddStatic(IDC_STATUS2, QString(), 12, 100, 217, 8, Qt::AlignHCenter);
    AddStatic(IDC_STATUS3, QString(), 12, 112, 217, 8, Qt::AlignHCenter);
    AddGroupBox(QStringLiteral("Connection"), 4, 3, 176, 69);

    GrowControlsToText();

    setTabOrder(user, password);
    setTabOrder(password, connect);
    setTabOrder(connect, ok);
    setTabOrder(ok, cancel);

    m_strUser = GetProfileString(kConnectSection, QStringLiteral("Usr"));
    m_strConnect = GetProfileString(kConnectSection, QStringLiteral("Srv"));
}

CConnectDlg::~CConnectDlg() {
    // The password lives no longer than the dialog.
    m_strPassword.fill(QChar(0));
    m_strPassword.clear();
    if (auto* e = qobject_cast<QLineEdit*>(GetDlgItem(IDC_PASSWORD)))
        e->clear();
}

void CConnectDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CONNECT, m_ctlConnect);
    DDX_Text(pDX, IDC_USER, m_strUser);
    DDV_MaxChars(pDX, m_strUser, 30);
    DDX_Text(pDX, IDC_PASSWORD, m_strPassword);
    DDV_MaxChars(pDX, m_strPassword, 30);
    DDX_CBString(pDX, IDC_CONNECT, m_strConnect);
    DDV_MaxChars(pDX, m_strConnect, 30);
    DDX_Text(pDX, IDC_STATUS1, m_strStatus1);
    DDX_Text(pDX, IDC_STATUS2, m_strStatus2);
    DDX_Text(pDX, IDC_STATUS3, m_strStatus3);
}

bool CConnectDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    FillServerList();
    // Again, now that the list is filled: the remembered connect string gets selected in it.
    UpdateData(false);
    if (!m_strUser.isEmpty())
        NextDlgCtrl(); // from the user name on to the password, its text selected
    return false;
}

void CConnectDlg::FillServerList() {
    m_ctlConnect.ResetContent();
    const int count = serverListCount();
    for (int i = 1; i <= count; ++i)
        m_ctlConnect.AddString(GetProfileString(kServerListSection, itemName(i)));
}

void CConnectDlg::AddServerToList(const QString& strConnect) {
    const int count = serverListCount();
    for (int i = 1; i <= count; ++i) {
        if (GetProfileString(kServerListSection, itemName(i)) == strConnect)
            return;
    }
    m_ctlConnect.AddString(strConnect);
    WriteProfileInt(kServerListSection, kItems, count + 1);
    WriteProfileString(kServerListSection, itemName(count + 1), strConnect);
}

void CConnectDlg::OnOK() {
    CWaitCursor wait;
    if (!UpdateData(true))
        return;

    m_strStatus1 = QStringLiteral("Connecting to database");
    m_strStatus2 = m_strUser + QLatin1Char('@') + m_strConnect;
    m_strStatus3.clear();
    UpdateData(false);
    // The log-on blocks the thread: paint the status lines before it starts.
    for (int id : {IDC_STATUS1, IDC_STATUS2, IDC_STATUS3})
        if (QWidget* w = GetDlgItem(id); w && w->isVisible())
            w->repaint();

    // Remembered before the attempt, so that it stays in the list whatever the outcome.
    AddServerToList(m_strConnect);

    const QByteArray user = m_strUser.toUtf8();
    QByteArray password = m_strPassword.toUtf8();
    const QByteArray connect = m_strConnect.toUtf8();
    const int connected = OciLogon(user.constData(), password.constData(), connect.constData());
    wipe(password);
    if (!connected)
        return; // reported by the log-on; the user may correct the fields and try again

    m_strStatus1 = QStringLiteral("Connected with database");
    m_strStatus2 = m_strConnect;
    m_strStatus3.clear();
    UpdateData(false);
    WriteProfileString(kConnectSection, QStringLiteral("Usr"), m_strUser);
    WriteProfileString(kConnectSection, QStringLiteral("Srv"), m_strConnect);
    EndDialog(IDOK);
}

void CConnectDlg::OnCancel() {
    EndDialog(0);
}

int RunConnectDialog() {
    CConnectDlg dlg(nullptr);
    return dlg.DoModal();
}
