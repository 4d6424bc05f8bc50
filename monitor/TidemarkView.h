#pragma once
// The log view: the monitor settings, the pipe receiver that drains the database pipe on a
// timer, the log window it appends to, and the Options command.
#include "AfxTypes.h"
#include "EditView.h"
#include "SessionJournal.h"

#include <QByteArray>
#include <QString>

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

    bool OnCmdMsg(UINT nID) override;

    // The statement texts for the current pipe name.
    QByteArray ReceiveBlock() const;
    QByteArray PurgeBlock() const;
    // The polling period in milliseconds that a timer is set with.
    int TimerPeriod() const;

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
    //   ContinuationPending: a piece ended with messages possibly still waiting; the next piece
    //     runs once the window's events are handled, and ticks and Start leave the pipe to it.
    enum class DrainState { Idle, Draining, ContinuationPending };
    class DrainGuard;
    void SetDrainState(DrainState next);
    void DrainPiece();
    bool ReceiveMessage(COciCursor& cursor, const QByteArray& receive, short& indicator);
    void ReceivePlain();
    void ReceiveTyped();
    void FlushPending();
    DrainState m_drainState = DrainState::Idle;
    int m_nSliceMessages = 0; // messages taken in this piece of the drain
    QString m_strPending;     // text of the running piece not yet in the window
    // On the disk too: everything of the receiver's that reaches the window.
    CSessionJournal m_journal;
};
