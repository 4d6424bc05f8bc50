#pragma once
// Read-ahead for the Oracle driver: one PL/SQL block per round trip takes every message waiting
// on a pipe and returns, for each, what the receiver's fixed statements would give on it. The
// driver then answers those statements from what it holds.
//
// The block cannot know whether the receiver will unpack a message plainly (a number into :len,
// then a string into :chr) or item by item with the typed item block, and the two take the
// items differently, so it records the outcome of both for every message: a value, a NULL, or
// the server's own error (code, and the error stack with its backtrace, as an unhandled
// exception of a one-line block shows it). A wrong-type unpack leaves the item in place, so the
// block runs those too, on the server, to record their errors. A message whose outcome depends
// on how the client library converts a value into the receiver's buffer (a number that is not a
// 4-byte integer, a text of 2000 bytes or more) is not answered from memory: the block packs it
// again and sends it to a pipe of its session's own, ends the round trip there, and the
// receiver's next receive takes it from that pipe, so the server itself answers its unpacks.
#include "Driver.h"
#include "ReceiverStatements.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ocidrv::ora {

// Bounds of one round trip. The reply is one VARCHAR2 OUT bind: no LOB calls, one round trip,
// and 32 KB is four times what Oracle's default pipe (8 KB) holds, so one trip normally takes
// everything waiting. The block stops receiving once the reply passes kReceiveRoom bytes, which
// leaves room for one more message of the largest size a pipe carries.
inline constexpr int kReplyBufferBytes = 32767; // the OUT buffer, terminator included
inline constexpr int kReplyCapBytes = 32000;    // the reply's UTF-8 bytes, at most
inline constexpr int kReceiveRoom = 16000;      // no further receive once the reply is longer
// The first round trip of a drain asks for kFirstTrip messages, growing up to kMessagesPerTrip as
// ReadAheadTrips says: a trip that fails in flight can lose only what it asked for.
inline constexpr int kFirstTrip = 16;
inline constexpr int kMessagesPerTrip = 500;
// Pipe names longer than the block's variable go one statement per step.
inline constexpr std::size_t kLongestPipeName = 128;
// The longest text the block answers for :chr from memory: it fits the receiver's 2000-byte
// buffer with its terminator whatever the bind's length semantics.
inline constexpr int kLongestHeldText = 1999;

// The block, on one line: an error's backtrace then names "line 1" as the receiver's own
// one-line statements do. Binds: :tm_pipe, :tm_hold (IN strings), :tm_max, :tm_room, :tm_cap
// (IN integers), :tm_buf (OUT string).
const std::string& ReadAheadBlock();

// What one of the receiver's statements gives.
struct Outcome {
    enum Kind { Value, Null, Failure, Unassigned, Unknown } kind = Unknown;
    std::string value; // Value: the text, or the integer as text
    Error error;       // Failure
};

// One execution of the typed item block: :v_typ and :v_res, or its failure.
struct TypedStep {
    int type = 0;
    Outcome result;
};

struct HeldMessage {
    Outcome length; // begin dbms_pipe.unpack_message(:len); end;
    Outcome text;   // begin dbms_pipe.unpack_message(:chr); end; after it
    std::vector<TypedStep> typed;
};

// A message read ahead, or one that waits on the session's own pipe named holdPipe.
struct Held {
    std::optional<HeldMessage> message;
    std::string holdPipe;
};

struct Batch {
    std::vector<Held> held;
    std::optional<int> finalStatus; // the receive that ended the trip, when not 0
    // The error that ended the block early, and how many messages it had taken and lost
    // with it (0 or 1); what came before it is in held.
    std::optional<Error> failure;
    int lost = 0;
};

// The sentence added to the failure of a round trip that may have taken messages.
std::string LostMessages(std::size_t most, const std::string& pipe);

// Reads the block's reply; false when it is not one (the block did not run as written).
bool ParseReply(std::string_view reply, Batch& batch);

// Writes an outcome into the binds of the statement it answers, as the server would: each
// bind in order, value and indicator. False with error when the outcome is a failure or the
// binds are not the receiver's.
bool AnswerUnpack(const Outcome& outcome, const std::vector<Bind>& binds, Error& error);
bool AnswerTyped(const TypedStep& step, const std::vector<Bind>& binds, Error& error);
bool AnswerStatus(int status, const std::vector<Bind>& binds);

// True when the binds are what the receiver binds for that statement.
bool ReceiverBinds(ReceiverStatement kind, const std::vector<Bind>& binds);

} // namespace ocidrv::ora
