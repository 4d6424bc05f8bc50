// `make oracle-check`: refuses to run without a log-on, runs the cases and prints the summary.
#include "OracleCheck.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QStringList missing;
    for (const char* name : {kUser, kPassword, kConnect})
        if (qEnvironmentVariableIsEmpty(name))
            missing << QLatin1String(name);
    if (!missing.isEmpty()) {
        std::fprintf(stderr,
                     "The Oracle check needs the log-on of an Oracle database; not set: %s.\n"
                     "Set these variables, then run `make oracle-check` again:\n"
                     "  %s      the user name\n"
                     "  %s  the password (read from the environment only, never printed)\n"
                     "  %s   a TNS alias (ORCL) or host[:port]/service (dbhost:1521/XEPDB1)\n"
                     "optional:\n"
                     "  %s  the same database in the other form, to check both forms\n"
                     "  %s      the client library's full path, if the loader cannot find it\n"
                     "For example:\n"
                     "  export %s=scott %s=dbhost:1521/XEPDB1\n"
                     "  read -rs %s && export %s\n",
                     qPrintable(missing.join(QStringLiteral(", "))), kUser, kPassword, kConnect,
                     kConnect2, kLibrary, kUser, kConnect, kPassword, kPassword);
        return 2;
    }
    if (qgetenv(kConnect).trimmed().toLower().startsWith("pg:")) {
        std::fprintf(stderr,
                     "%s names a PostgreSQL database; this check is for Oracle (a TNS "
                     "alias or host[:port]/service).\n",
                     kConnect);
        return 2;
    }
    // Nothing is ever shown: the log window is drawn off screen and every box is answered.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    OracleCheck check;
    const int failures = QTest::qExec(&check, argc, argv);
    check.PrintSummary();
    return failures == 0 ? 0 : 1;
}
