#pragma once
// The log view: the monitor settings, the pipe receiver that drains the database pipe on a
// timer, the log window it appends to, and the Options command.
#include "AfxTypes.h"
#include "EditView.h"
#include "SessionJournal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

class COciCursor;

enum : UINT {
    ID_DEBUG_START = 32772,
    ID_DEBUG_OPTIONS = 32774,
    ID_DEBUG_PURGE = 32775,
};

class CTidemarkView : public CEditView {
    Q_OBJECT
public:
    // Reads the five settings from the profile's "Options" section; writes nothing.
    CTidemarkView();
    ~CTidemarkView() override;

    // Appends one piece of text to the log, with CR LF after it when m_bLFFlag is set.
    void AppendMessage(const QString& text);

    void OnStart();
    void OnOptions();
    void OnPurgePipe();
    void OnTimer(int nIDEvent);
    void PollPipe();
    // True from the start of a drain to its end, its waits between pieces included.
    bool IsDraining() const { return m_drainState != DrainState::Idle; }

    bool OnCmdMsg(UINT nID) override;

    // The statement texts for the current pipe name.
    QByteArray ReceiveBlock() const;
    QByteArray PurgeBlock() const;
    // The polling period in milliseconds that a timer is set with.
    int TimerPeriod() const;
    // This run's session journal; empty when switched off.
    const CSessionJournal& GetJournal() const { return m_journal; }

    int m_nTimerFrequency;
    unsigned int m_nTimerId;
    QString m_strPipeName;
    BOOL m_bLFFlag;
    BOOL m_bAutoUnpack;
    BOOL m_bAllowEdit;

protected:
    bool PreCreateWindow(CREATESTRUCT& cs) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // Where the drain stands; SetDrainState holds the rules of every change.
    //   Idle: no drain runs; a tick or Start drains.
    //   Draining: a piece of a drain runs; its text is gathered, and a tick that comes in
    //     through one of its error boxes is passed over.
    //   ContinuationPending: a piece ended on its time with messages possibly still waiting in
    //     the pipe (never with messages the log-on holds: those are shown first); the next piece
    //     runs once the window's events are handled.
    //   AwaitingRefill: a drain that received messages found the pipe empty; it looks again
    //     shortly, since a sender blocked on the full pipe may be about to send the rest of its
    //     burst, and ends once the pipe has stayed empty for kRefillWaitMs.
    //   In both waiting states the next piece is due on m_continuation; a tick or Start runs it
    //   at once instead.
    enum class DrainState { Idle, Draining, ContinuationPending, AwaitingRefill };
    // How the last receive of a piece went.
    enum class PieceEnd { Empty, Failed, TimeUp };
    // How a drain's statements run: as the drain, or, once Abort has been chosen in one of its
    // boxes, over the messages the log-on still holds only, from memory and without a box.
    enum class Receiving { Drain, HeldOnly };
    class DrainGuard;
    void SetDrainState(DrainState next);
    DrainState StateAfterPiece() const;
    void DrainPiece();
    bool ReceiveMessage(COciCursor& cursor, const QByteArray& receive, short& indicator,
                        Receiving how);
    void ReceivePlain();
    void ReceiveTyped();
    void PlainMessages(COciCursor& cursor, Receiving how);
    void TypedMessages(COciCursor& cursor, Receiving how);
    void FinishHeldBeforeAbort(COciCursor& cursor);
    void FlushPending();
    void JournalPending();
    DrainState m_drainState = DrainState::Idle;
    PieceEnd m_pieceEnd = PieceEnd::Empty;
    int m_nPieceMessages = 0;      // messages taken in this piece of the drain
    QElapsedTimer m_pieceTime;     // since the start of this piece or its last error box
    bool m_bErrorBox = false;      // an error box was shown since the piece's time was checked
    QElapsedTimer m_sinceMessages; // since the last piece that received messages ended
    QString m_strPending;          // text of the running piece not yet in the window
    qsizetype m_nJournaled = 0;    // how much of m_strPending is already in the journal
    QTimer m_continuation;         // single-shot: the next piece of a waiting drain
    // On the disk too: everything of the receiver's that reaches the window.
    CSessionJournal m_journal;
};
