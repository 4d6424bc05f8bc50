// Read-ahead of the PostgreSQL driver: one corpus of awkward messages drained through the log
// window gives the same log bytes and the same error boxes with read-ahead on and off; messages
// read ahead are dropped by a purge and by nothing else, and are all shown before the error of a
// connection lost after they were read.
#include "LogWindow.h"
#include "TestSupport.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QTest>

#include <cstdint>

namespace {
const char kSwitch[] = "TIDEMARK_READ_AHEAD";
const char kAsciiDatabase[] = "tidemark_readahead_ascii";
const QString kLast = QStringLiteral("END-OF-CORPUS");

struct ConnDeleter {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnDeleter>;

bool exec(PGconn* c, const QString& sql, QString* value = nullptr) {
    PGresult* r = PQexec(c, sql.toUtf8().constData());
    const ExecStatusType st = PQresultStatus(r);
    if (value && st == PGRES_TUPLES_OK && PQntuples(r) > 0)
        *value = QString::fromUtf8(PQgetvalue(r, 0, 0));
    PQclear(r);
    return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
}

// Packs each SQL expression as an item and sends the message.
bool send(PGconn* c, const QString& pipe, const QStringList& items) {
    for (const QString& item : items)
        if (!exec(c, QStringLiteral("SELECT dbms_pipe.pack_message(%1)").arg(item)))
            return false;
    QString status;
    return exec(c, QStringLiteral("SELECT dbms_pipe.send_message(%1, 10)").arg(SqlLiteral(pipe)),
                &status) &&
           status == "0";
}

bool sendTexts(PGconn* c, const QString& pipe, const QStringList& texts) {
    for (const QString& t : texts)
        if (!send(c, pipe, {QString::number(t.size()), SqlLiteral(t) + "::text"}))
            return false;
    return true;
}

int waiting(PGconn* c, const QString& pipe) {
    QString n;
    exec(c,
         QStringLiteral("SELECT coalesce(sum(items), 0) FROM dbms_pipe.db_pipes WHERE name = %1")
             .arg(SqlLiteral(pipe)),
         &n);
    return n.toInt();
}

// The receive block through the process's log-on, as the receiver runs it: the status.
int receiveOne(const QString& pipe) {
    COciCursor cursor;
    std::int32_t status = -1;
    short indicator = 0;
    const QByteArray block =
        "begin :sta := dbms_pipe.receive_message('" + pipe.toUtf8() + "', 0); end;";
    cursor.Parse(block.constData());
    cursor.Bind(":sta", &status, sizeof status, SQLT_INT, &indicator);
    cursor.Execute(TRUE);
    return status;
}

void setReadAhead(bool on) {
    if (on)
        qunsetenv(kSwitch);
    else
        qputenv(kSwitch, "off");
}
} // namespace

class TestReadAhead : public QObject {
    Q_OBJECT
    std::unique_ptr<PipeSender> m_sender;
    Conn m_ascii; // a session on a database without an encoding: sends bytes that are not UTF-8

    struct Drained {
        QByteArray log;
        QStringList boxes;
    };
    void drainCorpus(const QString& pipe, bool typed, Drained& out);

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void corpusIsTheSameReadAheadOrNot_data();
    void corpusIsTheSameReadAheadOrNot();
    void purgeDropsWhatWasReadAhead();
    void otherPipeKeepsWhatWasReadAhead();
    void lostConnectionShowsEveryMessageReadAheadFirst(); // last: it ends the log-on
};

void TestReadAhead::initTestCase() {
    REQUIRE_DATABASE();
    MessageBoxRecorder boxes;
    QVERIFY2(LogonToTestDatabase(), qPrintable(boxes.lastText()));
    m_sender = std::make_unique<PipeSender>();
    QVERIFY2(m_sender->ok(), qPrintable(m_sender->error()));
    PGconn* c = m_sender->connection();
    QVERIFY(exec(c, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(kAsciiDatabase)));
    QVERIFY(exec(c, QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'SQL_ASCII' "
                                   "LC_COLLATE 'C' LC_CTYPE 'C'")
                        .arg(kAsciiDatabase)));
    m_ascii.reset(
        PQconnectdb((TestDatabase::conninfo() + " dbname=" + std::string(kAsciiDatabase)).c_str()));
    QVERIFY2(PQstatus(m_ascii.get()) == CONNECTION_OK, PQerrorMessage(m_ascii.get()));
    QVERIFY(exec(m_ascii.get(), "CREATE EXTENSION orafce"));
}

void TestReadAhead::cleanupTestCase() {
    qunsetenv(kSwitch);
    m_ascii.reset();
    if (m_sender)
        exec(m_sender->connection(),
             QStringLiteral("DROP DATABASE IF EXISTS %1").arg(kAsciiDatabase));
}

// A failed test leaves nothing in the pipes, which all pipes of the server share room for.
void TestReadAhead::cleanup() {
    for (const char* pipe :
         {"ra_corpus_plain", "ra_corpus_typed", "ra_purged", "ra_pipe_a", "ra_pipe_b", "ra_lost"})
        exec(m_sender->connection(), QStringLiteral("SELECT dbms_pipe.purge('%1')").arg(pipe));
}

// Sends the corpus and drains it through a log window until its last message is shown.
void TestReadAhead::drainCorpus(const QString& pipe, bool typed, Drained& out) {
    PGconn* c = m_sender->connection();
    const QString stamp = QStringLiteral("timestamptz '2026-12-07 10:00:00+00'");
    const QString record =
        QStringLiteral("(SELECT e FROM pg_available_extensions e WHERE e.name = 'orafce')");
    const QList<QStringList> corpus = {
        {"5", "'hello'::text"},
        {"1999", "repeat('x', 1999)"},
        {"2000", "repeat('y', 2000)"}, // one byte too long for the receiver's buffer
        {"'no length first'::text"},
        {"7"},
        {"5", "'extra'::text", "'more'::text", "42"},
        {},
        {"99999999999", "'too big for the length'::text"},
        {"-12.750", "'a fraction'::text"},
        {"1e20", "0.000001", "'numbers'::text"},
        {"date '2026-12-07'", "'date first'::text"},
        {"4", "date '2026-12-08'"},
        {"'\\x0102'::bytea", "'raw first'::text"},
        {"3", "'\\xff'::bytea", "'after raw'::text"},
        {stamp, "'timestamp first'::text"},
        {"5", "'stamp'::text", stamp, "'behind it'::text"},
        {record, "'record first'::text"},
        {"2", "42"},
        {"12", "'tab\there\r\nend ''quoted'''::text"},
    };
    for (const QStringList& items : corpus)
        QVERIFY(send(c, pipe, items));
    QVERIFY(send(m_ascii.get(), pipe, {"6", "E'caf\\xe9 \\xff'::text"}));
    QVERIFY(sendTexts(c, pipe, {kLast}));

    LogWindow m(pipe, typed, true);
    MessageBoxRecorder boxes;
    m.view.PollPipe();
    QTRY_VERIFY_WITH_TIMEOUT(m.log().contains(kLast.toUtf8()), 60000);
    QCOMPARE(waiting(c, pipe), 0);
    out.log = m.log();
    for (const MessageBoxRecorder::Shown& box : boxes.shown())
        out.boxes << box.text;
}

void TestReadAhead::corpusIsTheSameReadAheadOrNot_data() {
    QTest::addColumn<bool>("typed");
    QTest::newRow("plain") << false;
    QTest::newRow("typed") << true;
}

void TestReadAhead::corpusIsTheSameReadAheadOrNot() {
    QFETCH(bool, typed);
    const QString pipe = typed ? "ra_corpus_typed" : "ra_corpus_plain";
    Drained off, on;
    setReadAhead(false);
    drainCorpus(pipe, typed, off);
    if (QTest::currentTestFailed())
        return;
    setReadAhead(true);
    drainCorpus(pipe, typed, on);
    if (QTest::currentTestFailed())
        return;
    // The corpus reaches the awkward answers at all: refusals of the server, values too large.
    if (!typed) {
        QVERIFY2(off.boxes.join('\n').contains("datatype mismatch"),
                 qPrintable(off.boxes.join('\n')));
        QVERIFY2(off.boxes.join('\n').contains("buffer too small"),
                 qPrintable(off.boxes.join('\n')));
    }
    QVERIFY(off.log.contains("caf"));
    QCOMPARE(on.log, off.log);
    QCOMPARE(on.boxes, off.boxes);
}

void TestReadAhead::purgeDropsWhatWasReadAhead() {
    PGconn* c = m_sender->connection();
    // Off, one receive takes one message; on, it takes all that wait.
    setReadAhead(false);
    QVERIFY(sendTexts(c, "ra_purged", {"a", "b", "c"}));
    QCOMPARE(receiveOne("ra_purged"), 0);
    QCOMPARE(waiting(c, "ra_purged"), 2);
    setReadAhead(true);
    QCOMPARE(receiveOne("ra_purged"), 0);
    QCOMPARE(waiting(c, "ra_purged"), 0); // "c" is held by the driver
    QVERIFY(sendTexts(c, "ra_purged", {"d"}));

    LogWindow m("ra_purged");
    MessageBoxRecorder boxes;
    m.view.OnPurgePipe();
    QCOMPARE(waiting(c, "ra_purged"), 0);
    m.view.PollPipe();
    QCOMPARE(m.log(), QByteArray());
    QCOMPARE(boxes.count(), 0);
}

void TestReadAhead::otherPipeKeepsWhatWasReadAhead() {
    PGconn* c = m_sender->connection();
    setReadAhead(true);
    QVERIFY(sendTexts(c, "ra_pipe_a", {"a1", "a2", "a3"}));
    QVERIFY(sendTexts(c, "ra_pipe_b", {"b1"}));
    QCOMPARE(receiveOne("ra_pipe_a"), 0); // a1 taken, a2 and a3 held
    LogWindow m("ra_pipe_b");
    MessageBoxRecorder boxes;
    m.view.PollPipe();
    QCOMPARE(m.log(), QByteArray("b1\r\n"));
    m.view.m_strPipeName = "ra_pipe_a";
    m.view.PollPipe();
    QCOMPARE(m.log(), QByteArray("b1\r\na2\r\na3\r\n"));
    QCOMPARE(boxes.count(), 0);
}

void TestReadAhead::lostConnectionShowsEveryMessageReadAheadFirst() {
    PGconn* c = m_sender->connection();
    setReadAhead(true);
    const QString name = NameOwnSession();
    QVERIFY(sendTexts(c, "ra_lost", {"one", "two", "three"}));
    QCOMPARE(receiveOne("ra_lost"), 0); // "one" taken, the rest held
    QString ended;
    QVERIFY(exec(c,
                 QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                "WHERE application_name = %1")
                     .arg(SqlLiteral(name)),
                 &ended));
    QCOMPARE(ended, QStringLiteral("1"));

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
    QVERIFY(!logWhileShown.isEmpty());
    QCOMPARE(logWhileShown.first(), QByteArray("two\r\nthree\r\n"));
    QVERIFY2(texts.first().contains("ORA-03113"), qPrintable(texts.first()));
}

QTEST_MAIN(TestReadAhead)
#include "tst_readahead.moc"
