// The terminal receiver (tidemark-tail's source) beside the log window, each on a log-on of its
// own through the delay proxy, at each round-trip time (RTT):
//   * the drain rate, plain and typed, while a second session keeps the pipe full: the window
//     polling without pause, the terminal receiving as tidemark-tail does;
//   * the round trips a second the terminal makes on an idle pipe (chunks the proxy relays to
//     the server);
//   * the time from a send to the terminal's having the message, for single messages sent at
//     random moments into an idle pipe (median and longest of kLatencyRuns).
// Usage: bench_tail [--rtt=0,20]; BENCH_RTT says the same.
#include "BenchSupport.h"
#include "DelayProxy.h"
#include "Logon.h"
#include "TailSource.h"
#include "TestSupport.h"
#include "TidemarkView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <libpq-fe.h>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Conn = std::unique_ptr<PGconn, void (*)(PGconn*)>;
const char kText[] = "2026-12-07 06:00:00: trace message of moderate len"; // 50 bytes
constexpr double kDrainSeconds = 3.0;
constexpr double kIdleSeconds = 5.0;
constexpr int kLatencyRuns = 15;
constexpr int kWaitMs = 1000; // what tidemark-tail asks each receive to wait

Conn sideSession(const std::string& conninfo) {
    return Conn(PQconnectdb(conninfo.c_str()), PQfinish);
}

void run(PGconn* c, const std::string& sql) {
    PQclear(PQexec(c, sql.c_str()));
}

// A second session keeping the pipe full until stopped, packing what SendDebugMessage packs.
class Sender {
public:
    explicit Sender(std::string pipe) : m_pipe(std::move(pipe)) {
        m_thread = std::thread([this] {
            Conn c = sideSession(TestDatabase::conninfo());
            PQclear(PQprepare(c.get(), "send",
                              "SELECT dbms_pipe.pack_message(length($1::text)), "
                              "dbms_pipe.pack_message($1::text), dbms_pipe.send_message($2::text)",
                              2, nullptr));
            const char* values[] = {kText, m_pipe.c_str()};
            while (!m_stop) {
                PGresult* r = PQexecPrepared(c.get(), "send", 2, values, nullptr, nullptr, 0);
                const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK;
                PQclear(r);
                if (!ok)
                    break;
            }
            m_done = true;
        });
    }
    ~Sender() {
        m_stop = true;
        Conn c = sideSession(TestDatabase::conninfo());
        while (!m_done) {
            run(c.get(), "SELECT dbms_pipe.purge('" + m_pipe + "')");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_thread.join();
        run(c.get(), "SELECT dbms_pipe.purge('" + m_pipe + "')");
    }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

private:
    std::string m_pipe;
    std::atomic<bool> m_stop{false}, m_done{false};
    std::thread m_thread;
};

class Quiet : public CErrorReporter {
public:
    int ReportError(const QString& text) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return 5;
    }
};

TailConnection through(const std::string& connect, const char* pipe, bool typed) {
    TailConnection c;
    c.connect = QString::fromStdString(connect);
    c.user = QString::fromStdString(TestDatabase::user());
    c.password = QString::fromStdString(TestDatabase::password());
    c.pipe = QString::fromLatin1(pipe);
    c.typed = typed;
    return c;
}

double terminalRate(const std::string& connect, bool typed) {
    const char* pipe = typed ? "bench_tail_typed" : "bench_tail_plain";
    Quiet errors;
    auto source = MakeReceiverSource(through(connect, pipe, typed), errors);
    if (!source->Connect())
        return 0;
    Sender sender(pipe);
    long long received = 0;
    QElapsedTimer timer;
    timer.start();
    ReceivedMessage message;
    while (timer.nsecsElapsed() / 1e9 < kDrainSeconds)
        if (source->Next(kWaitMs, message) == CTailSource::Result::Received)
            ++received;
    const double seconds = timer.nsecsElapsed() / 1e9;
    source->StopTaking();
    while (source->Next(0, message) == CTailSource::Result::Received) {
    }
    return received / seconds;
}

double windowRate(bool typed) {
    const char* pipe = typed ? "bench_win_typed" : "bench_win_plain";
    const int linesPerMessage = typed ? 4 : 1;
    CTidemarkView view;
    view.Create(nullptr);
    view.m_strPipeName = QString::fromLatin1(pipe);
    view.m_bAutoUnpack = typed;
    view.m_bLFFlag = TRUE;
    Sender sender(pipe);
    QElapsedTimer timer;
    timer.start();
    while (timer.nsecsElapsed() / 1e9 < kDrainSeconds) {
        view.PollPipe();
        QCoreApplication::processEvents();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    return (view.lines() - 1) / linesPerMessage / seconds;
}

double idleTrips(const std::string& connect, DelayProxy& proxy) {
    Quiet errors;
    auto source = MakeReceiverSource(through(connect, "bench_tail_idle", false), errors);
    if (!source->Connect())
        return -1;
    ReceivedMessage message;
    source->Next(kWaitMs, message); // the first look, which does not wait
    const long long before = proxy.Requests();
    QElapsedTimer timer;
    timer.start();
    while (timer.nsecsElapsed() / 1e9 < kIdleSeconds)
        source->Next(kWaitMs, message);
    return (proxy.Requests() - before) / (timer.nsecsElapsed() / 1e9);
}

struct Latency {
    double medianMs = 0, longestMs = 0;
};

Latency sendToOutput(const std::string& connect) {
    Quiet errors;
    auto source = MakeReceiverSource(through(connect, "bench_tail_one", false), errors);
    if (!source->Connect())
        return {};
    Conn c = sideSession(TestDatabase::conninfo());
    std::atomic<bool> stop = false;
    std::atomic<qint64> got = 0;
    QElapsedTimer clock;
    clock.start();
    std::thread receiver([&] {
        ReceivedMessage message;
        while (!stop)
            if (source->Next(kWaitMs, message) == CTailSource::Result::Received)
                got = clock.nsecsElapsed();
    });
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause(100, 1400);
    std::vector<double> ms;
    for (int i = 0; i < kLatencyRuns; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        got = 0;
        const qint64 sent = clock.nsecsElapsed();
        run(c.get(), std::string("SELECT dbms_pipe.pack_message(3), dbms_pipe.pack_message('one'), "
                                 "dbms_pipe.send_message('bench_tail_one')"));
        while (got == 0 && clock.nsecsElapsed() - sent < 5'000'000'000)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        ms.push_back((got - sent) / 1e6);
    }
    stop = true;
    receiver.join();
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}
} // namespace

int main(int argc, char** argv) {
    alarm(600);
    BenchmarkProcess process(argc, argv);
    QString rtts = QString::fromLocal8Bit(qgetenv("BENCH_RTT"));
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--rtt=", 6) == 0)
            rtts = QString::fromLocal8Bit(argv[i] + 6);
    if (rtts.isEmpty())
        rtts = QStringLiteral("0,20");
    QString why;
    if (!TestDatabase::available(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    DelayProxy proxy(qEnvironmentVariable("PGHOST").toStdString(),
                     qEnvironmentVariableIntValue("PGPORT"));
    const std::string database = qEnvironmentVariable("PGDATABASE").toStdString();
    const std::string connect = "pg:127.0.0.1:" + std::to_string(proxy.port()) + "/" + database;
    if (!proxy.ok() || OciLogon(TestDatabase::user().c_str(), TestDatabase::password().c_str(),
                                connect.c_str()) != 1) {
        std::fprintf(stderr, "log-on through the proxy failed\n");
        return 1;
    }
    std::printf("%-4s %-10s %-10s %-10s %-10s %-9s %-10s %-10s\n", "RTT", "win-p/s", "tail-p/s",
                "win-t/s", "tail-t/s", "idle-rt/s", "lat-med", "lat-max");
    for (const QString& rtt : rtts.split(',', Qt::SkipEmptyParts)) {
        proxy.SetOneWayDelay(std::chrono::microseconds(qRound64(rtt.toDouble() * 500)));
        const double winPlain = windowRate(false), tailPlain = terminalRate(connect, false);
        const double winTyped = windowRate(true), tailTyped = terminalRate(connect, true);
        const double idle = idleTrips(connect, proxy);
        const Latency latency = sendToOutput(connect);
        std::printf("%-4s %-10.0f %-10.0f %-10.0f %-10.0f %-9.2f %-10.1f %-10.1f\n",
                    qPrintable(rtt), winPlain, tailPlain, winTyped, tailTyped, idle,
                    latency.medianMs, latency.longestMs);
        std::fflush(stdout);
    }
    std::printf("(msg/s; idle-rt/s: round trips a second on an idle pipe; lat: send to the "
                "terminal's having the message, ms, %d sends)\n",
                kLatencyRuns);
    return process.Finish();
}
