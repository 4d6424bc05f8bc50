// The Connect dialog logging on to the test database.
#include "ConnectTest.h"
#include "DialogTest.h"
#include "Logon.h"
#include "TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

class TestConnectDialogDatabase : public QObject {
    Q_OBJECT
private slots:
    void failedThenSuccessfulLogon();
};

void TestConnectDialogDatabase::failedThenSuccessfulLogon() {
    REQUIRE_DATABASE();
    ScopedProfile profile;
    MessageBoxRecorder boxes;
    // The dialog takes at most 30 characters of password, and the test database's own password
    // may be longer (pg_virtualenv makes a 32-digit one): log on as a role of our own.
    PipeSender admin;
    QVERIFY2(admin.ok(), qPrintable(admin.error()));
    const QString user = QStringLiteral("tidemark_dialog");
    const QString password = QStringLiteral("Dlg-%1").arg(QRandomGenerator::global()->generate());
    admin.exec("DROP ROLE IF EXISTS " + user);
    QVERIFY(admin.exec(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(user, password)));
    const QString connect = QString::fromStdString(TestDatabase::connectString());
    QVERIFY(password.size() <= 30);
    QVERIFY2(!connect.contains(password), "the password must differ from the other values");

    WriteProfileString("Connect", "Usr", "previous");
    WriteProfileString("Connect", "Srv", "pg:previous");
    TestConnectDlg dlg;
    const int result = RunModal(dlg, [&] {
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(dlg.password()));
        dlg.user()->setText("no_such_role_tidemark");
        dlg.password()->setText(password);
        dlg.connect()->setEditText(connect);
        dlg.connectButton()->click();

        // Reported, answered with Ignore, and the dialog stays with the first status lines.
        QCOMPARE(boxes.count(), 1);
        QVERIFY(boxes.lastText().startsWith("ORACLE Error\n"));
        QCOMPARE(g_bConnected, 0);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.status(1), QStringLiteral("Connecting to database"));
        QCOMPARE(dlg.status(2), "no_such_role_tidemark@" + connect);
        QCOMPARE(StoredServers(), QStringList({connect}));
        QCOMPARE(GetProfileString("Connect", "Usr"), QStringLiteral("previous"));
        QCOMPARE(GetProfileString("Connect", "Srv"), QStringLiteral("pg:previous"));

        dlg.user()->setText(user);
        dlg.connectButton()->click();
    });
    QCOMPARE(result, int(IDOK));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(g_bConnected, 1);
    QCOMPARE(dlg.m_strStatus1, QStringLiteral("Connected with database"));
    QCOMPARE(dlg.m_strStatus2, connect);
    QCOMPARE(dlg.m_strStatus3, QString());
    QCOMPARE(GetProfileString("Connect", "Usr"), user);
    QCOMPARE(GetProfileString("Connect", "Srv"), connect);
    QCOMPARE(StoredServers(), QStringList({connect}));

    QFile conf(profile.file());
    QVERIFY(conf.open(QIODevice::ReadOnly));
    QVERIFY2(!conf.readAll().contains(password.toUtf8()), "the password reached the profile");
}

QTEST_MAIN(TestConnectDialogDatabase)
#include "tst_connectdlg_db.moc"
