#pragma once
// The Oracle check's helpers: the environment it reads, the client library that was loaded,
// a statement run through the seven calls with its outcome kept, and the texts it prints.
#include "Oci.h"

#include <QByteArray>
#include <QString>

#include <initializer_list>

inline const char* const kUser = "TIDEMARK_ORACLE_USER";
inline const char* const kPassword = "TIDEMARK_ORACLE_PASSWORD";
inline const char* const kConnect = "TIDEMARK_ORACLE_CONNECT";
inline const char* const kConnect2 = "TIDEMARK_ORACLE_CONNECT2";
inline const char* const kLibrary = "TIDEMARK_OCI_LIBRARY";

// What an integer OUT variable holds when the server never wrote it.
inline constexpr int kUnset = -999999;

// One program variable bound to a placeholder.
struct Var {
    const char* name;
    void* buffer;
    int length;
    int type;
};

// The end of one statement sent through the seven calls.
struct Outcome {
    bool ok = false;
    int code = 0;
    QString text; // the failing call and the layer's message for its return code
};

// A zero-terminated copy of the text, to bind as a string.
struct Text {
    QByteArray bytes;
    explicit Text(const QByteArray& text) : bytes(text) {}
    Var As(const char* name) { return {name, bytes.data(), int(bytes.size()) + 1, SQLT_STR}; }
};

QByteArray Env(const char* name);
// The text on one line: line breaks and tabs made visible, cut when longer than any report.
QString OneLine(QString text);
QString Shown(const QByteArray& bytes);
QString FormOf(const QByteArray& connect);
// The client library the driver loaded, with the version it reports of itself.
QString ClientLibrary();
// The log-on data areas of the second session and of the other connect form. Like g_lda they
// last as long as the process: the call layer never gives a log-on back.
Lda_Def& SenderArea();
Lda_Def& OtherFormArea();
// Why a statement gave no usable answer: its failure, or a result the server never wrote.
QString Why(const Outcome& o);
QString Message(Lda_Def* lda, int code);
// Opens a cursor on the log-on, parses, binds, executes and closes, as the program's own
// operations do, but keeps the outcome instead of showing it.
Outcome Run(Lda_Def* lda, const QByteArray& statement, std::initializer_list<Var> vars = {});
