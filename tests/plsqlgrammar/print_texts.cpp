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

#include <cstdio>
#include <dlfcn.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// The stand-in's record of its calls, through the copy the driver loaded.
struct Recorder {
    void* handle = dlopen(FAKE_CLIENT, RTLD_NOW | RTLD_LOCAL);
    const char* (*calls)() = nullptr;
    void (*send)(const char*, const char*) = nullptr;
    std::size_t taken = 0;

    Recorder() {
        if (handle == nullptr)
            qFatal("cannot load the stand-in client %s: %s", FAKE_CLIENT, dlerror());
        calls = reinterpret_cast<const char* (*)()>(dlsym(handle, "fakeoci_calls"));
        send = reinterpret_cast<void (*)(const char*, const char*)>(
            dlsym(handle, "fakeoci_pipe_send"));
        if (calls == nullptr || send == nullptr)
            qFatal("the stand-in client lacks fakeoci_calls or fakeoci_pipe_send");
    }
    ~Recorder() { dlclose(handle); }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // The statement texts prepared since the last take. The record shows a line break as \n
    // and a tab as \t, so a backslash before n or t in a text would read as one of them: the
    // program's texts have none there (the read-ahead block, whose backslashes are data, is
    // compared with the driver's own text below).
    std::vector<std::string> Take() {
        const std::string all = calls();
        std::vector<std::string> texts;
        static const std::string kStart = "OCIStmtPrepare2 ", kOpen = " text=[", kClose = "] key=";
        for (std::size_t at = taken; at < all.size();) {
            std::size_t end = all.find('\n', at);
            if (end == std::string::npos)
                end = all.size();
            const std::string line = all.substr(at, end - at);
            at = end + 1;
            if (line.rfind(kStart, 0) != 0)
                continue;
            const std::size_t open = line.find(kOpen), close = line.rfind(kClose);
            if (open == std::string::npos || close == std::string::npos || close < open)
                qFatal("cannot read the recorded call: %s", line.c_str());
            std::string text;
            const std::string shown = line.substr(open + kOpen.size(), close - open - kOpen.size());
            for (std::size_t i = 0; i < shown.size(); ++i) {
                if (shown[i] == '\\' && i + 1 < shown.size() &&
                    (shown[i + 1] == 'n' || shown[i + 1] == 't')) {
                    text += shown[i + 1] == 'n' ? '\n' : '\t';
                    ++i;
                } else {
                    text += shown[i];
                }
            }
            texts.push_back(text);
        }
        taken = all.size();
        return texts;
    }
};

struct Printed {
    std::set<std::string> seen;
    std::map<std::string, int> printed; // by label

    void Print(const std::string& label, const std::vector<std::string>& texts) {
        for (const std::string& text : texts) {
            if (!seen.insert(text).second)
                continue;
            ++printed[label];
            std::printf("@@ %s %zu\n", label.c_str(), text.size());
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::printf("\n");
        }
    }
};

// Runs a statement on a cursor of the log-on without showing its failure: the stand-in
// answers nothing, and only the text it was given counts here.
void Send(const std::string& statement) {
    COciCursor cursor;
    cursor.Parse(statement.c_str());
    cursor.Execute(FALSE);
}

bool LogOn(const char* readAhead) {
    qputenv("TIDEMARK_READ_AHEAD", readAhead);
    return OciLogon("scott", "tiger", "dbhost:1521/orcl") == 1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TIDEMARK_SESSION_LOG", "off");
    qputenv("TIDEMARK_OCI_LIBRARY", FAKE_CLIENT);
    QApplication app(argc, argv);
    MessageBoxRecorder boxes;
    Recorder fake;
    Printed out;

    // Pipe names: the usual one, one with an apostrophe, and the longest the server takes
    // (128 bytes) with apostrophes in it, which the literal doubles.
    const QString longest =
        QStringLiteral("o'") + QString(124, QLatin1Char('p')) + QStringLiteral("'x");
    const QString pipes[] = {QStringLiteral("tidemark"), QStringLiteral("it's"), longest};

    // One statement per step: the receive, both unpacks, the typed item block, the purge.
    if (!LogOn("off"))
        qFatal("the log-on to the stand-in failed");
    fake.Take();
    for (const QString& pipe : pipes) {
        const std::string name = pipe.toStdString();
        fake.send(name.c_str(), "6:5\x1f"
                                "9:hello");
        LogWindow plain(pipe, false, true);
        plain.drain();
        out.Print("receive and unpacks, pipe of " + std::to_string(name.size()) + " bytes",
                  fake.Take());
        fake.send(name.c_str(), "6:5\x1f"
                                "9:hello");
        LogWindow typed(pipe, true, true);
        typed.drain();
        out.Print("typed item block", fake.Take());
        plain.view.OnPurgePipe();
        out.Print("purge, pipe of " + std::to_string(name.size()) + " bytes", fake.Take());
    }
    InstallSendingProcedures();
    out.Print("sending procedures and synonyms", fake.Take());

    // Read-ahead: the block, and the statements of a message held back on the hold pipe (a
    // number no 4-byte integer holds): received by a drain, and purged with the pipe after one
    // receive, which takes the message before it from memory.
    if (!LogOn("on"))
        qFatal("the log-on to the stand-in with read-ahead failed");
    fake.Take();
    for (const QString& pipe : pipes) {
        const std::string name = pipe.toStdString();
        for (int round = 0; round < 2; ++round) {
            fake.send(name.c_str(), "6:5\x1f"
                                    "9:hello");
            fake.send(name.c_str(), "6:1.5\x1f"
                                    "9:held");
            LogWindow plain(pipe, false, true);
            if (round == 0) {
                plain.drain();
                out.Print("read-ahead drain", fake.Take());
            } else {
                int status = -1;
                COciCursor cursor;
                cursor.Parse(plain.view.ReceiveBlock().constData());
                cursor.Bind(":sta", &status, sizeof status, SQLT_INT, nullptr);
                cursor.Execute(FALSE);
                plain.view.OnPurgePipe();
                out.Print("read-ahead purge", fake.Take());
            }
        }
    }

    // The Oracle check's own statements.
    using namespace oraclecheck;
    for (const char* text : {kSendBlock, kCorpusBlock, kServerBlock, kExistingBlock, kValidBlock,
                             kDateBlock, kDbNameBlock, kSendHelloBlock})
        Send(text);
    for (const TypedItem& item : kTypedItems)
        Send(item.block);
    Send(RaiseBlock("x\xC3\xA9"));
    for (const char* text : kDrops)
        Send(text);
    out.Print("oracle check", fake.Take());

    // What must have been seen, whatever else was.
    const auto has = [&](const std::string& text) { return out.seen.count(text) == 1; };
    const auto hasPrefix = [&](const std::string& prefix, int count) {
        int n = 0;
        for (const std::string& text : out.seen)
            n += text.rfind(prefix, 0) == 0;
        return n >= count;
    };
    std::vector<std::string> missing;
    const struct {
        bool seen;
        const char* what;
    } required[] = {
        {hasPrefix("begin :sta := dbms_pipe.receive_message('", 3), "three receive blocks"},
        {hasPrefix("begin dbms_pipe.purge('", 3), "three purge blocks"},
        {has("begin dbms_pipe.unpack_message(:len); end;"), "the length's unpack"},
        {has("begin dbms_pipe.unpack_message(:chr); end;"), "the text's unpack"},
        {has(kTypedItemBlock), "the typed item block"},
        {has(kCreateSendDebugMessage) && has(kCreateSendTraceMessage), "the two procedures"},
        {hasPrefix("CREATE PUBLIC SYNONYM ", 2), "the two synonyms"},
        {has(ocidrv::ora::ReadAheadBlock()), "the read-ahead block, as the driver holds it"},
        {out.printed["read-ahead drain"] >= 2, "the read-ahead block and the hold pipe's receive"},
        {out.printed["read-ahead purge"] >= 1, "the hold pipe's purge"},
        {has(kCorpusBlock) && has(kServerBlock), "the Oracle check's blocks"},
    };
    for (const auto& r : required)
        if (!r.seen)
            missing.push_back(r.what);
    std::fflush(stdout);
    if (!missing.empty()) {
        for (const std::string& what : missing)
            std::fprintf(stderr, "not sent to the stand-in client: %s\n", what.c_str());
        return 1;
    }
    std::fprintf(stderr, "%zu texts\n", out.seen.size());
    return 0;
}
