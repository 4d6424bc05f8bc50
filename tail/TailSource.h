#pragma once
// Where tidemark-tail takes its messages from: one log-on receiving one pipe.
#include "Received.h"

#include <QString>
#include <memory>

class CTailSource {
public:
    enum class Result {
        Received,      // message is filled in
        Empty,         // nothing came within the time asked for
        MessageFailed, // a message was taken but could not be read; reported
        ReceiveFailed, // the receive itself failed; reported
        Lost,          // the connection is gone; reported. Connect may log on again
    };
    virtual ~CTailSource() = default;
    // Logs on (again, after Lost); false when that failed, reported.
    virtual bool Connect() = 0;
    // Throws away what waits in the pipe; false when that failed, reported.
    virtual bool Purge() = 0;
    // The next message, waiting up to timeoutMs for one (0: no wait).
    virtual Result Next(int timeoutMs, ReceivedMessage& message) = 0;
    // Takes nothing more from the server: from now on Next hands out only the messages already
    // taken from the pipe and held in memory, then Empty.
    virtual void StopTaking() = 0;
};

// What the source logs on with and receives.
struct TailConnection {
    QString connect;
    QString user;
    QString password;
    QString pipe;
    bool typed = false;
    bool lf = true;
};

// A source that runs the receiver (receiver/) on a log-on of its own.
std::unique_ptr<CTailSource> MakeReceiverSource(const TailConnection& connection,
                                                CErrorReporter& errors);
