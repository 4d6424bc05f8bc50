#pragma once
// A PostgreSQL server of the test's own, in a temporary folder on a free local port, that the
// test may stop, kill and restart at will. Password authentication over TCP, as the program
// logs on; orafce created in its database. As root the server runs as the user postgres.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <arpa/inet.h>
#include <libpq-fe.h>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

class PrivateServer {
public:
    PrivateServer() {
        m_password = QUuid::createUuid().toString(QUuid::WithoutBraces).left(20);
        m_port = freePort();
        if (m_port == 0)
            return;
        if (!m_dir.isValid())
            return;
        if (::geteuid() == 0) {
            const passwd* pw = ::getpwnam("postgres");
            if (!pw || ::chown(qPrintable(m_dir.path()), pw->pw_uid, pw->pw_gid) != 0) {
                m_log = "no user postgres to run the server as";
                return;
            }
        }
        QFile pwfile(m_dir.filePath("pw"));
        if (!pwfile.open(QIODevice::WriteOnly) || pwfile.write(m_password.toUtf8() + "\n") < 0)
            return;
        pwfile.close();
        pwfile.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther);
        if (!run("initdb", {"-D", data(), "-U", "postgres", "-E", "UTF8", "--locale=C.UTF-8",
                            "--auth-local=trust", "--auth-host=scram-sha-256", "--pwfile",
                            m_dir.filePath("pw")}))
            return;
        QFile::remove(m_dir.filePath("pw"));
        if (!start())
            return;
        m_ready = admin([](PGconn* c) {
            PGresult* r = PQexec(c, "CREATE EXTENSION orafce");
            const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
            PQclear(r);
            return ok;
        });
    }

    ~PrivateServer() {
        if (m_dir.isValid())
            stop("immediate");
    }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool ready() const { return m_ready; }
    QString log() const { return m_log; }
    std::string password() const { return m_password.toStdString(); }
    std::string connectString() const {
        return "pg:127.0.0.1:" + std::to_string(m_port) + "/postgres";
    }
    // keyword/value text for side sessions: over TCP with the password, as the program does.
    std::string conninfo() const {
        return "host=127.0.0.1 port=" + std::to_string(m_port) +
               " dbname=postgres user=postgres password=" + m_password.toStdString() +
               " application_name=tidemark-test-admin connect_timeout=10";
    }

    // Points the PG* variables, and so TestDatabase, LogonToTestDatabase and PipeSender, at
    // this server: a suite that fills orafce's small shared memory (one per server) then
    // cannot starve the suites that run beside it on the common server.
    void becomeTheTestDatabase() const {
        qputenv("PGHOST", "127.0.0.1");
        qputenv("PGPORT", QByteArray::number(m_port));
        qputenv("PGUSER", "postgres");
        qputenv("PGPASSWORD", m_password.toUtf8());
        qputenv("PGDATABASE", "postgres");
    }

    bool start() {
        return run("pg_ctl",
                   {"-D", data(), "-l", m_dir.filePath("server.log"), "-w", "-t", "60", "-o",
                    QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1")
                        .arg(m_port)
                        .arg(m_dir.path()),
                    "start"});
    }
    // mode: smart, fast or immediate.
    bool stop(const QString& mode) {
        return run("pg_ctl", {"-D", data(), "-m", mode, "-w", "-t", "60", "stop"});
    }

    // Runs f on a fresh side session; false when that session cannot be had.
    template <typename F> bool admin(F f) const {
        std::unique_ptr<PGconn, void (*)(PGconn*)> c(PQconnectdb(conninfo().c_str()), PQfinish);
        if (PQstatus(c.get()) != CONNECTION_OK)
            return false;
        PQsetNoticeProcessor(
            c.get(), [](void*, const char*) {}, nullptr);
        return f(c.get());
    }

private:
    // A port the kernel picks as free; the probe's socket gives it back at once.
    static quint16 freePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return 0;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        quint16 port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        ::close(fd);
        return port;
    }

    QString data() const { return m_dir.filePath("data"); }

    bool run(const QString& tool, const QStringList& args) {
        QString program = "/usr/lib/postgresql/15/bin/" + tool;
        QStringList all = args;
        if (::geteuid() == 0) {
            all.prepend(program);
            all = QStringList{"-u", "postgres", "--"} + all;
            program = "/usr/sbin/runuser";
        }
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, all);
        const bool done = p.waitForFinished(120000);
        m_log = QString::fromLocal8Bit(p.readAll());
        return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    QString m_password;
    QString m_log;
    quint16 m_port = 0;
    bool m_ready = false;
};
