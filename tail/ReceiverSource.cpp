// tidemark-tail's source: the receiver on a log-on of its own. A receive waits at the server
// (about a second, as the run asks), so a message shows as soon as it is sent and an idle pipe
// costs one round trip a wait. Within kRefillWaitMs of a message it does not: the driver's
// read-ahead then takes the rest of a burst in one round trip, and a sender blocked on the full
// pipe, which sends again some milliseconds after it empties, is looked for every kRecheckMs as
// the window's drain does (a wait at the server would take one message a round trip).
#include "CallErrorText.h"
#include "PipeDrain.h"
#include "PipeReceiver.h"
#include "TailSource.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <array>
#include <thread>

namespace {
constexpr int kIgnore = 5; // IDIGNORE
constexpr auto kRecheck = std::chrono::milliseconds(CPipeDrain::kRecheckMs);

class CReceiverSource : public CTailSource, private CMessageSink, private CErrorReporter {
public:
    CReceiverSource(const TailConnection& connection, CErrorReporter& errors)
        : m_connection(connection), m_errors(errors), m_receiver(m_lda, *this, *this) {
        m_receiver.SetSettings({connection.pipe, connection.typed, connection.lf});
    }

    ~CReceiverSource() override {
        m_receiver.CloseCursor();
        ologof(&m_lda);
    }
    CReceiverSource(const CReceiverSource&) = delete;
    CReceiverSource& operator=(const CReceiverSource&) = delete;

    bool Connect() override {
        m_receiver.CloseCursor();
        m_bLostReported = false;
        const QByteArray user = m_connection.user.toUtf8();
        const QByteArray password = m_connection.password.toUtf8();
        const QByteArray connect = m_connection.connect.toUtf8();
        if (olog(&m_lda, m_hda.data(), user.constData(), -1, password.constData(), -1,
                 connect.constData(), -1, 0) != 0) {
            m_errors.ReportError(CallErrorText(m_lda, m_lda));
            return false;
        }
        m_sinceMessage.start(); // the first look does not wait
        return true;
    }

    bool Purge() override { return m_receiver.Purge(); }

    Result Next(int timeoutMs, ReceivedMessage& message) override {
        const QDeadlineTimer deadline(timeoutMs);
        while (m_sinceMessage.isValid() && !m_sinceMessage.hasExpired(CPipeDrain::kRefillWaitMs)) {
            const Result result = Receive(0, message);
            if (result != Result::Empty || deadline.hasExpired())
                return result;
            std::this_thread::sleep_for(kRecheck);
        }
        const qint64 left = deadline.remainingTime();
        return Receive(left > 0 ? int((left + 999) / 1000) : 0, message);
    }

    void StopTaking() override { m_receiver.StopTaking(); }

private:
    Result Receive(int seconds, ReceivedMessage& message) {
        m_pOut = &message;
        const CPipeReceiver::Result result = m_receiver.ReceiveOne(seconds);
        m_pOut = nullptr;
        switch (result) {
        case CPipeReceiver::Result::Received:
            m_sinceMessage.start();
            return Result::Received;
        case CPipeReceiver::Result::Empty:
            return Result::Empty;
        case CPipeReceiver::Result::MessageFailed:
            return Result::MessageFailed;
        case CPipeReceiver::Result::ReceiveFailed:
            return Result::ReceiveFailed;
        case CPipeReceiver::Result::Lost:
            break;
        }
        return Result::Lost;
    }

    void OnMessage(const ReceivedMessage& message) override {
        if (m_pOut)
            *m_pOut = message;
    }
    // A lost connection fails every later step of the message too: it is reported once.
    int ReportError(const QString& text) override {
        const bool lost = m_receiver.Lost();
        if (lost && m_bLostReported)
            return kIgnore;
        m_bLostReported = lost;
        return m_errors.ReportError(text);
    }
    void ReportWarning(const QString& text) override { m_errors.ReportWarning(text); }

    TailConnection m_connection;
    CErrorReporter& m_errors;
    Lda_Def m_lda{};
    std::array<unsigned char, 256> m_hda{};
    CPipeReceiver m_receiver;
    ReceivedMessage* m_pOut = nullptr;
    QElapsedTimer m_sinceMessage; // since the last message taken
    bool m_bLostReported = false;
};
} // namespace

std::unique_ptr<CTailSource> MakeReceiverSource(const TailConnection& connection,
                                                CErrorReporter& errors) {
    return std::make_unique<CReceiverSource>(connection, errors);
}
