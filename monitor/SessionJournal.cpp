#include "SessionJournal.h"

#include "MessageBox.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
// The two folders below the state home; neither is followed when it is a symbolic link.
constexpr const char* kFolderNames[] = {"tidemark", "sessions"};
// Journals of one run that may start within one second (each log window has one).
constexpr int kMostJournalsPerSecond = 100;

bool isOff() {
    return qEnvironmentVariable("TIDEMARK_SESSION_LOG")
               .compare(QLatin1String("off"), Qt::CaseInsensitive) == 0;
}
} // namespace

CSessionJournal::Descriptor::~Descriptor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

CSessionJournal::Descriptor& CSessionJournal::Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

CSessionJournal::CSessionJournal() {
    if (isOff())
        return;
    m_strStateHome = StateHome();
    // The run's local start time and its process id: sorted by name, the journals are in the
    // order of the runs, and two runs never share a name.
    m_strName = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH.mm.ss")) +
                QLatin1Char('-') + QString::number(QCoreApplication::applicationPid()) +
                QStringLiteral(".log");
    m_strPathName = m_strStateHome + QStringLiteral("/tidemark/sessions/") + m_strName;
    RemoveOldJournals(m_strName);
}

CSessionJournal::~CSessionJournal() {
    if (m_syncer.joinable()) {
        m_syncer.request_stop();
        m_syncer.join();
    }
    if (!m_file.valid())
        return;
    if (m_nWritten == 0)
        ::unlinkat(m_folder.get(), QFile::encodeName(m_strName).constData(), 0);
    else
        ::fdatasync(m_file.get());
}

QString CSessionJournal::StateHome() {
    const QString home = qEnvironmentVariable("XDG_STATE_HOME");
    if (QDir::isAbsolutePath(home))
        return QDir::cleanPath(home);
    return QDir::homePath() + QStringLiteral("/.local/state");
}

QString CSessionJournal::GetFolder() {
    return StateHome() + QStringLiteral("/tidemark/sessions");
}

// The state home is the user's to place (a link there is followed); the program's own two
// folders below it are made 0700 and opened without following a link, so that the journal goes
// into that folder and nowhere else.
CSessionJournal::Descriptor CSessionJournal::OpenFolder(const QString& stateHome, bool bCreate,
                                                        int& error) {
    const QByteArray base = QFile::encodeName(stateHome);
    // Missing parts of the state home are made as the base directory rules ask: 0700.
    for (qsizetype end = base.indexOf('/', 1); bCreate; end = base.indexOf('/', end + 1)) {
        if (::mkdir((end < 0 ? base : base.left(end)).constData(), 0700) != 0 && errno != EEXIST) {
            error = errno;
            return {};
        }
        if (end < 0)
            break;
    }
    int fd = ::open(base.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Descriptor folder(fd);
    for (const char* name : kFolderNames) {
        if (fd < 0)
            break;
        if (bCreate && ::mkdirat(folder.get(), name, 0700) != 0 && errno != EEXIST) {
            error = errno;
            return {};
        }
        fd = ::openat(folder.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            error = errno;
        folder = Descriptor(fd);
    }
    if (!folder.valid() && error == 0)
        error = errno;
    return folder;
}

void CSessionJournal::RemoveOldJournals(const QString& keep, int nMaxCount, qint64 nMaxBytes) {
    if (isOff())
        return;
    int error = 0;
    const Descriptor folder = OpenFolder(StateHome(), false, error);
    if (!folder.valid())
        return; // no journal yet
    const int listed = ::dup(folder.get());
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(listed >= 0 ? ::fdopendir(listed) : nullptr,
                                                  ::closedir);
    if (!dir) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    // Only what has the form of a journal's name, and only regular files: anything else the
    // user keeps in the folder stays.
    const QRegularExpression journalName(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d\\.\\d\\d\\.\\d\\d-\\d+(?:\\.\\d+)?\\.log$"));
    struct Journal {
        std::string name;
        timespec modified;
        off_t size;
    };
    std::vector<Journal> journals;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QString name = QFile::decodeName(entry->d_name);
        struct stat st {};
        if (name == keep || !journalName.match(name).hasMatch() ||
            ::fstatat(folder.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        journals.push_back({entry->d_name, st.st_mtim, st.st_size});
    }
    // Newest first: by the last write, then by name (the start time).
    std::sort(journals.begin(), journals.end(), [](const Journal& a, const Journal& b) {
        if (a.modified.tv_sec != b.modified.tv_sec)
            return a.modified.tv_sec > b.modified.tv_sec;
        if (a.modified.tv_nsec != b.modified.tv_nsec)
            return a.modified.tv_nsec > b.modified.tv_nsec;
        return a.name > b.name;
    });
    int kept = 0;
    qint64 total = 0;
    for (const Journal& j : journals) {
        if (kept < nMaxCount && total + j.size <= nMaxBytes) {
            ++kept;
            total += j.size;
        } else {
            kept = nMaxCount; // everything older goes too
            ::unlinkat(folder.get(), j.name.c_str(), 0);
        }
    }
}

bool CSessionJournal::Create() {
    int error = 0;
    m_folder = OpenFolder(m_strStateHome, true, error);
    if (m_folder.valid()) {
        // A file or link already at the name is never written through: the name is this run's.
        // Another journal of this run (a second log window) started within the same second
        // takes the name with a number, "...-pid.2.log".
        const QString base = m_strName.chopped(4);
        for (int n = 2;; ++n) {
            const int fd =
                ::openat(m_folder.get(), QFile::encodeName(m_strName).constData(),
                         O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            error = errno;
            m_file = Descriptor(fd);
            if (fd >= 0 || error != EEXIST || n > kMostJournalsPerSecond)
                break;
            m_strName = base + QLatin1Char('.') + QString::number(n) + QStringLiteral(".log");
            m_strPathName = m_strStateHome + QStringLiteral("/tidemark/sessions/") + m_strName;
        }
    }
    if (!m_file.valid()) {
        Fail(error);
        return false;
    }
    m_syncer = std::jthread([this](std::stop_token stop) { SyncLoop(stop); });
    return true;
}

void CSessionJournal::Append(const QString& text) {
    if (m_strPathName.isEmpty() || m_bFailed || text.isEmpty())
        return;
    if (!m_file.valid() && !Create())
        return;
    // The bytes the log window's document gets for the same text.
    const QByteArray bytes = text.toUtf8();
    const char* next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_file.get(), next, std::size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n == 0 ? ENOSPC : errno);
            return;
        }
        next += n;
        left -= n;
        m_nWritten += n;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_bSyncWanted = true;
    }
    m_syncWanted.notify_one();
}

bool CSessionJournal::IsJournal(const QString& path) const {
    if (m_strPathName.isEmpty() || path.isEmpty())
        return false;
    struct stat file {};
    struct stat journal {};
    if (m_file.valid() && ::stat(QFile::encodeName(path).constData(), &file) == 0 &&
        ::fstat(m_file.get(), &journal) == 0)
        return file.st_dev == journal.st_dev && file.st_ino == journal.st_ino;
    // Not made yet: a file saved at its name would take the name from the journal.
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath()) == m_strPathName;
}

// Texts written while one fdatasync runs are taken by the next one.
void CSessionJournal::SyncLoop(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    while (m_syncWanted.wait(lock, stop, [this] { return m_bSyncWanted; })) {
        m_bSyncWanted = false;
        lock.unlock();
        if (::fdatasync(m_file.get()) != 0) {
            const int error = errno;
            QMetaObject::invokeMethod(
                this, [this, error] { Fail(error); }, Qt::QueuedConnection);
            return;
        }
        ++m_nSyncs;
        lock.lock();
    }
}

// The box waits for the event loop: a drain is never held up by it, and no drain starts inside
// the one whose text is being written. Runs on the GUI thread only.
void CSessionJournal::Fail(int error) {
    if (m_bFailed)
        return;
    m_bFailed = true;
    const QString text =
        QStringLiteral("The session log %1 cannot be written: %2.\nReceiving goes on without it.")
            .arg(QDir::toNativeSeparators(m_strPathName),
                 QString::fromLocal8Bit(std::strerror(error)));
    QTimer::singleShot(0, this, [text] { AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION); });
}
