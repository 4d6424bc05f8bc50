// Faults on the database side: the server stopped or frozen in the middle of a drain, the
// monitor's session ended from outside, the server restarted. Each failure is reported through the
// error box, no drain loops or hangs (the suite finishing is the proof), the log keeps what was
// received before and can still be saved. The server is the test's own, so that it may be
// stopped without harming the other suites.
//
// Parts: helpers that send to the private server and end the program's session from outside;
// the fixture (the server, the log-on, the checks every lost session ends with); the faults,
// from a stop in the middle of a drain through a frozen server, a cancelled statement, a
// termination while polling and a restart to a log-on to a stopped server; last, Abort in the
// error box, run in a child process.
#include "LogWindow.h"
#include "PrivateServer.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <stdexcept>

namespace {
// Sends texts as the sending procedure packs them (the length, then the text) from a fresh
// session: the server may have been restarted since the last one.
bool send(PrivateServer& server, const QString& pipe, const QStringList& texts) {
    return server.admin([&](PipeSender& s) {
        s.setWait(5);
        for (const QString& t : texts)
            if (!s.sendDebug(t, pipe))
                return false;
        return true;
    });
}

// A message that breaks the plain convention (text where the length belongs): its report is
// the moment at which a test acts in the middle of a drain.
bool sendBroken(PrivateServer& server, const QString& pipe) {
    return server.admin(
        [&](PipeSender& s) { return s.sendItems(pipe, {"'not a length'::text"}, 5) == 0; });
}

// Ends the program's session from outside; true when exactly that one session ended.
bool terminateTheProgramsSession(PipeSender& s) {
    return s.scalar("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                    "WHERE application_name = 'Tidemark'") == "1";
}

// "one", "two", the broken message, "three": a drain reports in the middle, after "two".
bool sendAroundABrokenMessage(PrivateServer& server, const QString& pipe) {
    return send(server, pipe, {"one", "two"}) && sendBroken(server, pipe) &&
           send(server, pipe, {"three"});
}

bool allAreErrorReports(const MessageBoxRecorder& boxes) {
    for (const auto& b : boxes.shown())
        if (!b.text.startsWith("ORACLE Error") || (b.type & MB_TYPEMASK) != MB_ABORTRETRYIGNORE)
            return false;
    return true;
}

} // namespace

class TestReliabilityFaults : public QObject {
    Q_OBJECT
    std::unique_ptr<PrivateServer> m_server;

    bool logon() {
        return OciLogon("postgres", m_server->password().c_str(),
                        m_server->connectString().c_str()) == 1;
    }

    // Every drain after the loss reports once and ends; the log stays and can be saved.
    void checkLaterDrainsAndSave(LogWindow& m, const QByteArray& before) {
        for (int i = 0; i < 3; ++i) {
            MessageBoxRecorder later;
            QVERIFY(m.drain());
            QCOMPARE(later.count(), 1);
            QVERIFY(allAreErrorReports(later));
        }
        QCOMPARE(m.log(), before);
        QTemporaryDir dir;
        MessageBoxRecorder saving;
        QVERIFY(m.doc.OnSaveDocument(dir.filePath("kept.log")));
        QCOMPARE(ReadFile(dir.filePath("kept.log")), before);
        QCOMPARE(saving.count(), 0);
        QVERIFY(!m.doc.IsModified());
    }

private slots:
    void initTestCase() {
        REQUIRE_DATABASE();
        // These faults strike in the middle of a drain, at a message's report, and check the
        // statements after it. Read ahead, the whole burst is in hand before that report, so
        // they run one round trip per statement; tst_readahead covers a loss after a read-ahead.
        qputenv("TIDEMARK_READ_AHEAD", "off");
        if (qEnvironmentVariableIsSet("TIDEMARK_REL_CHILD"))
            return; // the child uses its parent's server
        m_server = std::make_unique<PrivateServer>();
        QVERIFY2(m_server->ready(), qPrintable(m_server->log()));
    }
    void cleanupTestCase() { m_server.reset(); }

    void serverStoppedInTheMiddleOfADrain_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("fast shutdown") << "fast";
        QTest::newRow("immediate shutdown") << "immediate";
    }
    void serverStoppedInTheMiddleOfADrain() {
        QFETCH(QString, mode);
        QVERIFY2(logon(), "log-on to the private server");
        LogWindow m("stopped");
        QVERIFY(send(*m_server, "stopped", {"first", "second"}));
        QVERIFY(sendBroken(*m_server, "stopped"));
        QVERIFY(send(*m_server, "stopped", {"never seen"}));

        // The broken message's report is shown in the middle of the drain: the server is
        // stopped while the box is open, and the drain goes on against a stopped server.
        bool stopped = false;
        QList<QString> texts;
        AfxSetMessageBoxResponder([&](const QString& text, UINT) {
            texts.append(text);
            if (!stopped)
                stopped = m_server->stop(mode);
            return int(IDIGNORE);
        });
        QVERIFY(m.drain());
        AfxSetMessageBoxResponder({});
        QVERIFY2(stopped, qPrintable(m_server->log()));
        QVERIFY2(texts.size() >= 2 && texts.size() <= 3, qPrintable(texts.join("\n--\n")));
        QVERIFY2(texts.last().contains("ORA-0311"), qPrintable(texts.last()));
        const QByteArray before = m.log();
        QCOMPARE(before, QByteArray("first\r\nsecond\r\n"));
        checkLaterDrainsAndSave(m, before);
        QVERIFY(m_server->start());
    }

    void serverStoppedBetweenDrainsTyped() {
        QVERIFY2(logon(), "log-on to the private server");
        LogWindow m("stopped_typed", true);
        QVERIFY(send(*m_server, "stopped_typed", {"first"}));
        QVERIFY(m.drain());
        const QByteArray before = m.log();
        QCOMPARE(before, QByteArray("MESSAGE:\r\nNUMBER:\t'5'\r\nVARCHAR2:\t'first'\r\n\r\n"));
        QVERIFY(m_server->stop("fast"));
        checkLaterDrainsAndSave(m, before);
        QVERIFY(m_server->start());
    }

    void sessionTerminatedFromOutside() {
        QVERIFY2(logon(), "log-on to the private server");
        LogWindow m("terminated");
        QVERIFY(sendAroundABrokenMessage(*m_server, "terminated"));
        int boxes = 0;
        QString lastText;
        bool killed = false;
        AfxSetMessageBoxResponder([&](const QString& text, UINT) {
            ++boxes;
            lastText = text;
            if (!killed)
                killed = m_server->admin(terminateTheProgramsSession);
            return int(IDIGNORE);
        });
        QVERIFY(m.drain());
        AfxSetMessageBoxResponder({});
        QVERIFY(killed);
        QVERIFY2(boxes >= 2 && boxes <= 4, qPrintable(QString::number(boxes)));
        QVERIFY2(lastText.contains("ORA-0311"), qPrintable(lastText));
        QCOMPARE(m.log(), QByteArray("one\r\ntwo\r\n"));
        // No session was opened again behind the program's back.
        QVERIFY(m_server->admin([](PipeSender& s) {
            return s.scalar("SELECT count(*) FROM pg_stat_activity WHERE application_name = "
                            "'Tidemark'") == "0";
        }));
        QTemporaryDir dir;
        MessageBoxRecorder saving;
        QVERIFY(m.doc.OnSaveDocument(dir.filePath("after-kill.log")));
        QCOMPARE(ReadFile(dir.filePath("after-kill.log")), QByteArray("one\r\ntwo\r\n"));
    }

    void typedBlockFailsInTheMiddleOfAMessage() {
        // The second item of a message cannot be taken (its text does not fit the item buffer)
        // and the session ends while that report is open. The message ends there: a stale item
        // type would send the drain round the item loop for as long as the session is gone.
        QVERIFY2(logon(), "log-on to the private server");
        LogWindow m("ended_typed", true);
        QVERIFY(m_server->admin([](PipeSender& s) {
            return s.sendItems("ended_typed",
                               {"'first'::text", "power(10::numeric, 40000)", "'third'::text"},
                               5) == 0;
        }));
        QStringList texts;
        bool killed = false;
        bool looped = false;
        AfxSetMessageBoxResponder([&](const QString& text, UINT) {
            texts << text;
            if (!killed)
                killed = m_server->admin(terminateTheProgramsSession);
            if (texts.size() == 20 && !looped) {
                looped = true;
                throw std::runtime_error("the drain does not end"); // leaves the loop once
            }
            return int(IDIGNORE);
        });
        try {
            m.view.PollPipe();
        } catch (const std::runtime_error&) {
        }
        AfxSetMessageBoxResponder({});
        QVERIFY(killed);
        QVERIFY2(!looped, qPrintable(texts.mid(0, 4).join("\n--\n")));
        // The item's report, then the next receive finds the session gone and ends the drain.
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts[0].contains("ORA-06502"), qPrintable(texts[0]));
        QVERIFY2(texts[1].contains("ORA-0311"), qPrintable(texts[1]));
        QCOMPARE(m.log(), QByteArray("MESSAGE:\r\nVARCHAR2:\t'first'\r\n\r\n"));
    }

    void serverFrozenInTheMiddleOfADrain() {
        // A frozen server process keeps its socket open and acknowledged, so only the
        // driver's own deadline can end the wait; the drain must then end with a report.
        QVERIFY2(logon(), "log-on to the private server");
        LogWindow m("frozen");
        QVERIFY(sendAroundABrokenMessage(*m_server, "frozen"));
        int pid = 0;
        QVERIFY(m_server->admin([&](PipeSender& s) {
            pid = s.scalar("SELECT pid FROM pg_stat_activity WHERE application_name = 'Tidemark'")
                      .toInt();
            return pid > 0;
        }));
        struct Thaw {
            int pid;
            bool frozen = false;
            ~Thaw() {
                if (frozen)
                    ::kill(pid, SIGCONT);
            }
        } thaw{pid};
        QStringList texts;
        AfxSetMessageBoxResponder([&](const QString& text, UINT) {
            texts << text;
            if (!thaw.frozen)
                thaw.frozen = ::kill(pid, SIGSTOP) == 0;
            return int(IDIGNORE);
        });
        QVERIFY(m.drain());
        AfxSetMessageBoxResponder({});
        QVERIFY(thaw.frozen);
        // The broken message, the statement that found the server frozen, and at most the
        // steps of that one message that were still to come.
        QVERIFY2(texts.size() >= 2 && texts.size() <= 4, qPrintable(texts.join("\n---\n")));
        QVERIFY2(texts[1].contains("ORA-03113") &&
                     texts[1].contains("did not answer within 20 seconds"),
                 qPrintable(texts[1]));
        checkLaterDrainsAndSave(m, "one\r\ntwo\r\n");
    }

    void slowStatementIsCancelledAndTheSessionStays() {
        // Another session holds a lock for longer than the server lets one of our statements
        // wait: the statement fails with a report, the connection is kept, the monitor goes on.
        QVERIFY2(logon(), "log-on to the private server");
        QVERIFY(m_server->admin([](PipeSender& s) {
            return s.scalar("CREATE TABLE IF NOT EXISTS held (x int); SELECT 1") == "1";
        }));
        auto holder = std::make_unique<PipeSender>(m_server->conninfo());
        QCOMPARE(holder->scalar("BEGIN; LOCK TABLE held; SELECT 1"), QStringLiteral("1"));
        {
            MessageBoxRecorder boxes;
            COciCursor cursor;
            cursor.Parse("SELECT * FROM held");
            QVERIFY(!cursor.Execute(TRUE));
            QCOMPARE(boxes.count(), 1);
            QVERIFY2(boxes.lastText().contains("statement timeout"), qPrintable(boxes.lastText()));
        }
        holder.reset();
        QCOMPARE(g_bConnected, 1);
        LogWindow m("after_slow");
        MessageBoxRecorder boxes;
        QVERIFY(send(*m_server, "after_slow", {"still here"}));
        QVERIFY(m.drain());
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(m.log(), QByteArray("still here\r\n"));
    }

    void terminatedWhilePollingOnTheTimer() {
        QVERIFY2(logon(), "log-on to the private server");
        LogWindow m("polled");
        m.view.m_nTimerFrequency = 0;
        MessageBoxRecorder boxes;
        m.view.OnStart();
        QVERIFY(send(*m_server, "polled", {"ticked"}));
        QTRY_COMPARE(m.log(), QByteArray("ticked\r\n"));
        QCOMPARE(boxes.count(), 0);
        QVERIFY(m_server->admin(terminateTheProgramsSession));
        QTRY_VERIFY(boxes.count() >= 3);
        // The timer goes on; every tick's drain ends at its first failure.
        m.view.killTimer(int(m.view.m_nTimerId));
        m.view.m_nTimerId = 0;
        QVERIFY(allAreErrorReports(boxes));
        boxes.clear();
        QVERIFY(m.drain());
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(m.log(), QByteArray("ticked\r\n"));
    }

    void serverRestarted() {
        QVERIFY2(logon(), "log-on to the private server");
        LogWindow m("restarted");
        QVERIFY(send(*m_server, "restarted", {"before restart"}));
        QVERIFY(m.drain());
        QCOMPARE(m.log(), QByteArray("before restart\r\n"));
        QVERIFY(m_server->stop("fast"));
        QVERIFY(m_server->start());
        QVERIFY(send(*m_server, "restarted", {"after restart"}));
        {
            // The old session is gone: reported once per drain, not taken up again silently.
            MessageBoxRecorder boxes;
            QVERIFY(m.drain());
            QVERIFY(m.drain());
            QCOMPARE(boxes.count(), 2);
            QVERIFY(allAreErrorReports(boxes));
            QVERIFY2(boxes.lastText().contains("ORA-0311"), qPrintable(boxes.lastText()));
        }
        // A new log-on carries on where the log stands.
        MessageBoxRecorder boxes;
        QVERIFY(logon());
        QVERIFY(m.drain());
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(m.log(), QByteArray("before restart\r\nafter restart\r\n"));
        QTemporaryDir dir;
        QVERIFY(m.doc.OnSaveDocument(dir.filePath("restart.log")));
        QCOMPARE(ReadFile(dir.filePath("restart.log")), m.log());
    }

    void logonToAStoppedServerFailsPromptly() {
        QVERIFY(m_server->stop("fast"));
        MessageBoxRecorder boxes;
        QVERIFY(!logon());
        QCOMPARE(g_bConnected, 0);
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().contains("ORA-12541"), qPrintable(boxes.lastText()));
        QVERIFY(m_server->start());
    }

    void abortInTheReportEndsTheProcess() {
        // Abort in the error box ends the process with status 1 at once: in a child.
        if (qEnvironmentVariableIsSet("TIDEMARK_REL_CHILD"))
            return;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The child ends without running destructors: its temporary folders go with this one.
        QTemporaryDir childTemp;
        env.insert("TMPDIR", childTemp.path());
        env.insert("TIDEMARK_REL_CHILD_CONNECT", QString::fromStdString(m_server->connectString()));
        env.insert("TIDEMARK_REL_CHILD_PASSWORD", QString::fromStdString(m_server->password()));
        env.insert("TIDEMARK_REL_CHILD", "1");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"childAbortsOnLostServer"});
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
        QVERIFY2(child.readAllStandardOutput().contains("drain"), "the child reached the drain");
    }

    void childAbortsOnLostServer() {
        if (!qEnvironmentVariableIsSet("TIDEMARK_REL_CHILD"))
            return; // only run as the child of the test above
        QVERIFY(OciLogon("postgres", qgetenv("TIDEMARK_REL_CHILD_PASSWORD").constData(),
                         qgetenv("TIDEMARK_REL_CHILD_CONNECT").constData()) == 1);
        LogWindow m("aborting");
        {
            PipeSender admin(
                ("host=127.0.0.1 port=" +
                 qgetenv("TIDEMARK_REL_CHILD_CONNECT").split(':').value(2).split('/').value(0) +
                 " dbname=postgres user=postgres password=" +
                 qgetenv("TIDEMARK_REL_CHILD_PASSWORD"))
                    .toStdString());
            QVERIFY(terminateTheProgramsSession(admin));
        }
        MessageBoxRecorder boxes;
        boxes.answer(IDABORT);
        printf("drain\n");
        fflush(stdout);
        QVERIFY(m.drain());
        QFAIL("Abort in the error box did not end the process");
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestReliabilityFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rel_faults.moc"
