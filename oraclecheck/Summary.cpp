// The Oracle check's fixture: the empty pipe before each case, the verdict after it, the
// summary, and the second session's sending.
#include "OracleCheck.h"

#include "CheckTexts.h"
#include "LogWindow.h"
#include "Logon.h"

#include <cstdio>
#include <iterator>

using namespace oraclecheck;

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
    // What only a real server can tell, said plainly for a report.
    out += QStringLiteral("typed item block: %1\n").arg(OneLine(m_typedBlock));
    out += QStringLiteral("read-ahead block: %1\n").arg(OneLine(m_readAheadBlock));
    for (std::size_t i = 0; i < std::size(kTypedItems); ++i) {
        const Answers& a = m_items[i];
        const QString kind = QLatin1String(kTypedItems[i].kind) + QStringLiteral(" item:");
        out +=
            a.perStatement == a.readAhead
                ? QStringLiteral("%1 %2 (the same on both paths)\n")
                      .arg(kind.leftJustified(11), OneLine(a.perStatement))
                : QStringLiteral("%1 one statement per step: %2; read ahead: %3\n")
                      .arg(kind.leftJustified(11), OneLine(a.perStatement), OneLine(a.readAhead));
    }
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
    const Outcome o = Run(&m_senderLda, kSendHelloBlock, {hello.As(":t"), pipe.As(":p")});
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
