// Read-ahead of the PostgreSQL driver: a corpus of awkward messages drained through the log
// window gives the same log bytes and error boxes with read-ahead on and off; what was read
// ahead is dropped by a purge only, and shown before the report of a connection lost after it.
#include "LogWindow.h"
#include "Logon.h"
#include "MessageBox.h"
#include "ReceiverStatements.h"

#include <QTest>

namespace {
const QByteArray kLast = "END-OF-CORPUS";

// Packs each SQL expression as an item and sends the message.
bool send(PGconn* c, const QString& pipe, const QStringList& items) {
    QString sql;
    for (const QString& item : items)
        sql += QStringLiteral("SELECT dbms_pipe.pack_message(%1);").arg(item);
    PGresult* r = PQexec(
        c,
        (sql + "SELECT dbms_pipe.send_message(" + SqlLiteral(pipe) + ", 10)").toUtf8().constData());
    const bool sent =
        PQresultStatus(r) == PGRES_TUPLES_OK && QByteArray(PQgetvalue(r, 0, 0)) == "0";
    PQclear(r);
    return sent;
}

// The receive block through the process's log-on, as the receiver runs it: the status.
int receiveOne(const QString& pipe) {
    COciCursor cursor;
    int status = -1;
    short indicator = 0;
    cursor.Parse(ReceiveBlock(pipe.toStdString()).c_str());
    cursor.Bind(":sta", &status, sizeof status, SQLT_INT, &indicator);
    cursor.Execute(TRUE);
    return status;
}
} // namespace

class TestReadAhead : public QObject {
    Q_OBJECT
    PipeSender m_sender;

    bool sendTexts(const QString& pipe, const QStringList& texts) {
        for (const QString& t : texts)
            if (!send(m_sender.connection(), pipe, {QString::number(t.size()), SqlLiteral(t)}))
                return false;
        return true;
    }
    int waiting(const QString& pipe) {
        return m_sender
            .scalar("SELECT coalesce(sum(items), 0) FROM dbms_pipe.db_pipes WHERE name = " +
                    SqlLiteral(pipe))
            .toInt();
    }

private slots:
    void initTestCase() {
        REQUIRE_DATABASE();
        QVERIFY(LogonToTestDatabase());
        QVERIFY2(m_sender.ok(), qPrintable(m_sender.error()));
        QVERIFY(m_sender.freeEmptyPipes()); // this suite runs alone
    }
    void cleanup() { // nothing left in the pipes, which share the server's room
        for (const char* pipe : {"ra_corpus", "ra_a", "ra_b", "ra_lost"})
            m_sender.exec(QStringLiteral("SELECT dbms_pipe.purge('%1')").arg(pipe));
        qunsetenv("TIDEMARK_READ_AHEAD");
    }

    void corpusIsTheSameReadAheadOrNot_data() { AddReceivingModeRows(); }
    void corpusIsTheSameReadAheadOrNot() {
        QFETCH(bool, typed);
        // Text that is not UTF-8 comes from a database without an encoding: pipes are the server's.
        m_sender.exec("DROP DATABASE IF EXISTS ra_ascii");
        QVERIFY(m_sender.exec("CREATE DATABASE ra_ascii TEMPLATE template0 ENCODING 'SQL_ASCII' "
                              "LC_COLLATE 'C' LC_CTYPE 'C'"));
        std::unique_ptr<PGconn, void (*)(PGconn*)> ascii(
            PQconnectdb((TestDatabase::conninfo() + " dbname=ra_ascii").c_str()), PQfinish);
        PQclear(PQexec(ascii.get(), "CREATE EXTENSION orafce"));
        const QStringList corpus = ReadAheadCorpus();
        QByteArray logs[2];
        QStringList boxTexts[2];
        for (int on : {0, 1}) {
            if (!on)
                qputenv("TIDEMARK_READ_AHEAD", "off");
            for (const QString& message : corpus)
                QVERIFY(send(m_sender.connection(), "ra_corpus",
                             message.split('|', Qt::SkipEmptyParts)));
            QVERIFY(send(ascii.get(), "ra_corpus", {"6", "E'caf\\xe9 \\xff'::text"}));
            QVERIFY(sendTexts("ra_corpus", {kLast}));
            LogWindow m("ra_corpus", typed, true);
            MessageBoxRecorder boxes;
            m.view.PollPipe();
            QTRY_VERIFY_WITH_TIMEOUT(m.log().contains(kLast), 60000);
            QCOMPARE(waiting("ra_corpus"), 0);
            logs[on] = m.log();
            for (const MessageBoxRecorder::Shown& box : boxes.shown())
                boxTexts[on] << box.text;
            qunsetenv("TIDEMARK_READ_AHEAD");
        }
        ascii.reset();
        m_sender.exec("DROP DATABASE ra_ascii");
        // The corpus reaches the server's refusals and the values too large for their variable.
        const QString shown = boxTexts[0].join('\n');
        QVERIFY(typed ||
                (shown.contains("datatype mismatch") && shown.contains("buffer too small")));
        QCOMPARE(logs[1], logs[0]);
        QCOMPARE(boxTexts[1], boxTexts[0]);
    }

    void heldMessagesKeptAcrossPipesAndDroppedByPurge() {
        // Off, a receive takes one message; on, it takes all that wait.
        qputenv("TIDEMARK_READ_AHEAD", "off");
        QVERIFY(sendTexts("ra_a", {"a1", "a2", "a3", "a4"}));
        QCOMPARE(receiveOne("ra_a"), 0);
        QCOMPARE(waiting("ra_a"), 3);
        qunsetenv("TIDEMARK_READ_AHEAD");
        QCOMPARE(receiveOne("ra_a"), 0);
        QCOMPARE(waiting("ra_a"), 0); // a3 and a4 are held by the driver
        QVERIFY(sendTexts("ra_b", {"b1"}));
        LogWindow m("ra_b");
        MessageBoxRecorder boxes;
        m.view.PollPipe();
        m.view.m_strPipeName = "ra_a"; // the pipe changed in Options, and back
        m.view.PollPipe();
        QCOMPARE(m.log(), QByteArray("b1\r\na3\r\na4\r\n"));

        QVERIFY(sendTexts("ra_a", {"a5", "a6", "a7"}));
        QCOMPARE(receiveOne("ra_a"), 0); // a6 and a7 held
        QVERIFY(sendTexts("ra_a", {"a8"}));
        m.view.OnPurgePipe();
        QCOMPARE(waiting("ra_a"), 0);
        m.view.PollPipe();
        QCOMPARE(m.log(), QByteArray("b1\r\na3\r\na4\r\n"));
        QCOMPARE(boxes.count(), 0);
    }

    void lostConnectionShowsEveryMessageReadAheadFirst() { // last: it ends the log-on
        const QString name = NameOwnSession();
        QVERIFY(sendTexts("ra_lost", {"one", "two", "three"}));
        QCOMPARE(receiveOne("ra_lost"), 0); // "one" taken, the rest held
        QCOMPARE(m_sender.scalar("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                 "WHERE application_name = " +
                                 SqlLiteral(name)),
                 QStringLiteral("1"));
        LogWindow m("ra_lost");
        QList<QByteArray> logWhileShown;
        QStringList texts;
        AfxSetMessageBoxResponder([&](const QString& text, UINT) {
            logWhileShown << m.log();
            texts << text;
            return int(IDIGNORE);
        });
        m.view.PollPipe();
        AfxSetMessageBoxResponder({});
        QCOMPARE(logWhileShown.value(0), QByteArray("two\r\nthree\r\n"));
        QVERIFY2(texts.value(0).contains("ORA-03113"), qPrintable(texts.value(0)));
    }
};

QTEST_MAIN(TestReadAhead)
#include "tst_readahead.moc"
