// The Oracle check's helpers (CheckSupport.h).
#include "CheckSupport.h"

#include "Logon.h"

#ifdef __linux__
#include <dlfcn.h>
#include <link.h>
#endif

QByteArray Env(const char* name) {
    return qgetenv(name);
}

// The text on one line: line breaks and tabs made visible, cut when longer than any report.
QString OneLine(QString text) {
    text.replace('\r', QLatin1String("\\r")).replace('\n', QLatin1String("\\n"));
    text.replace('\t', QLatin1String("\\t"));
    if (text.size() > 700)
        text = text.left(700) + QStringLiteral("... (%1 characters)").arg(text.size());
    return text;
}

QString Shown(const QByteArray& bytes) {
    return '"' + OneLine(QString::fromUtf8(bytes)) + '"';
}

QString FormOf(const QByteArray& connect) {
    if (connect.trimmed().startsWith('('))
        return QStringLiteral("connect descriptor");
    if (connect.contains('/') || connect.contains(':'))
        return QStringLiteral("host:port/service");
    return QStringLiteral("TNS alias");
}

// The client library the driver loaded, with the version it reports of itself.
QString ClientLibrary() {
#ifdef __linux__
    QString found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            if (info->dlpi_name == nullptr || *info->dlpi_name == '\0')
                return 0;
            void* handle = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
            if (handle == nullptr)
                return 0;
            const bool client = dlsym(handle, "OCIStmtPrepare2") != nullptr;
            if (client) {
                QString& text = *static_cast<QString*>(data);
                text = QString::fromLocal8Bit(info->dlpi_name);
                using VersionFn = void (*)(int*, int*, int*, int*, int*);
                if (auto version = reinterpret_cast<VersionFn>(dlsym(handle, "OCIClientVersion"))) {
                    int v[5] = {};
                    version(&v[0], &v[1], &v[2], &v[3], &v[4]);
                    text += QStringLiteral(", OCIClientVersion %1.%2.%3.%4.%5")
                                .arg(v[0])
                                .arg(v[1])
                                .arg(v[2])
                                .arg(v[3])
                                .arg(v[4]);
                } else {
                    text += QStringLiteral(", which does not offer OCIClientVersion");
                }
            }
            dlclose(handle);
            return client ? 1 : 0;
        },
        &found);
    return found.isEmpty() ? QStringLiteral("(no client library is loaded)") : found;
#else
    return QStringLiteral("(not looked up on this platform)");
#endif
}

// The log-on data areas of the second session and of the other connect form. Like g_lda they
// last as long as the process: the call layer never gives a log-on back.
Lda_Def& SenderArea() {
    static Lda_Def area;
    return area;
}
Lda_Def& OtherFormArea() {
    static Lda_Def area;
    return area;
}

// Why a statement gave no usable answer: its failure, or a result the server never wrote.
QString Why(const Outcome& o) {
    return o.ok ? QStringLiteral("(the server did not write the result)") : o.text;
}

QString Message(Lda_Def* lda, int code) {
    char text[512] = {};
    oerhms(lda, code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Opens a cursor on the log-on, parses, binds, executes and closes, as the program's own
// operations do, but keeps the outcome instead of showing it.
Outcome Run(Lda_Def* lda, const QByteArray& statement, std::initializer_list<Var> vars) {
    Cda_Def cda{};
    short indicator = 0;
    Outcome out;
    const auto failed = [&](const char* call) {
        out = {false, cda.rc, QLatin1String(call) + QStringLiteral(": ") + Message(lda, cda.rc)};
    };
    if (oopen(&cda, lda, nullptr, -1, -1, nullptr, -1) != 0) {
        failed("oopen");
        return out;
    }
    if (oparse(&cda, statement.constData(), -1, 1, 2) != 0) {
        failed("oparse");
    } else {
        out.ok = true;
        for (const Var& var : vars) {
            if (obndrv(&cda, var.name, -1, var.buffer, var.length, var.type, -1, &indicator,
                       nullptr, -1, -1) != 0) {
                failed("obndrv");
                break;
            }
        }
        if (out.ok && oexec(&cda) != 0)
            failed("oexec");
    }
    if (oclose(&cda) != 0 && out.ok)
        failed("oclose");
    return out;
}
