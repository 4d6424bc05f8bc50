// Load: several sender sessions at once, each sending numbered messages as fast as the pipe
// takes them, while the monitor polls on its timer. Prints the throughput, how long the
// senders' sends took (the longest is the longest wait on a full pipe) against the polling
// period, and whether every message arrived once and in order.
#include "BenchSupport.h"
#include "LogWindow.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <libpq-fe.h>
#include <memory>
#include <thread>
#include <vector>

namespace {
const char kPipe[] = "bench_load";

struct SenderResult {
    std::vector<double> sendMs; // duration of each send, in milliseconds
    bool failed = false;
};

void sendAll(int k, int count, SenderResult& result) {
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(TestDatabase::conninfo().c_str()),
                                                    PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        result.failed = true;
        return;
    }
    PQclear(PQprepare(conn.get(), "send",
                      "SELECT dbms_pipe.pack_message(length($1::text)), "
                      "dbms_pipe.pack_message($1::text), dbms_pipe.send_message($2::text)",
                      2, nullptr));
    result.sendMs.reserve(std::size_t(count));
    QElapsedTimer timer;
    for (int n = 1; n <= count; ++n) {
        const QByteArray text = QStringLiteral("sender-%1 #%2").arg(k).arg(n).toUtf8();
        const char* values[] = {text.constData(), kPipe};
        timer.start();
        PGresult* r = PQexecPrepared(conn.get(), "send", 2, values, nullptr, nullptr, 0);
        result.sendMs.push_back(timer.nsecsElapsed() / 1e6);
        const bool good =
            PQresultStatus(r) == PGRES_TUPLES_OK && QByteArray(PQgetvalue(r, 0, 2)) == "0";
        PQclear(r);
        if (!good) {
            result.failed = true;
            return;
        }
    }
}

// Every message once, each sender's in order; returns the number of lines that broke that.
int checkLog(const QByteArray& log, int senders, int perSender) {
    QHash<int, int> next;
    int faults = 0;
    for (const QByteArray& raw : log.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        const int hash = line.indexOf(" #");
        const int k = line.mid(7, hash - 7).toInt();
        const int n = line.mid(hash + 2).toInt();
        if (n != next.value(k, 1))
            ++faults;
        next[k] = n + 1;
    }
    for (int k = 1; k <= senders; ++k)
        if (next.value(k) != perSender + 1)
            ++faults;
    return faults;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size() - 1)))];
}

void run(int senders, int perSender, int frequency) {
    LogWindow window(kPipe);
    CTidemarkView& view = window.view;
    view.m_nTimerFrequency = frequency;
    view.OnPurgePipe();
    view.OnStart();

    // The longest time the event loop went without turning: how long the window could not
    // repaint or take input while the monitor drained.
    QElapsedTimer sinceTurn;
    double longestStallMs = 0;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] {
        longestStallMs = std::max(longestStallMs, sinceTurn.nsecsElapsed() / 1e6);
        sinceTurn.restart();
    });
    sinceTurn.start();
    turn.start(1);

    std::vector<SenderResult> results(std::size_t(senders), SenderResult{});
    std::vector<std::thread> threads;
    QElapsedTimer timer;
    timer.start();
    for (int k = 1; k <= senders; ++k)
        threads.emplace_back(sendAll, k, perSender, std::ref(results[std::size_t(k - 1)]));
    const int total = senders * perSender;
    bool failed = false;
    while (view.lines() - 1 < total && !failed) {
        QTest::qWait(5);
        failed = std::any_of(results.begin(), results.end(),
                             [](const SenderResult& r) { return r.failed; });
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    turn.stop();
    for (std::thread& t : threads)
        t.join();
    view.killTimer(int(view.m_nTimerId));
    view.m_nTimerId = 0;

    std::vector<double> all;
    for (const SenderResult& r : results)
        all.insert(all.end(), r.sendMs.begin(), r.sendMs.end());
    const int faults = failed ? -1 : checkLog(view.GetWindowText(), senders, perSender);
    std::printf("%7d %9d %9d %10.0f %9.2f %9.2f %9.2f %9.1f %9.1f  %s\n", senders, perSender,
                view.TimerPeriod(), total / seconds, percentile(all, 0.5), percentile(all, 0.99),
                percentile(all, 1.0), longestStallMs, seconds,
                failed        ? "SEND FAILED"
                : faults == 0 ? "all once, in order"
                              : "LOST/DUPLICATED");
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv) {
    BenchmarkProcess process(argc, argv);
    if (!process.LogOn())
        return 1;
    std::printf("%7s %9s %9s %10s %9s %9s %9s %9s %9s  %s\n", "senders", "messages", "period ms",
                "msg/s", "send p50", "send p99", "send max", "UI stall", "seconds", "result");
    std::printf("%7s %9s %9s %10s %9s %9s %9s %9s\n", "", "each", "", "", "ms", "ms", "ms", "ms");
    run(8, 5000, 0);
    run(16, 2500, 0);
    run(8, 500, 1);
    return process.Finish();
}
