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
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>

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

private:
    int m_taken = 0;
};

constexpr int kOciError = -1;
constexpr int kOciSuccessWithInfo = 1;

const QStringList kLogonCalls = {
    "OCIEnvNlsCreate mode=0 charset=873 ncharset=873 -> env1",
    "OCIHandleAlloc parent=env1 type=2 -> err2",
    "OCILogon2 env=env1 err=err2 user=scott password=tiger db=dbhost:1521/orcl mode=0",
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
            cursor.Parse("begin :sta := dbms_pipe.receive_message('tidemark', 0); end;");
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
