#pragma once
// The log view: the monitor settings, the timer that drains the database pipe with the receiver
// (receiver/), the log window and the journal the drain's text goes to, and the Options command.
#include "AfxTypes.h"
#include "EditView.h"
#include "PipeDrain.h"
#include "SessionJournal.h"

#include <QByteArray>
#include <QString>

enum : UINT {
    ID_DEBUG_START = 32772,
    ID_DEBUG_OPTIONS = 32774,
    ID_DEBUG_PURGE = 32775,
};

class CTidemarkView : public CEditView, private CMessageSink, private CErrorReporter {
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
    bool IsDraining() const { return m_drain.IsDraining(); }

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
    // The window as the receiver's sink and reporter: messages go into the log (gathered while
    // a piece of a drain runs) and the journal; failures into the box with Abort, Retry and
    // Ignore (Abort finishes the held messages, writes the journal, and ends the process).
    void OnMessage(const ReceivedMessage& message) override;
    void OnMessageSoFar(const ReceivedMessage& soFar) override;
    void OnBatchShown() override;
    int ReportError(const QString& text) override;
    void ReportWarning(const QString& text) override;
    ReceiverSettings Settings() const;
    // Appends text of the log as it stands (line breaks included): gathered while a piece of a
    // drain runs, else into the window and the journal at once.
    void AppendLogText(const QString& piece);
    void FlushPending();
    void JournalPending();
    QString m_strPending;       // text of the running piece not yet in the window
    qsizetype m_nJournaled = 0; // how much of m_strPending is already in the journal
    // On the disk too: everything of the receiver's that reaches the window.
    CSessionJournal m_journal;
    // The receiver on the process's log-on, and the drain a poll runs with it.
    CPipeReceiver m_receiver;
    CPipeDrain m_drain;
};
