#include "TailOptions.h"

#include <QSettings>
#include <QVariant>

namespace {
bool positiveNumber(const QString& text, int& out) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n <= 0)
        return false;
    out = n;
    return true;
}
} // namespace

QString DefaultPipeName() {
    // The window's profile, read as the window reads it: a value of the wrong type is absent.
    const QSettings profile(QSettings::NativeFormat, QSettings::UserScope,
                            QStringLiteral("Quellmoor"), QStringLiteral("Tidemark"));
    const QVariant value = profile.value(QStringLiteral("Options/Pipe Name"));
    if (!value.isValid() || !value.canConvert<QString>() ||
        value.typeId() == QMetaType::QStringList || value.toString().isEmpty())
        return QStringLiteral("tidemark");
    return value.toString();
}

TailCommand ParseTailArguments(const QStringList& arguments, const QString& defaultPipe,
                               TailOptions& options, QString& error) {
    options = TailOptions{};
    options.pipe = defaultPipe;
    QStringList positional;
    bool optionsEnd = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        if (optionsEnd || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        // --name=value and -uUSER carry their value; otherwise it is the next argument.
        QString value;
        bool hasValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
            hasValue = true;
        } else if (arg.startsWith(QLatin1String("-u")) && arg.size() > 2) {
            value = arg.mid(2);
            arg = QStringLiteral("-u");
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            value = arguments[++i];
            return true;
        };
        auto flag = [&](bool& target) -> bool {
            if (hasValue) {
                error = QStringLiteral("%1 takes no value").arg(arg);
                return false;
            }
            target = true;
            return true;
        };
        bool ok = true;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            return TailCommand::Help;
        } else if (arg == QLatin1String("-u") || arg == QLatin1String("--user")) {
            ok = takeValue();
            options.user = value;
        } else if (arg == QLatin1String("--pipe")) {
            ok = takeValue();
            options.pipe = value;
            if (ok && value.isEmpty()) {
                error = QStringLiteral("--pipe needs a name");
                ok = false;
            }
        } else if (arg == QLatin1String("--typed")) {
            ok = flag(options.typed);
        } else if (arg == QLatin1String("--no-lf")) {
            bool noLf = false;
            ok = flag(noLf);
            options.lf = !noLf;
        } else if (arg == QLatin1String("--purge")) {
            ok = flag(options.purge);
        } else if (arg == QLatin1String("--json")) {
            ok = flag(options.json);
        } else if (arg == QLatin1String("--reconnect")) {
            ok = flag(options.reconnect);
        } else if (arg == QLatin1String("--until")) {
            ok = takeValue();
            if (ok) {
                QRegularExpression re(value);
                if (!re.isValid()) {
                    error = QStringLiteral("--until: %1 is not a regular expression: %2")
                                .arg(value, re.errorString());
                    ok = false;
                }
                options.until = re;
            }
        } else if (arg == QLatin1String("--count")) {
            ok = takeValue() && positiveNumber(value, options.count);
            if (!ok && error.isEmpty())
                error = QStringLiteral("--count needs a number above 0, not %1").arg(value);
        } else if (arg == QLatin1String("--timeout")) {
            ok = takeValue() && positiveNumber(value, options.timeoutSeconds);
            if (!ok && error.isEmpty())
                error = QStringLiteral("--timeout needs seconds above 0, not %1").arg(value);
        } else if (arg == QLatin1String("-p") || arg.startsWith(QLatin1String("--pass"))) {
            error = QStringLiteral("a password is never given on the command line: set "
                                   "TIDEMARK_PASSWORD or type it at the prompt");
            ok = false;
        } else {
            error = QStringLiteral("unknown option %1").arg(arg);
            ok = false;
        }
        if (!ok)
            return TailCommand::Usage;
    }
    if (positional.size() != 1) {
        error = positional.isEmpty() ? QStringLiteral("no connect string")
                                     : QStringLiteral("one connect string only, not %1")
                                           .arg(positional.join(QLatin1Char(' ')));
        return TailCommand::Usage;
    }
    options.connect = positional.front();
    return TailCommand::Run;
}

QString TailHelpText() {
    return QStringLiteral(
        "Usage: tidemark-tail [options] CONNECT\n"
        "Receives the debug messages of a DBMS_PIPE pipe and writes them to standard output,\n"
        "by default exactly as the Tidemark window logs them.\n"
        "\n"
        "CONNECT is a connect string as the Connect dialog takes it:\n"
        "  pg:[host][:port][/database]   PostgreSQL with orafce (a missing part: libpq's default)\n"
        "  anything else                 an Oracle connect string (TNS alias or "
        "host:port/service)\n"
        "\n"
        "Options:\n"
        "  -u USER           log on as USER\n"
        "  --pipe NAME       the pipe (default: the window's pipe name, else tidemark)\n"
        "  --typed           item by item with each item's type (the window's auto unpack)\n"
        "  --no-lf           no line break after a message (the window's LF flag off)\n"
        "  --purge           throw away what waits in the pipe before receiving\n"
        "  --json            JSON Lines: one object per message, with the time it was\n"
        "                    received, the pipe, and its text or its typed items\n"
        "  --until REGEX     end after a message that matches REGEX\n"
        "  --count N         end after N messages\n"
        "  --timeout SECONDS end with status 3 when this time passes first\n"
        "  --reconnect       log on again after a lost connection (waiting 1, 2, 4 ... 30 s)\n"
        "  --help            show this text\n"
        "\n"
        "The password comes from TIDEMARK_PASSWORD, else from a prompt when standard input is\n"
        "a terminal, else (pg:) from libpq's PGPASSWORD or ~/.pgpass; never from the command "
        "line.\n"
        "Ctrl+C, SIGTERM or a closed standard output end the run: messages already taken from\n"
        "the pipe are written first (to standard error when standard output is closed), the\n"
        "rest stay in the pipe.\n"
        "\n"
        "Exit status: 0 done, 1 a failure (log-on, lost connection), 2 usage, 3 time-out.\n");
}
