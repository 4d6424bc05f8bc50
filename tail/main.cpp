// tidemark-tail: the debug messages of a pipe on standard output, for terminals, services and
// CI jobs.
#include "TailOptions.h"
#include "TailOutput.h"
#include "TailRun.h"
#include "TailSource.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t g_stop = 0;

extern "C" void onStopSignal(int) {
    g_stop = 1;
}

void installSignals() {
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that went away shows as EPIPE on the write, not as the end of the process.
    std::signal(SIGPIPE, SIG_IGN);
}

// Echo off on the terminal for as long as it lives.
class EchoOff {
public:
    explicit EchoOff(int fd) : m_fd(fd) {
        m_on = tcgetattr(m_fd, &m_saved) == 0;
        if (!m_on)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(m_fd, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (m_on)
            tcsetattr(m_fd, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int m_fd;
    termios m_saved{};
    bool m_on = false;
};

// TIDEMARK_PASSWORD, else typed at a prompt on a terminal, else empty (PostgreSQL then takes
// PGPASSWORD or ~/.pgpass).
QString readPassword(const TailOptions& options) {
    if (const char* fromEnvironment = std::getenv("TIDEMARK_PASSWORD"))
        return QString::fromLocal8Bit(fromEnvironment);
    if (!::isatty(STDIN_FILENO))
        return QString();
    const QString prompt = options.user.isEmpty()
                               ? QStringLiteral("Password: ")
                               : QStringLiteral("Password for %1: ").arg(options.user);
    WriteAll(STDERR_FILENO, prompt.toUtf8());
    std::string typed;
    {
        EchoOff quiet(STDIN_FILENO);
        char c = 0;
        while (!g_stop && ::read(STDIN_FILENO, &c, 1) == 1 && c != '\n')
            typed += c;
    }
    WriteAll(STDERR_FILENO, "\n");
    return QString::fromLocal8Bit(typed.c_str());
}
} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    TailOptions options;
    QString error;
    switch (ParseTailArguments(arguments, DefaultPipeName(), options, error)) {
    case TailCommand::Help:
        WriteAll(STDOUT_FILENO, TailHelpText().toUtf8());
        return kExitDone;
    case TailCommand::Usage:
        WriteAll(STDERR_FILENO, ("tidemark-tail: " + error +
                                 "\nTry 'tidemark-tail --help' for more information.\n")
                                    .toUtf8());
        return kExitUsage;
    case TailCommand::Run:
        break;
    }
    installSignals();

    TailConnection connection;
    connection.connect = options.connect;
    connection.user = options.user;
    connection.password = readPassword(options);
    connection.pipe = options.pipe;
    connection.typed = options.typed;
    connection.lf = options.lf;
    if (g_stop)
        return kExitDone;

    CStreamReporter errors(STDERR_FILENO);
    CTailOutput out(STDOUT_FILENO, STDERR_FILENO, options.json);
    const std::unique_ptr<CTailSource> source = MakeReceiverSource(connection, errors);
    TailHooks hooks;
    hooks.stopRequested = [] { return g_stop != 0; };
    hooks.sleep = [](int ms) {
        for (int slept = 0; slept < ms && !g_stop; slept += 50)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(50, ms - slept)));
    };
    hooks.say = [](const QString& line) { WriteAll(STDERR_FILENO, line.toUtf8() + '\n'); };
    return RunTail(
        *source, options, out, [&out] { return out.Closed(); }, hooks);
}
