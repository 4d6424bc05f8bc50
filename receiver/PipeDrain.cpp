// The drain's pieces and their states (DrainPiece, StateAfterPiece, SetDrainState) and the
// receive that may end a piece (ReceiveMessage).
#include "PipeDrain.h"

// Leaves the drain idle when a piece is left by an exception. A failure while the piece's text
// is put out is swallowed there, since a destructor must not throw.
class CPipeDrain::DrainGuard {
public:
    explicit DrainGuard(CPipeDrain& drain) : m_drain(drain) {}
    ~DrainGuard() {
        m_drain.m_receiver.CloseCursor();
        if (m_bDone)
            return;
        try {
            m_drain.SetDrainState(DrainState::Idle);
        } catch (...) {
        }
    }
    void Done() { m_bDone = true; }
    DrainGuard(const DrainGuard&) = delete;
    DrainGuard& operator=(const DrainGuard&) = delete;

private:
    CPipeDrain& m_drain;
    bool m_bDone = false;
};

CPipeDrain::CPipeDrain(CPipeReceiver& receiver, std::function<ReceiverSettings()> settings,
                       std::function<void()> pieceEnded)
    : m_receiver(receiver), m_settings(std::move(settings)), m_pieceEnded(std::move(pieceEnded)) {
    // One timer for every continuation: a drain can never have two next pieces pending.
    m_continuation.setSingleShot(true);
    m_continuation.setTimerType(Qt::PreciseTimer);
    connect(&m_continuation, &QTimer::timeout, this, [this] {
        if (m_drainState == DrainState::ContinuationPending ||
            m_drainState == DrainState::AwaitingRefill)
            DrainPiece();
    });
}

void CPipeDrain::Poll() {
    // A poll that comes in through one of a piece's reports leaves the pipe to that piece. A
    // drain that waits for its next piece runs it now: still one drain, one next piece.
    if (m_drainState == DrainState::Draining)
        return;
    DrainPiece();
}

// One piece of a drain: messages until the pipe is empty or the piece's time is up.
void CPipeDrain::DrainPiece() {
    SetDrainState(DrainState::Draining);
    {
        DrainGuard guard(*this);
        m_receiver.SetSettings(m_settings());
        while (ReceiveMessage()) {
        }
        guard.Done();
    }
    SetDrainState(StateAfterPiece());
}

CPipeDrain::DrainState CPipeDrain::StateAfterPiece() const {
    switch (m_pieceEnd) {
    case PieceEnd::TimeUp:
        return DrainState::ContinuationPending;
    case PieceEnd::Failed:
        // Looking again would only show the same failure again.
        return DrainState::Idle;
    case PieceEnd::Empty:
        break;
    }
    if (m_nPieceMessages > 0)
        return DrainState::AwaitingRefill;
    // A drain that received nothing ends at once; one that did waits for a refill a while.
    return m_sinceMessages.isValid() && !m_sinceMessages.hasExpired(kRefillWaitMs)
               ? DrainState::AwaitingRefill
               : DrainState::Idle;
}

void CPipeDrain::SetDrainState(DrainState next) {
    // The wait for a refill counts from the end of the last piece that received messages.
    if (m_drainState == DrainState::Draining && m_nPieceMessages > 0)
        m_sinceMessages.start();
    m_drainState = next;
    switch (next) {
    case DrainState::Draining:
        m_continuation.stop();
        m_nPieceMessages = 0;
        m_pieceEnd = PieceEnd::Empty;
        m_pieceTime.start();
        m_nReportsSeen = m_receiver.Reports();
        break;
    case DrainState::ContinuationPending:
        // Senders that keep the pipe full would hold the drain, and the window with it, for as
        // long as they send: the window's events are handled first, then the drain goes on.
        m_continuation.start(0);
        m_pieceEnded();
        break;
    case DrainState::AwaitingRefill:
        m_continuation.start(kRecheckMs);
        m_pieceEnded();
        break;
    case DrainState::Idle:
        m_sinceMessages.invalidate();
        m_pieceEnded();
        break;
    }
}

// Takes one message; false when the piece ends here.
//
// Messages the log-on has taken ahead of their receives have left the server's pipe: nothing
// but this drain would ever show them. So a piece never ends on its time while the log-on
// holds any (they cost no round trip: a batch is shown within milliseconds), and whatever
// ends or redirects the drain between pieces (Exit, New, Options, Purge) never meets one.
bool CPipeDrain::ReceiveMessage() {
    // A report's box handles the window's events while it is open: the piece's time starts
    // anew.
    if (m_receiver.Reports() != m_nReportsSeen)
        m_pieceTime.start();
    m_nReportsSeen = m_receiver.Reports();
    if (m_nPieceMessages > 0 && m_pieceTime.hasExpired(kPieceMs) &&
        m_receiver.HeldMessages() == 0) {
        m_pieceEnd = PieceEnd::TimeUp; // the rest is for the next piece
        return false;
    }
    switch (m_receiver.ReceiveOne(0)) {
    case CPipeReceiver::Result::Received:
    case CPipeReceiver::Result::MessageFailed:
        ++m_nPieceMessages;
        return true;
    case CPipeReceiver::Result::Empty:
        m_pieceEnd = PieceEnd::Empty;
        return false;
    case CPipeReceiver::Result::ReceiveFailed:
    case CPipeReceiver::Result::Lost:
        m_pieceEnd = PieceEnd::Failed;
        return false;
    }
    return false;
}
