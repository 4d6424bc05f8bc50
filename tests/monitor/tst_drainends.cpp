// Ways a drain ends or is redirected, on a slow link (the process logs on through a relay that
// holds every chunk 30 ms each way, so one round trip outlasts a piece of a drain): whatever
// happens between two pieces, every message sent is in the session journal or still in its
// pipe, once, in order. A piece that runs out of time goes on by itself.
#include "DelayProxy.h"
#include "LogWindow.h"
#include "Logon.h"

#include <QDir>
#include <QTest>
#include <memory>

namespace {
// Journals go into a folder of the test's, switched on, while it lives.
struct JournalHome {
    QTemporaryDir dir;
    JournalHome() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path()));
        qunsetenv("TIDEMARK_SESSION_LOG");
    }
    ~JournalHome() { qputenv("TIDEMARK_SESSION_LOG", "off"); }
    QStringList journals() const {
        const QString folder = dir.filePath(QStringLiteral("tidemark/sessions"));
        QStringList lines;
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            lines += QString::fromUtf8(ReadFile(folder + '/' + name)).split("\r\n");
        lines.removeAll(QString());
        return lines;
    }
};

} // namespace

class TestDrainEnds : public QObject {
    Q_OBJECT
    std::unique_ptr<DelayProxy> m_proxy;
    std::unique_ptr<PipeSender> m_sender;

private slots:
    void initTestCase() {
        REQUIRE_DATABASE();
        m_proxy = std::make_unique<DelayProxy>(qEnvironmentVariable("PGHOST").toStdString(),
                                               qEnvironmentVariableIntValue("PGPORT"));
        QVERIFY(m_proxy->ok());
        m_proxy->SetOneWayDelay(std::chrono::milliseconds(30));
        const std::string through = "pg:127.0.0.1:" + std::to_string(m_proxy->port()) + "/" +
                                    qEnvironmentVariable("PGDATABASE").toStdString();
        MessageBoxRecorder boxes;
        QVERIFY2(OciLogon(TestDatabase::user().c_str(), TestDatabase::password().c_str(),
                          through.c_str()) == 1,
                 qPrintable(boxes.lastText()));
        m_sender = std::make_unique<PipeSender>();
        QVERIFY2(m_sender->ok(), qPrintable(m_sender->error()));
    }
    void cleanup() {
        for (const char* pipe : {"ends_a", "ends_b"})
            m_sender->exec(QStringLiteral("SELECT dbms_pipe.purge('%1')").arg(pipe));
    }

    void everyMessageIsJournaledOrStillInThePipe_data() {
        QTest::addColumn<QString>("ending");
        // The drain runs to its end by itself (no timer); New empties the window meanwhile;
        // Exit; Options with another pipe.
        for (const char* ending : {"none", "new", "exit", "options"})
            QTest::newRow(ending) << QString::fromLatin1(ending);
    }
    void everyMessageIsJournaledOrStillInThePipe() {
        QFETCH(QString, ending);
        JournalHome home;
        MessageBoxRecorder boxes;
        QStringList sent;
        auto send = [&](int count) {
            for (int i = 0; i < count; ++i) {
                sent << QStringLiteral("ends %1").arg(sent.size());
                if (!m_sender->sendDebug(sent.last(), "ends_a"))
                    return false;
            }
            return true;
        };
        QVERIFY(send(30));
        {
            LogWindow m("ends_a");
            m.view.PollPipe();
            // The first piece ran out of time (one round trip takes longer than a piece), with
            // nothing held back: the rest waits in the pipe, and the drain goes on by itself.
            QVERIFY(m.view.IsDraining());
            QCOMPARE(COciCursor().HeldMessages("ends_a"), 0);
            QVERIFY(send(5)); // sent while the drain is on its way
            if (ending == "new") {
                m.doc.OnNewDocument();
                QVERIFY(m.drain());
            } else if (ending == "none") {
                QVERIFY(QTest::qWaitFor([&] { return !m.view.IsDraining(); }, 60000));
                QCOMPARE(m.log().count("\r\n"), sent.size());
            } else if (ending == "options") {
                m.view.m_strPipeName = "ends_b"; // what OnOptions does after OK
                m.view.OnStart();
                QVERIFY(QTest::qWaitFor([&] { return !m.view.IsDraining(); }, 60000));
            }
        } // Exit
        const QStringList rest = m_sender->takeDebug("ends_a");
        QCOMPARE(home.journals() + rest, sent);
        if (ending == "none" || ending == "new")
            QVERIFY(rest.isEmpty());
        QCOMPARE(boxes.count(), 0);
    }
};

QTEST_MAIN(TestDrainEnds)
#include "tst_drainends.moc"
