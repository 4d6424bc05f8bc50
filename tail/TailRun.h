#pragma once
// The run of tidemark-tail: log on, receive until a rule ends the run, and end it without
// losing a message that was taken from the pipe.
#include "TailOptions.h"
#include "TailSource.h"

#include <functional>

struct TailHooks {
    // True once the run is asked to end (a signal).
    std::function<bool()> stopRequested = [] { return false; };
    // Waits ms milliseconds, or less once stopRequested turns true.
    std::function<void(int ms)> sleep;
    // One line of news on standard error (a reconnection).
    std::function<void(const QString& line)> say;
};

// Runs to the end and returns the exit status. Options used: purge, until, count,
// timeoutSeconds, reconnect. Each message goes to out; stopTaking is also asked when out
// reports itself closed.
int RunTail(CTailSource& source, const TailOptions& options, CMessageSink& out,
            const std::function<bool()>& outClosed, const TailHooks& hooks);

// The waits before the attempts to log on again: 1, 2, 4 ... seconds, then 30 each.
int ReconnectDelaySeconds(int attempt);
