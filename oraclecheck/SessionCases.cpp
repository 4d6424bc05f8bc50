// The Oracle check's cases of the session: the client library, the log-on in both forms,
// the receive on an empty pipe, the typed item block, Generate Procedures, the cut of a long
// error text and the clean-up.
#include "OracleCheck.h"

#include "CheckTexts.h"
#include "LogWindow.h"
#include "Logon.h"
#include "PlsqlTexts.h"

#include <QDir>

#include <iterator>

using namespace oraclecheck;

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
    const Outcome o = Run(&m_otherLda, kDbNameBlock, {{":n", name, int(sizeof name), SQLT_STR}});
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

// The typed item block on its own, with no message received: it has no item to give, so a
// server that compiles it sets :v_typ to 0. One that refuses it (an UNPACK_MESSAGE overload
// it does not have) refuses it for every item, and typed mode cannot work there at all.
void OracleCheck::typedItemBlockCompiles() {
    NEED_LOGON();
    int type = kUnset;
    char result[2000] = "untouched";
    const Outcome o =
        Run(&g_lda, kTypedItemBlock,
            {{":v_typ", &type, 4, SQLT_INT}, {":v_res", result, int(sizeof result), SQLT_STR}});
    m_typedBlock = !o.ok            ? QStringLiteral("refused: ") + o.text
                   : type == kUnset ? QStringLiteral("ran, but :v_typ was not written")
                                    : QStringLiteral("compiled (no item: type %1)").arg(type);
    CHECK(o.ok, QStringLiteral("the server refuses the typed item block: ") + o.text);
    CHECK(type == 0, m_typedBlock);
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

void OracleCheck::longErrorTextIsCut() {
    NEED_LOGON();
    // "ORA-20001: x" is 12 bytes and every following character 2, so byte 511 falls inside one.
    QByteArray text = "x";
    for (int i = 0; i < 300; ++i)
        text += "\xC3\xA9";
    {
        COciCursor cursor;
        cursor.Parse(RaiseBlock(text.toStdString()).c_str());
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

void OracleCheck::cleanUp() {
    NEED_LOGON();
    QStringList done, failures;
    LogWindow window(m_pipe);
    const Outcome purged = Run(&g_lda, window.view.PurgeBlock());
    (purged.ok ? done : failures) << QStringLiteral("purge ") + m_pipe + ' ' + purged.text;
    // In the order of kDrops.
    const bool created[] = {m_createdTraceSynonym, m_createdDebugSynonym, m_createdTrace,
                            m_createdDebug};
    static_assert(std::size(created) == std::size(kDrops));
    for (std::size_t i = 0; i < std::size(kDrops); ++i) {
        if (!created[i])
            continue;
        const Outcome o = Run(&g_lda, kDrops[i]);
        (o.ok ? done : failures) << QLatin1String(kDrops[i]) + ' ' + o.text;
    }
    CHECK(failures.isEmpty(), failures.join(QStringLiteral("; ")));
    m_reason = done.join(QStringLiteral("; ")).trimmed();
}
