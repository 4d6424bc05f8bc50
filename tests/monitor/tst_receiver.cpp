// The pipe receiver against a real server: messages sent by a second session reach the log
// whole, in order, in plain and typed form, and failures end a drain instead of looping.
//
// Parts: messages reaching the log (order, plain and typed bytes, item kinds, lengths); the
// drain's ends (broken messages, purge, Start and the timer, settings changes, the pipe name as
// one literal); error boxes during a drain (no second drain, the gathered text shown first, a
// failed receive); a burst from a blocked sender drained in one drain.
#include "LogWindow.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QTest>
#include <atomic>
#include <stdexcept>
#include <thread>

namespace {
int waiting(PipeSender& s, const QString& pipe) {
    return s
        .scalar(QStringLiteral("SELECT count(*) FROM dbms_pipe.db_pipes WHERE name = %1 AND "
                               "items > 0")
                    .arg(SqlLiteral(pipe)))
        .toInt();
}
} // namespace

class TestReceiver : public QObject {
    Q_OBJECT
    PipeSender* m_sender = nullptr;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void emptyPipeChangesNothing();
    void threeMessagesInOneDrainInOrder();
    void plainModeBytes();
    void typedModeBytes();
    void typedItemKinds();
    void everyOrafceItemTypeIsShownInOrder();
    void longestTextAndOneTooLong();
    void brokenPlainConventionIsReportedAndDrainEnds();
    void purgeEmptiesThePipe();
    void startDrainsAndArmsTimer();
    void modeAndPipeChangesTakeEffectAtNextDrain();
    void pipeNameIsAlwaysOneLiteral();
    void tickDuringErrorBoxStartsNoSecondDrain();
    void errorBoxShowsWhatTheDrainReceivedBefore();
    void typedErrorBoxShowsWhatTheDrainReceivedBefore();
    void failedReceiveEndsTheDrain();
    void burstFromABlockedSenderIsDrainedInOneDrain();
    void sendersThatPauseBetweenMessagesAreDrainedInOneDrain();
};

void TestReceiver::initTestCase() {
    REQUIRE_DATABASE();
    MessageBoxRecorder boxes;
    QVERIFY2(LogonToTestDatabase(), qPrintable(boxes.lastText()));
    m_sender = new PipeSender;
    QVERIFY2(m_sender->ok(), qPrintable(m_sender->error()));
}

void TestReceiver::cleanupTestCase() {
    m_sender->freePipes({"all_items", "broken", "burst", "empty_pipe", "failed_receive", "kinds",
                         "long", "o'brien", "paused", "pipe_a", "pipe_b", "plain", "purged",
                         "reentry", "shown_before", "started", "three", "typed",
                         "typed_shown_before"});
    delete m_sender;
}

void TestReceiver::emptyPipeChangesNothing() {
    LogWindow m("empty_pipe");
    MessageBoxRecorder boxes;
    QVERIFY(m.drain());
    QCOMPARE(m.log(), QByteArray());
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!m.doc.IsModified());
}

void TestReceiver::threeMessagesInOneDrainInOrder() {
    LogWindow m("three");
    for (const char* t : {"one", "two", "three"})
        QVERIFY(m_sender->sendDebug(t, "three"));
    MessageBoxRecorder boxes;
    QVERIFY(m.drain());
    QCOMPARE(m.log(), QByteArray("one\r\ntwo\r\nthree\r\n"));
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!m.doc.IsModified()); // received text never marks the log modified
}

void TestReceiver::plainModeBytes() {
    LogWindow m("plain", false, false);
    QVERIFY(m_sender->sendDebug("hello", "plain"));
    QVERIFY(m_sender->sendDebug("world", "plain"));
    QVERIFY(m_sender->sendDebug("tab\there\nline\r\nend", "plain"));
    QVERIFY(m.drain());
    QCOMPARE(m.log(), QByteArray("helloworldtab\there\nline\r\nend"));
}

void TestReceiver::typedModeBytes() {
    {
        LogWindow m("typed", true, true);
        QVERIFY(m_sender->sendDebug("hello", "typed"));
        QVERIFY(m.drain());
        QCOMPARE(m.log(), QByteArray("MESSAGE:\r\nNUMBER:\t'5'\r\nVARCHAR2:\t'hello'\r\n\r\n"));
    }
    LogWindow m("typed", true, false);
    QVERIFY(m_sender->sendDebug("hello", "typed"));
    QVERIFY(m_sender->sendDebug("again", "typed"));
    QVERIFY(m.drain());
    QCOMPARE(m.log(), QByteArray("MESSAGE:NUMBER:\t'5'VARCHAR2:\t'hello'"
                                 "MESSAGE:NUMBER:\t'5'VARCHAR2:\t'again'"));
}

void TestReceiver::typedItemKinds() {
    LogWindow m("kinds", true, true);
    MessageBoxRecorder boxes;
    QVERIFY(m_sender->sendItems("kinds", {}) == 0); // a message without items
    QVERIFY(m_sender->sendItems("kinds",
                                {"'\\x0102'::bytea", "date '2026-12-07'", "42.5::numeric"}) == 0);
    QVERIFY(m.drain());
    QCOMPARE(boxes.count(), 0);
    const QByteArray log = m.log();
    QVERIFY2(log.startsWith("MESSAGE:\r\n\r\nMESSAGE:\r\n"), log.constData());
    QVERIFY2(log.contains("RAW:\t'UNKNOWN'\r\n"), log.constData());
    QVERIFY2(log.contains("DATE:\t'2026-12-07'\r\n"), log.constData());
    QVERIFY2(log.endsWith("NUMBER:\t'42.5'\r\n\r\n"), log.constData());
}

void TestReceiver::everyOrafceItemTypeIsShownInOrder() {
    // Timestamps and records, which Oracle's pipes lack, come as their text without a prefix;
    // the items after them follow.
    LogWindow m("all_items", true, true);
    MessageBoxRecorder boxes;
    const QString stamptz = m_sender->scalar("SELECT timestamptz '2013-01-01 09:00:00+00'::text");
    // orafce keeps a timestamp as one with its time zone: it comes back as the server shows that.
    const QString stamp = m_sender->scalar("SELECT timestamp '2013-01-01 09:00:00'::timestamptz");
    // A row of a named type: orafce cannot unpack an anonymous one at all.
    QVERIFY(m_sender->exec("DROP TYPE IF EXISTS all_items_row; CREATE TYPE all_items_row AS (n "
                           "integer, t text)"));
    QVERIFY(m_sender->sendItems(
                "all_items",
                {"'text'::text", "date '2013-01-01'", "timestamp '2013-01-01 09:00:00'",
                 "timestamptz '2013-01-01 09:00:00+00'", "42.5::numeric", "7::integer", "8::bigint",
                 "'\\x0102'::bytea", "row(2, 'rob')::all_items_row", "'last'::text"}) == 0);
    QVERIFY(m.drain());
    QCOMPARE(m.log(), "MESSAGE:\r\nVARCHAR2:\t'text'\r\nDATE:\t'2013-01-01'\r\n"
                      "'" +
                          stamp.toUtf8() + "'\r\n'" + stamptz.toUtf8() +
                          "'\r\nNUMBER:\t'42.5'\r\nNUMBER:\t'7'\r\nNUMBER:\t'8'\r\n"
                          "RAW:\t'UNKNOWN'\r\n'(2,rob)'\r\nVARCHAR2:\t'last'\r\n\r\n");
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(waiting(*m_sender, "all_items"), 0);
}

void TestReceiver::longestTextAndOneTooLong() {
    LogWindow m("long");
    const QString longest(1999, QLatin1Char('x'));
    QVERIFY(m_sender->sendDebug(longest, "long"));
    QVERIFY(m_sender->sendDebug(QString(2000, QLatin1Char('y')), "long"));
    QVERIFY(m_sender->sendDebug("after", "long"));
    MessageBoxRecorder boxes;
    QVERIFY(m.drain());
    // The text that does not fit the 2000-byte buffer is reported, not cut or overrun.
    QCOMPARE(m.log(), longest.toUtf8() + "\r\nafter\r\n");
    QCOMPARE(boxes.count(), 1);
    QVERIFY(boxes.lastText().contains("buffer too small"));
}

void TestReceiver::brokenPlainConventionIsReportedAndDrainEnds() {
    LogWindow m("broken");
    QVERIFY(m_sender->sendItems("broken", {"'no length first'::text"}) == 0);
    QVERIFY(m_sender->sendDebug("good", "broken"));
    MessageBoxRecorder boxes;
    QVERIFY(m.drain());
    QVERIFY(boxes.count() >= 1);
    QVERIFY(boxes.shown().first().text.startsWith(
        "ORACLE Error when processing OCI function OEXEC, OEXN\n"));
    QVERIFY2(m.log().endsWith("good\r\n"), m.log().constData());
    QCOMPARE(waiting(*m_sender, "broken"), 0);
}

void TestReceiver::purgeEmptiesThePipe() {
    LogWindow m("purged");
    for (const char* t : {"a", "b", "c"})
        QVERIFY(m_sender->sendDebug(t, "purged"));
    MessageBoxRecorder boxes;
    m.view.OnPurgePipe();
    QCOMPARE(m.log(), QByteArray());
    QVERIFY(m.drain());
    QCOMPARE(m.log(), QByteArray());
    QCOMPARE(boxes.count(), 0);
}

void TestReceiver::startDrainsAndArmsTimer() {
    LogWindow m("started");
    m.view.m_nTimerFrequency = 0; // the shortest period
    QVERIFY(m_sender->sendDebug("waiting", "started"));
    m.view.OnStart();
    QCOMPARE(m.log(), QByteArray("waiting\r\n")); // drained at once
    const unsigned first = m.view.m_nTimerId;
    QVERIFY(first != 0);

    QVERIFY(m_sender->sendDebug("ticked", "started"));
    QTRY_COMPARE(m.log(), QByteArray("waiting\r\nticked\r\n"));

    // Start while polling: drains at once and re-arms; the old timer no longer drains.
    QVERIFY(m_sender->sendDebug("restart", "started"));
    m.view.m_nTimerFrequency = 3600;
    m.view.OnStart();
    QCOMPARE(m.log(), QByteArray("waiting\r\nticked\r\nrestart\r\n"));
    QVERIFY(m.view.m_nTimerId != 0);
    QTRY_VERIFY(!m.view.IsDraining()); // what comes later is no longer part of its burst
    QVERIFY(m_sender->sendDebug("later", "started"));
    QTest::qWait(100);
    QCOMPARE(m.log(), QByteArray("waiting\r\nticked\r\nrestart\r\n"));
    m.view.OnPurgePipe();
}

void TestReceiver::modeAndPipeChangesTakeEffectAtNextDrain() {
    LogWindow m("pipe_a");
    QVERIFY(m_sender->sendDebug("a1", "pipe_a"));
    QVERIFY(m_sender->sendDebug("b1", "pipe_b"));
    QVERIFY(m.drain());
    QCOMPARE(m.log(), QByteArray("a1\r\n"));
    QVERIFY(m_sender->sendDebug("a2", "pipe_a"));
    m.view.m_strPipeName = "pipe_b";
    m.view.m_bAutoUnpack = TRUE;
    QVERIFY(m.drain());
    QCOMPARE(m.log(), QByteArray("a1\r\nMESSAGE:\r\nNUMBER:\t'2'\r\nVARCHAR2:\t'b1'\r\n\r\n"));
    QCOMPARE(waiting(*m_sender, "pipe_a"), 1); // a2 still waits in the old pipe
    m.view.m_strPipeName = "pipe_a";
    m.view.OnPurgePipe();
}

void TestReceiver::pipeNameIsAlwaysOneLiteral() {
    MessageBoxRecorder boxes;
    {
        LogWindow m("o'brien");
        QVERIFY(m_sender->sendDebug("for o'brien", "o'brien"));
        QVERIFY(m.drain());
        QCOMPARE(m.log(), QByteArray("for o'brien\r\n"));
    }
    QVERIFY(m_sender->exec("CREATE TABLE IF NOT EXISTS victim (x int)"));
    for (const QString& name : {QStringLiteral("x', 0); DROP TABLE victim; --"),
                                QStringLiteral("x'); DROP TABLE victim; --"), QStringLiteral("'''"),
                                QStringLiteral("\\'")}) {
        LogWindow m(name);
        QVERIFY(m_sender->sendDebug("odd", name));
        QVERIFY(m.drain());
        QCOMPARE(m.log(), QByteArray("odd\r\n"));
        m.view.OnPurgePipe();
    }
    QCOMPARE(m_sender->scalar("SELECT to_regclass('victim') IS NOT NULL"), QStringLiteral("t"));
    QCOMPARE(boxes.count(), 0);
}

void TestReceiver::tickDuringErrorBoxStartsNoSecondDrain() {
    LogWindow m("reentry");
    QVERIFY(m_sender->sendItems("reentry", {"'no length'::text"}) == 0);
    QVERIFY(m_sender->sendDebug("second", "reentry"));
    m.view.m_nTimerId = 99;
    int boxes = 0;
    bool logChangedInsideBox = false;
    AfxSetMessageBoxResponder([&](const QString&, UINT) {
        ++boxes;
        const QByteArray before = m.log();
        m.view.OnTimer(99); // the tick that the box's own loop would deliver
        logChangedInsideBox |= m.log() != before;
        return int(IDIGNORE);
    });
    QVERIFY(m.drain());
    AfxSetMessageBoxResponder({});
    m.view.m_nTimerId = 0;
    QVERIFY(boxes >= 1);
    QVERIFY(!logChangedInsideBox);
    QVERIFY(m.log().endsWith("second\r\n"));
    QCOMPARE(m.log().count("second"), 1);
}

void TestReceiver::errorBoxShowsWhatTheDrainReceivedBefore() {
    LogWindow m("shown_before");
    QVERIFY(m_sender->sendDebug("one", "shown_before"));
    QVERIFY(m_sender->sendDebug("two", "shown_before"));
    QVERIFY(m_sender->sendItems("shown_before", {"'no length'::text"}) == 0);
    QVERIFY(m_sender->sendDebug("three", "shown_before"));
    QList<QByteArray> logWhileShown;
    AfxSetMessageBoxResponder([&](const QString&, UINT) {
        logWhileShown << m.log();
        return int(IDIGNORE);
    });
    QVERIFY(m.drain());
    AfxSetMessageBoxResponder({});
    QVERIFY(!logWhileShown.isEmpty());
    QCOMPARE(logWhileShown.first(), QByteArray("one\r\ntwo\r\n"));
    // The text of the broken message is still taken after the failed length.
    QCOMPARE(m.log(), QByteArray("one\r\ntwo\r\nno length\r\nthree\r\n"));
}

void TestReceiver::typedErrorBoxShowsWhatTheDrainReceivedBefore() {
    LogWindow m("typed_shown_before", true);
    QVERIFY(m_sender->sendDebug("one", "typed_shown_before"));
    // A number whose text does not fit the item buffer: the typed block fails on it.
    QVERIFY(m_sender->sendItems("typed_shown_before", {"power(10::numeric, 40000)"}) == 0);
    QList<QByteArray> logWhileShown;
    AfxSetMessageBoxResponder([&](const QString&, UINT) {
        logWhileShown << m.log();
        return int(IDIGNORE);
    });
    const bool ended = m.drain();
    AfxSetMessageBoxResponder({});
    QVERIFY(ended);
    QCOMPARE(logWhileShown.size(), 1);
    QCOMPARE(logWhileShown.first(),
             QByteArray("MESSAGE:\r\nNUMBER:\t'3'\r\nVARCHAR2:\t'one'\r\n\r\nMESSAGE:\r\n"));
}

void TestReceiver::failedReceiveEndsTheDrain() {
    // A failed receive sets no status. Taken for a message, it would send the drain round its
    // loop, reporting every step, for as long as the failure lasts.
    LogWindow m("failed_receive");
    COciCursor session;
    auto run = [&](const char* sql) {
        session.Parse(sql);
        return bool(session.Execute(FALSE));
    };
    QVERIFY(run("BEGIN"));
    QVERIFY(!run("SELECT 1/0")); // every statement now fails until the transaction ends
    int reports = 0;
    AfxSetMessageBoxResponder([&](const QString&, UINT) {
        if (++reports == 20)
            throw std::runtime_error("the drain goes on"); // leaves the loop, once
        return int(IDIGNORE);
    });
    try {
        m.view.PollPipe();
    } catch (const std::runtime_error&) {
    }
    AfxSetMessageBoxResponder({});
    const bool draining = m.view.IsDraining();
    QVERIFY(run("ROLLBACK"));
    QCOMPARE(reports, 1);
    QVERIFY(!draining); // not even waiting for a refill: looking again would fail again
    QCOMPARE(m.log(), QByteArray());
}

void TestReceiver::burstFromABlockedSenderIsDrainedInOneDrain() {
    // A pipe of five messages and twenty times that sent into it: the sender waits on the full
    // pipe and sends again only some milliseconds after the drain has emptied it.
    constexpr int kBurst = 100;
    QVERIFY(m_sender->exec("SELECT dbms_pipe.create_pipe('burst', 5)"));
    LogWindow m("burst");
    QByteArray expected;
    for (int i = 0; i < kBurst; ++i)
        expected += QStringLiteral("burst message %1\r\n").arg(i).toUtf8();
    std::atomic<int> sent = 0;
    std::atomic<bool> stop = false, done = false;
    std::thread sender([&] {
        PipeSender own;
        for (const QByteArray& line : expected.split('\n')) {
            if (stop || line.isEmpty() ||
                !own.sendDebug(QString::fromUtf8(line.chopped(1)), "burst"))
                break;
            ++sent;
        }
        done = true;
    });
    QTRY_VERIFY(sent >= 5);
    const bool ended = m.drain(); // no timer runs: one drain has to take the whole burst
    stop = true;
    while (!done) { // a sender still waiting gets through, and stops
        m_sender->exec("SELECT dbms_pipe.purge('burst')");
        QTest::qWait(5);
    }
    sender.join();
    m_sender->exec("SELECT dbms_pipe.remove_pipe('burst')");
    QVERIFY(ended);
    QCOMPARE(m.log(), expected);
}

void TestReceiver::sendersThatPauseBetweenMessagesAreDrainedInOneDrain() {
    // Real senders blocked on a full pipe send again some milliseconds after it empties (5 to
    // 16 measured): the drain waits for them rather than leaving the rest to the next tick.
    LogWindow m("paused");
    QByteArray expected;
    std::atomic<int> sent = 0;
    std::thread sender([&] {
        PipeSender own;
        for (int i = 0; i < 10; ++i) {
            if (!own.sendDebug(QStringLiteral("paused %1").arg(i), "paused"))
                return;
            ++sent;
            std::this_thread::sleep_for(std::chrono::milliseconds(12));
        }
    });
    for (int i = 0; i < 10; ++i)
        expected += QStringLiteral("paused %1\r\n").arg(i).toUtf8();
    QTRY_VERIFY(sent >= 1);
    const bool ended = m.drain(); // no timer runs
    sender.join();
    m.view.OnPurgePipe();
    QVERIFY(ended);
    QCOMPARE(m.log(), expected);
}

QTEST_MAIN(TestReceiver)
#include "tst_receiver.moc"
