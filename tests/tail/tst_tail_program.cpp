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
    Tail(const QStringList& args,
         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        process.setProcessEnvironment(env);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(kProgram, args);
    }
    ~Tail() {
        process.kill();
        process.waitForFinished();
    }
    bool waitFor(const std::function<bool()>& done) {
        return QTest::qWaitFor(
            [&] {
                process.waitForReadyRead(20);
                out += process.readAllStandardOutput();
                err += process.readAllStandardError();
                return done();
            },
            20000);
    }
    // The exit status, or -1 when it has not ended in time.
    int finish() {
        if (!process.waitForFinished(30000))
            return -1;
        waitFor([] { return true; });
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

    bool sendTexts(const QString& pipe, const QStringList& texts) {
        for (const QString& text : texts)
            if (m_sender->sendItems(pipe, {QString::number(text.size()), SqlLiteral(text)}, 10))
                return false;
        return true;
    }
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

    // The read-ahead suite's corpus (every item type, the messages that break the plain
    // convention), awkward texts, then a last text that ends the terminal's run: the same bytes
    // and the same error texts as the window.
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
        auto send = [&] {
            for (const QString& message : ReadAheadCorpus())
                if (m_sender->sendItems(pipe, message.split('|', Qt::SkipEmptyParts), 10) != 0)
                    return false;
            return sendTexts(pipe, {"",
                                    QString::fromUtf8("\xef\xbb\xbf"
                                                      "bom and \xc3\xa9\xe2\x82\xac"),
                                    "corpus done"});
        };
        QVERIFY(send());
        MessageBoxRecorder boxes;
        LogWindow window(pipe, typed, lf);
        QVERIFY(window.drain());
        QVERIFY(window.log().contains("corpus done"));
        QString reported; // the window's error boxes, as a terminal would show them
        for (const MessageBoxRecorder::Shown& box : boxes.shown())
            reported += box.text + '\n';
        QVERIFY(typed || !reported.isEmpty());
        QVERIFY(send());
        QStringList args{"--until", "^corpus done$", "--timeout", "30"};
        if (typed)
            args << "--typed";
        if (!lf)
            args << "--no-lf";
        Tail tail(withDatabase(pipe, args));
        QCOMPARE(tail.finish(), 0);
        QCOMPARE(tail.out, window.log());
        QCOMPARE(QString::fromUtf8(tail.err), reported);
    }

    void jsonCarriesEveryItem() {
        const QString pipe = "tail_json";
        for (const QStringList& items :
             QList<QStringList>{{"42", "'text'", "date '2026-12-07'", "'\\x0102'::bytea"},
                                {"-1.5", "''"},
                                {"timestamp '2026-12-07 10:00:00'", "'after'"},
                                {}})
            QVERIFY(m_sender->sendItems(pipe, items, 10) == 0);
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
            QVERIFY(QDateTime::fromString(o["received"].toString(), Qt::ISODateWithMs).isValid());
            QCOMPARE(o["pipe"].toString(), pipe);
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
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("printed");    // at least the first ones sent
        QTest::addColumn<QByteArray>("err"); // a piece of standard error
        const QStringList abc{"a", "b", "c"};
        QTest::newRow("count") << abc << "--count 2 --timeout 20" << 0 << 2 << QByteArray();
        QTest::newRow("timeout") << abc << "--until END --timeout 2" << 3 << 3 << QByteArray();
        QTest::newRow("purge first") << abc << "--purge --timeout 1" << 3 << 0 << QByteArray();
        QTest::newRow("usage") << abc << "--count none" << 2 << 0
                               << QByteArray("Try 'tidemark-tail --help'");
        QTest::newRow("log-on denied")
            << abc << "-u nobody --timeout 5" << 1 << 0 << QByteArray("ORACLE Error\nORA-01017");
    }
    void endsAndStatuses() {
        QFETCH(QStringList, send);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(int, printed);
        QFETCH(QByteArray, err);
        const QString pipe = "tail_ends";
        drainPipe(pipe);
        QVERIFY(sendTexts(pipe, send));
        Tail tail(withDatabase(pipe, args.split(' ')));
        QCOMPARE(tail.finish(), status);
        // Read ahead with the last message it printed: what it took is printed, the rest stays.
        const QStringList left = drainPipe(pipe);
        const QByteArray first = send.mid(0, printed).join("\r\n").toUtf8();
        QVERIFY2(tail.out.startsWith(first), tail.out.constData());
        const QStringList shown = QString::fromUtf8(tail.out).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(shown + left, args.contains("--purge") ? QStringList() : send);
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
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("PGPASSWORD");
        env.insert("TIDEMARK_PASSWORD", password);
        Tail tail(withDatabase(pipe, {"-u", "postgres", "--count", "1", "--timeout", "20"}), env);
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
