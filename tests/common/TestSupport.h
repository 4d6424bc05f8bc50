#pragma once
// Shared helpers of the test suites: a private profile, a message-box responder that records
// what was shown, and the throw-away database that `make test` provides.
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <libpq-fe.h>
#include <memory>
#include <string>

// Points the profile at a temporary folder for the life of the object; the real profile is
// never touched. Sets the organisation and application names the program uses. Nested
// profiles give the outer one back when they end.
class ScopedProfile {
public:
    ScopedProfile();
    ~ScopedProfile();
    ScopedProfile(const ScopedProfile&) = delete;
    ScopedProfile& operator=(const ScopedProfile&) = delete;
    QString path() const { return m_dir.path(); }
    QString file() const; // the .conf file the profile lives in

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// A file's bytes, or "<unreadable>" when it cannot be read.
QByteArray ReadFile(const QString& path);
// Writes the bytes as the whole file; false when that fails.
bool WriteFile(const QString& path, const QByteArray& bytes);
// Writes the bytes as the file of that name in the folder; its path, or empty when that fails.
QString WriteFileIn(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);
// The text of a PDF file as pdftotext lays it out (pages end with a form feed); empty when the
// tool is missing.
QString PdfText(const QString& path);
// The text as an SQL string literal.
QString SqlLiteral(QString text);

// The rows "plain" and "typed" of a bool column "typed": one test run in both receiving modes.
void AddReceivingModeRows();

// Answers every AfxMessageBox while it lives and records what was shown. Answers are taken
// from the queue in turn; when it is empty, an Abort/Retry/Ignore box gets IDIGNORE and any
// other box its first button's result (IDOK, IDYES, ...).
// Messages of every shape the receiver meets, one a string, its items (SQL expressions for
// PipeSender::sendItems) separated by '|': the plain convention at its limits, messages that
// break it, every item type orafce packs, text with tabs, line breaks and quotes.
QStringList ReadAheadCorpus();

class MessageBoxRecorder {
public:
    struct Shown {
        QString text;
        unsigned type;
    };
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    void answer(int id) { m_answers.append(id); }
    const QList<Shown>& shown() const { return m_shown; }
    int count() const { return m_shown.size(); }
    QString lastText() const { return m_shown.isEmpty() ? QString() : m_shown.last().text; }
    void clear() { m_shown.clear(); }

private:
    QList<int> m_answers;
    QList<Shown> m_shown;
};

// The database of the test run, from the PG* variables that pg_virtualenv sets.
struct TestDatabase {
    static bool available(QString* why = nullptr);
    static std::string user();
    static std::string password();
    static std::string connectString(); // "pg:host:port/database"
    static std::string conninfo();      // libpq keyword form, for side connections
};

// Logs the process on (OciLogon) with the test database's credentials; true on success.
bool LogonToTestDatabase();

// Gives the process's log-on an application name of its own and returns it, so that a test can
// find its backend from a side session without touching those of suites running alongside.
QString NameOwnSession();

// A second, independent session to the test database (or to the server the keyword/value text
// names): sends messages of any shape as other programs do, and runs SQL beside the program.
class PipeSender {
public:
    explicit PipeSender(const std::string& conninfo = TestDatabase::conninfo());
    ~PipeSender();
    PipeSender(const PipeSender&) = delete;
    PipeSender& operator=(const PipeSender&) = delete;

    bool ok() const;
    QString error() const;
    // How long a send waits on a full pipe, in seconds (send_message's timeout); until this is
    // called, as long as the server lets it. Where nothing else drains the pipe, a limit turns a
    // wait that would never end into a failure.
    void setWait(int seconds) { m_wait = seconds; }
    // Packs the text's length as a number, then the text, and sends it: what SendDebugMessage does.
    bool sendDebug(const QString& text, const QString& pipe = QStringLiteral("tidemark"));
    // Packs each item (an SQL expression, packed as its own type) into an empty buffer and sends
    // the message: send_message's status (0 sent, 1 timed out), or -1 when the server refused a
    // step. The timeout is in seconds; without one, the sender's wait.
    int sendItems(const QString& pipe, const QStringList& items) {
        return sendItems(pipe, items, m_wait);
    }
    int sendItems(const QString& pipe, const QStringList& items, int timeout);
    // Runs any SQL; true when the server accepted it.
    bool exec(const QString& sql);
    // Runs SQL returning one value as text (of the last statement when there are several).
    QString scalar(const QString& sql);
    PGconn* connection() const { return m_conn; }
    // Takes every message the pipe still holds, as sendDebug packed them: their texts, in order.
    QStringList takeDebug(const QString& pipe);
    // orafce keeps at most 30 pipes for the whole server, and a receive from an empty pipe
    // makes or keeps one, so every pipe a receiver has looked at holds a place until it is
    // purged. Purges the given pipes (a suite's own, at its end)...
    bool freePipes(const QStringList& pipes);
    // ...or removes every empty pipe: only for a suite that runs alone, since a message sent
    // by another suite between the look and the removal would go with its pipe.
    bool freeEmptyPipes();

private:
    PGconn* m_conn = nullptr;
    int m_wait = -1; // below 0: the server's own limit
};

// Test-side guard: fails the current test with a message when the database is missing.
#define REQUIRE_DATABASE()                                                                         \
    do {                                                                                           \
        QString why_;                                                                              \
        QVERIFY2(TestDatabase::available(&why_), qPrintable(why_));                                \
    } while (0)
