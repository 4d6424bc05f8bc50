// The check against a real Oracle database: what the Oracle driver has only ever been shown to do
// against a stand-in client library, tried on the user's own server through the program's call
// layer, its log-on and cursor, and the real receiver and log window. Run by `make oracle-check`
// with the log-on in TIDEMARK_ORACLE_* variables. The CTest run builds it and runs it
// without a log-on and against the stand-in client library of the driver's suite.
//
// Every case leaves one line in the summary at the end: pass (with a note where there is
// something to tell), fail with the reason, or not run and why. The check works on a pipe of its
// own, purges it at the end and drops only the database objects it created itself.
//
// Its parts, in order: helpers (the environment, the client library that was loaded, a
// statement run through the seven calls, the second session's messages); the CHECK, NOT_RUN and
// NEED_LOGON verdicts; the OracleCheck fixture (init, cleanup, the summary, sending and
// receiving); the cases in the order they run, from the client library and the log-on through
// Generate Procedures, the plain and typed drains and the limits to the clean-up; main, which
// refuses to run without a log-on and prints the summary.
#include "LogWindow.h"
#include "TestSupport.h"

#include "Logon.h"
#include "PlsqlTexts.h"
#include "drivers/oracleclient/OciReadAhead.h"

#include <QApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <cstdio>
#include <initializer_list>
#include <vector>

#ifdef __linux__
#include <dlfcn.h>
#include <link.h>
#endif

namespace {

const char* const kUser = "TIDEMARK_ORACLE_USER";
const char* const kPassword = "TIDEMARK_ORACLE_PASSWORD";
const char* const kConnect = "TIDEMARK_ORACLE_CONNECT";
const char* const kConnect2 = "TIDEMARK_ORACLE_CONNECT2";
const char* const kLibrary = "TIDEMARK_OCI_LIBRARY";

// What an integer OUT variable holds when the server never wrote it.
constexpr int kUnset = -999999;

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
Outcome Run(Lda_Def* lda, const QByteArray& statement, std::initializer_list<Var> vars = {}) {
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

// A zero-terminated copy of the text, to bind as a string.
struct Text {
    QByteArray bytes;
    explicit Text(const QByteArray& text) : bytes(text) {}
    Var As(const char* name) { return {name, bytes.data(), int(bytes.size()) + 1, SQLT_STR}; }
};

// The sender gives up after 10 seconds instead of waiting for room in a full pipe for ever.
const char kSendBlock[] =
    "declare s integer; begin dbms_pipe.reset_buffer; dbms_pipe.pack_message(length(:t)); "
    "dbms_pipe.pack_message(:t); s := dbms_pipe.send_message(:p, 10); if s != 0 then "
    "raise_application_error(-20002, 'send_message returned ' || s); end if; end;";

// Three messages of one item each, so that each kind shows (or fails) on its own.
const char kTypedItemsBlock[] =
    "declare procedure send(p varchar2) is s integer; begin s := dbms_pipe.send_message(p, 10); "
    "if s != 0 then raise_application_error(-20002, 'send_message returned ' || s); end if; "
    "end; begin dbms_pipe.reset_buffer; "
    "dbms_pipe.pack_message(TO_DATE('2026-12-07 13:45:10', 'YYYY-MM-DD HH24:MI:SS')); send(:p); "
    "dbms_pipe.pack_message_raw(HEXTORAW('0102A0FF')); send(:p); "
    "dbms_pipe.pack_message_rowid(CHARTOROWID('AAAAAAAAAAAAAAAAAA')); send(:p); end;";

// Every kind of message the receiver meets, each sent as one message: the program's own, an
// empty one, wrong types, extra and missing items, NULLs, texts up to and past the receiver's
// 2000-byte buffer, numbers no integer holds, DATE, RAW and ROWID, and the separators of the
// read-ahead reply. The pipe is made large enough for all of them at once.
const char kCorpusBlock[] =
    "declare procedure send(p varchar2) is s integer; begin s := dbms_pipe.send_message(p, 10, "
    "65536); if s != 0 then raise_application_error(-20002, 'send_message returned ' || s); "
    "end if; end; begin dbms_pipe.reset_buffer; "
    "dbms_pipe.pack_message(5); dbms_pipe.pack_message('hello'); send(:p); "
    "send(:p); "
    "dbms_pipe.pack_message('text first'); dbms_pipe.pack_message(3); send(:p); "
    "dbms_pipe.pack_message(4); dbms_pipe.pack_message(7); send(:p); "
    "dbms_pipe.pack_message(1); send(:p); "
    "dbms_pipe.pack_message(TO_NUMBER(NULL)); dbms_pipe.pack_message(TO_CHAR(NULL)); send(:p); "
    "dbms_pipe.pack_message(3); dbms_pipe.pack_message('abc'); "
    "dbms_pipe.pack_message(TO_DATE('2026-12-07 13:45:10', 'YYYY-MM-DD HH24:MI:SS')); "
    "dbms_pipe.pack_message('extra'); send(:p); "
    "dbms_pipe.pack_message(1999); dbms_pipe.pack_message(RPAD('a', 1999, 'a')); send(:p); "
    "dbms_pipe.pack_message(2000); dbms_pipe.pack_message(RPAD('b', 2000, 'b')); send(:p); "
    "dbms_pipe.pack_message(2001); dbms_pipe.pack_message(RPAD('c', 2001, 'c')); send(:p); "
    "dbms_pipe.pack_message(1.5); dbms_pipe.pack_message('fraction'); send(:p); "
    "dbms_pipe.pack_message(3000000000); dbms_pipe.pack_message('big'); send(:p); "
    "dbms_pipe.pack_message(TO_DATE('2026-12-07', 'YYYY-MM-DD')); "
    "dbms_pipe.pack_message_raw(HEXTORAW('0102A0FF')); "
    "dbms_pipe.pack_message_rowid(CHARTOROWID('AAAAAAAAAAAAAAAAAA')); send(:p); "
    "dbms_pipe.pack_message(9); dbms_pipe.pack_message('pipe|back\\slash\\!'); send(:p); "
    "dbms_pipe.pack_message(6); dbms_pipe.pack_message('last'); send(:p); end;";

const char kServerBlock[] =
    "begin begin execute immediate 'select banner_full from v$version where rownum = 1' into :b; "
    "exception when others then begin "
    "execute immediate 'select banner from v$version where rownum = 1' into :b; "
    "exception when others then :b := 'Oracle ' || dbms_db_version.version || '.' || "
    "dbms_db_version.release || ' (v$version is not readable)'; end; end; "
    "begin execute immediate 'select value from nls_database_parameters where parameter = "
    "''NLS_CHARACTERSET''' into :c; exception when others then :c := 'not readable'; end; end;";

// What exists before the check creates anything: the two procedures, whether they are the
// program's own (they pack the length and then the text), and the public synonyms.
const char kExistingBlock[] =
    "begin "
    "select count(*) into :dp from user_objects where object_type = 'PROCEDURE' and object_name "
    "= 'SENDDEBUGMESSAGE'; "
    "select count(*) into :tp from user_objects where object_type = 'PROCEDURE' and object_name "
    "= 'SENDTRACEMESSAGE'; "
    "select count(*) into :dm from user_source where type = 'PROCEDURE' and name = "
    "'SENDDEBUGMESSAGE' and instr(text, 'dbms_pipe.pack_message(LENGTH(theMessage))') > 0; "
    "select count(*) into :tm from user_source where type = 'PROCEDURE' and name = "
    "'SENDTRACEMESSAGE' and instr(text, 'SendDebugMessage(aMessage, thePipe)') > 0; "
    "select count(*) into :ds from all_synonyms where owner = 'PUBLIC' and synonym_name = "
    "'SENDDEBUGMESSAGE'; "
    "select count(*) into :ts from all_synonyms where owner = 'PUBLIC' and synonym_name = "
    "'SENDTRACEMESSAGE'; "
    "end;";

const char kValidBlock[] =
    "begin select count(*) into :n from user_objects where object_type = 'PROCEDURE' and "
    "object_name in ('SENDDEBUGMESSAGE', 'SENDTRACEMESSAGE') and status = 'VALID'; end;";

} // namespace

// A failed condition fails the case with the reason; a case that cannot run says why.
#define CHECK(condition, why)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            m_reason = (why);                                                                      \
            QFAIL(qPrintable(OneLine(m_reason)));                                                  \
        }                                                                                          \
    } while (false)

#define NOT_RUN(why)                                                                               \
    do {                                                                                           \
        m_notRun = true;                                                                           \
        m_reason = (why);                                                                          \
        QSKIP(qPrintable(OneLine(m_reason)));                                                      \
    } while (false)

#define NEED_LOGON()                                                                               \
    do {                                                                                           \
        if (!m_loggedOn)                                                                           \
            NOT_RUN(QStringLiteral("needs the log-on, which failed"));                             \
    } while (false)

class OracleCheck : public QObject {
    Q_OBJECT
public:
    void PrintSummary() const;

private slots:
    void init();
    void cleanup();

    void missingLibraryIsNamed();
    void wrongPasswordGivesOra01017();
    void logOn();
    void logOnWithTheOtherForm();
    void emptyPipeGivesStatusOne();
    void generateProcedures();
    void plainDrainShowsHello();
    void typedDrainShowsHello();
    void typedDateRawRowid();
    void tooLongTextGivesOra06502();
    void purgeEmptiesThePipe();
    void nonAsciiRoundTrip();
    void longErrorTextIsCut();
    void readAheadMatchesPerStatement();
    void cleanUp();

private:
    QString Boxes() const;
    bool SenderReady(QString* why);
    bool SendHello(QString* why);
    Outcome Send(const QByteArray& text);
    Outcome Receive(int* status);

    const QByteArray m_user = Env(kUser);
    const QByteArray m_password = Env(kPassword);
    const QByteArray m_connect = Env(kConnect);
    const QByteArray m_connect2 = Env(kConnect2);
    const QString m_pipe =
        QStringLiteral("tidemark_check_%1_%2")
            .arg(QCoreApplication::applicationPid())
            .arg(QRandomGenerator::global()->generate() & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    MessageBoxRecorder m_boxes; // answers every box of the run: Ignore, or OK

    // The second session that sends, as another program would, and the other connect form's.
    Lda_Def& m_senderLda = SenderArea();
    bool m_senderTried = false;
    QString m_senderFailure;
    Lda_Def& m_otherLda = OtherFormArea();
    unsigned char m_hda[256] = {}; // passed to olog, never read

    bool m_loggedOn = false;
    bool m_procedures = false;
    // What the check created, and so drops again.
    bool m_createdDebug = false, m_createdTrace = false;
    bool m_createdDebugSynonym = false, m_createdTraceSynonym = false;

    QString m_client = QStringLiteral("(not loaded: the log-on did not succeed)");
    QString m_banner = QStringLiteral("(not asked: the log-on did not succeed)");
    QString m_charset = QStringLiteral("unknown");

    struct Result {
        QString name, status, reason;
    };
    std::vector<Result> m_results;
    bool m_notRun = false;
    QString m_reason; // the failure, the reason for not running, or a note on a pass
};

// Every case starts on an empty pipe, whatever an earlier one left in it.
void OracleCheck::init() {
    if (m_loggedOn) {
        LogWindow window(m_pipe);
        Run(&g_lda, window.view.PurgeBlock());
    }
    m_boxes.clear();
}

void OracleCheck::cleanup() {
    const char* status = m_notRun ? "not run" : QTest::currentTestFailed() ? "fail" : "pass";
    m_results.push_back(
        {QLatin1String(QTest::currentTestFunction()), QLatin1String(status), OneLine(m_reason)});
    m_notRun = false;
    m_reason.clear();
}

void OracleCheck::PrintSummary() const {
    int passed = 0, failed = 0, notRun = 0;
    QString out = QStringLiteral("\nTidemark Oracle check\n");
    out += QStringLiteral("client library: %1\n").arg(m_client);
    out += QStringLiteral("server:         %1\n").arg(OneLine(m_banner));
    out += QStringLiteral("character set:  %1\n").arg(m_charset);
    out += QStringLiteral("connect string: %1").arg(FormOf(m_connect));
    out += m_connect2.isEmpty()
               ? QStringLiteral("; %1 not set\n").arg(QLatin1String(kConnect2))
               : QStringLiteral("; %1: %2\n").arg(QLatin1String(kConnect2), FormOf(m_connect2));
    out += QStringLiteral("pipe:           %1\n").arg(m_pipe);
    for (const Result& r : m_results) {
        out += QStringLiteral("%1 %2%3\n")
                   .arg(r.status.leftJustified(8), r.name.leftJustified(28),
                        r.reason.isEmpty() ? QString() : QStringLiteral(" ") + r.reason);
        if (r.status == QLatin1String("pass"))
            ++passed;
        else if (r.status == QLatin1String("fail"))
            ++failed;
        else
            ++notRun;
    }
    out += QStringLiteral("%1 cases: %2 passed, %3 failed, %4 not run\n")
               .arg(m_results.size())
               .arg(passed)
               .arg(failed)
               .arg(notRun);
    std::fputs(out.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

QString OracleCheck::Boxes() const {
    QStringList texts;
    for (const auto& box : m_boxes.shown())
        texts.append(QStringLiteral("[%1]").arg(box.text));
    return texts.isEmpty() ? QStringLiteral("no box") : texts.join(QLatin1Char(' '));
}

bool OracleCheck::SenderReady(QString* why) {
    if (!m_senderTried) {
        m_senderTried = true;
        if (olog(&m_senderLda, m_hda, m_user.constData(), -1, m_password.constData(), -1,
                 m_connect.constData(), -1, 0) != 0)
            m_senderFailure = Message(&m_senderLda, m_senderLda.rc);
    }
    *why = QStringLiteral("the second session could not log on: ") + m_senderFailure;
    return m_senderFailure.isEmpty();
}

// The second session calls SendDebugMessage('hello') for the check's own pipe.
bool OracleCheck::SendHello(QString* why) {
    if (!SenderReady(why))
        return false;
    Text hello("hello"), pipe(m_pipe.toUtf8());
    const Outcome o =
        Run(&m_senderLda, "begin SendDebugMessage(:t, :p); end;", {hello.As(":t"), pipe.As(":p")});
    *why = QStringLiteral("SendDebugMessage failed in the second session: ") + o.text;
    return o.ok;
}

// Packs the length and the text and sends them from the second session, as SendDebugMessage
// does, without needing the procedure.
Outcome OracleCheck::Send(const QByteArray& text) {
    Text t(text), p(m_pipe.toUtf8());
    return Run(&m_senderLda, kSendBlock, {t.As(":t"), p.As(":p")});
}

// The receiver's own receive block, on the program's log-on.
Outcome OracleCheck::Receive(int* status) {
    LogWindow window(m_pipe);
    *status = kUnset;
    return Run(&g_lda, window.view.ReceiveBlock(), {{":sta", status, sizeof(int), SQLT_INT}});
}

void OracleCheck::missingLibraryIsNamed() {
    const QString missing =
        QDir::temp().filePath(QStringLiteral("tidemark-check-%1/no-such-folder/libclntsh.so")
                                  .arg(QCoreApplication::applicationPid()));
    const bool wasSet = qEnvironmentVariableIsSet(kLibrary);
    const QByteArray previous = qgetenv(kLibrary);
    qputenv(kLibrary, missing.toLocal8Bit());
    // Never reaches a server: a made-up user and password.
    const int result = OciLogon("tidemark_check", "not-a-password", m_connect.constData());
    if (wasSet)
        qputenv(kLibrary, previous);
    else
        qunsetenv(kLibrary);
    CHECK(result == 0, QStringLiteral("the log-on succeeded without a client library"));
    CHECK(m_boxes.count() == 1, QStringLiteral("expected one report, got ") + Boxes());
    const QString report = m_boxes.lastText();
    CHECK(report.contains(missing) && report.contains(QLatin1String(kLibrary)),
          QStringLiteral("the report does not name the library looked for and ") +
              QLatin1String(kLibrary) + QStringLiteral(": ") + report);
    m_reason = report.section(QLatin1Char('\n'), 1).left(120) + QStringLiteral("...");
}

void OracleCheck::wrongPasswordGivesOra01017() {
    const QByteArray wrong = m_password + "#not-the-password";
    const int result = OciLogon(m_user.constData(), wrong.constData(), m_connect.constData());
    CHECK(result == 0, QStringLiteral("the log-on with a wrong password succeeded"));
    CHECK(m_boxes.count() == 1, QStringLiteral("expected one report, got ") + Boxes());
    CHECK(m_boxes.lastText().contains(QLatin1String("ORA-01017")),
          QStringLiteral("no ORA-01017 in the report: ") + m_boxes.lastText());
    m_reason = m_boxes.lastText().section(QLatin1Char('\n'), 1);
}

void OracleCheck::logOn() {
    const int result = OciLogon(m_user.constData(), m_password.constData(), m_connect.constData());
    CHECK(result == 1 && g_bConnected == 1,
          QStringLiteral("the log-on (%1) failed: ").arg(FormOf(m_connect)) + Boxes());
    CHECK(m_boxes.count() == 0, QStringLiteral("the log-on succeeded but showed ") + Boxes());
    m_loggedOn = true;
    m_client = ClientLibrary();

    char banner[1000] = {}, charset[100] = {};
    const Outcome o = Run(&g_lda, kServerBlock,
                          {{":b", banner, int(sizeof banner), SQLT_STR},
                           {":c", charset, int(sizeof charset), SQLT_STR}});
    m_banner = !o.ok     ? QStringLiteral("(not given: ") + o.text + ')'
               : *banner ? QString::fromUtf8(banner).simplified()
                         : QStringLiteral("(the server's answer left the banner empty)");
    if (o.ok && *charset)
        m_charset = QString::fromUtf8(charset);
    m_reason = FormOf(m_connect);
}

void OracleCheck::logOnWithTheOtherForm() {
    const QString other = FormOf(m_connect) == QLatin1String("TNS alias")
                              ? QStringLiteral("host:port/service")
                              : QStringLiteral("TNS alias");
    if (m_connect2.isEmpty())
        NOT_RUN(QStringLiteral("%1 is not set; set it to the same database as a %2 to check that "
                               "form too")
                    .arg(QLatin1String(kConnect2), other));
    const bool logged = olog(&m_otherLda, m_hda, m_user.constData(), -1, m_password.constData(), -1,
                             m_connect2.constData(), -1, 0) == 0;
    CHECK(logged, QStringLiteral("the log-on (%1) failed: ").arg(FormOf(m_connect2)) +
                      Message(&m_otherLda, m_otherLda.rc));
    char name[200] = {};
    const Outcome o = Run(&m_otherLda, "begin :n := sys_context('USERENV', 'DB_NAME'); end;",
                          {{":n", name, int(sizeof name), SQLT_STR}});
    CHECK(o.ok, QStringLiteral("logged on, but a block failed: ") + o.text);
    CHECK(*name != '\0', QStringLiteral("logged on, but ") + Why(o));
    m_reason = FormOf(m_connect2) + QStringLiteral(", database ") + QString::fromUtf8(name);
    if (FormOf(m_connect2) == FormOf(m_connect))
        m_reason += QStringLiteral("; note: both connect strings are of that form");
}

void OracleCheck::emptyPipeGivesStatusOne() {
    NEED_LOGON();
    int status = kUnset;
    const Outcome o = Receive(&status);
    CHECK(o.ok, QStringLiteral("the receive block failed: ") + o.text);
    CHECK(status != kUnset, QStringLiteral("the receive block ran but did not set :sta"));
    CHECK(status == 1, QStringLiteral("status %1 on an empty pipe").arg(status));

    LogWindow window(m_pipe);
    window.view.PollPipe();
    CHECK(window.log().isEmpty() && m_boxes.count() == 0,
          QStringLiteral("a drain of the empty pipe gave ") + Shown(window.log()) + ' ' + Boxes());
}

void OracleCheck::generateProcedures() {
    NEED_LOGON();
    int dp = kUnset, tp = kUnset, dm = kUnset, tm = kUnset, ds = kUnset, ts = kUnset;
    Outcome o = Run(&g_lda, kExistingBlock,
                    {{":dp", &dp, 4, SQLT_INT},
                     {":tp", &tp, 4, SQLT_INT},
                     {":dm", &dm, 4, SQLT_INT},
                     {":tm", &tm, 4, SQLT_INT},
                     {":ds", &ds, 4, SQLT_INT},
                     {":ts", &ts, 4, SQLT_INT}});
    CHECK(o.ok,
          QStringLiteral("cannot tell what exists already, so nothing is created: ") + o.text);
    for (int n : {dp, tp, dm, tm, ds, ts})
        CHECK(n >= 0, QStringLiteral("the look-up of existing procedures and synonyms was not "
                                     "answered, so nothing is created"));
    if ((dp > 0 && dm == 0) || (tp > 0 && tm == 0))
        NOT_RUN(QStringLiteral("this schema has a SendDebugMessage or SendTraceMessage of its own, "
                               "which the check does not replace"));

    const Outcome debug = Run(&g_lda, kCreateSendDebugMessage);
    m_createdDebug = debug.ok && dp == 0;
    const Outcome trace = Run(&g_lda, kCreateSendTraceMessage);
    m_createdTrace = trace.ok && tp == 0;
    const Outcome debugSynonym = Run(&g_lda, kCreateSynonymSendDebugMessage);
    m_createdDebugSynonym = debugSynonym.ok && ds == 0;
    const Outcome traceSynonym = Run(&g_lda, kCreateSynonymSendTraceMessage);
    m_createdTraceSynonym = traceSynonym.ok && ts == 0;
    CHECK(debug.ok, QStringLiteral("CREATE PROCEDURE SendDebugMessage failed: ") + debug.text);
    CHECK(trace.ok, QStringLiteral("CREATE PROCEDURE SendTraceMessage failed: ") + trace.text);

    int valid = kUnset;
    o = Run(&g_lda, kValidBlock, {{":n", &valid, 4, SQLT_INT}});
    CHECK(o.ok, QStringLiteral("cannot look the procedures up: ") + o.text);
    CHECK(valid == 2,
          valid == kUnset
              ? QStringLiteral("the look-up of the procedures was not answered")
              : QStringLiteral("%1 of the 2 procedures compiled (see USER_ERRORS)").arg(valid));
    m_procedures = true;

    QStringList notes;
    notes << (dp > 0 ? QStringLiteral("the procedures existed and were replaced")
                     : QStringLiteral("both procedures created and valid"));
    if (!debugSynonym.ok)
        notes << QStringLiteral("note: public synonym SendDebugMessage not created (%1)")
                     .arg(debugSynonym.text);
    if (!traceSynonym.ok)
        notes << QStringLiteral("note: public synonym SendTraceMessage not created (%1)")
                     .arg(traceSynonym.text);
    m_reason = notes.join(QStringLiteral("; "));
}

void OracleCheck::plainDrainShowsHello() {
    NEED_LOGON();
    if (!m_procedures)
        NOT_RUN(QStringLiteral("needs the procedures, which generateProcedures did not install"));
    QString why;
    CHECK(SendHello(&why), why);
    LogWindow window(m_pipe, false, true);
    window.view.PollPipe();
    CHECK(window.log() == "hello\r\n" && m_boxes.count() == 0,
          QStringLiteral("the plain drain gave ") + Shown(window.log()) + ' ' + Boxes());
}

void OracleCheck::typedDrainShowsHello() {
    NEED_LOGON();
    if (!m_procedures)
        NOT_RUN(QStringLiteral("needs the procedures, which generateProcedures did not install"));
    QString why;
    CHECK(SendHello(&why), why);
    LogWindow window(m_pipe, true, true);
    window.view.PollPipe();
    const QByteArray expected = "MESSAGE:\r\nNUMBER:\t'5'\r\nVARCHAR2:\t'hello'\r\n\r\n";
    CHECK(window.log() == expected && m_boxes.count() == 0,
          QStringLiteral("the typed drain gave ") + Shown(window.log()) + ' ' + Boxes());
}

void OracleCheck::typedDateRawRowid() {
    NEED_LOGON();
    QString why;
    CHECK(SenderReady(&why), why);
    // The date as TO_CHAR gives it on the receiving session, whose defaults the block uses.
    char date[200] = {};
    Outcome o = Run(&g_lda,
                    "begin :d := TO_CHAR(TO_DATE('2026-12-07 13:45:10', 'YYYY-MM-DD "
                    "HH24:MI:SS')); end;",
                    {{":d", date, int(sizeof date), SQLT_STR}});
    CHECK(o.ok && *date, QStringLiteral("TO_CHAR of a date failed: ") + Why(o));
    Text pipe(m_pipe.toUtf8());
    o = Run(&m_senderLda, kTypedItemsBlock, {pipe.As(":p")});
    CHECK(o.ok, QStringLiteral("the second session could not send the items: ") + o.text);
    LogWindow window(m_pipe, true, true);
    window.view.PollPipe();
    const QByteArray expected = "MESSAGE:\r\nDATE:\t'" + QByteArray(date) +
                                "'\r\n\r\nMESSAGE:\r\nRAW:\t'UNKNOWN'\r\n\r\n"
                                "MESSAGE:\r\nROWID:\t'UNKNOWN'\r\n\r\n";
    CHECK(window.log() == expected && m_boxes.count() == 0,
          QStringLiteral("the typed drain gave ") + Shown(window.log()) + ' ' + Boxes() +
              QStringLiteral(", expected ") + Shown(expected));
}

void OracleCheck::tooLongTextGivesOra06502() {
    NEED_LOGON();
    QString why;
    CHECK(SenderReady(&why), why);
    const QByteArray longest(1999, 'a'), tooLong(2000, 'b');
    for (const QByteArray& text : {longest, tooLong, QByteArray("after")}) {
        const Outcome o = Send(text);
        CHECK(o.ok, QStringLiteral("the second session could not send: ") + o.text);
    }
    // What the user sees: the report, and the message before and after it in the log.
    LogWindow window(m_pipe, false, true);
    window.view.PollPipe();
    CHECK(m_boxes.count() == 1 && m_boxes.lastText().contains(QLatin1String("ORA-06502")),
          QStringLiteral("expected one report with ORA-06502, got ") + Boxes());
    CHECK(window.log() == longest + "\r\nafter\r\n",
          QStringLiteral("the plain drain gave ") + Shown(window.log()) +
              QStringLiteral(", expected the 1999 a's and \"after\""));

    // The buffer the failed unpack was given keeps what it held.
    Outcome o = Send(tooLong);
    CHECK(o.ok, QStringLiteral("the second session could not send again: ") + o.text);
    int status = kUnset, length = kUnset;
    o = Receive(&status);
    CHECK(o.ok && status == 0,
          QStringLiteral("the message was not received: status %1 ").arg(status) + Why(o));
    o = Run(&g_lda, kUnpackLengthBlock, {{":len", &length, 4, SQLT_INT}});
    CHECK(o.ok && length == 2000,
          QStringLiteral("unpacking the length gave %1 ").arg(length) + Why(o));
    QByteArray buffer(2000, 'Z');
    o = Run(&g_lda, kUnpackTextBlock, {{":chr", buffer.data(), int(buffer.size()), SQLT_STR}});
    CHECK(!o.ok && o.code == OCI_RC_VALUE_ERROR,
          o.ok ? QStringLiteral("the unpack succeeded and gave %1 bytes").arg(qstrlen(buffer))
               : QStringLiteral("the unpack failed otherwise: ") + o.text);
    CHECK(buffer == QByteArray(2000, 'Z'), QStringLiteral("the failed unpack wrote the buffer"));
}

void OracleCheck::purgeEmptiesThePipe() {
    NEED_LOGON();
    QString why;
    CHECK(SenderReady(&why), why);
    Outcome o;
    for (const char* text : {"one", "two", "three"}) {
        o = Send(text);
        CHECK(o.ok, QStringLiteral("the second session could not send: ") + o.text);
    }
    int status = kUnset;
    o = Receive(&status);
    CHECK(o.ok && status == 0,
          QStringLiteral("no message was waiting before the purge: status %1 ").arg(status) +
              Why(o));
    LogWindow window(m_pipe, false, true);
    window.view.OnPurgePipe();
    CHECK(m_boxes.count() == 0, QStringLiteral("the purge reported ") + Boxes());
    o = Receive(&status);
    CHECK(o.ok && status == 1,
          QStringLiteral("after the purge the receive gave status %1 ").arg(status) + Why(o));
    window.view.PollPipe();
    CHECK(window.log().isEmpty() && m_boxes.count() == 0,
          QStringLiteral("a drain after the purge gave ") + Shown(window.log()) + ' ' + Boxes());
}

void OracleCheck::nonAsciiRoundTrip() {
    NEED_LOGON();
    QString why;
    CHECK(SenderReady(&why), why);
    const QByteArray text = QStringLiteral("Grüße · Ωμέγα · 日本語 · €").toUtf8();
    const Outcome o = Send(text);
    CHECK(o.ok, QStringLiteral("the second session could not send: ") + o.text);
    LogWindow window(m_pipe, false, true);
    window.view.PollPipe();
    CHECK(window.log() == text + "\r\n" && m_boxes.count() == 0,
          QStringLiteral("the plain drain gave ") + Shown(window.log()) + ' ' + Boxes() +
              QStringLiteral(" (database character set %1)").arg(m_charset));
}

void OracleCheck::longErrorTextIsCut() {
    NEED_LOGON();
    // "ORA-20001: x" is 12 bytes and every following character 2, so byte 511 falls inside one.
    QByteArray text = "x";
    for (int i = 0; i < 300; ++i)
        text += "\xC3\xA9";
    {
        COciCursor cursor;
        cursor.Parse("begin raise_application_error(-20001, '" + text + "'); end;");
        cursor.Execute(TRUE);
    }
    CHECK(m_boxes.count() == 1, QStringLiteral("expected one report, got ") + Boxes());
    const QString report = m_boxes.lastText();
    const QString message = report.mid(report.indexOf(QLatin1Char('\n')) + 1);
    const qsizetype bytes = message.toUtf8().size();
    CHECK(message.startsWith(QStringLiteral("ORA-20001: x\u00e9\u00e9")),
          QStringLiteral("the report lacks the raised text: ") + report);
    CHECK(!message.contains(QChar::ReplacementCharacter),
          QStringLiteral("a character was broken: ") + message.right(20));
    CHECK(bytes <= 511 && bytes >= 508,
          QStringLiteral("the message is %1 bytes, expected it cut to 508..511").arg(bytes));
    m_reason = QStringLiteral("%1 bytes").arg(bytes);
}

// The same messages drained with read-ahead and without, in both receiving modes: the log and
// the reports must be the same bytes. Each run logs on anew, since a session reads the switch
// when it starts.
void OracleCheck::readAheadMatchesPerStatement() {
    NEED_LOGON();
    QString why;
    CHECK(SenderReady(&why), why);
    struct Restore {
        ~Restore() { qunsetenv("TIDEMARK_READ_AHEAD"); }
    } restore;
    // The block itself first: a server that refuses it leaves the driver one statement per
    // step, and both runs below would then be the same for that reason alone.
    {
        Text pipe(m_pipe.toUtf8()), hold("0");
        int most = 1, room = ocidrv::ora::kReceiveRoom, cap = ocidrv::ora::kReplyCapBytes;
        QByteArray reply(ocidrv::ora::kReplyBufferBytes, '\0');
        const Outcome o = Run(&g_lda, QByteArray::fromStdString(ocidrv::ora::ReadAheadBlock()),
                              {pipe.As(":tm_pipe"),
                               hold.As(":tm_hold"),
                               {":tm_max", &most, 4, SQLT_INT},
                               {":tm_room", &room, 4, SQLT_INT},
                               {":tm_cap", &cap, 4, SQLT_INT},
                               {":tm_buf", reply.data(), int(reply.size()), SQLT_STR}});
        CHECK(o.ok, QStringLiteral("the server refuses the read-ahead block: ") + o.text);
        CHECK(reply.startsWith("TM1|S1|Z"),
              QStringLiteral("the read-ahead block on the empty pipe answered ") +
                  Shown(reply.left(int(qstrlen(reply.constData())))));
    }
    QByteArray logs[2];
    QString boxes[2];
    int failedLogOn = -1;
    for (int on = 0; on < 2; ++on) {
        qputenv("TIDEMARK_READ_AHEAD", on ? "on" : "off");
        if (OciLogon(m_user.constData(), m_password.constData(), m_connect.constData()) != 1) {
            failedLogOn = on;
            break;
        }
        m_boxes.clear();
        for (bool typed : {false, true}) {
            Text pipe(m_pipe.toUtf8());
            const Outcome o = Run(&m_senderLda, kCorpusBlock, {pipe.As(":p")});
            CHECK(o.ok, QStringLiteral("the second session could not send: ") + o.text);
            LogWindow window(m_pipe, typed, true);
            window.view.PollPipe();
            // Whatever the drain left for its next piece.
            QTest::qWait(200);
            logs[on] += window.log();
        }
        boxes[on] = Boxes();
    }
    qunsetenv("TIDEMARK_READ_AHEAD");
    const bool again =
        OciLogon(m_user.constData(), m_password.constData(), m_connect.constData()) == 1;
    m_loggedOn = again;
    CHECK(failedLogOn < 0, QStringLiteral("the log-on with read-ahead %1 failed: ")
                                   .arg(failedLogOn == 1 ? "on" : "off") +
                               Boxes());
    CHECK(again, QStringLiteral("the log-on after the case failed: ") + Boxes());
    CHECK(logs[0].contains("hello") && logs[0].contains("last"),
          QStringLiteral("without read-ahead the drains gave ") + Shown(logs[0]));
    CHECK(logs[1] == logs[0], QStringLiteral("the logs differ: with read-ahead ") + Shown(logs[1]) +
                                  QStringLiteral(", without ") + Shown(logs[0]));
    CHECK(boxes[1] == boxes[0], QStringLiteral("the reports differ: with read-ahead ") + boxes[1] +
                                    QStringLiteral(", without ") + boxes[0]);
    m_reason = QStringLiteral("%1 bytes of log, %2 reports alike")
                   .arg(logs[0].size())
                   .arg(boxes[0].count(QLatin1Char('[')));
}

void OracleCheck::cleanUp() {
    NEED_LOGON();
    QStringList done, failures;
    LogWindow window(m_pipe);
    const Outcome purged = Run(&g_lda, window.view.PurgeBlock());
    (purged.ok ? done : failures) << QStringLiteral("purge ") + m_pipe + ' ' + purged.text;
    const struct {
        bool created;
        const char* statement;
    } drops[] = {
        {m_createdTraceSynonym, "DROP PUBLIC SYNONYM SendTraceMessage"},
        {m_createdDebugSynonym, "DROP PUBLIC SYNONYM SendDebugMessage"},
        {m_createdTrace, "DROP PROCEDURE SendTraceMessage"},
        {m_createdDebug, "DROP PROCEDURE SendDebugMessage"},
    };
    for (const auto& drop : drops) {
        if (!drop.created)
            continue;
        const Outcome o = Run(&g_lda, drop.statement);
        (o.ok ? done : failures) << QLatin1String(drop.statement) + ' ' + o.text;
    }
    CHECK(failures.isEmpty(), failures.join(QStringLiteral("; ")));
    m_reason = done.join(QStringLiteral("; ")).trimmed();
}

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

#include "oraclecheck.moc"
