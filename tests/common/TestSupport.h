#pragma once
// Shared helpers of the test suites: a private profile, a message-box responder that records
// what was shown, and the throw-away database that `make test` provides.
#include <QList>
#include <QString>
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
// The text of a PDF file as pdftotext lays it out (pages end with a form feed); empty when the
// tool is missing.
QString PdfText(const QString& path);
// The text as an SQL string literal.
QString SqlLiteral(QString text);

// Answers every AfxMessageBox while it lives and records what was shown. Answers are taken
// from the queue in turn; when it is empty, an Abort/Retry/Ignore box gets IDIGNORE and any
// other box its first button's result (IDOK, IDYES, ...).
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

// A second, independent session to the test database: sends messages as other programs do.
class PipeSender {
public:
    PipeSender();
    ~PipeSender();
    PipeSender(const PipeSender&) = delete;
    PipeSender& operator=(const PipeSender&) = delete;

    bool ok() const;
    QString error() const;
    // Packs the text's length as a number, then the text, and sends it: what SendDebugMessage does.
    bool sendDebug(const QString& text, const QString& pipe = QStringLiteral("tidemark"));
    // Runs any SQL; true when the server accepted it.
    bool exec(const QString& sql);
    // Runs SQL returning one value as text.
    QString scalar(const QString& sql);
    PGconn* connection() const { return m_conn; }

private:
    PGconn* m_conn = nullptr;
};

// Test-side guard: fails the current test with a message when the database is missing.
#define REQUIRE_DATABASE()                                                                         \
    do {                                                                                           \
        QString why_;                                                                              \
        QVERIFY2(TestDatabase::available(&why_), qPrintable(why_));                                \
    } while (0)
