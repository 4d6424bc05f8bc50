// Saving that fails part-way (disk full, folder gone, no permission) leaves the previous file
// as it was and says so; a save replaces the file in one step; files at and past the old open
// limit.
#include "LogWindow.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Limits the size of files this process writes for the life of the object, as a full disk
// would; the write then fails with an error instead of a signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

// Runs with the effective user nobody for the life of the object when the process is root,
// so that permissions apply.
class AsNobody {
public:
    AsNobody() {
        if (::geteuid() != 0)
            return;
        const passwd* pw = ::getpwnam("nobody");
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

const QByteArray kPrevious = "previous contents\r\nsecond line\r\n";
} // namespace

class TestReliabilitySaving : public QObject {
    Q_OBJECT
private slots:
    void diskFullKeepsThePreviousFile() {
        ScopedProfile profile;
        QTemporaryDir dir;
        const QString path = dir.filePath("full.log");
        QVERIFY(WriteFile(path, kPrevious));
        LogWindow log;
        for (int i = 0; i < 2000; ++i)
            log.view.AppendMessage(
                QStringLiteral("message %1 of a log larger than the disk").arg(i));
        MessageBoxRecorder boxes;
        bool saved = true;
        {
            FileSizeLimit full(4096);
            QVERIFY(full.ok());
            saved = log.doc.OnSaveDocument(path);
        }
        QVERIFY(!saved);
        QCOMPARE(ReadFile(path), kPrevious);
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().startsWith("Failed to save document."),
                 qPrintable(boxes.lastText()));
        QCOMPARE(entries(dir.path()), QStringList{"full.log"}); // no half-written file left behind
        // With room again, the same save succeeds.
        QVERIFY(log.doc.OnSaveDocument(path));
        QCOMPARE(ReadFile(path), log.view.GetWindowText());
    }

    void folderRemovedSaysSo() {
        ScopedProfile profile;
        QTemporaryDir dir;
        const QString folder = dir.filePath("gone");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/log.txt";
        QVERIFY(WriteFile(path, kPrevious));
        LogWindow log;
        QVERIFY(log.doc.OnOpenDocument(path));
        log.doc.SetPathName(path, false);
        log.view.AppendMessage("more");
        QVERIFY(QDir(folder).removeRecursively());
        MessageBoxRecorder boxes;
        QVERIFY(!log.doc.OnSaveDocument(path));
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().startsWith("Failed to save document."),
                 qPrintable(boxes.lastText()));
        QVERIFY(!QFileInfo::exists(folder));
        // The log is still there to be saved elsewhere.
        QVERIFY(log.doc.OnSaveDocument(dir.filePath("elsewhere.txt")));
        QCOMPARE(ReadFile(dir.filePath("elsewhere.txt")), kPrevious + "more\r\n");
    }

    void noPermissionKeepsThePreviousFile() {
        ScopedProfile profile;
        QTemporaryDir dir;
        QVERIFY(::chmod(qPrintable(dir.path()), 0755) == 0);
        const QString path = dir.filePath("locked.log");
        QVERIFY(WriteFile(path, kPrevious));
        QVERIFY(::chmod(qPrintable(path), 0644) == 0);
        QVERIFY(::chmod(qPrintable(dir.path()), ::geteuid() == 0 ? 0755 : 0555) == 0);
        LogWindow log;
        log.view.AppendMessage("new contents");
        MessageBoxRecorder boxes;
        bool saved = true;
        {
            AsNobody nobody; // root would write through the permissions
            saved = log.doc.OnSaveDocument(path);
        }
        QVERIFY(::chmod(qPrintable(dir.path()), 0755) == 0);
        QVERIFY(!saved);
        QCOMPARE(ReadFile(path), kPrevious);
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().startsWith("Failed to save document."),
                 qPrintable(boxes.lastText()));
        QCOMPARE(entries(dir.path()), QStringList{"locked.log"});
    }

    void saveReplacesTheFileInOneStep() {
        ScopedProfile profile;
        QTemporaryDir dir;
        const QString path = dir.filePath("atomic.log");
        const QString link = dir.filePath("old-name.log");
        QVERIFY(WriteFile(path, kPrevious));
        // A second name for the old file: a save that rewrote the file in place would change
        // what it shows; a save that puts a complete new file in its place leaves it alone.
        QVERIFY(::link(qPrintable(path), qPrintable(link)) == 0);
        LogWindow log;
        log.view.AppendMessage("replacement");
        MessageBoxRecorder boxes;
        QVERIFY(log.doc.OnSaveDocument(path));
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(ReadFile(path), QByteArray("replacement\r\n"));
        QCOMPARE(ReadFile(link), kPrevious);
        QCOMPARE(entries(dir.path()), (QStringList{"atomic.log", "old-name.log"}));
    }

    void saveThroughASymbolicLinkKeepsTheLink() {
        ScopedProfile profile;
        QTemporaryDir dir;
        const QString target = dir.filePath("target.log");
        const QString link = dir.filePath("link.log");
        QVERIFY(WriteFile(target, kPrevious));
        QVERIFY(QFile::link(target, link));
        LogWindow log;
        log.view.AppendMessage("through the link");
        QVERIFY(log.doc.OnSaveDocument(link));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadFile(target), QByteArray("through the link\r\n"));
    }

    void filesAtTheOpenLimit() {
        ScopedProfile profile;
        QTemporaryDir dir;
        // Exactly 1,048,575 bytes of mixed line breaks, multi-byte text and control characters.
        QByteArray bytes;
        const QByteArray pattern = "line\r\nbare lf\nbare cr\rGrüße 東京\ttab\x01\x1f\r\n";
        while (bytes.size() + pattern.size() <= 1048575)
            bytes += pattern;
        bytes += QByteArray(1048575 - bytes.size(), 'z');
        QCOMPARE(bytes.size(), 1048575);
        const QString fits = dir.filePath("fits.log");
        QVERIFY(WriteFile(fits, bytes));
        MessageBoxRecorder boxes;
        LogWindow log;
        QVERIFY(log.doc.OnOpenDocument(fits));
        QCOMPARE(boxes.count(), 0);
        QVERIFY(log.doc.OnSaveDocument(dir.filePath("again.log")));
        QVERIFY(ReadFile(dir.filePath("again.log")) == bytes); // identical, byte for byte
        // One byte more, past what the old edit control could hold, opens all the same.
        const QString larger = dir.filePath("large.log");
        QVERIFY(WriteFile(larger, bytes + "!"));
        QVERIFY(log.doc.OnOpenDocument(larger));
        QCOMPARE(boxes.count(), 0);
        QVERIFY(log.view.GetWindowText() == bytes + "!");
    }
};

QTEST_MAIN(TestReliabilitySaving)
#include "tst_rel_saving.moc"
