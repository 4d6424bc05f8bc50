// Installs the two sending procedures and their synonyms exactly as the Options dialog's
// Generate Procedures does, for the demo database of `make run`.
// Usage: TIDEMARK_PASSWORD=... tidemark-install-procedures <user> <connect string>
// The password is read from the environment so that it never shows in a process list.
#include "Logon.h"
#include "MessageBox.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tidemark"));
    const char* password = std::getenv("TIDEMARK_PASSWORD");
    if (argc != 3 || !password) {
        std::fprintf(stderr, "usage: TIDEMARK_PASSWORD=... %s <user> <connect string>\n", argv[0]);
        return 2;
    }
    // Errors go to the terminal instead of a box; the first one ends the run.
    AfxSetMessageBoxResponder([](const QString& text, UINT) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return int(IDABORT);
    });
    if (!OciLogon(argv[1], password, argv[2]))
        return 1;
    InstallSendingProcedures(); // a synonym that exists already is no failure
    return 0;
}
