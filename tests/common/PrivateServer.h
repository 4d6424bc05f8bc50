#pragma once
// A PostgreSQL server of the test's own, in a temporary folder on a free local port, that the
// test may stop, kill and restart at will. Password authentication over TCP, as the program
// logs on; orafce created in its database. As root the server runs as the user postgres.
//
// The postmaster is the suite's own child, not a daemon: the kernel kills it when the suite
// dies, however it dies (a watchdog's abort, CTest's timeout, SIGKILL), so that a hung or
// crashed suite leaves no server holding its port, memory and shared memory. Its backends
// notice the postmaster's death and end by themselves.
#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <arpa/inet.h>
#include <csignal>
#include <grp.h>
#include <libpq-fe.h>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <string>
#include <sys/prctl.h>
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
        m_ready = admin([](PipeSender& s) { return s.exec("CREATE EXTENSION orafce"); });
    }

    ~PrivateServer() { stop("immediate"); }
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
        if (m_postmaster)
            return false;
        auto postmaster = std::make_unique<QProcess>();
        postmaster->setProgram("/usr/lib/postgresql/15/bin/postgres");
        postmaster->setArguments({"-D", data(), "-p", QString::number(m_port), "-k", m_dir.path(),
                                  "-c", "listen_addresses=127.0.0.1"});
        postmaster->setWorkingDirectory(m_dir.path());
        postmaster->setStandardInputFile(QProcess::nullDevice());
        postmaster->setStandardOutputFile(m_dir.filePath("server.log"), QIODevice::Append);
        postmaster->setStandardErrorFile(m_dir.filePath("server.log"), QIODevice::Append);
        // Runs in the child between fork and exec: only async-signal-safe calls, with what
        // they need looked up before the fork.
        const pid_t parent = ::getpid();
        const passwd* pw = ::geteuid() == 0 ? ::getpwnam("postgres") : nullptr;
        const uid_t uid = pw ? pw->pw_uid : ::geteuid();
        const gid_t gid = pw ? pw->pw_gid : ::getegid();
        const bool dropToServerUser = pw != nullptr;
        postmaster->setChildProcessModifier([=] {
            if (dropToServerUser &&
                (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
                ::_exit(126);
            // After the change of user: a change of credentials clears the death signal.
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
                ::_exit(126);
        });
        postmaster->start();
        if (!postmaster->waitForStarted(30000)) {
            m_log = postmaster->errorString();
            return false;
        }
        m_postmaster = std::move(postmaster);
        // Ready when it accepts connections; a postmaster that ends has failed to start.
        const std::string ping =
            "host=127.0.0.1 port=" + std::to_string(m_port) + " dbname=postgres connect_timeout=5";
        QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            if (PQping(ping.c_str()) == PQPING_OK)
                return true;
            if (m_postmaster->waitForFinished(100))
                break;
        }
        m_log = serverLog();
        stop("immediate");
        return false;
    }
    // mode: smart, fast or immediate, the shutdown signals' meanings to the postmaster.
    bool stop(const QString& mode) {
        if (!m_postmaster)
            return false;
        const int signal = mode == "smart" ? SIGTERM : mode == "fast" ? SIGINT : SIGQUIT;
        ::kill(pid_t(m_postmaster->processId()), signal);
        bool ended = m_postmaster->waitForFinished(60000);
        if (!ended) {
            m_postmaster->kill();
            m_postmaster->waitForFinished(10000);
        }
        m_postmaster.reset();
        return ended;
    }
    QString serverLog() const {
        QFile log(m_dir.filePath("server.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
    }

    // Runs f on a fresh side session (a PipeSender& with the server's notices silenced); false
    // when that session cannot be had.
    template <typename F> bool admin(F f) const {
        PipeSender session(conninfo());
        if (!session.ok())
            return false;
        PQsetNoticeProcessor(
            session.connection(), [](void*, const char*) {}, nullptr);
        return f(session);
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
    std::unique_ptr<QProcess> m_postmaster;
    QString m_password;
    QString m_log;
    quint16 m_port = 0;
    bool m_ready = false;
};

// Starts a server of the suite's own and makes it the test database, for a suite whose load,
// roles or settings would disturb the suites that run beside it on the common server. Like
// REQUIRE_DATABASE, it fails the current test when the run has no test database, and also when
// the server does not come up.
#define START_PRIVATE_TEST_DATABASE(server)                                                        \
    do {                                                                                           \
        REQUIRE_DATABASE();                                                                        \
        (server) = std::make_unique<PrivateServer>();                                              \
        QVERIFY2((server)->ready(), qPrintable((server)->log()));                                  \
        (server)->becomeTheTestDatabase();                                                         \
    } while (0)
