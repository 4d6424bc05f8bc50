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
class ScriptedSource : public CTailSource {
public:
    ScriptedSource(const QStringList& script, QList<bool> connects)
        : m_steps(script.begin(), script.end()), m_connects(std::move(connects)) {}
    bool Connect() override {
        ++connected;
        return m_connects.isEmpty() ? true : m_connects.takeFirst();
    }
    bool Purge() override {
        events.append(QStringLiteral("purge"));
        return purgeWorks;
    }
    Result Next(int timeoutMs, ReceivedMessage& message) override {
        if (m_steps.empty() || (m_stopped && !m_steps.front().startsWith('+'))) {
            QTest::qSleep(std::min(timeoutMs, 20));
            return Result::Empty;
        }
        const QString step = m_steps.front();
        m_steps.pop_front();
        if (step == "~")
            return Result::Empty;
        if (step == "!msg")
            return Result::MessageFailed;
        if (step == "!recv")
            return Result::ReceiveFailed;
        if (step == "#lost")
            return Result::Lost;
        if (step == "^stop") {
            stop = true;
            return Result::Empty;
        }
        if (step == "^close") {
            closed = true;
            return Result::Empty;
        }
        message = ReceivedMessage{};
        message.text = step.startsWith('+') ? step.mid(1) : step;
        message.logText = message.text + "\r\n";
        return Result::Received;
    }
    void StopTaking() override { m_stopped = true; }
    QStringList left() const { return QStringList(m_steps.begin(), m_steps.end()); }

    int connected = 0;
    bool purgeWorks = true;
    bool stop = false;
    bool closed = false;
    QStringList events;

private:
    std::deque<QString> m_steps;
    QList<bool> m_connects;
    bool m_stopped = false;
};

struct Printed : CMessageSink {
    QStringList texts;
    void OnMessage(const ReceivedMessage& message) override { texts.append(message.text); }
};
} // namespace

class TestTail : public QObject {
    Q_OBJECT

private slots:
    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("command");      // TailCommand
        QTest::addColumn<QString>("expected"); // the options read, or a word of the error
        auto run = int(TailCommand::Run), usage = int(TailCommand::Usage);
        QTest::newRow("connect only") << QStringList{"pg:"} << run << "pg: / dflt lf";
        QTest::newRow("user apart")
            << QStringList{"-u", "scott", "ORCL"} << run << "ORCL scott dflt lf";
        QTest::newRow("user joined")
            << QStringList{"-uscott", "ORCL"} << run << "ORCL scott dflt lf";
        QTest::newRow("pipe =") << QStringList{"--pipe=p1", "pg:"} << run << "pg: / p1 lf";
        QTest::newRow("flags") << QStringList{"--typed", "--no-lf",     "--purge",
                                              "--json",  "--reconnect", "pg:"}
                               << run << "pg: / dflt typed purge json reconnect";
        QTest::newRow("limits") << QStringList{"--count", "5",     "--timeout", "7",
                                               "--until", "^END$", "pg:"}
                                << run << "pg: / dflt lf count=5 timeout=7 until=^END$";
        QTest::newRow("after --") << QStringList{"--", "-odd"} << run << "-odd / dflt lf";
        QTest::newRow("help") << QStringList{"pg:", "--help"} << int(TailCommand::Help) << "";
        QTest::newRow("no connect") << QStringList{"--json"} << usage << "no connect string";
        QTest::newRow("two connects") << QStringList{"pg:", "ORCL"} << usage << "one connect";
        QTest::newRow("unknown") << QStringList{"--follow", "pg:"} << usage << "unknown option";
        QTest::newRow("count 0") << QStringList{"--count", "0", "pg:"} << usage << "--count";
        QTest::newRow("count text") << QStringList{"--count=x", "pg:"} << usage << "--count";
        QTest::newRow("timeout below 0")
            << QStringList{"--timeout", "-1", "pg:"} << usage << "--timeout";
        QTest::newRow("value missing") << QStringList{"pg:", "--until"} << usage << "needs a value";
        QTest::newRow("bad regex")
            << QStringList{"--until", "(", "pg:"} << usage << "not a regular expression";
        QTest::newRow("empty pipe") << QStringList{"--pipe=", "pg:"} << usage << "--pipe";
        QTest::newRow("flag with value") << QStringList{"--json=1", "pg:"} << usage << "no value";
        QTest::newRow("password") << QStringList{"--password=x", "pg:"} << usage
                                  << "never given on the command line";
        QTest::newRow("-p") << QStringList{"-p", "x", "pg:"} << usage << "never given";
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
        const std::vector<ReceivedItem> items{{6, "42"},         {9, m.text},     {11, "UNKNOWN"},
                                              {12, "07-DEC-26"}, {23, "UNKNOWN"}, {13, "t"},
                                              {24, "r"},         {99, "?"}};
        if (typed)
            m.items = items;
        const QByteArray line = JsonLine(m);
        QVERIFY(line.endsWith('\n'));
        QCOMPARE(line.count('\n'), 1); // one line, whatever the text holds
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(o["pipe"].toString(), m.pipe);
        const QString at = o["received"].toString();
        QVERIFY2(
            QRegularExpression(R"(^2026-12-07T18:12:42\.007[+-]\d\d:\d\d$)").match(at).hasMatch(),
            qPrintable(at));
        QCOMPARE(QDateTime::fromString(at, Qt::ISODateWithMs), m.received);
        QCOMPARE(o.contains("text"), !typed);
        QCOMPARE(o.contains("items"), typed);
        if (!typed) {
            QCOMPARE(o["text"].toString(), m.text);
            return;
        }
        const QJsonArray got = o["items"].toArray();
        QCOMPARE(got.size(), qsizetype(items.size()));
        const QStringList names{"NUMBER", "VARCHAR2",  "ROWID",  "DATE",
                                "RAW",    "TIMESTAMP", "RECORD", "UNKNOWN"};
        for (qsizetype i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i]["code"].toInt(), items[size_t(i)].type);
            QCOMPARE(got[i]["type"].toString(), names[i]);
            QCOMPARE(got[i]["value"].toString(), items[size_t(i)].value);
        }
    }

    // A reader that went away: the message and the later ones go to the fallback, once said.
    void closedOutputFallsBack() {
        std::signal(SIGPIPE, SIG_IGN);
        int out[2], fallback[2];
        QVERIFY(::pipe(out) == 0 && ::pipe(fallback) == 0);
        CTailOutput output(out[1], fallback[1], false);
        ReceivedMessage m;
        m.logText = "one\r\n";
        output.OnMessage(m);
        QVERIFY(!output.Closed());
        ::close(out[0]);
        m.logText = "two\r\n";
        output.OnMessage(m);
        m.logText = "three\r\n";
        output.OnMessage(m);
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
        const QList<bool> ok;
        QTest::newRow("count") << QStringList{"a", "~", "b", "c"} << "count=2" << ok << 0 << "a b"
                               << "c"
                               << "";
        QTest::newRow("count gives the held too")
            << QStringList{"a", "+b", "c"} << "count=1" << ok << 0 << "a b"
            << "c"
            << "";
        QTest::newRow("until") << QStringList{"a", "xENDx", "+h", "c"} << "until=END" << ok << 0
                               << "a xENDx h"
                               << "c"
                               << "";
        QTest::newRow("timeout") << QStringList{"a"} << "timeout=1" << ok << 3 << "a"
                                 << ""
                                 << "";
        QTest::newRow("until beats timeout")
            << QStringList{"a", "END"} << "until=END timeout=30" << ok << 0 << "a END"
            << ""
            << "";
        QTest::newRow("failed message goes on")
            << QStringList{"a", "!msg", "b"} << "count=2" << ok << 0 << "a b"
            << ""
            << "";
        QTest::newRow("failed receive waits, goes on")
            << QStringList{"!recv", "b"} << "count=1" << ok << 0 << "b"
            << ""
            << "1000";
        QTest::newRow("log-on fails")
            << QStringList{"a"} << "count=1" << QList<bool>{false} << 1 << ""
            << "a"
            << "";
        QTest::newRow("purge first") << QStringList{"a"} << "purge count=1" << ok << 0 << "a"
                                     << ""
                                     << "";
        QTest::newRow("lost ends") << QStringList{"a", "#lost", "b"} << "" << ok << 1 << "a"
                                   << "b"
                                   << "";
        QTest::newRow("lost, logged on again")
            << QStringList{"a", "#lost", "b"} << "reconnect count=2" << ok << 0 << "a b"
            << ""
            << "1000";
        QTest::newRow("waits 1 2 4 ... 30")
            << QStringList{"#lost", "b"} << "reconnect count=1"
            << QList<bool>{true, false, false, false, false, false, false, true} << 0 << "b"
            << ""
            << "1000 2000 4000 8000 16000 30000 30000";
        QTest::newRow("stop keeps the rest in the pipe")
            << QStringList{"a", "^stop", "+h1", "+h2", "c"} << "" << ok << 0 << "a h1 h2"
            << "c"
            << "";
        QTest::newRow("closed output: held, then end")
            << QStringList{"a", "^close", "+h", "c"} << "" << ok << 0 << "a h"
            << "c"
            << "";
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
        Printed out;
        QStringList slept, said;
        TailHooks hooks;
        hooks.stopRequested = [&] { return source.stop; };
        hooks.sleep = [&](int ms) { slept << QString::number(ms); };
        hooks.say = [&](const QString& line) { said << line; };
        QCOMPARE(RunTail(
                     source, o, out, [&] { return source.closed; }, hooks),
                 status);
        QCOMPARE(out.texts.join(' '), printed);
        QCOMPARE(source.left().join(' '), left);
        QCOMPARE(slept.join(' '), sleeps);
        QCOMPARE(source.events.contains("purge"), o.purge);
        if (o.reconnect && !sleeps.isEmpty()) { // each wait is announced, and the log-on
            QCOMPARE(said.first(), QStringLiteral("tidemark-tail: logging on again in 1 s"));
            QCOMPARE(said.last(), QStringLiteral("tidemark-tail: logged on again"));
        }
    }

    void reconnectDelays() {
        QList<int> got;
        for (int attempt = 0; attempt < 8; ++attempt)
            got << ReconnectDelaySeconds(attempt);
        QCOMPARE(got, (QList<int>{1, 2, 4, 8, 16, 30, 30, 30}));
    }
};

QTEST_GUILESS_MAIN(TestTail)
#include "tst_tail.moc"
