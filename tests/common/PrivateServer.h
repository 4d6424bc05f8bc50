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

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <libpq-fe.h>
#include <memory>
#include <string>

class PrivateServer {
public:
    PrivateServer();
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
    std::string conninfo() const;

    // Points the PG* variables, and so TestDatabase, LogonToTestDatabase and PipeSender, at
    // this server: a suite that fills orafce's small shared memory (one per server) then
    // cannot starve the suites that run beside it on the common server.
    void becomeTheTestDatabase() const;

    bool start();
    // mode: smart, fast or immediate, the shutdown signals' meanings to the postmaster.
    bool stop(const QString& mode);
    QString serverLog() const;

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
    QString data() const { return m_dir.filePath("data"); }
    bool run(const QString& tool, const QStringList& args);

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
