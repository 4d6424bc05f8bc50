// The drain over a slow network: the monitor's log-on goes through a delay proxy of ours, and at
// each round-trip time (RTT) this prints
//   * the drain rate, plain and typed, of a monitor that polls without pause while a second
//     session keeps the pipe full, beside the ceiling of one round trip per batch (a PL/pgSQL
//     function that receives every waiting message and its items in one call);
//   * how long a traced program (a server-side loop sending 10,000 messages of ~50 bytes through
//     SendDebugMessage) runs while the monitor polls at the default period of 5 s and at 0;
//   * the longest the window's event loop went without handling its events during each case.
// Usage: bench_drain [--rtt=0,1,5,20] [--cases=drain,ceiling,traced]; the environment variables
// BENCH_RTT and BENCH_CASES say the same. BENCH_DECORATIONS=off or on shows the monitor's
// window while it drains (as the program does; otherwise it is never painted), with the default
// highlight rules and receipt times on or off. Every case is bounded in time; a traced program that
// does not finish within its bound is cancelled and its time extrapolated from what it sent.
//
// Parts: connections and the Sender that keeps the pipe full; running the event loop while
// timing its longest gap (runLoop); the drain rate; the ceiling; the traced program; main, which
// starts the delay proxy for each RTT and prints one table.
#include "BenchSupport.h"
#include "DelayProxy.h"
#include "TestSupport.h"
#include "TidemarkView.h"

#include "HighlightRules.h"
#include "Logon.h"
#include "MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <libpq-fe.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {
using Conn = std::unique_ptr<PGconn, void (*)(PGconn*)>;

const char kText[] = "2026-12-07 06:00:00: trace message of moderate len"; // 50 bytes
constexpr int kDrainMessages = 20000; // a drain case ends after these or kDrainSeconds
constexpr double kDrainSeconds = 3.0;
constexpr double kCeilingSeconds = 2.0;
constexpr int kTracedMessages = 10000;
constexpr double kTracedSeconds = 15.0; // beyond this the traced program is cancelled
constexpr int kBatch = 1000;            // the ceiling's most messages per call

Conn connect(const std::string& conninfo) {
    return Conn(PQconnectdb(conninfo.c_str()), PQfinish);
}

bool run(PGconn* c, const char* sql) {
    PGresult* r = PQexec(c, sql);
    const ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
        std::fprintf(stderr, "%s: %s", sql, PQerrorMessage(c));
    PQclear(r);
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

// A second session keeping the pipe full until stopped; what it packs is what SendDebugMessage
// packs.
class Sender {
public:
    explicit Sender(const char* pipe) : m_pipe(pipe) {
        m_thread = std::thread([this] { Send(); });
    }
    // Stops the sender; a send waiting on a full pipe is let through by purging the pipe.
    ~Sender() {
        m_stop = true;
        Conn c = connect(TestDatabase::conninfo());
        const std::string purge = std::string("SELECT dbms_pipe.purge('") + m_pipe + "')";
        while (!m_done) {
            run(c.get(), purge.c_str());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_thread.join();
        run(c.get(), purge.c_str());
    }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
    bool failed() const { return m_failed; }

private:
    void Send() {
        Conn c = connect(TestDatabase::conninfo());
        PQclear(PQprepare(c.get(), "send",
                          "SELECT dbms_pipe.pack_message(length($1::text)), "
                          "dbms_pipe.pack_message($1::text), dbms_pipe.send_message($2::text)",
                          2, nullptr));
        const char* values[] = {kText, m_pipe};
        while (!m_stop) {
            PGresult* r = PQexecPrepared(c.get(), "send", 2, values, nullptr, nullptr, 0);
            if (PQresultStatus(r) != PGRES_TUPLES_OK)
                m_failed = true;
            PQclear(r);
            if (m_failed)
                break;
        }
        m_done = true;
    }
    const char* m_pipe;
    std::atomic<bool> m_stop{false}, m_done{false}, m_failed{false};
    std::thread m_thread;
};

// Runs the event loop with a 1-ms timer until `done` says so; `each` runs at every tick.
// Returns, in milliseconds, the longest the loop went without handling its events.
double runLoop(const std::function<bool()>& done, const std::function<void()>& each = {}) {
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QElapsedTimer since;
    since.start();
    double longest = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        // The gap since the last tick (work of other timers, a drain's later pieces), then the
        // work done in this tick itself.
        longest = std::max(longest, since.nsecsElapsed() / 1e6);
        since.restart();
        if (each)
            each();
        longest = std::max(longest, since.nsecsElapsed() / 1e6);
        since.restart();
        if (done())
            loop.quit();
    });
    tick.start(1);
    loop.exec();
    return longest;
}

// BENCH_DECORATIONS: unset, the window is never shown; off or on, it is shown and painted as
// it takes the messages, with the default highlights and receipt times as said.
void decorate(CTidemarkView& view) {
    const QByteArray how = qgetenv("BENCH_DECORATIONS");
    if (how.isEmpty())
        return;
    view.resize(800, 600);
    view.show();
    if (how == "on") {
        view.SetHighlightRules(DefaultHighlightRules());
        view.ShowReceiptTimes(true);
    }
    QCoreApplication::processEvents();
}

std::unique_ptr<CTidemarkView> makeView(const char* pipe, bool typed, int period) {
    auto view = std::make_unique<CTidemarkView>();
    view->Create(nullptr);
    decorate(*view);
    view->m_strPipeName = QString::fromLatin1(pipe);
    view->m_bAutoUnpack = typed;
    view->m_bLFFlag = TRUE;
    view->m_nTimerFrequency = period;
    return view;
}

struct Rate {
    double perSecond = 0;
    double stallMs = 0;
};

// The monitor polling without pause (a drain whenever no drain runs) while the pipe is kept full.
Rate drainRate(bool typed) {
    const char* pipe = typed ? "bench_typed" : "bench_plain";
    const int linesPerMessage = typed ? 4 : 1; // typed: MESSAGE:, two items, an empty line
    auto view = makeView(pipe, typed, 0);
    auto received = [&] { return (view->lines() - 1) / linesPerMessage; };
    Sender sender(pipe);
    QElapsedTimer timer;
    timer.start();
    const double stall = runLoop(
        [&] {
            return sender.failed() || received() >= kDrainMessages ||
                   timer.nsecsElapsed() / 1e9 >= kDrainSeconds;
        },
        [&] { view->PollPipe(); });
    const double seconds = timer.nsecsElapsed() / 1e9;
    return {sender.failed() ? 0 : received() / seconds, stall};
}

// One round trip per batch: a function that receives up to kBatch waiting messages with their
// items, called through the same proxy as the monitor.
double ceilingRate(const std::string& proxied) {
    Conn c = connect(proxied);
    if (!run(c.get(),
             "CREATE OR REPLACE FUNCTION pg_temp.receive_batch(pipe text, n int) "
             "RETURNS int LANGUAGE plpgsql AS $$ "
             "DECLARE k int := 0; t int; items text[] := '{}'; "
             "BEGIN "
             "  WHILE k < n AND dbms_pipe.receive_message(pipe, 0) = 0 LOOP "
             "    k := k + 1; "
             "    LOOP "
             "      t := dbms_pipe.next_item_type(); "
             "      EXIT WHEN t = 0; "
             "      IF t = 9 THEN "
             "        items := items || trim_scale(dbms_pipe.unpack_message_number())::text; "
             "      ELSE items := items || dbms_pipe.unpack_message_text(); END IF; "
             "    END LOOP; "
             "  END LOOP; "
             "  RETURN k; "
             "END $$"))
        return 0;
    const std::string call =
        "SELECT pg_temp.receive_batch('bench_ceiling', " + std::to_string(kBatch) + ")";
    Sender sender("bench_ceiling");
    long long received = 0;
    QElapsedTimer timer;
    timer.start();
    while (timer.nsecsElapsed() / 1e9 < kCeilingSeconds && !sender.failed()) {
        PGresult* r = PQexec(c.get(), call.c_str());
        if (PQresultStatus(r) == PGRES_TUPLES_OK)
            received += std::atoll(PQgetvalue(r, 0, 0));
        PQclear(r);
    }
    return received / (timer.nsecsElapsed() / 1e9);
}

struct Traced {
    double seconds = 0;
    bool finished = false;
    double stallMs = 0;
};

// The traced program on a session of its own while the monitor polls at `period`; started
// right after Start, so the monitor's first tick is a whole period away.
Traced tracedProgram(int period) {
    const char* pipe = "bench_traced";
    auto view = makeView(pipe, false, period);
    view->OnStart();
    Conn c = connect(TestDatabase::conninfo());
    std::unique_ptr<PGcancel, void (*)(PGcancel*)> cancel(PQgetCancel(c.get()), PQfreeCancel);
    std::atomic<bool> done = false, ok = false, cancelled = false;
    QElapsedTimer timer;
    timer.start();
    std::thread program([&] {
        const std::string loop = "DO $$ BEGIN FOR i IN 1.." + std::to_string(kTracedMessages) +
                                 " LOOP CALL SendDebugMessage('" + kText + "', '" + pipe +
                                 "'); END LOOP; END $$";
        PGresult* r = PQexec(c.get(), loop.c_str());
        ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        if (!ok && !cancelled) // a cancelled program's error is expected
            std::fprintf(stderr, "the traced program failed: %s", PQerrorMessage(c.get()));
        PQclear(r);
        done = true;
    });
    const double stall =
        runLoop([&] { return done.load() || timer.nsecsElapsed() / 1e9 >= kTracedSeconds; });
    double seconds = timer.nsecsElapsed() / 1e9;
    const bool finished = done && ok;
    if (!done) {
        char why[256];
        cancelled = true;
        PQcancel(cancel.get(), why, sizeof why);
        // What it had sent is what the monitor received plus what waits in the pipe; a time
        // for all of it at the rate so far.
        const int received = view->lines() - 1;
        seconds = received > 0 ? seconds * kTracedMessages / received : 0;
    }
    // A send waiting on a full pipe may notice the cancel only when it gets through.
    Conn purge = connect(TestDatabase::conninfo());
    while (!done) {
        run(purge.get(), "SELECT dbms_pipe.purge('bench_traced')");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    program.join();
    run(purge.get(), "SELECT dbms_pipe.purge('bench_traced')");
    return {seconds, finished, stall};
}

QStringList choice(int argc, char** argv, const char* option, const char* env, const char* all) {
    QString value = QString::fromLocal8Bit(qgetenv(env));
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]).startsWith(option))
            value = QString::fromLocal8Bit(argv[i] + std::strlen(option));
    return (value.isEmpty() ? QString::fromLatin1(all) : value).split(',', Qt::SkipEmptyParts);
}
} // namespace

int main(int argc, char** argv) {
    alarm(900); // bounded whatever happens: a hung case ends the process
    BenchmarkProcess process(argc, argv);
    const QStringList rtts = choice(argc, argv, "--rtt=", "BENCH_RTT", "0,1,5,20");
    const QStringList cases = choice(argc, argv, "--cases=", "BENCH_CASES", "drain,ceiling,traced");
    QString why;
    if (!TestDatabase::available(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    const std::string host = qEnvironmentVariable("PGHOST").toStdString();
    DelayProxy proxy(host, qEnvironmentVariableIntValue("PGPORT"));
    if (!proxy.ok()) {
        std::fprintf(stderr, "the delay proxy could not listen\n");
        return 1;
    }
    // The monitor's log-on goes through the proxy; the senders and the traced program do not.
    const std::string database = qEnvironmentVariable("PGDATABASE").toStdString();
    const std::string through = "pg:127.0.0.1:" + std::to_string(proxy.port()) + "/" + database;
    if (OciLogon(TestDatabase::user().c_str(), TestDatabase::password().c_str(), through.c_str()) !=
        1) {
        std::fprintf(stderr, "log-on through the proxy failed\n");
        return 1;
    }
    InstallSendingProcedures();
    const std::string proxied =
        TestDatabase::conninfo() + " host=127.0.0.1 port=" + std::to_string(proxy.port());

    std::printf("%-4s %-9s %-9s %-9s %-6s %-6s %-8s %-8s %-10s %-10s %-8s\n", "RTT", "plain/s",
                "typed/s", "ceiling/s", "p/ceil", "t/ceil", "stall-p", "stall-t", "traced-5s",
                "traced-0", "stall-tr");
    for (const QString& rtt : rtts) {
        const double ms = rtt.toDouble();
        proxy.SetOneWayDelay(std::chrono::microseconds(qRound64(ms * 500)));
        Rate plain, typed;
        double ceiling = 0;
        Traced byDefault, byZero;
        if (cases.contains("drain")) {
            plain = drainRate(false);
            typed = drainRate(true);
        }
        if (cases.contains("ceiling"))
            ceiling = ceilingRate(proxied);
        if (cases.contains("traced")) {
            byDefault = tracedProgram(5);
            byZero = tracedProgram(0);
        }
        auto traced = [](const Traced& t) {
            if (t.seconds == 0)
                return QStringLiteral("-"); // not run
            return QStringLiteral("%1%2").arg(t.finished ? "" : "~").arg(t.seconds, 0, 'f', 2);
        };
        std::printf("%-4s %-9.0f %-9.0f %-9.0f %-6.2f %-6.2f %-8.0f %-8.0f %-10s %-10s %-8.0f\n",
                    qPrintable(rtt), plain.perSecond, typed.perSecond, ceiling,
                    ceiling > 0 ? plain.perSecond / ceiling : 0.0,
                    ceiling > 0 ? typed.perSecond / ceiling : 0.0, plain.stallMs, typed.stallMs,
                    qPrintable(traced(byDefault)), qPrintable(traced(byZero)),
                    std::max(byDefault.stallMs, byZero.stallMs));
        std::fflush(stdout);
    }
    std::printf("(msg/s; stalls and times in ms and s; ~ = cancelled after %.0f s, time "
                "extrapolated from the messages received)\n",
                kTracedSeconds);
    return process.Finish();
}
