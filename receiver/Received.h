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
};

// Where messages go: the window, the journal, a terminal.
class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    virtual void OnMessage(const ReceivedMessage& message) = 0;
};

// Where failures go: the box with Abort/Retry/Ignore in the window, standard error in a terminal.
// Returns IDABORT (3), IDRETRY (4) or IDIGNORE (5).
class CErrorReporter {
public:
    virtual ~CErrorReporter() = default;
    virtual int ReportError(const QString& text) = 0;
};
