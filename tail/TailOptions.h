#pragma once
// The command line of tidemark-tail: what to receive, from where, and when to end.
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <optional>

struct TailOptions {
    QString connect;        // the connect string, as the Connect dialog takes it
    QString user;           // empty: the server's default (PGUSER, the login name)
    QString pipe;           // the pipe to receive from
    bool typed = false;     // item by item with each item's type, as with auto unpack
    bool lf = true;         // a line break after every message, as the LF flag
    bool purge = false;     // purge the pipe once before receiving
    bool json = false;      // JSON Lines instead of the log's bytes
    bool reconnect = false; // log on again after a lost connection
    std::optional<QRegularExpression> until; // end after a message that matches
    int count = 0;                           // end after this many messages; 0: no limit
    int timeoutSeconds = 0;                  // end with kExitTimeout after this long; 0: no limit
};

enum TailExit : int {
    kExitDone = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitTimeout = 3,
};

enum class TailCommand { Run, Help, Usage };

// Reads the arguments after the program's name. Usage: error says what is wrong.
TailCommand ParseTailArguments(const QStringList& arguments, const QString& defaultPipe,
                               TailOptions& options, QString& error);

// The window's pipe name from the user's profile, else "tidemark".
QString DefaultPipeName();

// The text of --help.
QString TailHelpText();
