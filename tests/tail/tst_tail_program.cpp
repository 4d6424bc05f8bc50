// tidemark-tail against the real server: the same bytes as the window for the same messages,
// JSON Lines, the ends of a run and their statuses, Ctrl+C in the middle of a burst, the
// password, and a lost connection. On a server of the suite's own: its bursts fill the pipe
// memory, and its lost connection is made by ending every program session there.
#include "LogWindow.h"
#include "Logon.h"
#include "PrivateServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <atomic>
#include <csignal>
#include <thread>

namespace {
const QString kProgram = QStringLiteral(TIDEMARK_TAIL_PROGRAM);

// The program running, its output gathered as it comes.
struct Tail {
    QProcess process;
    QByteArray out, err;
    Tail(const QStringList& args, const QStringList& environment = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& kv : environment) {
            if (kv.endsWith('='))
                env.remove(kv.chopped(1));
            else
                env.insert(kv.section('=', 0, 0), kv.section('=', 1));
        }
        process.setProcessEnvironment(env);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(kProgram, args);
    }
    ~Tail() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    void gather() {
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
    }
    bool waitFor(const std::function<bool()>& done, int ms = 20000) {
        return QTest::qWaitFor(
            [&] {
                process.waitForReadyRead(20);
                gather();
                return done();
            },
            ms);
    }
    // The exit status, or -1 when it has not ended in time.
    int finish(int ms = 30000) {
        if (!process.waitForFinished(ms))
            return -1;
        gather();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }
};

QStringList withDatabase(const QString& pipe, QStringList args) {
    return args << "--pipe" << pipe << QString::fromStdString(TestDatabase::connectString());
}
} // namespace

class TestTailProgram : public QObject {
    Q_OBJECT
    std::unique_ptr<PrivateServer> m_server;
    std::unique_ptr<PipeSender> m_sender;

    // The corpus: awkward texts, and typed messages of every item type.
    bool sendCorpus(const QString& pipe, bool typed) {
        const QStringList texts{"plain",
                                "",
                                "tab\there",
                                "crlf\r\ninside",
                                QString::fromUtf8("\xef\xbb\xbf"
                                                  "bom and \xc3\xa9\xe2\x82\xac"),
                                QString(1999, 'x')};
        const QList<QStringList> items{
            {"42", "'text'", "date '2026-12-07'", "'\\x0102'::bytea"},
            {"-1.5", "''"},
            {"timestamp '2026-12-07 10:00:00'", "'after'"},
            {},
        };
        if (!typed) {
            QList<QStringList> messages;
            for (const QString& t : texts)
                messages.append(QStringList{QString::number(t.size()), SqlLiteral(t)});
            // Failures: no length (reported, the text shown), a number for the text (reported,
            // nothing shown).
            messages.append(QStringList{"'no length'"});
            messages.append(QStringList{"1", "2"});
            messages.append(QStringList{"4", "'last'"});
            for (const QStringList& message : messages)
                if (m_sender->sendItems(pipe, message, 10) != 0)
                    return false;
            return true;
        }
        for (const QStringList& message : items)
            if (m_sender->sendItems(pipe, message, 10) != 0)
                return false;
        return true;
    }
    static int corpusSize(bool typed) { return typed ? 4 : 8; } // messages shown
    // What the pipe still holds, received off it.
    QStringList drainPipe(const QString& pipe) {
        QStringList left;
        while (m_sender->scalar("SELECT dbms_pipe.receive_message(" + SqlLiteral(pipe) + ", 0)") ==
               "0") {
            m_sender->exec("SELECT dbms_pipe.unpack_message_number()");
            left << m_sender->scalar("SELECT dbms_pipe.unpack_message_text()");
        }
        return left;
    }

private slots:
    void initTestCase() {
        START_PRIVATE_TEST_DATABASE(m_server);
        QVERIFY(LogonToTestDatabase());
        m_sender = std::make_unique<PipeSender>();
        QVERIFY2(m_sender->ok(), qPrintable(m_sender->error()));
    }

    void sameBytesAsTheWindow_data() {
        QTest::addColumn<bool>("typed");
        QTest::addColumn<bool>("lf");
        QTest::newRow("plain") << false << true;
        QTest::newRow("plain, no LF") << false << false;
        QTest::newRow("typed") << true << true;
        QTest::newRow("typed, no LF") << true << false;
    }
    void sameBytesAsTheWindow() {
        QFETCH(bool, typed);
        QFETCH(bool, lf);
        const QString pipe = "tail_corpus";
        QVERIFY(sendCorpus(pipe, typed));
        MessageBoxRecorder boxes;
        LogWindow window(pipe, typed, lf);
        QVERIFY(window.drain());
        QString reported; // the window's error boxes, as a terminal would show them
        for (const MessageBoxRecorder::Shown& box : boxes.shown())
            reported += box.text + '\n';
        QCOMPARE(boxes.count(), typed ? 0 : 2);
        QVERIFY(sendCorpus(pipe, typed));
        QStringList args{"--count", QString::number(corpusSize(typed)), "--timeout", "20"};
        if (typed)
            args << "--typed";
        if (!lf)
            args << "--no-lf";
        Tail tail(withDatabase(pipe, args));
        QCOMPARE(tail.finish(), 0);
        QVERIFY(!window.log().isEmpty());
        QCOMPARE(tail.out, window.log());
        QCOMPARE(QString::fromUtf8(tail.err), reported);
    }

    // The read-ahead suite's corpus (every item type, the messages that break the plain
    // convention), then a last text that ends the terminal's run: the same bytes and the same
    // error texts as the window.
    void corpusGivesTheWindowsBytes_data() {
        QTest::addColumn<bool>("typed");
        QTest::newRow("plain") << false;
        QTest::newRow("typed") << true;
    }
    void corpusGivesTheWindowsBytes() {
        QFETCH(bool, typed);
        const QString pipe = "tail_ra_corpus";
        auto send = [&] {
            for (const QString& message : ReadAheadCorpus())
                if (m_sender->sendItems(pipe, message.split('|', Qt::SkipEmptyParts), 10) != 0)
                    return false;
            return m_sender->sendItems(pipe, {"11", "'corpus done'::text"}, 10) == 0;
        };
        QVERIFY(send());
        MessageBoxRecorder boxes;
        LogWindow window(pipe, typed, true);
        QVERIFY(window.drain());
        QVERIFY(window.log().contains("corpus done"));
        QString reported;
        for (const MessageBoxRecorder::Shown& box : boxes.shown())
            reported += box.text + '\n';
        QVERIFY(send());
        QStringList args{"--until", "^corpus done$", "--timeout", "30"};
        if (typed)
            args << "--typed";
        Tail tail(withDatabase(pipe, args));
        QCOMPARE(tail.finish(), 0);
        QCOMPARE(tail.out, window.log());
        QCOMPARE(QString::fromUtf8(tail.err), reported);
    }

    void jsonCarriesEveryItem() {
        const QString pipe = "tail_json";
        QVERIFY(sendCorpus(pipe, true));
        Tail tail(withDatabase(pipe, {"--typed", "--json", "--count", "4", "--timeout", "20"}));
        QCOMPARE(tail.finish(), 0);
        const QList<QByteArray> lines = tail.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        const QList<QStringList> expected{
            {"NUMBER:42", "VARCHAR2:text", "DATE:", "RAW:"},
            {"NUMBER:-1.5", "VARCHAR2:"},
            {"TIMESTAMP:", "VARCHAR2:after"}, // as in the window, the next item follows
            {}};
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(lines[i], &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            QCOMPARE(o["pipe"].toString(), pipe);
            QVERIFY(QDateTime::fromString(o["received"].toString(), Qt::ISODateWithMs).isValid());
            QStringList got;
            for (const QJsonValue item : o["items"].toArray()) {
                const QString type = item["type"].toString();
                // Dates and raws are shown as the server phrases them: their type is checked.
                got << type + ':' +
                           (type == "NUMBER" || type == "VARCHAR2" ? item["value"].toString()
                                                                   : QString());
            }
            QCOMPARE(got, expected[i]);
        }
    }

    void endsAndStatuses_data() {
        QTest::addColumn<QStringList>("send");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err"); // a piece of standard error
        QTest::newRow("until") << QStringList{"a", "the END", "c"}
                               << QStringList{"--until", "^the END$", "--timeout", "20"} << 0
                               << QByteArray("a\r\nthe END\r\n") << QByteArray();
        QTest::newRow("count") << QStringList{"a", "b", "c"}
                               << QStringList{"--count", "2", "--timeout", "20"} << 0
                               << QByteArray("a\r\nb\r\n") << QByteArray();
        QTest::newRow("timeout") << QStringList{} << QStringList{"--timeout", "1"} << 3
                                 << QByteArray() << QByteArray();
        QTest::newRow("until unmatched times out")
            << QStringList{"a"} << QStringList{"--until", "END", "--timeout", "2"} << 3
            << QByteArray("a\r\n") << QByteArray();
        QTest::newRow("purge first")
            << QStringList{"old"} << QStringList{"--purge", "--timeout", "1"} << 3 << QByteArray()
            << QByteArray();
        QTest::newRow("usage") << QStringList{} << QStringList{"--count", "none"} << 2
                               << QByteArray() << QByteArray("Try 'tidemark-tail --help'");
        QTest::newRow("log-on denied")
            << QStringList{} << QStringList{"-u", "nobody", "--timeout", "5"} << 1 << QByteArray()
            << QByteArray("ORACLE Error\nORA-01017");
    }
    void endsAndStatuses() {
        QFETCH(QStringList, send);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        const QString pipe = "tail_ends";
        drainPipe(pipe);
        for (const QString& text : send)
            QVERIFY(m_sender->sendItems(pipe, {QString::number(text.size()), SqlLiteral(text)},
                                        10) == 0);
        Tail tail(withDatabase(pipe, args));
        QCOMPARE(tail.finish(), status);
        // Read ahead with the last message it printed: what it took is printed, the rest stays.
        const QStringList left = drainPipe(pipe);
        QVERIFY2(tail.out.startsWith(out), tail.out.constData());
        QStringList printed = QString::fromUtf8(tail.out).split("\r\n", Qt::SkipEmptyParts);
        if (!args.contains("--purge"))
            QCOMPARE(printed + left, send);
        else
            QVERIFY(left.isEmpty() && printed.isEmpty());
        QVERIFY2(tail.err.contains(err), tail.err.constData());
    }

    // Ctrl+C while senders keep the pipe full: everything sent was either printed or is still in
    // the pipe, once and in order.
    void interruptMidBurst() {
        const QString pipe = "tail_burst";
        std::atomic<int> sent = 0;
        std::atomic<bool> stop = false;
        std::thread sender([&] {
            PipeSender s;
            for (int i = 0; i < 100000 && !stop; ++i) {
                const QString text = QStringLiteral("m%1").arg(i);
                if (s.sendItems(pipe, {QString::number(text.size()), SqlLiteral(text)}, 3) != 0)
                    break;
                ++sent;
            }
        });
        Tail tail(withDatabase(pipe, {}));
        const bool printing = tail.waitFor([&] { return tail.out.count('\n') >= 200; });
        ::kill(pid_t(tail.process.processId()), SIGINT);
        const int status = tail.finish();
        stop = true;
        sender.join();
        QVERIFY(printing);
        QCOMPARE(status, 0);
        const QStringList printed = QString::fromUtf8(tail.out).split("\r\n", Qt::SkipEmptyParts);
        const QStringList all = printed + drainPipe(pipe);
        QCOMPARE(all.size(), int(sent));
        for (int i = 0; i < all.size(); ++i)
            QCOMPARE(all[i], QStringLiteral("m%1").arg(i));
    }

    // The password comes from the environment: never on the command line, never printed.
    void passwordStaysHidden() {
        const QString pipe = "tail_password";
        const QString password = QString::fromStdString(m_server->password());
        Tail tail(withDatabase(pipe, {"-u", "postgres", "--count", "1", "--timeout", "20"}),
                  {"PGPASSWORD=", "TIDEMARK_PASSWORD=" + password});
        QVERIFY(tail.process.waitForStarted());
        const QString cmdline = "/proc/" + QString::number(tail.process.processId()) + "/cmdline";
        const QByteArray arguments = ReadFile(cmdline);
        QVERIFY(m_sender->sendItems(pipe, {"1", "'x'"}, 10) == 0);
        QCOMPARE(tail.finish(), 0); // logged on with it
        QVERIFY(arguments.contains("postgres"));
        QVERIFY(!arguments.contains(password.toUtf8()));
        QVERIFY(!tail.out.contains(password.toUtf8()) && !tail.err.contains(password.toUtf8()));
    }

    void lostConnection_data() {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("ends with 1") << false;
        QTest::newRow("logs on again") << true;
    }
    void lostConnection() {
        QFETCH(bool, reconnect);
        const QString pipe = "tail_lost";
        QStringList args{"--count", "2", "--timeout", "30"};
        if (reconnect)
            args << "--reconnect";
        Tail tail(withDatabase(pipe, args));
        QVERIFY(m_sender->sendItems(pipe, {"1", "'a'"}, 10) == 0);
        QVERIFY(tail.waitFor([&] { return tail.out == "a\r\n"; }));
        QVERIFY(m_sender->exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                               "WHERE application_name = 'Tidemark' AND pid <> pg_backend_pid()"));
        if (!reconnect) {
            QCOMPARE(tail.finish(), 1);
            QVERIFY2(tail.err.contains(
                         "ORACLE Error when processing OCI function OEXEC, OEXN\nORA-0311"),
                     tail.err.constData());
            return;
        }
        QVERIFY2(tail.waitFor([&] { return tail.err.contains("logged on again"); }),
                 tail.err.constData());
        QVERIFY(tail.err.contains("tidemark-tail: logging on again in 1 s"));
        QVERIFY(m_sender->sendItems(pipe, {"1", "'b'"}, 10) == 0);
        QCOMPARE(tail.finish(), 0);
        QCOMPARE(tail.out, QByteArray("a\r\nb\r\n"));
    }
};

QTEST_MAIN(TestTailProgram)
#include "tst_tail_program.moc"
