// Drain throughput: messages per second that the monitor takes off a pipe that a second
// session keeps full, in plain and typed mode, against the floor of a bare libpq loop that
// issues the same statements per message on one connection.
#include "BenchSupport.h"
#include "TestSupport.h"
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <atomic>
#include <cstdio>
#include <libpq-fe.h>
#include <thread>

namespace {
constexpr int kMessages = 20000;
const char* kText = "2026-12-07 06:00:00: trace message of moderate length";

// Keeps the pipe full from its own session until `count` messages are sent.
void sendMessages(const char* pipe, int count, std::atomic<bool>& failed) {
    PGconn* conn = PQconnectdb(TestDatabase::conninfo().c_str());
    const char* values[] = {kText, pipe};
    PGresult* prep = PQprepare(conn, "send",
                               "SELECT dbms_pipe.pack_message(length($1::text)), "
                               "dbms_pipe.pack_message($1::text), dbms_pipe.send_message($2::text)",
                               2, nullptr);
    PQclear(prep);
    for (int i = 0; i < count && !failed; ++i) {
        PGresult* r = PQexecPrepared(conn, "send", 2, values, nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            failed = true;
        PQclear(r);
    }
    PQfinish(conn);
}

PGresult* execPrepared(PGconn* c, const char* name, int n, const char* const* v) {
    return PQexecPrepared(c, name, n, v, nullptr, nullptr, 0);
}

// The floor: the statements the driver sends for one message, with nothing around them.
double floorRate(bool typed, const char* pipe) {
    PGconn* conn = PQconnectdb(TestDatabase::conninfo().c_str());
    PQclear(PQprepare(conn, "recv", "SELECT dbms_pipe.receive_message($1::text, $2::integer)", 2,
                      nullptr));
    PQclear(PQprepare(conn, "num", "SELECT trim_scale(dbms_pipe.unpack_message_number())::text", 0,
                      nullptr));
    PQclear(PQprepare(conn, "txt", "SELECT dbms_pipe.unpack_message_text()", 0, nullptr));
    PQclear(PQprepare(conn, "item",
                      "SELECT t.typ, CASE t.typ WHEN 9 THEN "
                      "trim_scale(dbms_pipe.unpack_message_number())::text WHEN 11 THEN "
                      "dbms_pipe.unpack_message_text() ELSE '' END FROM (SELECT "
                      "dbms_pipe.next_item_type() AS typ OFFSET 0) AS t",
                      0, nullptr));
    std::atomic<bool> failed = false;
    std::thread sender(sendMessages, pipe, kMessages, std::ref(failed));
    const char* recvArgs[] = {pipe, "0"};
    int received = 0;
    QElapsedTimer timer;
    timer.start();
    while (received < kMessages && !failed) {
        PGresult* r = execPrepared(conn, "recv", 2, recvArgs);
        const bool got = PQresultStatus(r) == PGRES_TUPLES_OK && PQgetvalue(r, 0, 0)[0] == '0';
        PQclear(r);
        if (!got)
            continue;
        if (typed) {
            for (;;) {
                PGresult* item = execPrepared(conn, "item", 0, nullptr);
                const bool end = QByteArray(PQgetvalue(item, 0, 0)) == "0";
                PQclear(item);
                if (end)
                    break;
            }
        } else {
            PQclear(execPrepared(conn, "num", 0, nullptr));
            PQclear(execPrepared(conn, "txt", 0, nullptr));
        }
        ++received;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    sender.join();
    PQfinish(conn);
    return failed ? 0 : received / seconds;
}

double monitorRate(bool typed, const char* pipe) {
    CTidemarkView view;
    view.Create(nullptr);
    view.m_strPipeName = QString::fromLatin1(pipe);
    view.m_bAutoUnpack = typed;
    view.m_bLFFlag = TRUE;
    // Plain: one line per message; typed: MESSAGE:, two items and an empty line.
    const int linesPerMessage = typed ? 4 : 1;
    std::atomic<bool> failed = false;
    std::thread sender(sendMessages, pipe, kMessages, std::ref(failed));
    QElapsedTimer timer;
    timer.start();
    // As on the timer at its shortest period: a drain whenever the pipe may hold more, and the
    // event loop in between, which also runs a drain's continuation after a full piece.
    while ((view.lines() - 1) / linesPerMessage < kMessages && !failed) {
        view.PollPipe();
        QCoreApplication::processEvents();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    sender.join();
    return failed ? 0 : kMessages / seconds;
}
} // namespace

int main(int argc, char** argv) {
    BenchmarkProcess process(argc, argv);
    if (!process.LogOn())
        return 1;
    std::printf("%-6s %-14s %-14s %s\n", "mode", "monitor msg/s", "floor msg/s", "ratio");
    for (bool typed : {false, true}) {
        const char* pipe = typed ? "bench_typed" : "bench_plain";
        const double floor = floorRate(typed, pipe);
        const double monitor = monitorRate(typed, pipe);
        std::printf("%-6s %-14.0f %-14.0f %.2f\n", typed ? "typed" : "plain", monitor, floor,
                    floor > 0 ? monitor / floor : 0.0);
        std::fflush(stdout);
    }
    return process.Finish();
}
