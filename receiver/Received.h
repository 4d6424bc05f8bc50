#pragma once
// What the receiver hands its front ends (the log window, the terminal): a message as it was
// taken from the pipe, where messages go, and where failures go.
#include <QDateTime>
#include <QString>
#include <vector>

struct ReceivedItem {
    int type;      // ItemType code (6 NUMBER, 9 VARCHAR2, 11 ROWID, 12 DATE, 23 RAW,
                   // 13 timestamp, 24 record)
    QString value; // the item's text
};

struct ReceivedMessage {
    QDateTime received;              // when it was taken from the pipe (local time)
    QString pipe;                    // the pipe's name
    bool typed = false;              // typed mode: items; plain mode: text
    QString text;                    // plain mode: the message's text
    std::vector<ReceivedItem> items; // typed mode: every item, in order
    QString logText;                 // exactly what the window logs for it (LF flag applied)
    // How much of logText the sink was given before, by OnMessageSoFar.
    qsizetype shownBefore = 0;
};

// Where messages go: the window, the journal, a terminal.
class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    virtual void OnMessage(const ReceivedMessage& message) = 0;
    // A failure in the middle of a message is about to be reported: the message as far as it
    // was taken (logText from shownBefore on is new). A sink that shows text as it comes (the
    // window, before its box) shows it now; a message that is finished still comes to
    // OnMessage, with shownBefore saying how much of it was shown here.
    virtual void OnMessageSoFar(const ReceivedMessage& soFar) { (void)soFar; }
    // Every message the log-on took ahead of its receives has been given to OnMessage: what
    // the sink keeps on the disk goes there now, before the next round trip.
    virtual void OnBatchShown() {}
};

// Where failures go: the box with Abort/Retry/Ignore in the window, standard error in a terminal.
// Returns IDABORT (3), IDRETRY (4) or IDIGNORE (5).
class CErrorReporter {
public:
    virtual ~CErrorReporter() = default;
    virtual int ReportError(const QString& text) = 0;
    // A notice that asks for no choice (an item that cannot be shown): a box with OK in the
    // window; a terminal writes it as it writes a failure.
    virtual void ReportWarning(const QString& text) { ReportError(text); }
};
