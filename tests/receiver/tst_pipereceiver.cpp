// The receiver on its own, against a real server: the held messages (batches,
// StopTaking), a receive that waits at the server, a lost connection, log-off, and a drain run
// without any window.
#include "PipeDrain.h"
#include "PipeReceiver.h"
#include "TestSupport.h"

#include <QTest>
#include <array>
#include <thread>

namespace {
// Records what the receiver hands out, in order.
struct Recorder : CMessageSink, CErrorReporter {
    std::vector<ReceivedMessage> messages;
    QString log;                // the window's bytes: every new part of logText, in order
    QList<qsizetype> batchesAt; // messages given when each OnBatchShown came
    QStringList errors;

    void OnMessage(const ReceivedMessage& m) override {
        messages.push_back(m);
        log += m.logText.mid(m.shownBefore);
    }
    void OnMessageSoFar(const ReceivedMessage& m) override { log += m.logText.mid(m.shownBefore); }
    void OnBatchShown() override { batchesAt << qsizetype(messages.size()); }
    int ReportError(const QString& text) override {
        errors << text;
        return 5; // Ignore
    }
    void ReportWarning(const QString&) override {}
};

// A log-on of the test's own, named so that a side session can end it.
struct Session {
    Lda_Def lda{};
    std::array<unsigned char, 256> hda{};
    bool ok = false;
    explicit Session(const char* name = "rcv_test") {
        ok = olog(&lda, hda.data(), TestDatabase::user().c_str(), -1,
                  TestDatabase::password().c_str(), -1, TestDatabase::connectString().c_str(), -1,
                  0) == 0;
        Recorder quiet;
        CCallCursor cursor(lda, quiet);
        const QByteArray set = QByteArray("SET application_name = '") + name + "'";
        ok = ok && cursor.Parse(set.constData()) && cursor.Execute();
    }
    ~Session() { ologof(&lda); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

int waiting(PipeSender& s, const QString& pipe) {
    return s
        .scalar(QStringLiteral("SELECT coalesce(sum(items), 0) FROM dbms_pipe.db_pipes WHERE "
                               "name = %1")
                    .arg(SqlLiteral(pipe)))
        .toInt();
}
} // namespace

class TestPipeReceiver : public QObject {
    Q_OBJECT
    PipeSender* m_sender = nullptr;
    Session* m_session = nullptr;

private slots:
    void initTestCase() {
        REQUIRE_DATABASE();
        m_sender = new PipeSender;
        QVERIFY2(m_sender->ok(), qPrintable(m_sender->error()));
        m_session = new Session;
        QVERIFY(m_session->ok);
    }
    void cleanupTestCase() {
        // The server has room for few pipes, shared by every suite: this one's go.
        m_sender->exec("SELECT dbms_pipe.purge(name), dbms_pipe.remove_pipe(name) FROM "
                       "dbms_pipe.db_pipes WHERE name LIKE 'rcv\\_%'");
        delete m_sender;
        delete m_session;
    }
    void batchIsShownBeforeTheNextRoundTrip();
    void stopTakingHandsOutOnlyWhatIsHeld();
    void receiveWaitsAtTheServer();
    void lostConnectionIsLost();
    void logOffEndsTheLogOnOnly();
    void drainRunsWithoutAWindow();
};

void TestPipeReceiver::batchIsShownBeforeTheNextRoundTrip() {
    Recorder r;
    CPipeReceiver receiver(m_session->lda, r, r);
    receiver.SetSettings({QStringLiteral("rcv_batch"), false, true});
    for (const char* t : {"a", "b", "c"})
        QVERIFY(m_sender->sendDebug(t, "rcv_batch"));
    QCOMPARE(receiver.ReceiveOne(), CPipeReceiver::Result::Received); // takes all three
    QCOMPARE(receiver.HeldMessages(), 2);
    QCOMPARE(r.batchesAt, QList<qsizetype>{0});
    QCOMPARE(receiver.ReceiveOne(), CPipeReceiver::Result::Received);
    QCOMPARE(receiver.ReceiveOne(), CPipeReceiver::Result::Received);
    QCOMPARE(r.batchesAt, QList<qsizetype>{0});
    QCOMPARE(receiver.ReceiveOne(), CPipeReceiver::Result::Empty);
    QCOMPARE(r.batchesAt, (QList<qsizetype>{0, 3})); // all three given, then the round trip
}

void TestPipeReceiver::stopTakingHandsOutOnlyWhatIsHeld() {
    Recorder r;
    CPipeReceiver receiver(m_session->lda, r, r);
    receiver.SetSettings({QStringLiteral("rcv_stop"), false, false});
    for (const char* t : {"1", "2", "3"})
        QVERIFY(m_sender->sendDebug(t, "rcv_stop"));
    QCOMPARE(receiver.ReceiveOne(), CPipeReceiver::Result::Received);
    receiver.StopTaking();
    QVERIFY(m_sender->sendDebug("4", "rcv_stop"));
    QCOMPARE(receiver.ReceiveOne(1), CPipeReceiver::Result::Received);
    QCOMPARE(receiver.ReceiveOne(1), CPipeReceiver::Result::Received);
    QCOMPARE(receiver.ReceiveOne(1), CPipeReceiver::Result::Empty);
    QCOMPARE(r.log, QStringLiteral("123"));
    QCOMPARE(waiting(*m_sender, "rcv_stop"), 1); // the fourth stays in the pipe
    m_sender->exec("SELECT dbms_pipe.purge('rcv_stop')");
}

void TestPipeReceiver::receiveWaitsAtTheServer() {
    Recorder r;
    CPipeReceiver receiver(m_session->lda, r, r);
    receiver.SetSettings({QStringLiteral("rcv_wait"), false, true});
    std::thread later([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        PipeSender own;
        own.sendDebug("later", "rcv_wait");
    });
    const CPipeReceiver::Result result = receiver.ReceiveOne(10);
    later.join();
    QCOMPARE(result, CPipeReceiver::Result::Received);
    QCOMPARE(r.log, QStringLiteral("later\r\n"));
}

// A terminal that logs on again and again frees each log-on; a cursor still open on it keeps
// its connection until it is closed.
void TestPipeReceiver::logOffEndsTheLogOnOnly() {
    Session session;
    QVERIFY(session.ok);
    Cda_Def open{};
    QCOMPARE(oopen(&open, &session.lda, nullptr, -1, -1, nullptr, -1), 0);
    QCOMPARE(ologof(&session.lda), 0);
    QVERIFY(session.lda.handle == nullptr);
    Cda_Def later{};
    QVERIFY(oopen(&later, &session.lda, nullptr, -1, -1, nullptr, -1) != 0);
    QCOMPARE(int(later.rc), int(OCI_RC_NOT_LOGGED_ON));
    QVERIFY(oparse(&open, "SELECT 1", -1, 1, 2) == 0 && oexec(&open) == 0);
    QCOMPARE(oclose(&open), 0);
    QVERIFY(ologof(&session.lda) != 0); // already ended; the destructor's call fails alike
}

void TestPipeReceiver::lostConnectionIsLost() {
    Session own("rcv_lost");
    QVERIFY(own.ok);
    Recorder r;
    CPipeReceiver receiver(own.lda, r, r);
    receiver.SetSettings({QStringLiteral("rcv_lost"), false, true});
    QCOMPARE(receiver.ReceiveOne(), CPipeReceiver::Result::Empty);
    QCOMPARE(m_sender->scalar("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                              "WHERE application_name = 'rcv_lost'"),
             QStringLiteral("1"));
    QTest::qWait(100);
    QCOMPARE(receiver.ReceiveOne(), CPipeReceiver::Result::Lost);
    QCOMPARE(r.errors.size(), 1);
    QVERIFY2(r.errors.first().startsWith("ORACLE Error"), qPrintable(r.errors.first()));
}

void TestPipeReceiver::drainRunsWithoutAWindow() {
    Recorder r;
    CPipeReceiver receiver(m_session->lda, r, r);
    int piecesEnded = 0;
    CPipeDrain drain(
        receiver,
        [] {
            return ReceiverSettings{QStringLiteral("rcv_drain"), false, true};
        },
        [&] { ++piecesEnded; });
    QString expected;
    for (int i = 0; i < 5; ++i) {
        QVERIFY(m_sender->sendDebug(QString::number(i), "rcv_drain"));
        expected += QString::number(i) + "\r\n";
    }
    drain.Poll();
    QVERIFY(drain.IsDraining()); // it waits for the rest of a burst
    QTRY_VERIFY(!drain.IsDraining());
    QCOMPARE(r.log, expected);
    QVERIFY(piecesEnded >= 2); // the piece that received, the last look that found nothing
}

QTEST_GUILESS_MAIN(TestPipeReceiver)
#include "tst_pipereceiver.moc"
