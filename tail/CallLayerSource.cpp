// A stand-in for the receiver room: the simplest honest receive loop through the call layer, so
// that tidemark-tail works end to end until it runs on the receiver the window uses. The room's
// CPipeReceiver replaces this file: Connect and Purge stay, Next becomes its ReceiveOne, and the
// decoding below (the window's text for a message) is the room's own.
#include "CallError.h"
#include "Oci.h"
#include "PlsqlTexts.h"
#include "TailSource.h"

#include <QStringDecoder>
#include <array>
#include <cstdint>
#include <cstring>

namespace {
struct CursorCloser {
    void operator()(Cda_Def* cursor) const {
        oclose(cursor);
        delete cursor;
    }
};
using Cursor = std::unique_ptr<Cda_Def, CursorCloser>;

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

bool isUnpackedType(int type) {
    return type == kItemNumber || type == kItemVarchar2 || type == kItemRowid ||
           type == kItemDate || type == kItemRaw;
}

template <std::size_t N> QString textOf(const std::array<char, N>& buffer) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return utf8.decode(QByteArrayView(buffer.data(), qsizetype(strnlen(buffer.data(), N))));
}

class CCallLayerSource : public CTailSource {
public:
    CCallLayerSource(const TailConnection& connection, CErrorReporter& errors)
        : m_connection(connection), m_errors(errors),
          m_pipe(m_connection.pipe.toUtf8().replace('\'', "''")) {}

    bool Connect() override {
        m_cursor.reset();
        m_lost = false;
        const QByteArray user = m_connection.user.toUtf8();
        const QByteArray password = m_connection.password.toUtf8();
        const QByteArray connect = m_connection.connect.toUtf8();
        if (olog(&m_lda, m_hda.data(), user.constData(), -1, password.constData(), -1,
                 connect.constData(), -1, 0) != 0) {
            report(m_lda);
            return false;
        }
        Cursor cursor(new Cda_Def{});
        if (oopen(cursor.get(), &m_lda, nullptr, -1, -1, nullptr, -1) != 0) {
            report(*cursor);
            return false;
        }
        m_cursor = std::move(cursor);
        m_waitAtServer = false;
        return true;
    }

    bool Purge() override { return run("begin dbms_pipe.purge('" + m_pipe + "'); end;", {}); }

    Result Next(int timeoutMs, ReceivedMessage& message) override {
        if (!m_cursor)
            return Result::Lost;
        if (m_stopped && oheld(m_cursor.get(), m_pipe.constData(), -1) == 0)
            return Result::Empty;
        // After an empty look the next receive waits at the server; after a message it does
        // not, so that the driver's read-ahead takes the rest of a burst in one round trip.
        const int seconds = m_waitAtServer && !m_stopped ? (timeoutMs + 999) / 1000 : 0;
        std::int32_t status = 1;
        short indicator = 0;
        const QByteArray receive = "begin :sta := dbms_pipe.receive_message('" + m_pipe + "', " +
                                   QByteArray::number(seconds) + "); end;";
        if (!run(receive, {{":sta", &status, sizeof status, SQLT_INT, &indicator}}))
            return m_lost ? Result::Lost : Result::ReceiveFailed;
        if (status != 0) {
            m_waitAtServer = timeoutMs > 0;
            return Result::Empty;
        }
        m_waitAtServer = false;
        message = ReceivedMessage{};
        message.received = QDateTime::currentDateTime();
        message.pipe = m_connection.pipe;
        message.typed = m_connection.typed;
        const bool read = m_connection.typed ? readTyped(message) : readPlain(message);
        if (m_lost)
            return Result::Lost;
        return read ? Result::Received : Result::MessageFailed;
    }

    void StopTaking() override { m_stopped = true; }

private:
    struct Bind {
        const char* name;
        void* buffer;
        int length;
        int type;
        short* indicator;
    };

    bool run(const QByteArray& statement, std::initializer_list<Bind> binds) {
        if (oparse(m_cursor.get(), statement.constData(), -1, 1, 2) != 0)
            return report(*m_cursor);
        for (const Bind& b : binds)
            if (obndrv(m_cursor.get(), b.name, -1, b.buffer, b.length, b.type, -1, b.indicator,
                       nullptr, -1, -1) != 0)
                return report(*m_cursor);
        if (oexec(m_cursor.get()) != 0)
            return report(*m_cursor);
        return true;
    }

    bool report(const Cda_Def& area) {
        std::array<char, 512> text{};
        oerhms(&m_lda, area.rc, text.data(), int(text.size()));
        m_errors.ReportError(CallErrorText(area.fc, QString::fromUtf8(text.data())));
        if (area.rc == OCI_RC_LOST_CONNECTION || area.rc == OCI_RC_NOT_CONNECTED) {
            m_lost = true;
            m_cursor.reset();
        }
        return false;
    }

    bool readPlain(ReceivedMessage& message) {
        std::int32_t length = 0;
        short indicator = 0;
        // As the window: a length that cannot be read is reported, and the text still shown.
        run("begin dbms_pipe.unpack_message(:len); end;",
            {{":len", &length, sizeof length, SQLT_INT, &indicator}});
        if (m_lost)
            return false;
        m_text[0] = '\0';
        if (!run("begin dbms_pipe.unpack_message(:chr); end;",
                 {{":chr", m_text.data(), int(m_text.size()), SQLT_STR, &indicator}}))
            return false;
        message.text = textOf(m_text);
        message.logText = m_connection.lf ? message.text + QStringLiteral("\r\n") : message.text;
        return true;
    }

    // As the window: a failed item ends the message, which is still shown.
    bool readTyped(ReceivedMessage& message) {
        const QString lineEnd = m_connection.lf ? QStringLiteral("\r\n") : QString();
        message.logText = QStringLiteral("MESSAGE:") + lineEnd;
        for (;;) {
            std::int32_t type = kItemNone;
            short indicator = 0;
            m_value[0] = '\0';
            run(kTypedItemBlock,
                {{":v_typ", &type, sizeof type, SQLT_INT, &indicator},
                 {":v_res", m_value.data(), int(m_value.size()), SQLT_STR, &indicator}});
            if (type == kItemNone || m_lost)
                break;
            const QString value = textOf(m_value);
            message.items.push_back({type, value});
            message.logText +=
                prefixFor(type) + QLatin1Char('\'') + value + QLatin1Char('\'') + lineEnd;
            if (!isUnpackedType(type))
                break;
        }
        message.logText += lineEnd;
        return true;
    }

    TailConnection m_connection;
    CErrorReporter& m_errors;
    QByteArray m_pipe; // as the text of a quoted literal
    Lda_Def m_lda{};
    std::array<unsigned char, 256> m_hda{};
    Cursor m_cursor;
    bool m_waitAtServer = false;
    bool m_stopped = false;
    bool m_lost = false;
    std::array<char, 2000> m_text{};
    std::array<char, 30000> m_value{};
};
} // namespace

std::unique_ptr<CTailSource> MakeCallLayerSource(const TailConnection& connection,
                                                 CErrorReporter& errors) {
    return std::make_unique<CCallLayerSource>(connection, errors);
}
