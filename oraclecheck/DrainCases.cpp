// The Oracle check's drains: the receiver and the log window against the server, plain and
// typed, at the receiver's limits, after a purge and with text beyond ASCII.
#include "OracleCheck.h"

#include "CheckTexts.h"
#include "LogWindow.h"
#include "Logon.h"
#include "PlsqlTexts.h"

using namespace oraclecheck;

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
