// The session journal: what the receiver puts into the window is on the disk at every point
// where a drain's text goes into the window (SIGKILL and Abort lose none of it), stays in its
// own folder, is pruned at start-up, and a journal that cannot be written costs one box.
#include "LogWindow.h"
#include "SessionJournal.h"
#include "TestSupport.h"

#include "MessageBox.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTest>

#include <atomic>
#include <csignal>
#include <cstring>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
// Puts the journals into a folder of the test's, switched on, while it lives.
struct JournalHome {
    QTemporaryDir dir;
    QByteArray oldHome = qgetenv("XDG_STATE_HOME");
    JournalHome() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path()));
        qunsetenv("TIDEMARK_SESSION_LOG");
    }
    ~JournalHome() {
        qputenv("XDG_STATE_HOME", oldHome);
        qputenv("TIDEMARK_SESSION_LOG", "off");
    }
    QString folder() const { return dir.filePath(QStringLiteral("tidemark/sessions")); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files | QDir::System); }
    QByteArray journal() const { // the one journal's bytes
        return files().size() == 1 ? ReadFile(folder() + '/' + files().first()) : "<none or more>";
    }
};

// The most messages the PostgreSQL driver takes from a pipe in one round trip.
constexpr int kLargestBatch = 256;

QString streamText(int i) {
    return QStringLiteral("%1 journal \u00fc\u20ac\tline").arg(i, 6, 10, QLatin1Char('0'));
}
QByteArray streamBytes(int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += (streamText(i) + "\r\n").toUtf8();
    return bytes;
}

int mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}
QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isChild() {
    return qEnvironmentVariableIsSet("TIDEMARK_JOURNAL_CHILD");
}
// Runs one function of this suite in a child, journalling where this process would.
void startChild(QProcess& child, const QTemporaryDir& temp, const QString& function) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", temp.path()); // what the child leaves goes with this folder
    env.insert("TIDEMARK_JOURNAL_CHILD", "1");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {function});
}
} // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        REQUIRE_DATABASE();
        QVERIFY(LogonToTestDatabase());
        QVERIFY(PipeSender().freeEmptyPipes()); // this suite runs alone
    }

    void receiversBytesOnlyInAFileOfTheRun() {
        JournalHome home;
        MessageBoxRecorder boxes;
        {
            LogWindow nothing; // a run that receives nothing leaves nothing behind
        }
        QVERIFY(!QFileInfo::exists(home.dir.filePath("tidemark")));
        {
            LogWindow m;
            m.view.AppendMessage(QStringLiteral("abc \u00fc"));
            QTest::keyClicks(&m.view, "typed"); // the user's own text stays out
            m.view.m_bLFFlag = FALSE;
            m.view.AppendMessage(QStringLiteral("def"));
        }
        QCOMPARE(home.journal(), QString("abc \u00fc\r\ndef").toUtf8());
        QVERIFY(home.files().first().endsWith(QStringLiteral("-%1.log").arg(::getpid())));
        QCOMPARE(mode(home.folder() + '/' + home.files().first()), 0600);
        QCOMPARE(mode(home.folder()), 0700);
        QCOMPARE(mode(home.dir.filePath("tidemark")), 0700);
        {
            // A link planted at the journal's name is not written through: the journal takes
            // a name of its own beside it.
            JournalHome other;
            CSessionJournal planted;
            const QString name = planted.GetPathName();
            QVERIFY(QDir().mkpath(other.folder()));
            QVERIFY(QFile::link(other.dir.filePath("outside"), name));
            planted.Append("x");
            QCoreApplication::processEvents();
            QVERIFY(!QFileInfo::exists(other.dir.filePath("outside")));
            QCOMPARE(boxes.count(), 0);
            QCOMPARE(planted.GetPathName(), name.chopped(4) + ".2.log");
            QCOMPARE(ReadFile(planted.GetPathName()), QByteArray("x"));
        }
        {
            // Two log windows of one run started within a second keep a journal each.
            JournalHome two;
            LogWindow first, second;
            first.view.AppendMessage(QStringLiteral("first"));
            second.view.AppendMessage(QStringLiteral("second"));
            QCoreApplication::processEvents();
            QCOMPARE(boxes.count(), 0);
            QCOMPARE(ReadFile(first.view.GetJournal().GetPathName()), QByteArray("first\r\n"));
            QCOMPARE(ReadFile(second.view.GetJournal().GetPathName()), QByteArray("second\r\n"));
            // Both are journals to the retention rules.
            CSessionJournal::RemoveOldJournals(QString(), 0, 0);
            QCOMPARE(two.files().size(), 0);
        }
        {
            // Every write asks for the bytes to be put on the disk.
            JournalHome own;
            CSessionJournal j;
            j.Append("one");
            QTRY_COMPARE(j.SyncCount(), 1);
            j.Append("two");
            QTRY_COMPARE(j.SyncCount(), 2);
        }
        // Switched off: nothing made, nothing pruned.
        CSessionJournal::RemoveOldJournals(QString(), 0, 0);
        LogWindow().view.AppendMessage("secret");
        QCOMPARE(home.files().size(), 1);
    }

    void retentionKeepsTheNewestWithinBounds() {
        JournalHome home;
        QVERIFY(QDir().mkpath(home.folder()));
        QStringList names; // 10 bytes each, the last one newest
        for (int i = 0; i < 6; ++i) {
            names << QStringLiteral("2026-12-0%1T10.00.00-%2.log").arg(i + 1).arg(100 + i);
            QFile f(home.folder() + '/' + names.last());
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("0123456789") == 10 && f.flush());
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addDays(i - 9),
                                  QFileDevice::FileModificationTime));
        }
        QVERIFY(WriteFile(home.folder() + "/notes.txt", "not a journal"));
        CSessionJournal::RemoveOldJournals(names[0], 3, 1000); // names[0] is running
        QCOMPARE(home.files(), QStringList({names[0], names[3], names[4], names[5], "notes.txt"}));
        CSessionJournal::RemoveOldJournals(names[0], 50, 25); // room for two of the three
        QCOMPARE(home.files(), QStringList({names[0], names[4], names[5], "notes.txt"}));
        // One that does not fit takes every older one with it, however small.
        auto touch = [&](const QString& name, int days) {
            QFile f(home.folder() + '/' + name);
            return f.open(QIODevice::Append) &&
                   f.setFileTime(QDateTime::currentDateTime().addDays(days),
                                 QFileDevice::FileModificationTime);
        };
        QVERIFY(WriteFile(home.folder() + '/' + names[4], QByteArray(30, 'x')));
        QVERIFY(touch(names[4], -1) && touch(names[0], -2));
        CSessionJournal::RemoveOldJournals(names[5], 50, 25);
        QCOMPARE(home.files(), QStringList({names[5], "notes.txt"}));
        // Making the journal of a run prunes the folder: the newest 50 are left.
        for (int i = 0; i < 55; ++i)
            QVERIFY(WriteFile(
                home.folder() +
                    QStringLiteral("/2025-01-01T10.00.%1-1.log").arg(i, 2, 10, QLatin1Char('0')),
                "x"));
        const CSessionJournal running;
        QCOMPARE(home.files().size(), CSessionJournal::nMaxJournals + 1); // and notes.txt
    }

    void saveOverTheRunningJournalIsRefused() {
        JournalHome home;
        MessageBoxRecorder boxes;
        LogWindow m;
        m.view.AppendMessage("kept");
        const QString journal = m.view.GetJournal().GetPathName();
        const QString link = home.dir.filePath("link.log");
        QVERIFY(QFile::link(journal, link));
        for (const QString& path : {journal, link}) {
            QVERIFY(!m.doc.OnSaveDocument(path));
            QVERIFY2(boxes.lastText().contains(QDir::toNativeSeparators(path)) &&
                         boxes.lastText().contains("another name"),
                     qPrintable(boxes.lastText()));
        }
        QCOMPARE(boxes.count(), 2);
        m.view.AppendMessage("later"); // still goes to the journal the folder shows
        QCOMPARE(home.journal(), QByteArray("kept\r\nlater\r\n"));
        const QString copy = home.dir.filePath("copy.log");
        QVERIFY(m.doc.OnSaveDocument(copy));
        QCOMPARE(ReadFile(copy), QByteArray("kept\r\nlater\r\n"));
    }

    void readOnlyFolderOneBoxTheDrainGoesOn() {
        JournalHome home;
        QVERIFY(QDir().mkpath(home.folder()));
        QVERIFY(::chmod(QFile::encodeName(home.dir.path()).constData(), 0755) == 0);
        PipeSender sender;
        LogWindow m("journal_readonly");
        MessageBoxRecorder boxes;
        const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
        for (int round = 0; round < 2; ++round) {
            QVERIFY(sender.sendDebug("r1", "journal_readonly"));
            QVERIFY(::chmod(QFile::encodeName(home.folder()).constData(), 0555) == 0);
            QVERIFY(!nobody || ::seteuid(nobody->pw_uid) == 0); // root writes through modes
            m.view.PollPipe();
            QVERIFY(!nobody || ::seteuid(0) == 0);
            QCoreApplication::processEvents();
        }
        QCOMPARE(m.log(), QByteArray("r1\r\nr1\r\n"));
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().contains(home.folder() + '/') &&
                     boxes.lastText().contains(reason(EACCES)),
                 qPrintable(boxes.lastText()));
        QVERIFY(home.files().isEmpty());
    }

    void killedMidStreamKeepsEveryFlushedMessage() {
        if (isChild())
            return;
        JournalHome home;
        QTemporaryDir temp;
        QProcess child;
        startChild(child, temp, "childReceivesUntilKilled");
        std::atomic<int> sent = 0;
        std::jthread sender([&sent](std::stop_token stop) { // keeps the pipe full
            PipeSender s;
            for (int i = 0; !stop.stop_requested(); ++i) {
                if (s.scalar(QStringLiteral("SELECT dbms_pipe.pack_message(length(%1)); SELECT "
                                            "dbms_pipe.pack_message(%1::text); SELECT "
                                            "dbms_pipe.send_message('journal_stream', 2)")
                                 .arg(SqlLiteral(streamText(i)))) != "0")
                    break;
                ++sent;
            }
        });
        // The child reports the window after every drain: its size and digest.
        const qsizetype enough = streamBytes(300).size();
        QList<QByteArray> last = {"", "0"};
        while (last[1].toLongLong() < enough && child.waitForReadyRead(60000))
            while (child.canReadLine())
                if (const QByteArray line = child.readLine().trimmed(); line.startsWith("window "))
                    last = line.split(' ');
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(60000) && last[1].toLongLong() >= enough);
        sender.request_stop();
        sender.join();
        // What the pipe still holds: a run at the end of the stream.
        const QStringList rest = PipeSender().takeDebug("journal_stream");
        const int left = int(rest.size()), first = left ? rest[0].left(6).toInt() : -1;
        for (int i = 0; i < left; ++i)
            QCOMPARE(rest[i].left(6).toInt(), first + i);

        // The window at its last report begins the journal; every message once, in order.
        const QByteArray journal = home.journal();
        QVERIFY(journal.size() >= last[1].toLongLong());
        QCOMPARE(
            QCryptographicHash::hash(journal.left(last[1].toLongLong()), QCryptographicHash::Md5)
                .toHex(),
            last[2]);
        QCOMPARE(journal, streamBytes(int(journal.count("\r\n")) + 1).left(journal.size()));
        // Lost: the messages of the batch being turned into text when the kill came, no more.
        const int journaled = int(journal.count("\r\n"));
        QVERIFY(left == 0 || first >= journaled);
        const int lost = sent - journaled - left;
        qInfo("sent %d, journaled %d, still in the pipe %d, lost %d", sent.load(), journaled, left,
              lost);
        QVERIFY(lost >= 0 && lost <= kLargestBatch);
    }

    void childReceivesUntilKilled() {
        if (!isChild())
            return;
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives the test that kills it
        LogWindow m("journal_stream");
        for (qsizetype reported = 0;;) {
            m.view.PollPipe();
            QCoreApplication::processEvents(); // the continuation of a full piece
            if (const QByteArray w = m.log(); w.size() != reported) {
                reported = w.size();
                std::printf("window %lld %s\n", qlonglong(reported),
                            QCryptographicHash::hash(w, QCryptographicHash::Md5).toHex().data());
                std::fflush(stdout);
            }
        }
    }

    void abortInADrainsBoxKeepsEveryGoodMessage() {
        if (isChild())
            return;
        PipeSender sender;
        QByteArray before, after;
        for (int i = 0; i < 20; ++i) {
            before += (streamText(i) + "\r\n").toUtf8();
            QVERIFY(sender.sendDebug(streamText(i), "journal_abort"));
        }
        // Text where the length belongs: an error box in the middle of the drain.
        QVERIFY(sender.exec("SELECT dbms_pipe.pack_message('x'::text), "
                            "dbms_pipe.send_message('journal_abort')"));
        for (int i = 20; i < 40; ++i) {
            after += (streamText(i) + "\r\n").toUtf8();
            QVERIFY(sender.sendDebug(streamText(i), "journal_abort"));
        }
        JournalHome home;
        QTemporaryDir temp;
        QProcess child;
        startChild(child, temp, "childAbortsInADrainsBox");
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitCode(), 1);
        const QByteArray out = child.readAllStandardOutput();
        const QByteArray window =
            QByteArray::fromHex(out.mid(out.indexOf("window ")).split('\n').first().mid(7));
        QCOMPARE(window, before);
        // The messages behind the failing one: in the journal, or still in the pipe.
        QString rest;
        for (const QString& text : sender.takeDebug("journal_abort"))
            rest += text + "\r\n";
        QCOMPARE(home.journal() + rest.toUtf8(), before + after);
    }

    void childAbortsInADrainsBox() {
        if (!isChild())
            return;
        LogWindow m("journal_abort");
        AfxSetMessageBoxResponder([&](const QString&, UINT) { // the window behind the box
            std::printf("window %s\n", m.log().toHex().constData());
            std::fflush(stdout);
            return int(IDABORT);
        });
        m.view.PollPipe();
        QFAIL("Abort did not end the process");
    }
};

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
