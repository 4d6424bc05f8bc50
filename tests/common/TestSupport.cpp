#include "TestSupport.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>

namespace {
// The folder the profile points at now, so that a nested profile can give it back.
QString& currentProfileFolder() {
    static QString folder;
    return folder;
}

void pointProfileAt(const QString& folder) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    currentProfileFolder() = folder;
}
} // namespace

ScopedProfile::ScopedProfile() : m_previous(currentProfileFolder()) {
    QCoreApplication::setOrganizationName(QStringLiteral("Quellmoor"));
    QCoreApplication::setApplicationName(QStringLiteral("Tidemark"));
    pointProfileAt(m_dir.path());
}

// Without an outer profile the path stays on this removed folder: never the real profile.
ScopedProfile::~ScopedProfile() {
    if (!m_previous.isEmpty())
        pointProfileAt(m_previous);
}

QString PdfText(const QString& path) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return QString();
    QProcess p;
    p.start(tool, {QStringLiteral("-layout"), path, QStringLiteral("-")});
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString WriteFileIn(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    return WriteFile(path, bytes) ? path : QString();
}

QString SqlLiteral(QString text) {
    return "'" + text.replace('\'', "''") + "'";
}

QString ScopedProfile::file() const {
    return QDir(m_dir.path()).filePath(QStringLiteral("Quellmoor/Tidemark.conf"));
}

MessageBoxRecorder::MessageBoxRecorder() {
    AfxSetMessageBoxResponder([this](const QString& text, UINT type) {
        m_shown.append({text, type});
        if (!m_answers.isEmpty())
            return m_answers.takeFirst();
        switch (type & MB_TYPEMASK) {
        case MB_ABORTRETRYIGNORE:
            return int(IDIGNORE);
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return int(IDYES);
        case MB_RETRYCANCEL:
            return int(IDRETRY);
        default:
            return int(IDOK);
        }
    });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    AfxSetMessageBoxResponder({});
}

namespace {
std::string env(const char* name) {
    const QByteArray v = qgetenv(name);
    return std::string(v.constData(), v.size());
}
} // namespace

bool TestDatabase::available(QString* why) {
    for (const char* name : {"PGHOST", "PGPORT", "PGUSER", "PGPASSWORD", "PGDATABASE"}) {
        if (qgetenv(name).isEmpty()) {
            if (why)
                *why = QStringLiteral("No test database: %1 is not set. Run the suite with "
                                      "`make test`, which provides one through pg_virtualenv.")
                           .arg(QLatin1String(name));
            return false;
        }
    }
    return true;
}

std::string TestDatabase::user() {
    return env("PGUSER");
}
std::string TestDatabase::password() {
    return env("PGPASSWORD");
}
std::string TestDatabase::connectString() {
    // A socket directory or an IPv6 address goes in brackets.
    std::string host = env("PGHOST");
    if (host.find_first_of(":/") != std::string::npos)
        host = "[" + host + "]";
    return "pg:" + host + ":" + env("PGPORT") + "/" + env("PGDATABASE");
}
std::string TestDatabase::conninfo() {
    // Values come from the environment, which libpq reads itself.
    return "application_name=tidemark-test-sender client_encoding=UTF8";
}

bool LogonToTestDatabase() {
    if (!TestDatabase::available())
        return false;
    return OciLogon(TestDatabase::user().c_str(), TestDatabase::password().c_str(),
                    TestDatabase::connectString().c_str()) == 1;
}

QString NameOwnSession() {
    const QString name = QStringLiteral("tidemark-test-%1").arg(QCoreApplication::applicationPid());
    COciCursor cursor;
    const QByteArray statement = "SET application_name = '" + name.toUtf8() + "'";
    cursor.Parse(statement.constData());
    cursor.Execute(TRUE);
    return name;
}

PipeSender::PipeSender(const std::string& conninfo) : m_conn(PQconnectdb(conninfo.c_str())) {}
PipeSender::~PipeSender() {
    PQfinish(m_conn);
}
bool PipeSender::ok() const {
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}
QString PipeSender::error() const {
    return m_conn ? QString::fromUtf8(PQerrorMessage(m_conn)) : QStringLiteral("no connection");
}

QStringList ReadAheadCorpus() {
    return {"5|'hello'::text",
            "1999|repeat('x', 1999)",
            "2000|repeat('y', 2000)",
            "'no length first'::text",
            "7",
            "5|'extra'::text|'more'::text|42",
            "",
            "99999999999|'too big'::text",
            "-12.750|'a fraction'::text",
            "1e20|0.000001|'numbers'::text",
            "date '2026-12-07'|'date first'::text",
            "4|date '2026-12-08'",
            "'\\x0102'::bytea|'raw first'::text",
            "3|'\\xff'::bytea|'after raw'::text",
            "timestamptz '2026-12-07 10:00+00'|'stamp first'::text",
            "5|'stamp'::text|timestamptz '2026-12-07 10:00+00'|'behind it'::text",
            "(SELECT e FROM pg_available_extensions e WHERE e.name = 'orafce')|'record "
            "first'::text",
            "2|42",
            "12|'tab\there\r\nend ''quoted'''::text"};
}

bool PipeSender::freePipes(const QStringList& pipes) {
    bool ok = true;
    for (const QString& pipe : pipes)
        ok = exec(QStringLiteral("SELECT dbms_pipe.purge(%1)").arg(SqlLiteral(pipe))) && ok;
    return ok;
}

bool PipeSender::freeEmptyPipes() {
    return exec(QStringLiteral(
        "SELECT dbms_pipe.remove_pipe(name) FROM dbms_pipe.db_pipes WHERE items = 0"));
}

// send_message with a NULL timeout waits as long as the server lets it, as without one.
bool PipeSender::sendDebug(const QString& text, const QString& pipe) {
    const QByteArray t = text.toUtf8();
    const QByteArray p = pipe.toUtf8();
    const QByteArray w = QByteArray::number(m_wait);
    const char* values[] = {t.constData(), p.constData(), m_wait < 0 ? nullptr : w.constData()};
    PGresult* r = PQexecParams(m_conn,
                               "SELECT dbms_pipe.pack_message(length($1::text)), "
                               "dbms_pipe.pack_message($1::text), "
                               "dbms_pipe.send_message($2::text, $3::int)",
                               3, nullptr, values, nullptr, nullptr, 0);
    const bool good =
        PQresultStatus(r) == PGRES_TUPLES_OK && QByteArray(PQgetvalue(r, 0, 2)) == "0";
    PQclear(r);
    return good;
}

int PipeSender::sendItems(const QString& pipe, const QStringList& items, int timeout) {
    // What an earlier refused message left in the buffer does not go out with this one.
    exec(QStringLiteral("SELECT dbms_pipe.reset_buffer()"));
    for (const QString& item : items)
        if (!exec(QStringLiteral("SELECT dbms_pipe.pack_message(%1)").arg(item)))
            return -1;
    const QString status =
        scalar(QStringLiteral("SELECT dbms_pipe.send_message(%1, %2::int)")
                   .arg(SqlLiteral(pipe),
                        timeout < 0 ? QStringLiteral("NULL") : QString::number(timeout)));
    return status.isEmpty() ? -1 : status.toInt();
}

bool PipeSender::exec(const QString& sql) {
    PGresult* r = PQexec(m_conn, sql.toUtf8().constData());
    const ExecStatusType st = PQresultStatus(r);
    PQclear(r);
    return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
}

QStringList PipeSender::takeDebug(const QString& pipe) {
    QStringList rest;
    while (
        scalar(QStringLiteral("SELECT dbms_pipe.receive_message(%1, 0)").arg(SqlLiteral(pipe))) ==
        QLatin1String("0")) {
        scalar("SELECT dbms_pipe.unpack_message_number()");
        rest << scalar("SELECT dbms_pipe.unpack_message_text()");
    }
    return rest;
}

QString PipeSender::scalar(const QString& sql) {
    PGresult* r = PQexec(m_conn, sql.toUtf8().constData());
    QString v;
    if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 && PQnfields(r) > 0)
        v = QString::fromUtf8(PQgetvalue(r, 0, 0));
    PQclear(r);
    return v;
}

void AddReceivingModeRows() {
    QTest::addColumn<bool>("typed");
    QTest::newRow("plain") << false;
    QTest::newRow("typed") << true;
}
