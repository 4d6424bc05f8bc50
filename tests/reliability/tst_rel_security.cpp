// The password is never written anywhere; a connect string or a log-on field cannot add
// connection options of its own; a pipe name never becomes part of a statement.
#include "ConnectTest.h"
#include "DialogTest.h"
#include "LogWindow.h"
#include "PrivateServer.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Every file under a folder that holds the bytes.
QStringList filesContaining(const QString& dir, const QByteArray& bytes) {
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (ReadFile(path).contains(bytes))
            found << path;
    }
    return found;
}

// Where the role's sessions are, as the server sees them: database and application name.
QString sessionsOf(PipeSender& admin, const QString& role) {
    return admin.scalar(QStringLiteral("SELECT coalesce(string_agg(datname || '|' || "
                                       "application_name, ','), '') FROM pg_stat_activity "
                                       "WHERE usename = %1")
                            .arg(SqlLiteral(role)));
}
} // namespace

class TestReliabilitySecurity : public QObject {
    Q_OBJECT
    std::unique_ptr<PrivateServer> m_server;
    std::unique_ptr<PipeSender> m_admin;
    QString m_role = QStringLiteral("tidemark_sec");
    QString m_password;

private slots:
    void initTestCase() {
        // Roles, databases and role settings of its own: a server of its own.
        START_PRIVATE_TEST_DATABASE(m_server);
        m_admin = std::make_unique<PipeSender>();
        QVERIFY2(m_admin->ok(), qPrintable(m_admin->error()));
        // A password with blanks, an apostrophe and an option of its own: it is a password.
        m_password =
            QStringLiteral("S%1' dbname=x").arg(QRandomGenerator::global()->generate() % 100000000);
        QVERIFY(m_password.size() <= 30);
        m_admin->exec("DROP ROLE IF EXISTS " + m_role);
        QVERIFY(m_admin->exec(QStringLiteral("CREATE ROLE %1 LOGIN SUPERUSER PASSWORD %2")
                                  .arg(m_role, SqlLiteral(m_password))));
        // A database a smuggled option would reach.
        if (m_admin->scalar("SELECT count(*) FROM pg_database WHERE datname = 'smuggled_target'") ==
            "0")
            QVERIFY(m_admin->exec("CREATE DATABASE smuggled_target"));
    }
    void cleanupTestCase() {
        if (!m_admin)
            return;
        m_admin->exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                     "WHERE usename = %1")
                          .arg(SqlLiteral(m_role)));
        m_admin.reset();
        m_server.reset();
    }

    void passwordIsWrittenNowhere() {
        ScopedProfile profile;
        MessageBoxRecorder boxes;
        const QString connect = QString::fromStdString(TestDatabase::connectString());
        TestConnectDlg dlg;
        // First a wrong user with the password, then the right one.
        const int result = RunModal(dlg, [&] {
            dlg.user()->setText("no_such_role_tidemark");
            dlg.password()->setText(m_password);
            dlg.connect()->setEditText(connect);
            dlg.OnOK();
            QVERIFY(dlg.isVisible());
            dlg.user()->setText(m_role);
            dlg.password()->setText(m_password);
            dlg.OnOK();
        });
        QCOMPARE(result, int(IDOK));
        QCOMPARE(g_bConnected, 1);
        QVERIFY(boxes.count() >= 1); // the failed attempt was reported
        const QByteArray secret = m_password.toUtf8();
        for (const auto& b : boxes.shown())
            QVERIFY2(!b.text.contains(m_password), "a report shows the password");
        QVERIFY2(!boxes.shown().first().text.contains("dbname=x"), "a report shows the password");

        // A drain and a saved log after the log-on.
        CTidemarkDoc doc;
        CTidemarkView view;
        view.Create(nullptr);
        doc.AddView(&view);
        doc.OnNewDocument();
        view.m_strPipeName = "security";
        QVERIFY(m_admin->sendDebug("logged on", "security"));
        view.PollPipe();
        QCOMPARE(view.GetWindowText(), QByteArray("logged on\r\n"));
        QTemporaryDir dir;
        QVERIFY(doc.OnSaveDocument(dir.filePath("after-logon.log")));
        doc.RemoveView(&view);

        QVERIFY(QFile::exists(profile.file())); // the dialog remembered user and connect string
        QCOMPARE(filesContaining(profile.path(), secret), QStringList());
        QCOMPARE(filesContaining(dir.path(), secret), QStringList());
        // Nor in the process's own arguments or environment as the program set them.
        QVERIFY(!ReadFile("/proc/self/cmdline").contains(secret));
        QVERIFY(!ReadFile("/proc/self/environ").contains(secret));
        // The session runs where the connect string says.
        QTRY_COMPARE(sessionsOf(*m_admin, m_role),
                     qEnvironmentVariable("PGDATABASE") + "|Tidemark");
    }

    void connectStringAddsNoOptions_data() {
        QTest::addColumn<QString>("connect");
        const QString host = qEnvironmentVariable("PGHOST");
        const QString port = qEnvironmentVariable("PGPORT");
        const QString db = qEnvironmentVariable("PGDATABASE");
        const QString h = host.contains('/') || host.contains(':') ? "[" + host + "]" : host;
        QTest::newRow("option after the host") << "pg:" + h + " dbname=smuggled_target";
        QTest::newRow("option in the host brackets") << "pg:[" + host + " dbname=smuggled_target]";
        QTest::newRow("option after the database")
            << "pg:" + h + ":" + port + "/" + db + " dbname=smuggled_target";
        QTest::newRow("password after the database")
            << "pg:" + h + ":" + port + "/" + db + " password=x";
        QTest::newRow("option after the port") << "pg:" + h + ":" + port + " sslmode=disable";
        QTest::newRow("database as a conninfo")
            << "pg:" + h + ":" + port + "/dbname=smuggled_target application_name=smuggled";
        QTest::newRow("database as a URI") << "pg:" + h + ":" + port + "/postgresql://" + host +
                                                  ":" + port +
                                                  "/smuggled_target?application_name=smuggled";
        QTest::newRow("options switch")
            << "pg:" + h + ":" + port + "/" + db + " options='-c search_path=evil'";
        QTest::newRow("quoted value")
            << "pg:" + h + ":" + port + "/" + db + "' dbname='smuggled_target";
    }
    void connectStringAddsNoOptions() {
        QFETCH(QString, connect);
        MessageBoxRecorder boxes;
        const int ok = OciLogon(m_role.toUtf8().constData(), m_password.toUtf8().constData(),
                                connect.toUtf8().constData());
        if (ok) {
            // Connected: then only where the connect string's parts say, with the program's
            // own options.
            QTRY_COMPARE(sessionsOf(*m_admin, m_role),
                         qEnvironmentVariable("PGDATABASE") + "|Tidemark");
        } else {
            QCOMPARE(boxes.count(), 1);
            QCOMPARE(g_bConnected, 0);
            QTRY_COMPARE(sessionsOf(*m_admin, m_role), QString());
        }
    }

    void logonFieldsAddNoOptions() {
        // The user name is a user name, whatever it holds.
        MessageBoxRecorder boxes;
        const QByteArray connect = QByteArray::fromStdString(TestDatabase::connectString());
        QCOMPARE(OciLogon((m_role + " dbname=smuggled_target").toUtf8().constData(),
                          m_password.toUtf8().constData(), connect.constData()),
                 0);
        QTRY_COMPARE(sessionsOf(*m_admin, m_role), QString());
        QCOMPARE(OciLogon(m_role.toUtf8().constData(), "x' dbname='smuggled_target", connect), 0);
        QTRY_COMPARE(sessionsOf(*m_admin, m_role), QString());
        QCOMPARE(boxes.count(), 2);
    }

    void pipeNameRunsNoStatementEvenWithBackslashEscapes() {
        // A session whose string literals take backslash escapes: doubling the apostrophes
        // alone would not keep "\'" inside the literal.
        QVERIFY(m_admin->exec(
            QStringLiteral("ALTER ROLE %1 SET standard_conforming_strings = off").arg(m_role)));
        MessageBoxRecorder boxes;
        QVERIFY(OciLogon(m_role.toUtf8().constData(), m_password.toUtf8().constData(),
                         TestDatabase::connectString().c_str()) == 1);
        QVERIFY(m_admin->exec("DROP TABLE IF EXISTS sec_victim"));
        QVERIFY(m_admin->exec("CREATE TABLE sec_victim (x int)"));
        const QStringList names = {
            QStringLiteral("x\\', 0); DROP TABLE sec_victim; --"),
            QStringLiteral("x\\'); DROP TABLE sec_victim; --"),
            QStringLiteral("\\'; DROP TABLE sec_victim; SELECT '"),
            QStringLiteral("x'); DROP TABLE sec_victim; end; --"),
            QStringLiteral("x'||(SELECT 1 FROM pg_sleep(0))||'"),
        };
        for (const QString& name : names) {
            for (bool typed : {false, true}) {
                LogWindow window(name, typed);
                CTidemarkView& view = window.view;
                QVERIFY(m_admin->sendDebug("odd", name));
                view.PollPipe();
                QCOMPARE(view.GetWindowText(),
                         typed ? QByteArray("MESSAGE:\r\nNUMBER:\t'3'\r\nVARCHAR2:\t'odd'\r\n\r\n")
                               : QByteArray("odd\r\n"));
                QVERIFY(m_admin->sendDebug("purged", name));
                view.OnPurgePipe();
                view.PollPipe();
                QVERIFY(!view.GetWindowText().contains("purged"));
            }
        }
        QCOMPARE(m_admin->scalar("SELECT to_regclass('sec_victim') IS NOT NULL"),
                 QStringLiteral("t"));
        QCOMPARE(boxes.count(), 0);
        m_admin->exec(
            QStringLiteral("ALTER ROLE %1 RESET standard_conforming_strings").arg(m_role));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestReliabilitySecurity test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rel_security.moc"
