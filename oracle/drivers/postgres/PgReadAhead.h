#pragma once
// Read-ahead: the receiver's receive block takes in one round trip every message waiting on its
// pipe, and the receive, unpack and typed item statements that follow are answered from them
// without a round trip, each with what the server would have given it, until they run out.
//
// The messages have left the pipe once read, so they are only ever dropped by a purge of their
// pipe or the end of the process: they are kept per pipe (a receive on another pipe leaves them
// for the next receive on theirs), and they are answered even when the connection has been lost
// since, so that everything that arrived is shown before the failure of the next round trip.
#include "Driver.h"
#include "PgConnection.h"
#include "PgDriver.h"
#include "ReadAheadTrips.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ocidrv::pg {

// At most this many messages, and about this many bytes, per round trip: one message is at most
// 8 KiB, so a reply stays near 1 MiB.
inline constexpr int kMessagesPerTrip = 256;
inline constexpr int kReadAheadBytes = 1 << 20;
// A fetch that fails in flight (the connection lost) loses what it had taken from the pipe, so
// the first fetch of a drain asks for few, growing as ReadAheadTrips says.
inline constexpr int kFirstTrip = 16;
static_assert(kFirstTrip > 0 && kFirstTrip <= kMessagesPerTrip);

// One session's messages read ahead and the message the session is unpacking, shared by the
// session's cursors as the server's message buffer is.
class PgReadAhead {
public:
    explicit PgReadAhead(std::shared_ptr<PgConnection> connection)
        : m_connection(std::move(connection)) {}

    // Each answers the statement, whose binds are checked, and says whether it succeeded, or
    // gives nothing when the statement is to go to the server as before.
    std::optional<bool> Receive(const Statement& statement, const std::vector<Bind>& binds,
                                Error& error);
    std::optional<bool> Unpack(bool number, std::string_view placeholder,
                               const std::vector<Bind>& binds, Error& error);
    std::optional<bool> TypedItem(const std::vector<Bind>& binds, Error& error);

    // How many messages of the pipe are held, not counting the one being unpacked.
    std::size_t HeldMessages(const std::string& pipe) const {
        const auto found = m_held.find(pipe);
        return found == m_held.end() ? 0 : found->second.size();
    }

    // The pipe was purged on the server: what was read ahead of it goes too.
    void Purge(const std::string& pipe);

private:
    struct Item {
        int type = 0; // orafce's code
        bool isNull = true;
        std::string value;
    };
    // Where the items of a message beyond those read are.
    enum class Rest {
        None,     // there are none
        OnServer, // cut by a failure: the server's message buffer holds them
        Lost,     // that buffer has been replaced since: they are gone
    };
    struct Message {
        std::vector<Item> items; // up to the end, or to an item the program cannot take off
        Rest rest = Rest::None;
        // The failure that cut the message, reported once by the step it struck (the item it
        // struck may have left the server's buffer with it).
        std::optional<Error> cutBy;
    };
    enum class Fetched { Messages, Nothing, NotHere, Failed };
    enum class Next { Item, End, OnServer, Failed };

    Fetched fetch(const std::string& pipe, Error& error);
    bool ensureFunction(Error& error);
    // The server's own message buffer now decides what unpacks give.
    void leaveToServer();
    // A receive ran on the server: a message cut earlier can no longer be finished there.
    void serverBufferReplaced();
    // Where the current message's next step is answered: by an item, at its end, by the server
    // (which holds the rest), or by a failure (in error).
    Next nextItem(const Item*& item, Error& error);

    std::shared_ptr<PgConnection> m_connection;
    std::map<std::string, std::deque<Message>> m_held; // by pipe name, in the pipe's order
    std::optional<Message> m_current; // none: the server's buffer is the current one
    std::size_t m_next = 0;           // the current message's next item
    ReadAheadTrips m_trips{kFirstTrip, kMessagesPerTrip};
    enum class Function { Unknown, Ready, Unavailable } m_function = Function::Unknown;
};

} // namespace ocidrv::pg
