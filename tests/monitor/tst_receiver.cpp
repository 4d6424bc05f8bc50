// The pipe receiver against a real server: messages sent by a second session reach the log
// whole, in order, in plain and typed form, and failures end a drain instead of looping.
#include "LogWindow.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QTest>

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
    void unknownItemEndsOnlyItsMessage();
    void longestTextAndOneTooLong();
    void brokenPlainConventionIsReportedAndDrainEnds();
    void purgeEmptiesThePipe();
    void startDrainsAndArmsTimer();
    void modeAndPipeChangesTakeEffectAtNextDrain();
    void pipeNameIsAlwaysOneLiteral();
    void tickDuringErrorBoxStartsNoSecondDrain();
    void errorBoxShowsWhatTheDrainReceivedBefore();
};

void TestReceiver::initTestCase() {
    REQUIRE_DATABASE();
    MessageBoxRecorder boxes;
    QVERIFY2(LogonToTestDatabase(), qPrintable(boxes.lastText()));
    m_sender = new PipeSender;
    QVERIFY2(m_sender->ok(), qPrintable(m_sender->error()));
}

void TestReceiver::cleanupTestCase() {
    delete m_sender;
}

void TestReceiver::emptyPipeChangesNothing() {
    LogWindow m("empty_pipe");
    MessageBoxRecorder boxes;
    m.view.PollPipe();
    QCOMPARE(m.log(), QByteArray());
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!m.doc.IsModified());
}

void TestReceiver::threeMessagesInOneDrainInOrder() {
    LogWindow m("three");
    for (const char* t : {"one", "two", "three"})
        QVERIFY(m_sender->sendDebug(t, "three"));
    MessageBoxRecorder boxes;
    m.view.PollPipe();
    QCOMPARE(m.log(), QByteArray("one\r\ntwo\r\nthree\r\n"));
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!m.doc.IsModified()); // received text never marks the log modified
}

void TestReceiver::plainModeBytes() {
    LogWindow m("plain", false, false);
    QVERIFY(m_sender->sendDebug("hello", "plain"));
    QVERIFY(m_sender->sendDebug("world", "plain"));
    QVERIFY(m_sender->sendDebug("tab\there\nline\r\nend", "plain"));
    m.view.PollPipe();
    QCOMPARE(m.log(), QByteArray("helloworldtab\there\nline\r\nend"));
}

void TestReceiver::typedModeBytes() {
    {
        LogWindow m("typed", true, true);
        QVERIFY(m_sender->sendDebug("hello", "typed"));
        m.view.PollPipe();
        QCOMPARE(m.log(), QByteArray("MESSAGE:\r\nNUMBER:\t'5'\r\nVARCHAR2:\t'hello'\r\n\r\n"));
    }
    LogWindow m("typed", true, false);
    QVERIFY(m_sender->sendDebug("hello", "typed"));
    QVERIFY(m_sender->sendDebug("again", "typed"));
    m.view.PollPipe();
    QCOMPARE(m.log(), QByteArray("MESSAGE:NUMBER:\t'5'VARCHAR2:\t'hello'"
                                 "MESSAGE:NUMBER:\t'5'VARCHAR2:\t'again'"));
}

void TestReceiver::typedItemKinds() {
    LogWindow m("kinds", true, true);
    MessageBoxRecorder boxes;
    QVERIFY(m_sender->sendItems("kinds", {}) == 0); // a message without items
    QVERIFY(m_sender->sendItems("kinds",
                                {"'\\x0102'::bytea", "date '2026-12-07'", "42.5::numeric"}) == 0);
    m.view.PollPipe();
    QCOMPARE(boxes.count(), 0);
    const QByteArray log = m.log();
    QVERIFY2(log.startsWith("MESSAGE:\r\n\r\nMESSAGE:\r\n"), log.constData());
    QVERIFY2(log.contains("RAW:\t'UNKNOWN'\r\n"), log.constData());
    QVERIFY2(log.contains("DATE:\t'2026-12-07'\r\n"), log.constData());
    QVERIFY2(log.endsWith("NUMBER:\t'42.5'\r\n\r\n"), log.constData());
}

void TestReceiver::unknownItemEndsOnlyItsMessage() {
    LogWindow m("unknown_item", true, true);
    MessageBoxRecorder boxes;
    QVERIFY(m_sender->sendItems("unknown_item", {"'before'::text", "now()", "'lost'::text"}) == 0);
    QVERIFY(m_sender->sendDebug("next", "unknown_item"));
    m.view.PollPipe(); // must return: the timestamp item cannot be unpacked by the block
    QCOMPARE(m.log(), QByteArray("MESSAGE:\r\nVARCHAR2:\t'before'\r\n''\r\n\r\n"
                                 "MESSAGE:\r\nNUMBER:\t'4'\r\nVARCHAR2:\t'next'\r\n\r\n"));
    QCOMPARE(boxes.count(), 0);
}

void TestReceiver::longestTextAndOneTooLong() {
    LogWindow m("long");
    const QString longest(1999, QLatin1Char('x'));
    QVERIFY(m_sender->sendDebug(longest, "long"));
    QVERIFY(m_sender->sendDebug(QString(2000, QLatin1Char('y')), "long"));
    QVERIFY(m_sender->sendDebug("after", "long"));
    MessageBoxRecorder boxes;
    m.view.PollPipe();
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
    m.view.PollPipe();
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
    m.view.PollPipe();
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
    QVERIFY(m_sender->sendDebug("later", "started"));
    QTest::qWait(100);
    QCOMPARE(m.log(), QByteArray("waiting\r\nticked\r\nrestart\r\n"));
    m.view.OnPurgePipe();
}

void TestReceiver::modeAndPipeChangesTakeEffectAtNextDrain() {
    LogWindow m("pipe_a");
    QVERIFY(m_sender->sendDebug("a1", "pipe_a"));
    QVERIFY(m_sender->sendDebug("b1", "pipe_b"));
    m.view.PollPipe();
    QCOMPARE(m.log(), QByteArray("a1\r\n"));
    QVERIFY(m_sender->sendDebug("a2", "pipe_a"));
    m.view.m_strPipeName = "pipe_b";
    m.view.m_bAutoUnpack = TRUE;
    m.view.PollPipe();
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
        m.view.PollPipe();
        QCOMPARE(m.log(), QByteArray("for o'brien\r\n"));
    }
    QVERIFY(m_sender->exec("CREATE TABLE IF NOT EXISTS victim (x int)"));
    for (const QString& name : {QStringLiteral("x', 0); DROP TABLE victim; --"),
                                QStringLiteral("x'); DROP TABLE victim; --"), QStringLiteral("'''"),
                                QStringLiteral("\\'")}) {
        LogWindow m(name);
        QVERIFY(m_sender->sendDebug("odd", name));
        m.view.PollPipe();
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
    m.view.PollPipe();
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
    m.view.PollPipe();
    AfxSetMessageBoxResponder({});
    QVERIFY(!logWhileShown.isEmpty());
    QCOMPARE(logWhileShown.first(), QByteArray("one\r\ntwo\r\n"));
    // The text of the broken message is still taken after the failed length.
    QCOMPARE(m.log(), QByteArray("one\r\ntwo\r\nno length\r\nthree\r\n"));
}

QTEST_MAIN(TestReceiver)
#include "tst_receiver.moc"
