// Many senders at once while the monitor polls at its shortest period: every message reaches
// the log exactly once, and each sender's messages in the order they were sent.
#include "LogWindow.h"
#include "PrivateServer.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QHash>
#include <QTest>
#include <atomic>
#include <libpq-fe.h>
#include <memory>
#include <thread>
#include <vector>

namespace {
constexpr int kSenders = 8;
constexpr int kPerSender = 1500;
const char kPipe[] = "tidemark_load";

// One sender session of its own, sending "sender-k #n" for n = 1..count as the sending
// procedure packs it; waits on a full pipe as the procedure does.
void sendAll(int k, int count, std::atomic<int>& failures) {
    PipeSender sender;
    sender.setWait(60);
    for (int n = 1; n <= count; ++n) {
        if (!sender.sendDebug(QStringLiteral("sender-%1 #%2").arg(k).arg(n), kPipe)) {
            ++failures;
            return;
        }
    }
}
} // namespace

class TestReliabilityLoad : public QObject {
    Q_OBJECT
    std::unique_ptr<PrivateServer> m_server;

private slots:
    void initTestCase() {
        // A full pipe takes most of orafce's shared memory: a server of its own, so that the
        // suites beside this one are not starved.
        START_PRIVATE_TEST_DATABASE(m_server);
    }
    void cleanupTestCase() { m_server.reset(); }

    void aLongDrainLetsTheWindowTurn() {
        // More messages waiting than one piece of a drain takes: the drain returns to the
        // event loop in between (repaint, input, Stop) and then goes on by itself.
        ScopedProfile profile;
        MessageBoxRecorder boxes;
        QVERIFY2(LogonToTestDatabase(), qPrintable(boxes.lastText()));
        PipeSender sender;
        QVERIFY2(sender.ok(), qPrintable(sender.error()));
        // Whatever happens, the pipe does not keep orafce's shared memory for the next test.
        struct Purge {
            PipeSender& s;
            ~Purge() { s.exec("SELECT dbms_pipe.purge('long_drain')"); }
        } purge{sender};
        // Messages without items are the smallest: the most that orafce's memory holds.
        int queued = 0;
        while (queued < 1000 && sender.sendItems("long_drain", {}, 0) == 0)
            ++queued;
        QVERIFY2(queued > 120, qPrintable(QString::number(queued)));

        LogWindow window("long_drain", true, false);
        CTidemarkView& view = window.view;
        view.PollPipe(); // no timer: the drain goes on by itself
        const int first = int(view.GetWindowText().count("MESSAGE:"));
        QVERIFY2(first > 0 && first <= queued, qPrintable(QString::number(first)));
        // A tick before the next piece runs that piece: still one chain of pieces.
        view.PollPipe();
        QVERIFY(int(view.GetWindowText().count("MESSAGE:")) >= first);
        QTRY_COMPARE(int(view.GetWindowText().count("MESSAGE:")), queued);
        QCOMPARE(view.GetWindowText(), QByteArray("MESSAGE:").repeated(queued));
        QCOMPARE(boxes.count(), 0);
    }

    void manySendersNothingLostNothingTwiceInOrder_data() { AddReceivingModeRows(); }

    void manySendersNothingLostNothingTwiceInOrder() {
        QFETCH(bool, typed);
        REQUIRE_DATABASE();
        ScopedProfile profile;
        MessageBoxRecorder boxes;
        QVERIFY2(LogonToTestDatabase(), qPrintable(boxes.lastText()));

        LogWindow window(kPipe, typed);
        CTidemarkDoc& doc = window.doc;
        CTidemarkView& view = window.view;
        view.m_nTimerFrequency = 0; // the shortest period
        view.OnPurgePipe();
        view.OnStart();

        std::atomic<int> failures = 0;
        std::vector<std::thread> senders;
        for (int k = 1; k <= kSenders; ++k)
            senders.emplace_back(sendAll, k, kPerSender, std::ref(failures));

        // The monitor drains from the event loop while the senders fill the pipe.
        const int total = kSenders * kPerSender;
        const QByteArray last = QByteArray("#") + QByteArray::number(kPerSender);
        auto finished = [&] {
            const QByteArray log = view.GetWindowText();
            int ends = 0;
            for (int k = 1; k <= kSenders; ++k)
                ends += log.contains(QStringLiteral("sender-%1 ").arg(k).toUtf8() + last) ? 1 : 0;
            return ends == kSenders || failures > 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(finished(), 240000);
        for (std::thread& t : senders)
            t.join();
        QCOMPARE(failures.load(), 0);
        QTest::qWait(50); // a last drain: nothing more may arrive
        view.PollPipe();

        QCOMPARE(boxes.count(), 0);
        const QList<QByteArray> lines = view.GetWindowText().split('\n');
        QHash<int, int> next; // per sender, the number expected next
        int seen = 0;
        for (QByteArray line : lines) {
            line = line.trimmed();
            if (typed) {
                // MESSAGE:, NUMBER:\t'<length>', VARCHAR2:\t'<text>', empty line
                if (!line.startsWith("VARCHAR2:\t'"))
                    continue;
                line = line.mid(11, line.size() - 12);
            }
            if (line.isEmpty())
                continue;
            QVERIFY2(line.startsWith("sender-"), line.constData());
            const int hash = line.indexOf(" #");
            const int k = line.mid(7, hash - 7).toInt();
            const int n = line.mid(hash + 2).toInt();
            const int expected = next.value(k, 1);
            QVERIFY2(n == expected, qPrintable(QStringLiteral("sender %1: got #%2, expected #%3")
                                                   .arg(k)
                                                   .arg(n)
                                                   .arg(expected)));
            next[k] = n + 1;
            ++seen;
        }
        QCOMPARE(seen, total);
        for (int k = 1; k <= kSenders; ++k)
            QCOMPARE(next.value(k), kPerSender + 1);
        QVERIFY(!doc.IsModified());
    }
};

QTEST_MAIN(TestReliabilityLoad)
#include "tst_rel_load.moc"
