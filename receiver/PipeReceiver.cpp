// The pipe receiver. Parts: item prefixes and a message's text; the reporter that shows the
// message so far before a report; receiving one message; plain mode; typed mode; purge; the
// held messages before Abort.
#include "PipeReceiver.h"

#include "PlsqlTexts.h"

#include <QStringDecoder>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace {
// External datatypes of the binds.
constexpr short kInteger = SQLT_INT;
constexpr short kString = SQLT_STR;
constexpr int kIgnore = 5; // IDIGNORE

QString prefixFor(int type) {
    switch (type) {
    case kItemNumber:
        return QStringLiteral("NUMBER:\t");
    case kItemVarchar2:
        return QStringLiteral("VARCHAR2:\t");
    case kItemRowid:
        return QStringLiteral("ROWID:\t");
    case kItemDate:
        return QStringLiteral("DATE:\t");
    case kItemRaw:
        return QStringLiteral("RAW:\t");
    default:
        return QString();
    }
}

// Items the typed item block takes off the message, so that the next item follows. A timestamp
// or a record (orafce's own types) comes with its text; one without it was left on the message.
bool isShownItem(int type, const char* text) {
    switch (type) {
    case kItemNumber:
    case kItemVarchar2:
    case kItemRowid:
    case kItemDate:
    case kItemRaw:
        return true;
    case kItemTimestamp:
    case kItemRecord:
        return text[0] != '\0';
    default:
        return false;
    }
}

// A message's text as it came, a byte-order mark at its start included.
template <std::size_t N> QString textOf(const std::array<char, N>& buffer) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return utf8.decode(QByteArrayView(buffer.data(), qsizetype(strnlen(buffer.data(), N))));
}
} // namespace

CPipeReceiver::CPipeReceiver(Lda_Def& lda, CMessageSink& sink, CErrorReporter& errors)
    : m_lda(lda), m_sink(sink), m_errors(errors) {}

void CPipeReceiver::Reporter::BeforeReport() {
    ++m_receiver.m_nReports;
    ReceivedMessage* current = m_receiver.m_pCurrent;
    if (current && current->logText.size() > current->shownBefore) {
        m_receiver.m_sink.OnMessageSoFar(*current);
        current->shownBefore = current->logText.size();
    }
}

int CPipeReceiver::Reporter::ReportError(const QString& text) {
    if (m_receiver.m_bSilent)
        return kIgnore;
    BeforeReport();
    return m_receiver.m_errors.ReportError(text);
}

void CPipeReceiver::Reporter::ReportWarning(const QString& text) {
    if (m_receiver.m_bSilent)
        return;
    BeforeReport();
    m_receiver.m_errors.ReportWarning(text);
}

CCallCursor& CPipeReceiver::Cursor() {
    if (!m_cursor)
        m_cursor.emplace(m_lda, m_reporter);
    return *m_cursor;
}

int CPipeReceiver::HeldMessages() {
    return Cursor().HeldMessages(m_settings.pipe.toUtf8().constData());
}

CPipeReceiver::Result CPipeReceiver::ReceiveOne(int timeoutSeconds) {
    CCallCursor& cursor = Cursor();
    const QByteArray pipe = m_settings.pipe.toUtf8();
    const int held = cursor.HeldMessages(pipe.constData());
    if (held == 0) {
        m_sink.OnBatchShown(); // a batch is shown: on the disk before the next round trip
        if (m_bHeldOnly)
            return Result::Empty;
    }
    // A receive that fails sets nothing: it must not be taken for a message.
    std::int32_t status = 1;
    short indicator = 0;
    const std::string receive = ReceiveBlock(pipe.toStdString(), timeoutSeconds);
    cursor.Parse(receive.c_str());
    cursor.Bind(":sta", &status, sizeof status, kInteger, &indicator);
    const bool executed = cursor.Execute();
    if (status != 0) {
        if (executed)
            return Result::Empty;
        return cursor.Lost() ? Result::Lost : Result::ReceiveFailed;
    }

    ReceivedMessage message;
    message.received = QDateTime::currentDateTime();
    message.pipe = m_settings.pipe;
    message.typed = m_settings.typed;
    m_pCurrent = &message;
    const bool read =
        m_settings.typed ? ReceiveTyped(cursor, message) : ReceivePlain(cursor, message);
    m_pCurrent = nullptr;
    if (!read)
        return Result::MessageFailed;
    m_sink.OnMessage(message);
    return Result::Received;
}

void CPipeReceiver::AddLogText(ReceivedMessage& message, const QString& text) const {
    message.logText += text;
    if (m_settings.lf)
        message.logText += QStringLiteral("\r\n");
}

// The sending procedures' convention: the text's length (not used), then the text.
bool CPipeReceiver::ReceivePlain(CCallCursor& cursor, ReceivedMessage& message) {
    std::int32_t length = 0;
    std::array<char, 2000> text{};
    short indicator = 0;
    cursor.Parse(kUnpackLengthBlock);
    cursor.Bind(":len", &length, sizeof length, kInteger, &indicator);
    cursor.Execute();

    cursor.Parse(kUnpackTextBlock);
    cursor.Bind(":chr", text.data(), int(text.size()), kString, &indicator);
    // A text that could not be unpacked has been reported; there is nothing to show.
    if (!cursor.Execute())
        return false;
    message.text = textOf(text);
    AddLogText(message, message.text);
    return true;
}

// Item by item until the message has no further item; a failed item ends the message, which
// is still shown as far as it came.
bool CPipeReceiver::ReceiveTyped(CCallCursor& cursor, ReceivedMessage& message) {
    std::int32_t type = 0;
    std::array<char, 30000>& value = *m_value;
    short indicator = 0;
    AddLogText(message, QStringLiteral("MESSAGE:"));
    for (;;) {
        // A failed execution leaves these as they are: it then ends the message.
        type = kItemNone;
        value[0] = '\0';
        cursor.Parse(kTypedItemBlock);
        cursor.Bind(":v_typ", &type, sizeof type, kInteger, &indicator);
        cursor.Bind(":v_res", value.data(), int(value.size()), kString, &indicator);
        cursor.Execute();
        if (type == kItemNone)
            break;
        // The block cannot take an item of another type off the message, so asking again
        // would give the same item for ever: such an item ends the message, and the user
        // learns that something of it is not shown.
        if (!isShownItem(type, value.data())) {
            m_reporter.ReportWarning(QStringLiteral("An item of type %1 cannot be shown.\nThe "
                                                    "rest of this message is not shown.")
                                         .arg(type));
            break;
        }
        const QString text = textOf(value);
        message.items.push_back({type, text});
        AddLogText(message, prefixFor(type) + QLatin1Char('\'') + text + QLatin1Char('\''));
    }
    AddLogText(message, QString());
    return true;
}

bool CPipeReceiver::Purge() {
    const std::string purge = PurgeBlock(m_settings.pipe.toStdString());
    CCallCursor& cursor = Cursor();
    return cursor.Parse(purge.c_str()) && cursor.Execute();
}

// The message that failed goes as it went before messages were read ahead, but those the
// log-on holds behind it would go with the process. They are turned into text as Ignore would
// (a failing step is passed over, no report is made) and given to the sink.
void CPipeReceiver::FinishHeldBeforeAbort() {
    m_bSilent = true;
    m_bHeldOnly = true;
    for (;;) {
        const Result result = ReceiveOne(0);
        if (result != Result::Received && result != Result::MessageFailed)
            break;
    }
}
