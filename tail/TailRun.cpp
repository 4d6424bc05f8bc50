#include "TailRun.h"

#include <QDeadlineTimer>
#include <algorithm>

namespace {
// A receive waits at the server about this long: a message shows at once, an idle pipe costs
// one round trip this often, and a stop is noticed within it.
constexpr int kReceiveWaitMs = 1000;
// A receive that failed is not repeated at once: the same failure would fill standard error.
constexpr int kAfterFailureMs = 1000;
constexpr int kLongestReconnectWait = 30;

bool matches(const TailOptions& options, const ReceivedMessage& message) {
    if (!options.until)
        return false;
    if (!message.typed)
        return options.until->match(message.text).hasMatch();
    for (const ReceivedItem& item : message.items)
        if (options.until->match(item.value).hasMatch())
            return true;
    return false;
}
} // namespace

int ReconnectDelaySeconds(int attempt) {
    return std::min(1 << std::clamp(attempt, 0, 5), kLongestReconnectWait);
}

int RunTail(CTailSource& source, const TailOptions& options, CMessageSink& out,
            const std::function<bool()>& outClosed, const TailHooks& hooks) {
    const QDeadlineTimer deadline = options.timeoutSeconds > 0
                                        ? QDeadlineTimer(qint64(options.timeoutSeconds) * 1000)
                                        : QDeadlineTimer(QDeadlineTimer::Forever);
    int taken = 0;
    // Ends the run: whatever was taken from the pipe and is still held goes out first.
    auto finish = [&](int status) {
        source.StopTaking();
        ReceivedMessage message;
        while (source.Next(0, message) == CTailSource::Result::Received)
            out.OnMessage(message);
        return status;
    };
    // Logs on again after a lost connection, waiting longer each time; false when the run is
    // to end instead.
    auto logOnAgain = [&]() {
        for (int attempt = 0;; ++attempt) {
            const int wait = ReconnectDelaySeconds(attempt);
            hooks.say(QStringLiteral("tidemark-tail: logging on again in %1 s").arg(wait));
            qint64 ms = qint64(wait) * 1000;
            if (!deadline.isForever())
                ms = std::min(ms, std::max<qint64>(0, deadline.remainingTime()));
            hooks.sleep(int(ms));
            if (hooks.stopRequested() || deadline.hasExpired())
                return false;
            if (source.Connect()) {
                hooks.say(QStringLiteral("tidemark-tail: logged on again"));
                return true;
            }
        }
    };

    if (!source.Connect())
        return kExitFailure;
    if (options.purge && !source.Purge())
        return kExitFailure;
    for (;;) {
        if (hooks.stopRequested() || outClosed())
            return finish(kExitDone);
        if (deadline.hasExpired())
            return finish(kExitTimeout);
        const qint64 left = deadline.remainingTime();
        const int wait = left < 0 ? kReceiveWaitMs : int(std::min<qint64>(left, kReceiveWaitMs));
        ReceivedMessage message;
        switch (source.Next(wait, message)) {
        case CTailSource::Result::Received:
            out.OnMessage(message);
            ++taken;
            if (matches(options, message) || (options.count > 0 && taken >= options.count))
                return finish(kExitDone);
            break;
        case CTailSource::Result::Empty:
        case CTailSource::Result::MessageFailed:
            break;
        case CTailSource::Result::ReceiveFailed:
            hooks.sleep(kAfterFailureMs);
            break;
        case CTailSource::Result::Lost:
            if (!options.reconnect)
                return finish(kExitFailure);
            // The source hands out what it held before it reports the loss: nothing is waiting.
            if (!logOnAgain())
                return finish(deadline.hasExpired() ? kExitTimeout : kExitDone);
            break;
        }
    }
}
