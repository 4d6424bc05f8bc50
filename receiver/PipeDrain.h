#pragma once
// The drain: what a poll of the log window runs. It receives until the pipe is empty, in
// pieces of about kPieceMs between which the window handles its events, and after a drain that
// received messages looks again for a while for the rest of a burst. The window's timer, its
// Start and Purge commands, and where the text goes are the front end's; the drain's states and
// pieces are here.
#include "PipeReceiver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

class CPipeDrain : public QObject {
    Q_OBJECT
public:
    // settings is asked at the start of every piece (a change of pipe or mode takes effect at
    // the next piece); pieceEnded runs whenever a piece ends, on its time or with the drain.
    CPipeDrain(CPipeReceiver& receiver, std::function<ReceiverSettings()> settings,
               std::function<void()> pieceEnded);

    // A poll: runs a drain, or the next piece of a drain that waits for it. A poll that comes
    // in through one of a piece's reports (a box's event loop) leaves the pipe to that piece.
    void Poll();
    // True from the start of a drain to its end, its waits between pieces included.
    bool IsDraining() const { return m_drainState != DrainState::Idle; }
    // True while a piece runs: its text is gathered by the front end until the piece ends.
    bool InPiece() const { return m_drainState == DrainState::Draining; }

    // A piece of a drain ends after this much work (or after its first message, when one
    // message takes longer), and the window's events are handled before the next piece:
    // however slow the server, the window answers within about this time plus one message.
    static constexpr qint64 kPieceMs = 50;
    // A sender blocked on a full pipe is not woken when the pipe empties: it tries again after
    // a few milliseconds (5 to 16 measured on orafce). A drain that found the pipe empty looks
    // again every kRecheckMs, and ends once the pipe has stayed empty for kRefillWaitMs,
    // longer than such a sender takes to send again.
    static constexpr int kRecheckMs = 2;
    static constexpr qint64 kRefillWaitMs = 30;

private:
    // Where the drain stands; SetDrainState holds the rules of every change.
    //   Idle: no drain runs; a poll drains.
    //   Draining: a piece of a drain runs; a poll that comes in through one of its reports is
    //     passed over.
    //   ContinuationPending: a piece ended on its time with messages possibly still waiting in
    //     the pipe (never with messages the log-on holds: those are shown first); the next piece
    //     runs once the window's events are handled.
    //   AwaitingRefill: a drain that received messages found the pipe empty; it looks again
    //     shortly, since a sender blocked on the full pipe may be about to send the rest of its
    //     burst, and ends once the pipe has stayed empty for kRefillWaitMs.
    //   In both waiting states the next piece is due on m_continuation; a poll runs it at once
    //   instead.
    enum class DrainState { Idle, Draining, ContinuationPending, AwaitingRefill };
    // How the last receive of a piece went.
    enum class PieceEnd { Empty, Failed, TimeUp };
    class DrainGuard;
    void SetDrainState(DrainState next);
    DrainState StateAfterPiece() const;
    void DrainPiece();
    bool ReceiveMessage();

    CPipeReceiver& m_receiver;
    std::function<ReceiverSettings()> m_settings;
    std::function<void()> m_pieceEnded;
    DrainState m_drainState = DrainState::Idle;
    PieceEnd m_pieceEnd = PieceEnd::Empty;
    int m_nPieceMessages = 0;      // messages taken in this piece of the drain
    QElapsedTimer m_pieceTime;     // since the start of this piece or its last report
    int m_nReportsSeen = 0;        // the receiver's reports when the piece's time was checked
    QElapsedTimer m_sinceMessages; // since the last piece that received messages ended
    QTimer m_continuation;         // single-shot: the next piece of a waiting drain
};
