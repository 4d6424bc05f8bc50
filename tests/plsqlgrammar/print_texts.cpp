// Prints every text the program sends to an Oracle server, as it reaches the client library:
// the Oracle driver runs against the stand-in client, which records each statement it is asked
// to prepare, while the log window drains, purges and installs the procedures as the program
// does, with read-ahead off and on, and the Oracle check's own statements go through the call
// layer. Each text is printed once, after a header "@@ <label> <bytes>", for the grammar check.
// Exits 1 when a text the program must send was not seen (the driver or the stand-in changed
// so that a path no longer runs here).
#include "LogWindow.h"
#include "TestSupport.h"

#include "../../oraclecheck/CheckTexts.h"
#include "Logon.h"
#include "PlsqlTexts.h"
#include "drivers/oracleclient/OciReadAhead.h"

#include <QApplication>
#include <QRegularExpression>

#include <cstdio>
#include <dlfcn.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// The stand-in's record of its calls, through the copy the driver loaded.
void* const g_fake = dlopen(FAKE_CLIENT, RTLD_NOW | RTLD_LOCAL);
std::set<std::string> g_seen;
std::map<std::string, int> g_printed; // by label
qsizetype g_taken = 0;

void SendToPipe(const QString& pipe, const char* items) {
    const auto send =
        reinterpret_cast<void (*)(const char*, const char*)>(dlsym(g_fake, "fakeoci_pipe_send"));
    send(pipe.toStdString().c_str(), items);
}

// Prints the statement texts prepared since the last call, each once. The record shows a line
// break as \n and a tab as \t, so a backslash before n or t in a text would read as one of
// them: the program's texts have none there (the read-ahead block, whose backslashes are data,
// is compared with the driver's own text below).
QString Calls() {
    return QString::fromUtf8(reinterpret_cast<const char* (*)()>(dlsym(g_fake, "fakeoci_calls"))());
}
void Print(const std::string& label) {
    const QString all = Calls();
    static const QRegularExpression prepare(
        QStringLiteral("^OCIStmtPrepare2 [^\\n]*? text=\\[(.*)\\] key="),
        QRegularExpression::MultilineOption);
    for (auto it = prepare.globalMatch(all, g_taken); it.hasNext();) {
        QString shown = it.next().captured(1);
        const std::string text = shown.replace(QLatin1String("\\n"), QLatin1String("\n"))
                                     .replace(QLatin1String("\\t"), QLatin1String("\t"))
                                     .toStdString();
        if (!g_seen.insert(text).second)
            continue;
        ++g_printed[label];
        std::printf("@@ %s %zu\n%s\n", label.c_str(), text.size(), text.c_str());
    }
    g_taken = all.size();
}

void LogOn(const char* readAhead) {
    qputenv("TIDEMARK_READ_AHEAD", readAhead);
    if (OciLogon("scott", "tiger", "dbhost:1521/orcl") != 1)
        qFatal("the log-on to the stand-in with read-ahead %s failed", readAhead);
    g_taken = Calls().size(); // the log-on's own statements are not the program's texts
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TIDEMARK_SESSION_LOG", "off");
    qputenv("TIDEMARK_OCI_LIBRARY", FAKE_CLIENT);
    if (g_fake == nullptr || !dlsym(g_fake, "fakeoci_calls") || !dlsym(g_fake, "fakeoci_pipe_send"))
        qFatal("cannot load the stand-in client %s with its record: %s", FAKE_CLIENT, dlerror());
    QApplication app(argc, argv);
    MessageBoxRecorder boxes;

    // Pipe names: the usual one, one with an apostrophe, and the longest the server takes
    // (128 bytes) with apostrophes in it, which the literal doubles.
    const QString longest =
        QStringLiteral("o'") + QString(124, QLatin1Char('p')) + QStringLiteral("'x");
    const QString pipes[] = {QStringLiteral("tidemark"), QStringLiteral("it's"), longest};

    // One statement per step: the receive, both unpacks, the typed item block, the purge.
    LogOn("off");
    for (const QString& pipe : pipes) {
        const std::string bytes = " pipe of " + std::to_string(pipe.toUtf8().size()) + " bytes";
        SendToPipe(pipe, "6:5\x1f"
                         "9:hello");
        LogWindow plain(pipe, false, true);
        plain.drain();
        Print("receive and unpacks," + bytes);
        SendToPipe(pipe, "6:5\x1f"
                         "9:hello");
        LogWindow typed(pipe, true, true);
        typed.drain();
        Print("typed item block");
        plain.view.OnPurgePipe();
        Print("purge," + bytes);
    }
    InstallSendingProcedures();
    Print("sending procedures and synonyms");

    // Read-ahead: the block, and the statements of a message held back on the hold pipe (a
    // number no 4-byte integer holds): received by a drain, and purged with the pipe after one
    // receive, which takes the message before it from memory.
    LogOn("on");
    for (const QString& pipe : pipes) {
        for (int round = 0; round < 2; ++round) {
            SendToPipe(pipe, "6:5\x1f"
                             "9:hello");
            SendToPipe(pipe, "6:1.5\x1f"
                             "9:held");
            LogWindow plain(pipe, false, true);
            if (round == 0) {
                plain.drain();
                Print("read-ahead drain");
                continue;
            }
            int status = -1;
            COciCursor cursor;
            cursor.Parse(plain.view.ReceiveBlock().constData());
            cursor.Bind(":sta", &status, sizeof status, SQLT_INT, nullptr);
            cursor.Execute(FALSE);
            plain.view.OnPurgePipe();
            Print("read-ahead purge");
        }
    }

    // The Oracle check's own statements, each run without showing its failure: the stand-in
    // answers nothing, and only the text it was given counts here.
    using namespace oraclecheck;
    std::vector<std::string> checks = {kSendBlock,     kCorpusBlock,    kServerBlock,
                                       kExistingBlock, kValidBlock,     kDateBlock,
                                       kDbNameBlock,   kSendHelloBlock, RaiseBlock("x\xC3\xA9")};
    for (const TypedItem& item : kTypedItems)
        checks.push_back(item.block);
    checks.insert(checks.end(), std::begin(kDrops), std::end(kDrops));
    for (const std::string& text : checks) {
        COciCursor cursor;
        cursor.Parse(text.c_str());
        cursor.Execute(FALSE);
    }
    Print("oracle check");
    std::fflush(stdout);

    // What must have been seen, whatever else was.
    const auto has = [](const std::string& text) { return g_seen.count(text) == 1; };
    const auto hasPrefix = [](const std::string& prefix, int count) {
        for (const std::string& text : g_seen)
            count -= text.rfind(prefix, 0) == 0;
        return count <= 0;
    };
    int missing = 0;
    const auto need = [&](bool seen, const char* what) {
        if (seen)
            return;
        ++missing;
        std::fprintf(stderr, "not sent to the stand-in client: %s\n", what);
    };
    need(hasPrefix("begin :sta := dbms_pipe.receive_message('", 3), "three receive blocks");
    need(hasPrefix("begin dbms_pipe.purge('", 3), "three purge blocks");
    need(has("begin dbms_pipe.unpack_message(:len); end;"), "the length's unpack");
    need(has("begin dbms_pipe.unpack_message(:chr); end;"), "the text's unpack");
    need(has(kTypedItemBlock), "the typed item block");
    need(has(kCreateSendDebugMessage) && has(kCreateSendTraceMessage), "the two procedures");
    need(hasPrefix("CREATE PUBLIC SYNONYM ", 2), "the two synonyms");
    need(has(ocidrv::ora::ReadAheadBlock()), "the read-ahead block, as the driver holds it");
    need(g_printed["read-ahead drain"] >= 2, "the read-ahead block and the hold pipe's receive");
    need(g_printed["read-ahead purge"] >= 1, "the hold pipe's purge");
    need(has(kCorpusBlock) && has(kServerBlock), "the Oracle check's blocks");
    std::fprintf(stderr, "%zu texts\n", g_seen.size());
    return missing == 0 ? 0 : 1;
}
