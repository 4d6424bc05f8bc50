// The session journal: what the receiver puts into the window is on the disk at every point
// where a drain's text goes into the window, survives SIGKILL and Abort, stays in its own folder,
// is pruned at start-up, and a journal that cannot be written costs one box and no message.
#include "LogWindow.h"
#include "SessionJournal.h"
#include "TestSupport.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
const QString kStreamPipe = QStringLiteral("journal_stream");
const QString kAbortPipe = QStringLiteral("journal_abort");

// Sets (or with unset, removes) an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value, bool unset = false)
        : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
        unset ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedEnv() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

// A state home of its own with the journal switched on, for the life of the object.
struct JournalHome {
    QTemporaryDir dir;
    ScopedEnv home{"XDG_STATE_HOME", QFile::encodeName(dir.path())};
    ScopedEnv on{"TIDEMARK_SESSION_LOG", {}, true};
    QString folder() const { return dir.filePath(QStringLiteral("tidemark/sessions")); }
    QStringList journals() const {
        return QDir(folder()).entryList(QDir::Files | QDir::System | QDir::Hidden);
    }
    // The one journal's bytes.
    QByteArray journal() const {
        const QStringList all = journals();
        return all.size() == 1 ? ReadFile(folder() + QLatin1Char('/') + all.first())
                               : "<" + QByteArray::number(all.size()) + " journals>";
    }
};

// Runs with the effective user nobody while it lives when the process is root, so that
// permissions apply.
class AsNobody {
public:
    AsNobody() {
        const passwd* pw = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
        m_switched = pw && ::setegid(pw->pw_gid) == 0 && ::seteuid(pw->pw_uid) == 0;
    }
    ~AsNobody() {
        if (m_switched) {
            [[maybe_unused]] const int u = ::seteuid(0);
            [[maybe_unused]] const int g = ::setegid(0);
        }
    }

private:
    bool m_switched = false;
};

int mode(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// The stream's messages: numbered, with a tab and characters beyond ASCII.
QString streamText(int i) {
    return QStringLiteral("%1 journal \u00fc\u20ac\tline").arg(i, 6, 10, QLatin1Char('0'));
}
QByteArray streamBytes(int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += (streamText(i) + QStringLiteral("\r\n")).toUtf8();
    return bytes;
}

bool isChild() {
    return qEnvironmentVariableIsSet("TIDEMARK_JOURNAL_CHILD");
}

// Runs one function of this suite in a child process with the journal in home.
void startChild(QProcess& child, const JournalHome& home, const QTemporaryDir& temp,
                const QString& function) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TIDEMARK_SESSION_LOG"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home.dir.path());
    // The child ends without running destructors: its temporary folders go with this one.
    env.insert(QStringLiteral("TMPDIR"), temp.path());
    env.insert(QStringLiteral("TIDEMARK_JOURNAL_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {function});
}
} // namespace

class TestJournal : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        REQUIRE_DATABASE();
        MessageBoxRecorder boxes;
        QVERIFY2(LogonToTestDatabase(), qPrintable(boxes.lastText()));
    }

    void journalHoldsTheReceiversBytesOnly() {
        JournalHome home;
        ScopedEnv deeper("XDG_STATE_HOME", QFile::encodeName(home.dir.filePath("a/state")));
        MessageBoxRecorder boxes;
        {
            LogWindow nothing; // a run that receives nothing leaves nothing behind
        }
        QVERIFY(!QFileInfo::exists(home.dir.filePath("a")));
        {
            LogWindow m;
            m.view.AppendMessage(QStringLiteral("abc \u00fc"));
            QTest::keyClicks(&m.view, "typed"); // the user's own text stays out
            m.view.m_bLFFlag = FALSE;
            m.view.AppendMessage(QStringLiteral("def"));
            m.view.AppendMessage(QString());
        }
        const QString folder = home.dir.filePath("a/state/tidemark/sessions");
        const QStringList names = QDir(folder).entryList(QDir::Files);
        QCOMPARE(names.size(), 1);
        QVERIFY2(
            QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d\\.\\d\\d\\.\\d\\d-") +
                               QString::number(QCoreApplication::applicationPid()) + "\\.log$")
                .match(names.first())
                .hasMatch(),
            qPrintable(names.first()));
        QCOMPARE(ReadFile(folder + "/" + names.first()), QString("abc \u00fc\r\ndef").toUtf8());
        QCOMPARE(mode(folder + "/" + names.first()), 0600);
        for (const char* made : {"a", "a/state", "a/state/tidemark", "a/state/tidemark/sessions"})
            QCOMPARE(mode(home.dir.filePath(made)), 0700);

        // Switched off: nothing is made, nothing pruned.
        ScopedEnv off("TIDEMARK_SESSION_LOG", "off");
        WriteFile(folder + "/2000-01-01T00.00.00-1.log", "old");
        CSessionJournal::RemoveOldJournals(QString(), 0, 0);
        {
            LogWindow m;
            m.view.AppendMessage(QStringLiteral("secret"));
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
        QCOMPARE(boxes.count(), 0);
    }

    void nothingIsWrittenThroughALink() {
        JournalHome home;
        QVERIFY(QDir().mkpath(home.folder()));
        const QString outside = home.dir.filePath("outside");
        QVERIFY(WriteFile(outside, "untouched"));
        MessageBoxRecorder boxes;
        {
            // A link planted at the journal's own name.
            CSessionJournal journal;
            QVERIFY(QFile::link(outside, journal.GetPathName()));
            journal.Append(QStringLiteral("one"));
            journal.Append(QStringLiteral("two"));
            QCoreApplication::processEvents();
        }
        QCOMPARE(ReadFile(outside), QByteArray("untouched"));
        QCOMPARE(boxes.count(), 1); // once per run
        QVERIFY2(boxes.lastText().contains(QDir(home.folder()).path()),
                 qPrintable(boxes.lastText()));
        QVERIFY2(boxes.lastText().contains(QString::fromLocal8Bit(strerror(EEXIST))),
                 qPrintable(boxes.lastText()));

        // The sessions folder itself a link: not followed either.
        QVERIFY(QDir(home.folder()).removeRecursively());
        QVERIFY(QFile::link(home.dir.path(), home.folder()));
        {
            CSessionJournal journal;
            journal.Append(QStringLiteral("three"));
            QCoreApplication::processEvents();
        }
        QCOMPARE(boxes.count(), 2);
        QCOMPARE(QDir(home.dir.path()).entryList(QDir::Files), QStringList{"outside"});
    }

    void retentionKeepsTheNewestWithinBounds() {
        JournalHome home;
        QVERIFY(QDir().mkpath(home.folder()));
        // Six journals of 10 bytes, the last written newest; the oldest is the running one.
        QStringList names;
        for (int i = 0; i < 6; ++i) {
            names << QStringLiteral("2026-12-0%1T10.00.00-%2.log").arg(i + 1).arg(100 + i);
            const QString path = home.folder() + "/" + names.last();
            QVERIFY(WriteFile(path, "0123456789"));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime(QDate(2026, 12, 1 + i), QTime(12, 0)),
                                  QFileDevice::FileModificationTime));
        }
        QVERIFY(WriteFile(home.folder() + "/notes.txt", "kept"));
        QVERIFY(QFile::link(home.dir.filePath("nowhere"),
                            home.folder() + "/2000-01-01T00.00.00-1.log"));
        const QString running = names.first();

        CSessionJournal::RemoveOldJournals(running, 3, 1000);
        QStringList expected = {names[0], names[3],    names[4],
                                names[5], "notes.txt", "2000-01-01T00.00.00-1.log"};
        expected.sort();
        QCOMPARE(home.journals(), expected);

        CSessionJournal::RemoveOldJournals(running, 50, 25); // room for two of the three
        expected.removeOne(names[3]);
        QCOMPARE(home.journals(), expected);
    }

    void readOnlyFolderOneBoxTheDrainGoesOn() {
        JournalHome home;
        QVERIFY(QDir().mkpath(home.folder()));
        QVERIFY(::chmod(QFile::encodeName(home.dir.path()).constData(), 0755) == 0);
        PipeSender sender;
        QVERIFY2(sender.ok(), qPrintable(sender.error()));
        LogWindow m("journal_readonly");
        MessageBoxRecorder boxes;
        for (int round = 0; round < 2; ++round) {
            QVERIFY(sender.sendDebug("r1", "journal_readonly"));
            QVERIFY(sender.sendDebug("r2", "journal_readonly"));
            QVERIFY(::chmod(QFile::encodeName(home.folder()).constData(), 0555) == 0);
            {
                AsNobody nobody; // root would write through the permissions
                m.view.PollPipe();
            }
            QVERIFY(::chmod(QFile::encodeName(home.folder()).constData(), 0755) == 0);
            QCoreApplication::processEvents();
        }
        QCOMPARE(m.log(), QByteArray("r1\r\nr2\r\nr1\r\nr2\r\n"));
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().contains(home.folder()), qPrintable(boxes.lastText()));
        QVERIFY2(boxes.lastText().contains(QString::fromLocal8Bit(strerror(EACCES))),
                 qPrintable(boxes.lastText()));
        QVERIFY(home.journals().isEmpty());
    }

    void killedMidStreamKeepsEveryFlushedMessage() {
        if (isChild())
            return;
        JournalHome home;
        QTemporaryDir temp;
        QProcess child;
        startChild(child, home, temp, QStringLiteral("childReceivesUntilKilled"));
        // Another session keeps the pipe full until the child is gone.
        std::jthread sender([](std::stop_token stop) {
            PipeSender s;
            for (int i = 0; s.ok() && !stop.stop_requested(); ++i)
                if (s.scalar(QStringLiteral("SELECT dbms_pipe.pack_message(length(%1)); "
                                            "SELECT dbms_pipe.pack_message(%1::text); "
                                            "SELECT dbms_pipe.send_message(%2, 2)")
                                 .arg(SqlLiteral(streamText(i)), SqlLiteral(kStreamPipe))) !=
                    QLatin1String("0"))
                    break;
        });
        // The child reports the window after every drain: its byte count and digest.
        const qsizetype enough = streamBytes(300).size();
        QList<QByteArray> last;
        while (last.value(1).toLongLong() < enough && child.waitForReadyRead(60000))
            while (child.canReadLine())
                if (const QByteArray line = child.readLine().trimmed(); line.startsWith("window "))
                    last = line.split(' ');
        QVERIFY2(last.value(1).toLongLong() >= enough, child.readAllStandardError().constData());
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(60000));
        sender.request_stop();
        sender.join();
        PipeSender().exec(
            QStringLiteral("SELECT dbms_pipe.purge(%1)").arg(SqlLiteral(kStreamPipe)));

        // The window as it stood at the last report is the journal's beginning, byte for byte.
        const QByteArray journal = home.journal();
        const qsizetype windowSize = last.value(1).toLongLong();
        QVERIFY(journal.size() >= windowSize);
        QCOMPARE(
            QCryptographicHash::hash(journal.left(windowSize), QCryptographicHash::Md5).toHex(),
            last.value(2));
        // Every message once and in order; at most the piece in progress cut short.
        const int whole = int(journal.count("\r\n"));
        QCOMPARE(journal, streamBytes(whole + 1).left(journal.size()));
    }

    void childReceivesUntilKilled() {
        if (!isChild())
            return;
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives the test that waits for the kill
        LogWindow m(kStreamPipe);
        MessageBoxRecorder boxes;
        qsizetype reported = 0;
        for (;;) {
            m.view.PollPipe();
            QCoreApplication::processEvents(); // runs the continuation of a full piece
            const QByteArray window = m.log();
            if (window.size() == reported)
                continue;
            reported = window.size();
            std::printf(
                "window %lld %s\n", qlonglong(reported),
                QCryptographicHash::hash(window, QCryptographicHash::Md5).toHex().constData());
            std::fflush(stdout);
        }
    }

    void abortInADrainsBoxKeepsWhatTheWindowHad() {
        if (isChild())
            return;
        PipeSender sender;
        QVERIFY2(sender.ok(), qPrintable(sender.error()));
        QVERIFY(sender.sendDebug(QStringLiteral("one \u00fc"), kAbortPipe));
        QVERIFY(sender.sendDebug(QStringLiteral("two"), kAbortPipe));
        // Text where the length belongs: an error box in the middle of the drain.
        QVERIFY(sender.exec(QStringLiteral("SELECT dbms_pipe.pack_message('broken'::text), "
                                           "dbms_pipe.send_message(%1)")
                                .arg(SqlLiteral(kAbortPipe))));
        QVERIFY(sender.sendDebug(QStringLiteral("three"), kAbortPipe));
        JournalHome home;
        QTemporaryDir temp;
        QProcess child;
        startChild(child, home, temp, QStringLiteral("childAbortsInADrainsBox"));
        QVERIFY(child.waitForFinished(120000));
        sender.exec(QStringLiteral("SELECT dbms_pipe.purge(%1)").arg(SqlLiteral(kAbortPipe)));
        QCOMPARE(child.exitCode(), 1);
        QByteArray window = "<no box>";
        for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
            if (line.startsWith("window "))
                window = QByteArray::fromHex(line.mid(7));
        QCOMPARE(window, QString("one \u00fc\r\ntwo\r\n").toUtf8());
        QCOMPARE(home.journal(), window);
    }

    void childAbortsInADrainsBox() {
        if (!isChild())
            return;
        LogWindow m(kAbortPipe);
        // The box of the drain: the window as the user sees it behind the box, then Abort.
        AfxSetMessageBoxResponder([&](const QString&, UINT) {
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
