// tidemark-tail without a server: its command line, its JSON Lines, its output when the reader
// goes away, and the rules of a run against a scripted source.
#include "Profile.h"
#include "TailOptions.h"
#include "TailOutput.h"
#include "TailRun.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <csignal>
#include <deque>
#include <unistd.h>

namespace {
// A source that plays a script, one step a call of Next:
//   "text"   a message          "+text"  a message taken ahead and held (also after a stop)
//   "~"      nothing came       "!msg"   a message that failed   "!recv"  a receive that failed
//   "#lost"  the connection is lost     "^stop"  the run is asked to end (a signal)
//   "^close" the reader of the output went away
// After the script: nothing comes.
// It is also the output, keeping the texts printed.
class ScriptedSource : public CTailSource, public CMessageSink {
public:
    ScriptedSource(const QStringList& script, QList<bool> connects)
        : m_steps(script.begin(), script.end()), m_connects(std::move(connects)) {}
    bool Connect() override { return m_connects.isEmpty() || m_connects.takeFirst(); }
    bool Purge() override { return purged = true; }
    Result Next(int timeoutMs, ReceivedMessage& message) override {
        if (m_steps.empty() || (m_stopped && !m_steps.front().startsWith('+'))) {
            QTest::qSleep(std::min(timeoutMs, 20));
            return Result::Empty;
        }
        const QString step = m_steps.front();
        m_steps.pop_front();
        stop |= step == "^stop";
        closed |= step == "^close";
        static const QHash<QString, Result> failures{{"!msg", Result::MessageFailed},
                                                     {"!recv", Result::ReceiveFailed},
                                                     {"#lost", Result::Lost}};
        if (failures.contains(step))
            return failures[step];
        if (step == "~" || step.startsWith('^'))
            return Result::Empty;
        message = ReceivedMessage{};
        message.text = step.startsWith('+') ? step.mid(1) : step;
        message.logText = message.text + "\r\n";
        return Result::Received;
    }
    void StopTaking() override { m_stopped = true; }
    void OnMessage(const ReceivedMessage& message) override { printed.append(message.text); }
    QStringList left() const { return QStringList(m_steps.begin(), m_steps.end()); }

    QStringList printed;
    bool purged = false, stop = false, closed = false;

private:
    std::deque<QString> m_steps;
    QList<bool> m_connects;
    bool m_stopped = false;
};

} // namespace

class TestTail : public QObject {
    Q_OBJECT

private slots:
    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("command");      // TailCommand
        QTest::addColumn<QString>("expected"); // the options read, or a word of the error
        const auto row = [](const char* name, const QString& args, TailCommand command,
                            const QString& expected) {
            QTest::newRow(name) << args.split(' ') << int(command) << expected;
        };
        const auto run = TailCommand::Run, usage = TailCommand::Usage;
        row("connect only", "pg:", run, "pg: / dflt lf");
        row("user apart", "-u scott ORCL", run, "ORCL scott dflt lf");
        row("user joined", "-uscott ORCL", run, "ORCL scott dflt lf");
        row("pipe =", "--pipe=p1 pg:", run, "pg: / p1 lf");
        row("flags", "--typed --no-lf --purge --json --reconnect pg:", run,
            "pg: / dflt typed purge json reconnect");
        row("limits", "--count 5 --timeout 7 --until ^END$ pg:", run,
            "pg: / dflt lf count=5 timeout=7 until=^END$");
        row("after --", "-- -odd", run, "-odd / dflt lf");
        row("help", "pg: --help", TailCommand::Help, "");
        row("no connect", "--json", usage, "no connect string");
        row("two connects", "pg: ORCL", usage, "one connect");
        row("unknown", "--follow pg:", usage, "unknown option");
        row("count 0", "--count 0 pg:", usage, "--count");
        row("count text", "--count=x pg:", usage, "--count");
        row("timeout below 0", "--timeout -1 pg:", usage, "--timeout");
        row("value missing", "pg: --until", usage, "needs a value");
        row("bad regex", "--until ( pg:", usage, "not a regular expression");
        row("empty pipe", "--pipe= pg:", usage, "--pipe");
        row("flag with value", "--json=1 pg:", usage, "no value");
        row("password", "--password=x pg:", usage, "never given on the command line");
        row("-p", "-p x pg:", usage, "never given");
    }
    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(int, command);
        QFETCH(QString, expected);
        TailOptions o;
        QString error;
        const TailCommand got = ParseTailArguments(args, "dflt", o, error);
        QCOMPARE(int(got), command);
        if (got == TailCommand::Usage) {
            QVERIFY2(error.contains(expected), qPrintable(error));
            return;
        }
        if (got == TailCommand::Help)
            return;
        QStringList seen{o.connect, o.user.isEmpty() ? "/" : o.user, o.pipe};
        for (auto [on, name] : {std::pair{o.typed, "typed"},
                                {o.lf, "lf"},
                                {o.purge, "purge"},
                                {o.json, "json"},
                                {o.reconnect, "reconnect"}})
            if (on)
                seen << name;
        if (o.count)
            seen << QStringLiteral("count=%1").arg(o.count);
        if (o.timeoutSeconds)
            seen << QStringLiteral("timeout=%1").arg(o.timeoutSeconds);
        if (o.until)
            seen << "until=" + o.until->pattern();
        QCOMPARE(seen.join(' '), expected);
    }

    // The pipe the window was set to, read from its profile as the window reads it.
    void defaultPipeIsTheWindows() {
        ScopedProfile profile;
        QCOMPARE(DefaultPipeName(), QStringLiteral("tidemark"));
        QVERIFY(WriteProfileString("Options", "Pipe Name", "night_batch"));
        QCOMPARE(DefaultPipeName(), QStringLiteral("night_batch"));
        QVERIFY(WriteProfileString("Options", "Pipe Name", ""));
        QCOMPARE(DefaultPipeName(), QStringLiteral("tidemark"));
    }

    void jsonLine_data() {
        QTest::addColumn<bool>("typed");
        QTest::newRow("plain") << false;
        QTest::newRow("typed") << true;
    }
    void jsonLine() {
        QFETCH(bool, typed);
        ReceivedMessage m;
        m.received = QDateTime(QDate(2026, 12, 7), QTime(18, 12, 42, 7));
        m.pipe = "p\"1";
        m.typed = typed;
        m.text = QString::fromUtf8("tab\there \"quoted\" \xc3\xa9\n");
        if (typed)
            m.items = {{6, "42"},       {9, m.text}, {11, "UNKNOWN"}, {12, "07-DEC-26"},
                       {23, "UNKNOWN"}, {13, "t"},   {24, "r"},       {99, "?"}};
        const QByteArray line = JsonLine(m);
        QVERIFY(line.endsWith('\n'));
        QCOMPARE(line.count('\n'), 1); // one line, whatever the text holds
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QCOMPARE(o["pipe"].toString(), m.pipe);
        const QString at = o["received"].toString();
        QVERIFY2(
            QRegularExpression(R"(^2026-12-07T18:12:42\.007[+-]\d\d:\d\d$)").match(at).hasMatch(),
            qPrintable(at));
        QCOMPARE(QDateTime::fromString(at, Qt::ISODateWithMs), m.received);
        QCOMPARE(o["text"].toString(), typed ? QString() : m.text);
        QCOMPARE(o.contains("items"), typed);
        const QJsonArray got = o["items"].toArray();
        QCOMPARE(got.size(), qsizetype(m.items.size()));
        const QStringList names{"NUMBER", "VARCHAR2",  "ROWID",  "DATE",
                                "RAW",    "TIMESTAMP", "RECORD", "UNKNOWN"};
        for (qsizetype i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i]["code"].toInt(), m.items[size_t(i)].type);
            QCOMPARE(got[i]["type"].toString(), names[i]);
            QCOMPARE(got[i]["value"].toString(), m.items[size_t(i)].value);
        }
    }

    // A reader that went away: the message and the later ones go to the fallback, once said.
    void closedOutputFallsBack() {
        std::signal(SIGPIPE, SIG_IGN);
        int out[2], fallback[2];
        QVERIFY(::pipe(out) == 0 && ::pipe(fallback) == 0);
        CTailOutput output(out[1], fallback[1], false);
        const auto print = [&](const char* text) {
            ReceivedMessage m;
            m.logText = text;
            output.OnMessage(m);
        };
        print("one\r\n");
        QVERIFY(!output.Closed());
        ::close(out[0]);
        print("two\r\n");
        print("three\r\n");
        QVERIFY(output.Closed());
        ::close(out[1]);
        ::close(fallback[1]);
        QByteArray got(4096, '\0');
        got.resize(::read(fallback[0], got.data(), size_t(got.size())));
        ::close(fallback[0]);
        QVERIFY2(
            got.endsWith("closed; the messages taken from the pipe follow here\ntwo\r\nthree\r\n"),
            got.constData());
        QCOMPARE(got.count("closed"), 1);
    }

    void run_data() {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QString>("options"); // count=N until=RE timeout=S reconnect purge
        QTest::addColumn<QList<bool>>("connects");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QString>("left");   // steps still in the pipe
        QTest::addColumn<QString>("sleeps"); // ms, in order
        const auto row = [](const char* name, const QString& script, const QString& options,
                            int status, const QString& printed, const QString& left = {},
                            const QString& sleeps = {}, const QList<bool>& connects = {}) {
            QTest::newRow(name) << script.split(' ') << options << connects << status << printed
                                << left << sleeps;
        };
        row("count", "a ~ b c", "count=2", 0, "a b", "c");
        row("count gives the held too", "a +b c", "count=1", 0, "a b", "c");
        row("until", "a xENDx +h c", "until=END", 0, "a xENDx h", "c");
        row("timeout", "a", "timeout=1", 3, "a");
        row("until beats timeout", "a END", "until=END timeout=30", 0, "a END");
        row("failed message goes on", "a !msg b", "count=2", 0, "a b");
        row("failed receive waits, goes on", "!recv b", "count=1", 0, "b", "", "1000");
        row("log-on fails", "a", "count=1", 1, "", "a", "", {false});
        row("purge first", "a", "purge count=1", 0, "a");
        row("lost ends", "a #lost b", "", 1, "a", "b");
        row("lost, logged on again", "a #lost b", "reconnect count=2", 0, "a b", "", "1000");
        row("waits 1 2 4 ... 30", "#lost b", "reconnect count=1", 0, "b", "",
            "1000 2000 4000 8000 16000 30000 30000",
            {true, false, false, false, false, false, false, true});
        row("stop keeps the rest in the pipe", "a ^stop +h1 +h2 c", "", 0, "a h1 h2", "c");
        row("closed output: held, then end", "a ^close +h c", "", 0, "a h", "c");
    }
    void run() {
        QFETCH(QStringList, script);
        QFETCH(QString, options);
        QFETCH(QList<bool>, connects);
        QFETCH(int, status);
        QFETCH(QString, printed);
        QFETCH(QString, left);
        QFETCH(QString, sleeps);
        TailOptions o;
        for (const QString& word : options.split(' ', Qt::SkipEmptyParts)) {
            const QString value = word.section('=', 1);
            if (word.startsWith("count="))
                o.count = value.toInt();
            else if (word.startsWith("until="))
                o.until = QRegularExpression(value);
            else if (word.startsWith("timeout="))
                o.timeoutSeconds = value.toInt();
            o.reconnect |= word == "reconnect";
            o.purge |= word == "purge";
        }
        ScriptedSource source(script, connects);
        QStringList slept, said;
        TailHooks hooks;
        hooks.stopRequested = [&] { return source.stop; };
        hooks.sleep = [&](int ms) { slept << QString::number(ms); };
        hooks.say = [&](const QString& line) { said << line; };
        QCOMPARE(RunTail(
                     source, o, source, [&] { return source.closed; }, hooks),
                 status);
        QCOMPARE(source.printed.join(' '), printed);
        QCOMPARE(source.left().join(' '), left);
        QCOMPARE(slept.join(' '), sleeps);
        QCOMPARE(source.purged, o.purge);
        if (o.reconnect && !sleeps.isEmpty()) { // each wait is announced, and the log-on
            QCOMPARE(said.first(), QStringLiteral("tidemark-tail: logging on again in 1 s"));
            QCOMPARE(said.last(), QStringLiteral("tidemark-tail: logged on again"));
        }
    }
};

QTEST_GUILESS_MAIN(TestTail)
#include "tst_tail.moc"
