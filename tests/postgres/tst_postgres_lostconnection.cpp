// The one log-on is lost (the server ends the backend): calls fail at once with a clear text,
// nothing hangs, nothing crashes, and nothing reconnects.
#include "Logon.h"
#include "MessageBox.h"
#include "TestSupport.h"

#include <QApplication>
#include <QtTest>

class TestOciLostConnection : public QObject {
    Q_OBJECT

private slots:
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
            cursor.Parse("begin :sta := dbms_pipe.receive_message('tidemark', 0); end;");
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
