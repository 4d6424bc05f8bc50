// The Oracle check's comparison of the driver's two paths: one statement per step, and the
// messages of a pipe read ahead in one round trip. Where nobody here knows what the server
// answers (RAW and ROWID items), the check records what each path showed and fails only when
// the two differ.
#include "OracleCheck.h"

#include "CheckTexts.h"
#include "LogWindow.h"
#include "Logon.h"
#include "drivers/oracleclient/OciReadAhead.h"

using namespace oraclecheck;

bool OracleCheck::LogOnWithReadAhead(bool on) {
    qputenv("TIDEMARK_READ_AHEAD", on ? "on" : "off");
    return OciLogon(m_user.constData(), m_password.constData(), m_connect.constData()) == 1;
}

QString OracleCheck::TypedDrainOf(const char* block) {
    m_boxes.clear();
    Text pipe(m_pipe.toUtf8());
    const Outcome o = Run(&m_senderLda, block, {pipe.As(":p")});
    if (!o.ok)
        return QStringLiteral("(not sent: ") + o.text + ')';
    LogWindow window(m_pipe, true, true);
    window.drain();
    return Shown(window.log()) + ' ' + Boxes();
}

// A message of one DATE, RAW or ROWID item through a typed drain, on each path. The DATE must
// show as TO_CHAR gives it; what RAW and ROWID give is recorded for the summary.
void OracleCheck::typedDateRawRowid() {
    NEED_LOGON();
    QString why;
    CHECK(SenderReady(&why), why);
    char date[200] = {};
    const Outcome o = Run(&g_lda, kDateBlock, {{":d", date, int(sizeof date), SQLT_STR}});
    CHECK(o.ok && *date, QStringLiteral("TO_CHAR of a date failed: ") + Why(o));
    struct Restore {
        ~Restore() { qunsetenv("TIDEMARK_READ_AHEAD"); }
    } restore;
    int failedLogOn = -1;
    for (int on = 0; on < 2 && failedLogOn < 0; ++on) {
        if (!LogOnWithReadAhead(on)) {
            failedLogOn = on;
            break;
        }
        for (std::size_t i = 0; i < std::size(kTypedItems); ++i)
            (on ? m_items[i].readAhead : m_items[i].perStatement) =
                TypedDrainOf(kTypedItems[i].block);
    }
    qunsetenv("TIDEMARK_READ_AHEAD");
    m_loggedOn = OciLogon(m_user.constData(), m_password.constData(), m_connect.constData()) == 1;
    CHECK(failedLogOn < 0, QStringLiteral("the log-on with read-ahead %1 failed: ")
                                   .arg(failedLogOn == 1 ? "on" : "off") +
                               Boxes());
    CHECK(m_loggedOn, QStringLiteral("the log-on after the case failed: ") + Boxes());
    QStringList differ, seen;
    for (std::size_t i = 0; i < std::size(kTypedItems); ++i) {
        const QString kind = QLatin1String(kTypedItems[i].kind);
        if (m_items[i].perStatement != m_items[i].readAhead)
            differ << kind + QStringLiteral(": one statement per step ") + m_items[i].perStatement +
                          QStringLiteral(", read ahead ") + m_items[i].readAhead;
        seen << kind + QStringLiteral(" ") + m_items[i].perStatement;
    }
    CHECK(differ.isEmpty(), QStringLiteral("the two paths differ: ") + differ.join("; "));
    const QString expectedDate =
        Shown("MESSAGE:\r\nDATE:\t'" + QByteArray(date) + "'\r\n\r\n") + QStringLiteral(" no box");
    CHECK(m_items[0].perStatement == expectedDate,
          QStringLiteral("the DATE item gave ") + m_items[0].perStatement +
              QStringLiteral(", expected ") + expectedDate);
    m_reason = seen.join(QStringLiteral("; "));
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
        const QString answer = Shown(reply.left(int(qstrlen(reply.constData()))));
        m_readAheadBlock =
            !o.ok ? QStringLiteral("refused: ") + o.text
            : reply.startsWith("TM1|S1|Z")
                ? QStringLiteral("accepted")
                : QStringLiteral("accepted, but on the empty pipe it answered ") + answer;
        CHECK(o.ok, QStringLiteral("the server refuses the read-ahead block: ") + o.text);
        CHECK(reply.startsWith("TM1|S1|Z"),
              QStringLiteral("the read-ahead block on the empty pipe answered ") + answer);
    }
    QByteArray logs[2];
    QString boxes[2];
    int failedLogOn = -1;
    for (int on = 0; on < 2; ++on) {
        if (!LogOnWithReadAhead(on)) {
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
