#pragma once
// The session journal: every text the receiver puts into the log also goes, on the disk, into a
// file of this run, with the bytes the window gets.
//
// What it keeps, with the receiver's rules: a message taken out of the pipe is in the journal
// (and the window), or still in its pipe. The log-on may take a batch of messages ahead of the
// receives that show them (read-ahead); a piece of a drain never ends while it holds any, so
// Exit, New, Options and Purge never meet one, and the batch's text is written here as soon as
// the last of it is shown, before the next round trip. Abort in an error box of a drain writes
// the text of the held messages behind the failing one before the process ends (the failing
// message's own remaining items are not shown). What it does not keep: a kill (or crash) loses
// the text of the batch being turned into text at that instant, at most one batch (256 messages
// on PostgreSQL, 500 on Oracle; a pipeful in practice); a power cut loses what the disk had not
// yet been given (the fdatasync runs at once after every write); a batch a failed fetch may
// have taken is lost with the connection, and its error box says so.
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

class CSessionJournal : public QObject {
    Q_OBJECT
public:
    // Names this run's journal and removes the oldest journals of earlier runs; the file itself
    // is made with the first text. With TIDEMARK_SESSION_LOG=off it does nothing at all.
    CSessionJournal();
    // A journal that holds nothing is removed.
    ~CSessionJournal() override;
    CSessionJournal(const CSessionJournal&) = delete;
    CSessionJournal& operator=(const CSessionJournal&) = delete;

    // Appends the bytes the log window gets for text and has them put on the disk. When it
    // returns they are the system's (a kill or Abort of the program loses none of them); the
    // fdatasync that makes them safe from a power cut runs at once on a thread of the journal,
    // so that a drain never waits for the disk. A journal that cannot be made or written is
    // reported once, from the event loop, and left for the rest of the run; the caller never
    // learns of it.
    void Append(const QString& text);

    // This run's journal; empty when switched off.
    QString GetPathName() const { return m_strPathName; }
    // True when path names this run's journal, by its own name or any other (a link).
    bool IsJournal(const QString& path) const;
    // How many times the text written so far has been put on the disk (fdatasync).
    int SyncCount() const { return m_nSyncs; }

    // The folder of all journals: $XDG_STATE_HOME/tidemark/sessions, ~/.local/state standing
    // in for the variable when it is unset (or not an absolute path).
    static QString GetFolder();

    // Keeps the newest nMaxCount journals of the folder while together they take no more than
    // nMaxBytes, and removes the older ones; the one named keep is left alone and not counted.
    static constexpr int nMaxJournals = 50;
    static constexpr qint64 nMaxJournalBytes = 1'000'000'000;
    static void RemoveOldJournals(const QString& keep, int nMaxCount = nMaxJournals,
                                  qint64 nMaxBytes = nMaxJournalBytes);

private:
    // An open file descriptor, closed with its owner.
    class Descriptor {
    public:
        Descriptor() = default;
        explicit Descriptor(int fd) : m_fd(fd) {}
        ~Descriptor();
        Descriptor(Descriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
        Descriptor& operator=(Descriptor&& other) noexcept;
        int get() const { return m_fd; }
        bool valid() const { return m_fd >= 0; }

    private:
        int m_fd = -1;
    };
    static QString StateHome();
    static Descriptor OpenFolder(const QString& stateHome, bool bCreate, int& error);
    bool Create();
    void Fail(int error);
    void SyncLoop(std::stop_token stop);

    QString m_strStateHome;
    QString m_strName;     // the file's name in the folder
    QString m_strPathName; // empty when the journal is switched off
    Descriptor m_folder;
    Descriptor m_file;
    qint64 m_nWritten = 0;
    bool m_bFailed = false;
    std::mutex m_mutex;
    std::condition_variable_any m_syncWanted;
    bool m_bSyncWanted = false; // guarded by m_mutex
    std::atomic<int> m_nSyncs = 0;
    std::jthread m_syncer; // last: ends before the file is closed
};
