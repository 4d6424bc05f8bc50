#pragma once
// Where tidemark-tail's messages and failures go: standard output, one message at a time and
// at once, and standard error.
#include "Received.h"

#include <QByteArray>

// One JSON object on one line: the time received (ISO 8601, milliseconds, local offset), the
// pipe, and the text or the items with their types.
QByteArray JsonLine(const ReceivedMessage& message);
// The name of an item type code, as the typed log shows it ("UNKNOWN" for others).
QString ItemTypeName(int type);

// Writes each message to a file descriptor as soon as it comes. When that descriptor is closed
// (a reader that went away), the message and every later one go to the fallback descriptor
// instead, after a line that says so: what was taken from the pipe is never dropped.
class CTailOutput : public CMessageSink {
public:
    CTailOutput(int fd, int fallbackFd, bool json)
        : m_fd(fd), m_fallbackFd(fallbackFd), m_json(json) {}
    void OnMessage(const ReceivedMessage& message) override;
    // True once the main descriptor refused a write.
    bool Closed() const { return m_closed; }

private:
    int m_fd;
    int m_fallbackFd;
    bool m_json;
    bool m_closed = false;
};

// Failures on a file descriptor (standard error), one report a line or more; always answers
// Ignore: receiving goes on.
class CStreamReporter : public CErrorReporter {
public:
    explicit CStreamReporter(int fd) : m_fd(fd) {}
    int ReportError(const QString& text) override;

private:
    int m_fd;
};

// Writes all the bytes, retrying after interrupts and partial writes; false on a failure.
bool WriteAll(int fd, const QByteArray& bytes);
