// The one log-on is lost (the server ends the backend): calls fail at once with a clear text,
// nothing hangs, nothing crashes, and nothing reconnects.
#include "Driver.h"
#include "Logon.h"
#include "MessageBox.h"
#include "ReceiverStatements.h"
#include "TestSupport.h"

#include <QApplication>
#include <QScopeGuard>
#include <QtTest>

#include <csignal>

class TestOciLostConnection : public QObject {
    Q_OBJECT

private slots:
    // A server process that stops answering while a fetch is in flight: after the deadline the
    // fetch is reported with the messages it may have taken, and the connection is closed, so
    // every later call fails at once.
    void frozenServerDuringAFetch() {
        REQUIRE_DATABASE();
        PipeSender admin;
        QVERIFY2(admin.ok(), qPrintable(admin.error()));
        ocidrv::Error error;
        std::unique_ptr<ocidrv::Session> session = ocidrv::Connect(
            TestDatabase::user(), TestDatabase::password(), TestDatabase::connectString(), error);
        QVERIFY2(session, error.message.c_str());
        std::unique_ptr<ocidrv::Cursor> cursor = session->OpenCursor(error);
        QVERIFY(cursor && cursor->Parse("SET application_name = 'tidemark-frozen'", error) &&
                cursor->Execute({}, error));
        std::int32_t status = -1;
        short indicator = 0;
        const std::vector<ocidrv::Bind> binds = {
            {":sta", &status, sizeof status, SQLT_INT, &indicator}};
        QVERIFY(cursor->Parse(ReceiveBlock("frozen"), error));
        QVERIFY2(cursor->Execute(binds, error), error.message.c_str()); // the function is made
        QCOMPARE(status, 1);
        QVERIFY(admin.sendDebug("waiting", "frozen"));
        const int pid = admin
                            .scalar("SELECT pid FROM pg_stat_activity WHERE application_name = "
                                    "'tidemark-frozen'")
                            .toInt();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, SIGSTOP), 0);
        const auto thaw = qScopeGuard([pid] { ::kill(pid, SIGCONT); });
        status = -1;
        QVERIFY(!cursor->Execute(binds, error));
        QCOMPARE(status, -1);
        const QString text = QString::fromStdString(error.message);
        QVERIFY2(text.startsWith("ORA-03113: ") &&
                     text.contains("did not answer within 20 seconds") &&
                     text.endsWith(". up to 16 messages taken from pipe frozen could not be shown"),
                 qPrintable(text));
        QVERIFY(!cursor->Execute(binds, error));
        QVERIFY2(error.message.starts_with("ORA-03114: "), error.message.c_str());
        admin.exec("SELECT dbms_pipe.purge('frozen')");
    }

    void callsFailAfterTheBackendIsGone() {
        REQUIRE_DATABASE();
        PipeSender admin;
        QVERIFY2(admin.ok(), qPrintable(admin.error()));
        QVERIFY(LogonToTestDatabase());
        MessageBoxRecorder boxes;
        const QString name = NameOwnSession();
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(admin.scalar(QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM "
                                             "pg_stat_activity WHERE application_name = '%1'")
                                  .arg(name)),
                 QStringLiteral("1"));
        {
            COciCursor cursor; // opening needs no server
            QCOMPARE(boxes.count(), 0);
            int status = 123;
            short ind = 9;
            cursor.Parse(ReceiveBlock("tidemark").c_str());
            cursor.Bind(":sta", &status, sizeof status, SQLT_INT, &ind);
            QCOMPARE(cursor.Execute(TRUE), FALSE);
            QCOMPARE(boxes.count(), 1);
            QVERIFY2(boxes.lastText().startsWith(
                         "ORACLE Error when processing OCI function OEXEC, OEXN\nORA-03113") &&
                         boxes.lastText().contains("lost"),
                     qPrintable(boxes.lastText()));
            QCOMPARE(status, 123);
            QCOMPARE(ind, short(9));
            // From now on every execution fails at once.
            QCOMPARE(cursor.Execute(TRUE), FALSE);
            QVERIFY2(boxes.lastText().contains("ORA-03114"), qPrintable(boxes.lastText()));
            cursor.Parse("select 1");
            QCOMPARE(cursor.Execute(FALSE), FALSE);
        }
        QCOMPARE(boxes.count(), 2);
        // No reconnection happened behind the program's back.
        QCOMPARE(admin.scalar("SELECT count(*) FROM pg_stat_activity WHERE application_name = "
                              "'Tidemark'"),
                 QStringLiteral("0"));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestOciLostConnection test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_postgres_lostconnection.moc"
