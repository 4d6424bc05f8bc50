// The Oracle driver against a stand-in client library (FakeClient.cpp): which library it loads,
// which OCI calls it makes with which arguments, and what it makes of their results.
//
// Parts: the stand-in library's handle and helpers, and a child process for log-ons that need
// a fresh process (namespace); then the tests: the calls a log-on, an execute and its binds
// make; errors of execute, prepare and bind; statement texts; cursor misuse and lifetime; log-on
// errors; the older client's calls; finding and loading the library; last, the whole call layer
// on the driver.
#include "Driver.h"
#include "Logon.h"
#include "Oci.h"
#include "PlsqlTexts.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <vector>

using namespace ocidrv;

namespace {

// The fake's control functions, reached through the same loaded copy the driver uses.
struct FakeClient {
    explicit FakeClient(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        if (handle == nullptr)
            qFatal("cannot load the stand-in client %s: %s", path, dlerror());
        reset = reinterpret_cast<void (*)()>(dlsym(handle, "fakeoci_reset"));
        callText = reinterpret_cast<const char* (*)()>(dlsym(handle, "fakeoci_calls"));
        liveHandles = reinterpret_cast<int (*)()>(dlsym(handle, "fakeoci_live_handles"));
        fail = reinterpret_cast<void (*)(const char*, int, int, const char*)>(
            dlsym(handle, "fakeoci_fail"));
        setOut =
            reinterpret_cast<void (*)(const char*, const char*)>(dlsym(handle, "fakeoci_set_out"));
        send = reinterpret_cast<void (*)(const char*, const char*)>(
            dlsym(handle, "fakeoci_pipe_send"));
        waiting = reinterpret_cast<int (*)(const char*)>(dlsym(handle, "fakeoci_pipe_count"));
        blocks = reinterpret_cast<int (*)()>(dlsym(handle, "fakeoci_pipe_blocks"));
        statements = reinterpret_cast<int (*)()>(dlsym(handle, "fakeoci_pipe_statements"));
        breakAll = reinterpret_cast<void (*)(int, const char*)>(dlsym(handle, "fakeoci_break"));
        blockFault = reinterpret_cast<void (*)(const char*, int, int, const char*)>(
            dlsym(handle, "fakeoci_block_fault"));
        attributes = reinterpret_cast<const char* (*)()>(dlsym(handle, "fakeoci_attributes"));
    }
    ~FakeClient() { dlclose(handle); }
    FakeClient(const FakeClient&) = delete;
    FakeClient& operator=(const FakeClient&) = delete;

    QStringList calls() const {
        return QString::fromUtf8(callText()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The calls recorded since the last take.
    QStringList take() {
        const QStringList all = calls();
        const QStringList fresh = all.mid(m_taken);
        m_taken = all.size();
        return fresh;
    }
    void clear() {
        reset();
        m_taken = 0;
    }

    void* handle;
    void (*reset)();
    const char* (*callText)();
    int (*liveHandles)();
    void (*fail)(const char* call, int status, int code, const char* text);
    void (*setOut)(const char* placeholder, const char* value);
    // The stand-in's pipes: a message is its items "type:value" ("~" a NULL) joined by \x1f.
    void (*send)(const char* pipe, const char* items);
    int (*waiting)(const char* pipe);
    int (*blocks)();
    int (*statements)();
    void (*breakAll)(int code, const char* text);
    void (*blockFault)(const char* kind, int after, int code, const char* text);
    const char* (*attributes)();

private:
    int m_taken = 0;
};

constexpr int kOciError = -1;
constexpr int kOciSuccessWithInfo = 1;

const QStringList kLogonCalls = {
    "OCIEnvNlsCreate mode=0 charset=873 ncharset=873 -> env1",
    "OCIHandleAlloc parent=env1 type=2 -> err2",
    "OCILogon2 env=env1 err=err2 user=scott password=tiger db=dbhost:1521/orcl mode=0",
    "OCIAttrSet svc3 type=3 attr=531 size=0",
};
const QStringList kLogoffCalls = {
    "OCILogoff svc3 err2",
    "OCIHandleFree err2 type=2",
    "OCIHandleFree env1 type=1",
};

std::unique_ptr<Session> LogOn(Error& error) {
    return ConnectOracle("scott", "tiger", "dbhost:1521/orcl", error);
}

// Runs this test program again as a child that logs on with the given environment changes and
// prints the outcome; returns its output.
QString RunChild(const QString& libraryPath, int* exitCode, const QString& oracleHome = {}) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TIDEMARK_OCI_LIBRARY"));
    env.remove(QStringLiteral("ORACLE_HOME"));
    if (!oracleHome.isEmpty())
        env.insert(QStringLiteral("ORACLE_HOME"), oracleHome);
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), libraryPath);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child-logon")});
    if (!child.waitForFinished(60000))
        return QStringLiteral("child did not finish");
    *exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    return QString::fromUtf8(child.readAll());
}

// The child: logs on without TIDEMARK_OCI_LIBRARY and prints what came of it.
int ChildLogon() {
    Error error;
    std::unique_ptr<Session> session = ConnectOracle("scott", "tiger", "orcl", error);
    if (!session) {
        std::printf("%d %s\n", error.code, error.message.c_str());
        return 1;
    }
    // The library the driver found is the stand-in: show what it recorded.
    void* loaded = dlopen("libclntsh.so.19.1", RTLD_NOW | RTLD_NOLOAD);
    if (loaded != nullptr) {
        auto calls = reinterpret_cast<const char* (*)()>(dlsym(loaded, "fakeoci_calls"));
        std::printf("%s", calls());
        dlclose(loaded);
    }
    return 0;
}

// ---- the receiver's statements through the call layer, for the read-ahead cases ----

// Runs one statement on a cursor with the receiver's binds; "ok" or "error <rc> <text>".
struct Var {
    const char* name;
    void* buffer;
    int length;
    int type;
};
QString Exec(Cda_Def& cda, Lda_Def* lda, const QByteArray& statement, std::vector<Var> vars,
             short* indicator) {
    if (oparse(&cda, statement.constData(), -1, 1, 2) != 0)
        return QStringLiteral("parse failed");
    for (const Var& var : vars)
        if (obndrv(&cda, var.name, -1, var.buffer, var.length, var.type, -1, indicator, nullptr, -1,
                   -1) != 0)
            return QStringLiteral("bind failed");
    if (oexec(&cda) == 0)
        return QStringLiteral("ok");
    char text[512] = {};
    oerhms(lda, cda.rc, text, sizeof text);
    return QStringLiteral("error %1 fc=%2 %3").arg(cda.rc).arg(cda.fc).arg(QString::fromUtf8(text));
}

QByteArray ReceiveOn(const char* pipe, const char* timeout = "0") {
    return QByteArray::fromStdString(ReceiveBlock(pipe, timeout));
}

// One receive as the receiver runs it; true when a message came.
bool ReceiveStep(Cda_Def& cda, Lda_Def* lda, const char* pipe, short& ind, QStringList& log,
                 const char* timeout = "0") {
    std::int32_t status = 1;
    const QString r =
        Exec(cda, lda, ReceiveOn(pipe, timeout), {{":sta", &status, 4, SQLT_INT}}, &ind);
    log << QStringLiteral("receive %1 sta=%2 ind=%3").arg(r).arg(status).arg(ind);
    return status == 0;
}

// The plain unpacks of one message, the buffers kept between messages as the receiver keeps
// them.
void PlainSteps(Cda_Def& cda, Lda_Def* lda, std::int32_t& length, short& ind, QStringList& log) {
    QString r = Exec(cda, lda, kUnpackLengthBlock, {{":len", &length, 4, SQLT_INT}}, &ind);
    log << QStringLiteral("len %1 %2 ind=%3").arg(r).arg(length).arg(ind);
    std::vector<char> text(2000, 'x');
    text[0] = '\0';
    r = Exec(cda, lda, kUnpackTextBlock, {{":chr", text.data(), 2000, SQLT_STR}}, &ind);
    log << QStringLiteral("chr %1 '%2' ind=%3 tail=%4")
               .arg(r, QString::fromLatin1(text.data()))
               .arg(ind)
               .arg(QString::fromLatin1(text.data() + 1995, 5));
}

void TypedSteps(Cda_Def& cda, Lda_Def* lda, short& ind, QStringList& log) {
    std::int32_t type = 0;
    std::vector<char> value(30000, 'y');
    for (int guard = 0; guard < 20; ++guard) {
        type = 0;
        value[0] = '\0';
        const QString r = Exec(
            cda, lda, kTypedItemBlock,
            {{":v_typ", &type, 4, SQLT_INT}, {":v_res", value.data(), int(value.size()), SQLT_STR}},
            &ind);
        log << QStringLiteral("item %1 %2 '%3' ind=%4")
                   .arg(r)
                   .arg(type)
                   .arg(QString::fromLatin1(value.data()))
                   .arg(ind);
        if (type == kItemNone || (type != kItemNumber && type != kItemVarchar2 &&
                                  type != kItemRowid && type != kItemDate && type != kItemRaw))
            break;
    }
}

// The receiver's drain of a pipe, until a receive finds nothing or fails.
QStringList Drain(Lda_Def* lda, const char* pipe, bool typed) {
    QStringList log;
    Cda_Def cda{};
    if (oopen(&cda, lda, nullptr, -1, -1, nullptr, -1) != 0)
        return {QStringLiteral("oopen failed")};
    std::int32_t length = 0;
    short ind = 0;
    for (int guard = 0; guard < 100 && ReceiveStep(cda, lda, pipe, ind, log); ++guard) {
        if (typed)
            TypedSteps(cda, lda, ind, log);
        else
            PlainSteps(cda, lda, length, ind, log);
    }
    oclose(&cda);
    return log;
}

// A log-on as the tests of the read-ahead block make it.
bool LogOn(Lda_Def& lda) {
    static unsigned char hda[256] = {};
    return olog(&lda, hda, "scott", -1, "tiger", -1, "dbhost:1521/orcl", -1, 0) == 0;
}

// A plain drain's texts and errors, one entry each: "text" or "E<code> <message>".
QStringList Shown(const QStringList& log) {
    static const QRegularExpression text(QStringLiteral("^chr ok '(.*)' ind="));
    static const QRegularExpression error(QStringLiteral("^receive error (\\d+) fc=\\d+ (.*) sta="),
                                          QRegularExpression::DotMatchesEverythingOption);
    QStringList shown;
    for (const QString& line : log) {
        if (const QRegularExpressionMatch m = text.match(line); m.hasMatch())
            shown << m.captured(1);
        else if (const QRegularExpressionMatch e = error.match(line); e.hasMatch())
            shown << "E" + e.captured(1) + " " + e.captured(2);
    }
    return shown;
}

// A plain message of the sending procedures' shape.
QByteArray Plain(const QByteArray& text) {
    return "6:" + QByteArray::number(text.size()) + "\x1f" + "9:" + text;
}

// The :tm_max of every read-ahead block executed.
QStringList TripSizes(const QStringList& calls) {
    static const QRegularExpression max(QStringLiteral(":tm_max=int:(\\d+)"));
    QStringList sizes;
    for (const QString& call : calls.filter("OCIStmtExecute"))
        if (const QRegularExpressionMatch m = max.match(call); m.hasMatch())
            sizes << m.captured(1);
    return sizes;
}

// Every kind of message: the receiver's own, wrong types, extra and missing items, NULLs,
// texts up to and past the receiver's buffer, numbers no integer holds, the other item types
// and one the block does not know, the reply's own separators, and bytes that are not UTF-8.
QList<QByteArray> Corpus() {
    const QByteArray sep = "\x1f";
    return {
        "6:5" + sep + "9:hello",
        "6:0" + sep + "9:~",
        "6:~" + sep + "9:~",
        "9:text first" + sep + "6:3",
        "6:4" + sep + "6:7",
        "6:1",
        "",
        "6:3" + sep + "9:abc" + sep + "12:07-DEC-26" + sep + "9:extra",
        "6:1999" + sep + "9:" + QByteArray(1999, 'a'),
        "6:2000" + sep + "9:" + QByteArray(2000, 'b'),
        "6:2001" + sep + "9:" + QByteArray(2001, 'c') + sep + "12:08-DEC-26",
        "6:1.5" + sep + "9:fraction",
        "6:3000000000" + sep + "9:big",
        "12:07-DEC-26" + sep + "23:0102A0FF" + sep + "11:AAAAAAAAAAAAAAAAAA",
        "96:odd" + sep + "9:after",
        "6:9" + sep + "9:pipe|back\\slash\\!",
        "6:4" + sep + "9:\xff\xfe\x80z",
        "6:5" + sep + "9:\xc3\xa9\xe2\x82\xac!",
        "9:" + QByteArray(2000, 'd') + sep + "6:1",
        "6:6" + sep + "9:last",
    };
}

} // namespace

class TestOciDriver : public QObject {
    Q_OBJECT

private:
    FakeClient m_fake{FAKE_CLIENT};

private slots:
    void init() {
        qputenv("TIDEMARK_OCI_LIBRARY", FAKE_CLIENT);
        m_fake.clear();
    }

    void logonAndLogoffMapToCalls() {
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        QVERIFY2(session, error.message.c_str());
        QCOMPARE(error.code, 0);
        QCOMPARE(m_fake.take(), kLogonCalls);
        QCOMPARE(m_fake.liveHandles(), 3);
        // The call time-out, in milliseconds.
        QCOMPARE(QByteArray(m_fake.attributes()), QByteArray("531=20000"));
        session.reset();
        QCOMPARE(m_fake.take(), kLogoffCalls);
        QCOMPARE(m_fake.liveHandles(), 0);
    }

    // The receive block of the monitor: an OUT integer and an IN string, executed twice.
    void executeBindsAndReturnsOutValues() {
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        QVERIFY(session);
        std::unique_ptr<Cursor> cursor = session->OpenCursor(error);
        QVERIFY(cursor);
        m_fake.take();
        QVERIFY(cursor->Parse("begin :sta := dbms_pipe.receive_message(:pipe, 0); end;", error));
        QVERIFY2(m_fake.take().isEmpty(), "the parse is deferred to the execution");

        int status = -7;
        short statusInd = -1;
        char pipe[16] = "tidemark";
        short pipeInd = 0;
        const std::vector<Bind> binds = {
            {":sta", &status, sizeof status, SQLT_INT, &statusInd},
            {":pipe", pipe, int(sizeof pipe), SQLT_STR, &pipeInd},
        };
        m_fake.setOut(":STA", "1");
        QVERIFY2(cursor->Execute(binds, error), error.message.c_str());
        QCOMPARE(error.code, 0);
        QCOMPARE(m_fake.take(),
                 QStringList({
                     "OCIStmtPrepare2 svc3 err2 text=[begin :sta := "
                     "dbms_pipe.receive_message(:pipe, 0); end;] key=- language=1 mode=0 -> stmt4",
                     "OCIAttrGet stmt4 type=4 attr=24",
                     "OCIBindByName stmt4 err2 name=:sta size=4 dty=3 ind=yes alen=no rcode=no "
                     "maxarr=0 curele=no mode=0",
                     "OCIBindByName stmt4 err2 name=:pipe size=16 dty=5 ind=yes alen=no "
                     "rcode=no maxarr=0 curele=no mode=0",
                     "OCIStmtExecute svc3 stmt4 err2 iters=1 rowoff=0 snap=no mode=0 "
                     "in[:sta=int:-7 ind=-1, :pipe=str:'tidemark' ind=0]",
                     "OCIStmtRelease stmt4 err2 key=- mode=0",
                 }));
        QCOMPARE(status, 1);
        QCOMPARE(statusInd, short(0));
        QCOMPARE(QByteArray(pipe), QByteArray("tidemark"));

        // Executed again: prepared, bound and run anew with the variables' current values.
        status = 5;
        QVERIFY(cursor->Execute(binds, error));
        const QStringList again = m_fake.take();
        QCOMPARE(again.size(), 6);
        QVERIFY(again[4].endsWith("in[:sta=int:5 ind=0, :pipe=str:'tidemark' ind=0]"));
        QCOMPARE(status, 1);

        QVERIFY(cursor->Close(error));
        QCOMPARE(m_fake.liveHandles(), 3);
        cursor.reset();
        session.reset();
        QCOMPARE(m_fake.liveHandles(), 0);
    }

    // The unpack of a text item into the monitor's 2000-byte buffer, and a NULL.
    void stringAndNullOutValues() {
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        std::unique_ptr<Cursor> cursor = session->OpenCursor(error);
        QVERIFY(cursor->Parse("begin dbms_pipe.unpack_message(:msg); end;", error));
        std::vector<char> text(2000, 'x');
        text[0] = '\0';
        short ind = -1;
        m_fake.setOut(":msg", "hello");
        QVERIFY(cursor->Execute({{":msg", text.data(), int(text.size()), SQLT_STR, &ind}}, error));
        QCOMPARE(QByteArray(text.data()), QByteArray("hello"));
        QCOMPARE(ind, short(0));
        QCOMPARE(text[6], 'x'); // nothing beyond the terminator changes

        QVERIFY(cursor->Parse("begin :n := null; end;", error));
        int n = 42;
        ind = 0;
        m_fake.setOut(":n", nullptr);
        QVERIFY(cursor->Execute({{":n", &n, sizeof n, SQLT_INT, &ind}}, error));
        QCOMPARE(ind, short(-1));
        QCOMPARE(n, 42);
    }

    // An error of the execution: Oracle's number and text, nothing written to the caller.
    void failedExecuteReportsOracleErrorAndWritesNothing() {
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        std::unique_ptr<Cursor> cursor = session->OpenCursor(error);
        QVERIFY(cursor->Parse("begin :x := no_such_function(:y); end;", error));
        int x = 11;
        short xInd = 7;
        char y[8] = "abc";
        short yInd = 0;
        m_fake.setOut(":x", "99");
        m_fake.setOut(":y", "zzz");
        const char* oracleText = "ORA-06550: line 1, column 13:\n"
                                 "PLS-00201: identifier 'NO_SUCH_FUNCTION' must be declared\n"
                                 "ORA-06550: line 1, column 7:\n"
                                 "PL/SQL: Statement ignored";
        m_fake.fail("OCIStmtExecute", kOciError, 6550, oracleText);
        m_fake.take();
        QVERIFY(!cursor->Execute(
            {{":x", &x, sizeof x, SQLT_INT, &xInd}, {":y", y, int(sizeof y), SQLT_STR, &yInd}},
            error));
        QCOMPARE(error.code, 6550);
        QCOMPARE(QString::fromStdString(error.message), QString::fromUtf8(oracleText));
        QCOMPARE(x, 11);
        QCOMPARE(xInd, short(7));
        QCOMPARE(QByteArray(y), QByteArray("abc"));
        QCOMPARE(yInd, short(0));
        const QStringList calls = m_fake.take();
        QCOMPARE(calls.mid(calls.size() - 2),
                 QStringList({"OCIErrorGet err2 record=1 type=2",
                              "OCIStmtRelease stmt4 err2 key=- mode=0"}));
        QCOMPARE(m_fake.liveHandles(), 3);

        // The cursor stays usable after the failure.
        QVERIFY(cursor->Execute(
            {{":x", &x, sizeof x, SQLT_INT, &xInd}, {":y", y, int(sizeof y), SQLT_STR, &yInd}},
            error));
        QCOMPARE(x, 99);
        QCOMPARE(error.code, 0);
    }

    // Errors of the calls before the execution stop it there and release the statement.
    void prepareAndBindErrors_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("prepared");
        QTest::newRow("prepare") << "OCIStmtPrepare2" << 1013
                                 << "ORA-01013: user requested cancel of current operation"
                                 << false;
        QTest::newRow("bind") << "OCIBindByName" << 1036
                              << "ORA-01036: illegal variable name/number" << true;
    }
    void prepareAndBindErrors() {
        QFETCH(QString, call);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(bool, prepared);
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        std::unique_ptr<Cursor> cursor = session->OpenCursor(error);
        QVERIFY(cursor->Parse("begin :a := 1; end;", error));
        int a = 3;
        short ind = 0;
        m_fake.fail(call.toUtf8().constData(), kOciError, code, text.toUtf8().constData());
        m_fake.take();
        QVERIFY(!cursor->Execute({{":a", &a, sizeof a, SQLT_INT, &ind}}, error));
        QCOMPARE(error.code, code);
        QCOMPARE(QString::fromStdString(error.message), text);
        QCOMPARE(a, 3);
        const QStringList calls = m_fake.take();
        QVERIFY(!calls.join('\n').contains("OCIStmtExecute"));
        QCOMPARE(calls.last().startsWith("OCIStmtRelease stmt4"), prepared);
        QCOMPARE(m_fake.liveHandles(), 3);
    }

    // A warning (a stored unit created with compilation errors) is success, as the old call set
    // treated it; the OUT values are delivered.
    void successWithInformationIsSuccess() {
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        std::unique_ptr<Cursor> cursor = session->OpenCursor(error);
        QVERIFY(cursor->Parse("begin :v := 2; end;", error));
        int v = 0;
        m_fake.setOut(":v", "2");
        m_fake.fail("OCIStmtExecute", kOciSuccessWithInfo, 24344,
                    "ORA-24344: success with compilation error");
        QVERIFY(cursor->Execute({{":v", &v, sizeof v, SQLT_INT, nullptr}}, error));
        QCOMPARE(error.code, 0);
        QCOMPARE(v, 2);
    }

    // A placeholder bound twice (as a caller that binds again before executing does) keeps the
    // last binding only, whose variable receives the value: the call layer hands the driver
    // each name once.
    void rebindKeepsLastBinding() {
        // A log-on area lives as long as the process, as the program's own does.
        static Lda_Def lda{};
        unsigned char hda[256] = {};
        QCOMPARE(olog(&lda, hda, "scott", -1, "tiger", -1, "dbhost:1521/orcl", -1, 0), 0);
        Cda_Def cda{};
        QCOMPARE(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
        QCOMPARE(oparse(&cda, "begin :v := 8; end;", -1, 1, 2), 0);
        int first = 1;
        int second = 2;
        QCOMPARE(
            obndrv(&cda, ":v", -1, &first, sizeof first, SQLT_INT, -1, nullptr, nullptr, -1, -1),
            0);
        QCOMPARE(
            obndrv(&cda, ":V", -1, &second, sizeof second, SQLT_INT, -1, nullptr, nullptr, -1, -1),
            0);
        m_fake.setOut(":v", "8");
        m_fake.take();
        QCOMPARE(oexec(&cda), 0);
        const QStringList calls = m_fake.take();
        QCOMPARE(calls.filter("OCIBindByName").size(), 1);
        QVERIFY(calls.filter("OCIBindByName")[0].contains("name=:V "));
        QCOMPARE(first, 1);
        QCOMPARE(second, 8);
        QCOMPARE(oclose(&cda), 0);
        // A failed log-on on the same area gives the session up: nothing is left behind.
        m_fake.fail("OCILogon2", kOciError, 1017, "ORA-01017: invalid username/password");
        QVERIFY(olog(&lda, hda, "scott", -1, "wrong", -1, "dbhost:1521/orcl", -1, 0) != 0);
        QCOMPARE(m_fake.liveHandles(), 0);
    }

    // Statements reach the server as written, except the terminating semicolon of a plain SQL
    // statement, which the server would refuse.
    void statementText_data() {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("iterations");
        const QString procedure = "CREATE OR REPLACE PROCEDURE SendTraceMessage (theMessage IN "
                                  "VARCHAR2) AS\n\tBEGIN\n\t\tNULL;\n\tEND SendTraceMessage;\n";
        QTest::newRow("synonym") << "CREATE PUBLIC SYNONYM SendDebugMessage FOR SendDebugMessage;"
                                 << "CREATE PUBLIC SYNONYM SendDebugMessage FOR SendDebugMessage"
                                 << 1;
        QTest::newRow("synonym blank after") << "create public synonym a for a ; \n"
                                             << "create public synonym a for a " << 1;
        QTest::newRow("procedure") << procedure << procedure << 1;
        QTest::newRow("package body") << "create or replace package body p as end p;"
                                      << "create or replace package body p as end p;" << 1;
        QTest::newRow("block") << "begin dbms_pipe.purge('tidemark'); end;"
                               << "begin dbms_pipe.purge('tidemark'); end;" << 1;
        QTest::newRow("commented block")
            << "/* purge */ -- now\n declare n number; begin null; end;"
            << "/* purge */ -- now\n declare n number; begin null; end;" << 1;
        QTest::newRow("no semicolon") << "drop synonym a"
                                      << "drop synonym a" << 1;
        QTest::newRow("query") << "select 1 from dual"
                               << "select 1 from dual" << 0;
    }
    void statementText() {
        QFETCH(QString, statement);
        QFETCH(QString, sent);
        QFETCH(int, iterations);
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        std::unique_ptr<Cursor> cursor = session->OpenCursor(error);
        m_fake.take();
        QVERIFY(cursor->Parse(statement.toStdString(), error));
        QVERIFY(cursor->Execute({}, error));
        const QStringList calls = m_fake.take();
        sent.replace(QLatin1Char('\n'), QLatin1String("\\n"));
        sent.replace(QLatin1Char('\t'), QLatin1String("\\t"));
        QVERIFY2(calls[0].contains("text=[" + sent + "] key=-"), qPrintable(calls[0]));
        QVERIFY2(calls.filter("OCIStmtExecute")[0].contains(
                     QStringLiteral(" iters=%1 ").arg(iterations)),
                 "a query is opened, not fetched");
    }

    void cursorMisuse() {
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        std::unique_ptr<Cursor> cursor = session->OpenCursor(error);
        QVERIFY(!cursor->Execute({}, error));
        QCOMPARE(error.code, 1003);
        QVERIFY(QString::fromStdString(error.message).startsWith("ORA-01003: "));
        QVERIFY(cursor->Close(error));
        QVERIFY(!cursor->Parse("begin null; end;", error));
        QCOMPARE(error.code, OCI_RC_INVALID_CURSOR);
        QVERIFY(!cursor->Close(error));
        QCOMPARE(error.code, OCI_RC_INVALID_CURSOR);
        QVERIFY(!m_fake.calls().join('\n').contains("OCIStmt"));
    }

    // The log-on's handles live until the last cursor on it is gone.
    void cursorOutlivesSession() {
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        std::unique_ptr<Cursor> cursor = session->OpenCursor(error);
        session.reset();
        QVERIFY(!m_fake.calls().join('\n').contains("OCILogoff"));
        QVERIFY(cursor->Parse("begin null; end;", error));
        QVERIFY(cursor->Execute({}, error));
        m_fake.take();
        cursor.reset();
        QCOMPARE(m_fake.take(), kLogoffCalls);
        QCOMPARE(m_fake.liveHandles(), 0);
    }

    void logonErrors_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("wrong password")
            << "OCILogon2" << 1017 << "ORA-01017: invalid username/password; logon denied"
            << QStringList{"OCIErrorGet err2 record=1 type=2", "OCIHandleFree err2 type=2",
                           "OCIHandleFree env1 type=1"};
        QTest::newRow("error handle")
            << "OCIHandleAlloc" << 4031 << "ORA-04031: unable to allocate 64 bytes of memory"
            << QStringList{"OCIErrorGet env1 record=1 type=1", "OCIHandleFree env1 type=1"};
        QTest::newRow("environment")
            << "OCIEnvNlsCreate" << 1804 << "ORA-01804: failure to initialize timezone information"
            << QStringList{"OCIErrorGet env1 record=1 type=1", "OCIHandleFree env1 type=1"};
    }
    void logonErrors() {
        QFETCH(QString, call);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        m_fake.fail(call.toUtf8().constData(), kOciError, code, text.toUtf8().constData());
        Error error;
        QVERIFY(!LogOn(error));
        QCOMPARE(error.code, code);
        QCOMPARE(QString::fromStdString(error.message), text);
        const QStringList calls = m_fake.calls();
        QCOMPARE(calls.mid(calls.size() - expected.size()), expected);
        QCOMPARE(m_fake.liveHandles(), 0);

        // A later attempt starts afresh and succeeds.
        QVERIFY(LogOn(error));
        QCOMPARE(error.code, 0);
    }

    // An environment that cannot even be created leaves no error record to read.
    void environmentFailureWithoutRecord() {
        m_fake.fail("OCIEnvNlsCreate", kOciError, 0, "");
        Error error;
        QVERIFY(!LogOn(error));
        QCOMPARE(error.code, OCI_RC_LIBRARY_MISSING);
        const QString message = QString::fromStdString(error.message);
        QVERIFY2(message.startsWith("ORA-12705: the Oracle client library " FAKE_CLIENT
                                    " could not create its environment"),
                 qPrintable(message));
        QCOMPARE(m_fake.liveHandles(), 0);
    }

    // A client from before OCIEnvNlsCreate and OCILogon2 is served by the older forms.
    void olderClientUsesOlderCalls() {
        FakeClient old(FAKE_OLD_CLIENT);
        old.clear();
        qputenv("TIDEMARK_OCI_LIBRARY", FAKE_OLD_CLIENT);
        Error error;
        std::unique_ptr<Session> session = LogOn(error);
        QVERIFY2(session, error.message.c_str());
        QCOMPARE(old.take(), QStringList({
                                 "OCIEnvCreate mode=0 -> env1",
                                 "OCIHandleAlloc parent=env1 type=2 -> err2",
                                 "OCILogon env=env1 err=err2 user=scott password=tiger "
                                 "db=dbhost:1521/orcl",
                                 "OCIAttrSet svc3 type=3 attr=531 size=0",
                             }));
        session.reset();
        QCOMPARE(old.liveHandles(), 0);
        QVERIFY(m_fake.calls().isEmpty());
    }

    void libraryNamedByVariableMissing() {
        qputenv("TIDEMARK_OCI_LIBRARY", "/nonexistent/instantclient/libclntsh.so");
        Error error;
        QVERIFY(!LogOn(error));
        QCOMPARE(error.code, OCI_RC_LIBRARY_MISSING);
        const QString message = QString::fromStdString(error.message);
        QVERIFY2(message.startsWith("ORA-12705: cannot load the Oracle client library "
                                    "/nonexistent/instantclient/libclntsh.so named by "
                                    "TIDEMARK_OCI_LIBRARY. "),
                 qPrintable(message));
        QVERIFY(message.contains("No such file or directory"));
        QVERIFY(message.contains("unset it to search the system's library path"));
    }

    void libraryWithoutOciCalls() {
        qputenv("TIDEMARK_OCI_LIBRARY", "libm.so.6");
        Error error;
        QVERIFY(!LogOn(error));
        QCOMPARE(error.code, OCI_RC_LIBRARY_MISSING);
        const QString message = QString::fromStdString(error.message);
        QVERIFY2(message.startsWith("ORA-12705: the library libm.so.6 is not a usable Oracle "
                                    "client library: it lacks OCIEnvNlsCreate, OCILogon2, "
                                    "OCIHandleAlloc"),
                 qPrintable(message));
    }

    // Without the variable the driver searches the loader's path, versioned names included.
    void searchFindsVersionedLibrary() {
        int exitCode = -1;
        const QString output = RunChild(QStringLiteral(FAKE_CLIENT_DIR), &exitCode);
        QVERIFY2(exitCode == 0, qPrintable(output));
        QVERIFY2(output.contains("OCILogon2 env=env1 err=err2 user=scott password=tiger db=orcl "
                                 "mode=0"),
                 qPrintable(output));
    }

    // A full client keeps its library in $ORACLE_HOME/lib: found there without the loader's path.
    void searchLooksInOracleHome() {
        QTemporaryDir home, empty;
        QVERIFY(QDir(home.path()).mkdir("lib"));
        QVERIFY(QFile::link(QStringLiteral(FAKE_CLIENT), home.filePath("lib/libclntsh.so.19.1")));
        int exitCode = -1;
        const QString output = RunChild(empty.path(), &exitCode, home.path());
        QVERIFY2(exitCode == 0, qPrintable(output));
        QVERIFY2(output.contains("OCILogon2 env=env1 err=err2 user=scott password=tiger db=orcl "
                                 "mode=0"),
                 qPrintable(output));
    }

    void searchWithoutLibraryExplainsRemedy() {
        QTemporaryDir empty;
        int exitCode = -1;
        const QString output = RunChild(empty.path(), &exitCode);
        QCOMPARE(exitCode, 1);
        QVERIFY2(output.startsWith("12705 ORA-12705: cannot find the Oracle client library "
                                   "(looked for libclntsh.so, libclntsh.so.23.1, "),
                 qPrintable(output));
        for (const char* expected :
             {"libclntsh.so.19.1", "libclntsh.so.11.1", "Install Oracle Instant Client",
              "LD_LIBRARY_PATH", "TIDEMARK_OCI_LIBRARY"})
            QVERIFY2(output.contains(expected), expected);
        QVERIFY2(!output.contains("The loader reported"), qPrintable(output));
    }

    // A library that is there but cannot be loaded (here: not a library at all; in the field
    // typically a missing dependency such as libaio) is named with the loader's reason.
    void searchReportsUnloadableLibrary() {
        QTemporaryDir dir;
        QFile broken(dir.filePath(QStringLiteral("libclntsh.so")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a shared object\n");
        broken.close();
        int exitCode = -1;
        const QString output = RunChild(dir.path(), &exitCode);
        QCOMPARE(exitCode, 1);
        QVERIFY2(output.contains("The loader reported: " + broken.fileName() + ": "),
                 qPrintable(output));
        QVERIFY(output.contains("LD_LIBRARY_PATH"));
    }

    // The corpus read with read-ahead and without gives every statement the same result:
    // values, indicators, statuses, return codes and error texts, in both receiving modes.
    void readAheadGivesTheSameResults_data() { AddReceivingModeRows(); }
    void readAheadGivesTheSameResults() {
        QFETCH(bool, typed);
        static Lda_Def lda{};
        unsigned char hda[256] = {};
        QStringList logs[2];
        int statements[2] = {};
        for (int on = 0; on < 2; ++on) {
            m_fake.clear();
            qputenv("TIDEMARK_READ_AHEAD", on ? "on" : "off");
            QCOMPARE(olog(&lda, hda, "scott", -1, "tiger", -1, "dbhost:1521/orcl", -1, 0), 0);
            for (const QByteArray& message : Corpus())
                m_fake.send("tm", message.constData());
            logs[on] = Drain(&lda, "tm", typed);
            statements[on] = m_fake.statements();
            QCOMPARE(m_fake.waiting("tm"), 0);
            QCOMPARE(m_fake.blocks() > 0, on == 1);
        }
        qunsetenv("TIDEMARK_READ_AHEAD");
        QCOMPARE(logs[1], logs[0]);
        // The corpus reaches the errors both ways.
        QVERIFY(logs[0].filter("error 6502").size() >= 1);
        QCOMPARE(logs[0].filter("error 6559").size() >= 2, !typed);
        // Most statements were answered from memory: only the messages the block could not
        // answer went to the server.
        QVERIFY2(statements[1] * 3 < statements[0],
                 qPrintable(QStringLiteral("%1 of %2").arg(statements[1]).arg(statements[0])));
    }

    // A server that refuses the block: the session goes on one statement per step, and the
    // program sees nothing of it.
    void refusedBlockFallsBack() {
        static Lda_Def lda{};
        unsigned char hda[256] = {};
        QCOMPARE(olog(&lda, hda, "scott", -1, "tiger", -1, "dbhost:1521/orcl", -1, 0), 0);
        for (const char* text : {"6:3\x1f"
                                 "9:one",
                                 "6:3\x1f"
                                 "9:two"})
            m_fake.send("tm", text);
        m_fake.fail("OCIStmtExecute", kOciError, 6550,
                    "ORA-06550: line 1, column 1712:\nPLS-00201: identifier 'DBMS_PIPE' must be "
                    "declared");
        const QStringList log = Drain(&lda, "tm", false);
        QCOMPARE(log, QStringList({
                          "receive ok sta=0 ind=0",
                          "len ok 3 ind=0",
                          "chr ok 'one' ind=0 tail=xxxxx",
                          "receive ok sta=0 ind=0",
                          "len ok 3 ind=0",
                          "chr ok 'two' ind=0 tail=xxxxx",
                          "receive ok sta=1 ind=0",
                      }));
        QCOMPARE(m_fake.calls().filter("OCIStmtPrepare2").filter(":tm_buf").size(), 1);
        QCOMPARE(m_fake.blocks(), 0);
    }

    // Held messages are kept per pipe: a receive on another pipe leaves them, a purge of their
    // pipe drops them, and a message waiting on the session's own pipe goes with it.
    void purgeDropsHeldMessages() {
        static Lda_Def lda{};
        unsigned char hda[256] = {};
        QCOMPARE(olog(&lda, hda, "scott", -1, "tiger", -1, "dbhost:1521/orcl", -1, 0), 0);
        const QByteArray tooLong = "6:2500\x1f"
                                   "9:" +
                                   QByteArray(2500, 'e');
        for (const QByteArray& text : {QByteArray("6:2\x1f"
                                                  "9:p1"),
                                       QByteArray("6:2\x1f"
                                                  "9:p2"),
                                       tooLong,
                                       QByteArray("6:2\x1f"
                                                  "9:p4")})
            m_fake.send("tm", text.constData());
        m_fake.send("other", "6:2\x1f"
                             "9:q1");
        Cda_Def cda{};
        QCOMPARE(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
        std::int32_t length = 0;
        short ind = 0;
        QStringList log;
        QVERIFY(ReceiveStep(cda, &lda, "tm", ind, log));
        PlainSteps(cda, &lda, length, ind, log);
        QCOMPARE(m_fake.waiting("tm"), 1); // the last one waits behind the held one
        QVERIFY(ReceiveStep(cda, &lda, "other", ind, log));
        PlainSteps(cda, &lda, length, ind, log);
        QVERIFY(ReceiveStep(cda, &lda, "tm", ind, log));
        PlainSteps(cda, &lda, length, ind, log);
        QCOMPARE(log.filter("chr ok").join('|'),
                 QStringLiteral("chr ok 'p1' ind=0 tail=xxxxx|chr ok 'q1' ind=0 tail=xxxxx|"
                                "chr ok 'p2' ind=0 tail=xxxxx"));
        log.clear();
        QCOMPARE(Exec(cda, &lda, QByteArray::fromStdString(PurgeBlock("tm")), {}, &ind), "ok");
        QCOMPARE(m_fake.waiting("TM$HOLD$ORA$PIPE$00FA4E$1"), 0);
        m_fake.send("tm", "6:2\x1f"
                          "9:after");
        QVERIFY(ReceiveStep(cda, &lda, "tm", ind, log));
        PlainSteps(cda, &lda, length, ind, log);
        QVERIFY(!ReceiveStep(cda, &lda, "tm", ind, log));
        QCOMPARE(log.filter("chr ok"), QStringList({"chr ok 'after' ind=0 tail=xxxxx"}));
        QCOMPARE(oclose(&cda), 0);
    }

    // A read-ahead block that ends early reports why, with the server's text: what it had
    // delivered comes first, a message it held when it failed is named as lost, and the
    // messages it had not taken stay in the pipe for the next receive.
    void blockFaultsAreReported_data() {
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<int>("after");
        QTest::addColumn<QByteArray>("second"); // the second of three messages
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        // By the first drain, then by a second one; E<n>: the error, up to n messages lost.
        QTest::addColumn<QString>("shown");
        const QByteArray held = Plain(QByteArray(2500, 'h')); // goes to the hold pipe
        QByteArray unfit = "6:1";
        for (char c = 'a'; c < 'u'; ++c)
            unfit += "\0379:" + QByteArray(1999, c);
        unfit += "\03796:odd";
        const QString line1 = QStringLiteral("\nORA-06512: at line 1");
        QTest::newRow("error inside the block")
            << QByteArray("raise") << 1 << Plain("m2") << 4036
            << "ORA-04036: PGA memory used by the instance exceeds PGA_AGGREGATE_LIMIT" + line1
            << "m1 E1 m3";
        QTest::newRow("hold pipe refuses")
            << QByteArray("resend") << 0 << held << 23322
            << "ORA-23322: Privilege error accessing pipe" + line1 << "m1 E1 m3";
        QTest::newRow("hold pipe full")
            << QByteArray("resend") << 0 << held << 20001
            << "ORA-20001: the message could not be put on the pipe TM$HOLD$ORA$PIPE$00FA4E$1: "
               "dbms_pipe.send_message returned 1" +
                   line1
            << "m1 E1 m3";
        QTest::newRow("message too large for the reply")
            << QByteArray() << 0 << unfit << 20002
            << "ORA-20002: a message of 42097 bytes does not fit in the reply of 32000 bytes" +
                   line1
            << "m1 E1 m3";
        QTest::newRow("unreadable reply")
            << QByteArray("garbled") << 0 << Plain("m2") << 3106
            << QStringLiteral("ORA-03106: the reply of the read-ahead block could not be read")
            << "E16";
        QTest::newRow("NULL reply") << QByteArray("null") << 0 << Plain("m2") << 3106
                                    << QStringLiteral("ORA-03106: the read-ahead block returned "
                                                      "no reply")
                                    << "E16";
    }
    void blockFaultsAreReported() {
        QFETCH(QByteArray, fault);
        QFETCH(int, after);
        QFETCH(QByteArray, second);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        static Lda_Def lda{};
        QVERIFY(LogOn(lda));
        for (const QByteArray& message : {Plain("m1"), second, Plain("m3")})
            m_fake.send("tm", message.constData());
        if (!fault.isEmpty()) // the fake makes up its own texts where the block would
            m_fake.blockFault(fault.constData(), after, code, text.toUtf8().constData());
        QStringList expected = shown.split(' ');
        for (QString& entry : expected)
            if (entry.startsWith('E'))
                entry = QStringLiteral("E%1 %2 up to %3 messages taken from pipe tm could not be "
                                       "shown")
                            .arg(code)
                            .arg(text, entry.mid(1));
        QStringList log = Drain(&lda, "tm", false);
        log += Drain(&lda, "tm", false);
        QCOMPARE(Shown(log), expected);
        QCOMPARE(m_fake.waiting("tm"), 0);
    }

    // Receives the block does not answer by itself: one that waits, while messages are held,
    // is answered from them and otherwise by the server.
    void receivesBesideTheBlock() {
        static Lda_Def lda{};
        QVERIFY(LogOn(lda));
        for (const char* text : {"m1", "m2"})
            m_fake.send("tm", Plain(text).constData());
        Cda_Def cda{};
        QCOMPARE(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
        std::int32_t length = 0;
        short ind = 0;
        QStringList log;
        QVERIFY(ReceiveStep(cda, &lda, "tm", ind, log));
        PlainSteps(cda, &lda, length, ind, log);
        m_fake.send("tm", Plain("m3").constData());
        for (const char* timeout : {"5", "dbms_pipe.maxwait", "5"}) {
            ReceiveStep(cda, &lda, "tm", ind, log, timeout);
            PlainSteps(cda, &lda, length, ind, log);
        }
        QCOMPARE(Shown(log), QStringList({"m1", "m2", "m3"}));
        QCOMPARE(m_fake.blocks(), 1);
        QVERIFY(!m_fake.calls().filter("receive_message('tm', dbms_pipe.maxwait)").isEmpty());
        QCOMPARE(oclose(&cda), 0);
    }

    // The receiver's texts as the builders write them are answered from what was read ahead,
    // for any name the block can carry; a purge built for the pipe drops what is held of it.
    void builtStatementsAreAnsweredFromReadAhead_data() {
        QTest::addColumn<QByteArray>("pipe");
        QTest::newRow("plain") << QByteArray("tidemark");
        QTest::newRow("apostrophes") << QByteArray("O'Brien''s '");
        QTest::newRow("non-ASCII") << QByteArray("pipe \xc3\xbc \xe2\x82\xac");
        QTest::newRow("128 characters") << QByteArray(128, 'p');
        QTest::newRow("129 characters: no block") << QByteArray(129, 'p');
    }
    void builtStatementsAreAnsweredFromReadAhead() {
        QFETCH(QByteArray, pipe);
        static Lda_Def lda{};
        QVERIFY(LogOn(lda));
        for (const char* text : {"m1", "m2", "m3"})
            m_fake.send(pipe.constData(), Plain(text).constData());
        Cda_Def cda{};
        QCOMPARE(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
        std::int32_t length = 0;
        short ind = 0;
        QStringList log;
        for (int i = 0; i < 2; ++i) {
            QVERIFY(ReceiveStep(cda, &lda, pipe.constData(), ind, log));
            PlainSteps(cda, &lda, length, ind, log);
        }
        QCOMPARE(Shown(log), QStringList({"m1", "m2"}));
        const bool block = pipe.size() <= 128; // the block's variable holds no longer name
        QCOMPARE(m_fake.blocks(), block ? 1 : 0);
        QCOMPARE(m_fake.statements() == 0, block);
        QCOMPARE(m_fake.waiting(pipe.constData()), block ? 0 : 1);
        QCOMPARE(
            Exec(cda, &lda, QByteArray::fromStdString(PurgeBlock(pipe.toStdString())), {}, &ind),
            "ok");
        QVERIFY(!ReceiveStep(cda, &lda, pipe.constData(), ind, log));
        QCOMPARE(oclose(&cda), 0);
    }

    // A text of the receiver's kind that is not exactly its text goes to the server as it
    // stands, however close: the driver reads nothing ahead for it.
    void nearMissesGoToTheServer() {
        static Lda_Def lda{};
        QVERIFY(LogOn(lda));
        m_fake.send("tm", Plain("m1").constData());
        Cda_Def cda{};
        QCOMPARE(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
        const QByteArray receive = QByteArray::fromStdString(ReceiveBlock("tm"));
        const std::pair<QByteArray, const char*> texts[] = {
            {receive.toUpper(), ":STA"},
            {QByteArray(receive).replace(" := ", ":="), ":sta"},
            {QByteArray(receive).replace(":sta", ":st"), ":st"}};
        for (const auto& [text, variable] : texts) {
            std::int32_t value = 0;
            short ind = 0;
            Exec(cda, &lda, text, {{variable, &value, 4, SQLT_INT}}, &ind);
            QCOMPARE(m_fake.blocks(), 0);
            QVERIFY2(m_fake.calls().join('\n').contains("text=[" + QString::fromUtf8(text) + "]"),
                     text.constData());
        }
        QCOMPARE(oclose(&cda), 0);
    }

    // Each round trip on a pipe asks for 16 messages, twice as many after one that came back
    // full, at most 500, and 16 again after a short one; the cursor counts what is held,
    // messages on the hold pipe included, exactly.
    void tripsGrowAndHeldMessagesAreCounted() {
        static Lda_Def lda{};
        QVERIFY(LogOn(lda));
        for (int i = 0; i < 1000; ++i)
            m_fake.send("tm", Plain(QByteArray::number(i)).constData());
        Cda_Def cda{};
        QCOMPARE(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
        QCOMPARE(oheld(&cda, "tm", -1), 0);
        short ind = 0;
        QStringList log;
        QList<int> held;
        while (ReceiveStep(cda, &lda, "tm", ind, log))
            held << oheld(&cda, "tm", -1);
        QCOMPARE(held.size(), 1000);
        QCOMPARE(held.mid(0, 2), QList<int>({15, 14}));
        QCOMPARE(held.mid(15, 2), QList<int>({0, 31}));
        QCOMPARE(held.last(), 0);
        QCOMPARE(TripSizes(m_fake.calls()),
                 QStringList({"16", "32", "64", "128", "256", "500", "500", "500"}));
        // The trip that found the pipe empty ended the drain: the next drain starts small.
        m_fake.send("tm", Plain("again").constData());
        QVERIFY(ReceiveStep(cda, &lda, "tm", ind, log));
        QCOMPARE(TripSizes(m_fake.calls()).last(), "16");
        QCOMPARE(oclose(&cda), 0);

        m_fake.clear();
        QVERIFY(LogOn(lda));
        QCOMPARE(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
        for (const QByteArray& text : {QByteArray("m1"), QByteArray(2500, 'h'), QByteArray("m3")})
            m_fake.send("tm", Plain(text).constData());
        QVERIFY(ReceiveStep(cda, &lda, "tm", ind, log));
        QCOMPARE(oheld(&cda, "tm", -1), 1); // the long one, on the hold pipe
        QCOMPARE(oheld(&cda, "other", -1), 0);
        QVERIFY(ReceiveStep(cda, &lda, "tm", ind, log));
        QCOMPARE(oheld(&cda, "tm", -1), 0);
        QCOMPARE(oclose(&cda), 0);
    }

    // A connection lost after a read-ahead: what had arrived is delivered before the failure.
    void failureAfterReadAheadDeliversHeldFirst() {
        static Lda_Def lda{};
        unsigned char hda[256] = {};
        QCOMPARE(olog(&lda, hda, "scott", -1, "tiger", -1, "dbhost:1521/orcl", -1, 0), 0);
        for (const char* text : {"6:2\x1f"
                                 "9:m1",
                                 "6:2\x1f"
                                 "9:m2",
                                 "6:2\x1f"
                                 "9:m3"})
            m_fake.send("tm", text);
        Cda_Def cda{};
        QCOMPARE(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
        short ind = 0;
        QStringList log;
        QVERIFY(ReceiveStep(cda, &lda, "tm", ind, log));
        QCOMPARE(m_fake.waiting("tm"), 0);
        m_fake.breakAll(3113, "ORA-03113: end-of-file on communication channel");
        TypedSteps(cda, &lda, ind, log);
        oclose(&cda);
        log += Drain(&lda, "tm", true);
        QCOMPARE(log.filter("item ok 9").join('|'),
                 QStringLiteral("item ok 9 'm1' ind=0|item ok 9 'm2' ind=0|item ok 9 'm3' ind=0"));
        // The next round trip may have taken messages before the connection went: it says so.
        QCOMPARE(log.last(), QStringLiteral("receive error 3113 fc=4 ORA-03113: end-of-file on "
                                            "communication channel up to 16 messages taken from "
                                            "pipe tm could not be shown sta=1 ind=-1"));
    }

    // The whole road through the call layer: its data areas, oerhms, and the program's report.
    void callLayerCarriesDriverResults() {
        MessageBoxRecorder boxes;
        QCOMPARE(OciLogon("scott", "tiger", "dbhost:1521/orcl"), 1);
        QCOMPARE(g_bConnected, 1);
        QCOMPARE(m_fake.take(), kLogonCalls);

        const QString oracleText = "ORA-06550: line 1, column 7:\n"
                                   "PLS-00306: wrong number or types of arguments in call to "
                                   "'RECEIVE_MESSAGE'";
        {
            COciCursor cursor;
            cursor.Parse(ReceiveBlock("tidemark").c_str());
            int sta = -1;
            short ind = 0;
            cursor.Bind(":sta", &sta, sizeof sta, SQLT_INT, &ind);
            m_fake.setOut(":sta", "0");
            QCOMPARE(cursor.Execute(1), 1);
            QCOMPARE(sta, 0);
            sta = 3;
            m_fake.setOut(":sta", "1");
            m_fake.fail("OCIStmtExecute", kOciError, 6550, oracleText.toUtf8().constData());
            QCOMPARE(cursor.Execute(1), 0);
            QCOMPARE(sta, 3);
            QCOMPARE(boxes.count(), 1);
            QCOMPARE(boxes.lastText(),
                     "ORACLE Error when processing OCI function OEXEC, OEXN\n" + oracleText);
        }
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(m_fake.liveHandles(), 3);

        // The data area of the failed call, and oerhms on the log-on area.
        Cda_Def cda{};
        QCOMPARE(oopen(&cda, &g_lda, nullptr, -1, -1, nullptr, -1), 0);
        QCOMPARE(
            oparse(&cda, "begin raise_application_error(-20099, 'Debug error'); end;", -1, 1, 2),
            0);
        m_fake.fail("OCIStmtExecute", kOciError, 20099,
                    "ORA-20099: Debug error\nORA-06512: at line 1");
        QVERIFY(oexec(&cda) != 0);
        QCOMPARE(int(cda.rc), 20099);
        QCOMPARE(int(cda.fc), int(OCI_FC_OEXEC));
        char text[512];
        oerhms(&g_lda, cda.rc, text, sizeof text);
        QCOMPARE(QByteArray(text), QByteArray("ORA-20099: Debug error\nORA-06512: at line 1"));
        QCOMPARE(oclose(&cda), 0);
        QCOMPARE(m_fake.liveHandles(), 3);

        // A denied log-on: the earlier session is given up, the new attempt's handles freed.
        m_fake.fail("OCILogon2", kOciError, 1017,
                    "ORA-01017: invalid username/password; logon denied");
        QCOMPARE(OciLogon("scott", "wrong", "dbhost:1521/orcl"), 0);
        QCOMPARE(g_bConnected, 0);
        QCOMPARE(int(g_lda.rc), 1017);
        QCOMPARE(int(g_lda.fc), 0);
        QCOMPARE(
            boxes.lastText(),
            QStringLiteral("ORACLE Error\nORA-01017: invalid username/password; logon denied"));
        QCOMPARE(m_fake.liveHandles(), 0);

        // No client library at all.
        qputenv("TIDEMARK_OCI_LIBRARY", "/nonexistent/instantclient/libclntsh.so");
        QCOMPARE(OciLogon("scott", "tiger", "dbhost:1521/orcl"), 0);
        QCOMPARE(int(g_lda.rc), int(OCI_RC_LIBRARY_MISSING));
        QVERIFY2(boxes.lastText().startsWith(
                     "ORACLE Error\nORA-12705: cannot load the Oracle client library "
                     "/nonexistent/instantclient/libclntsh.so named by TIDEMARK_OCI_LIBRARY."),
                 qPrintable(boxes.lastText()));
        QCOMPARE(boxes.count(), 3);
    }
};

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--child-logon") == 0)
        return ChildLogon();
    QCoreApplication app(argc, argv);
    TestOciDriver test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_oracleclient.moc"
