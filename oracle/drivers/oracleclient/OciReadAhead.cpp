// Read-ahead on the Oracle driver's log-on: one round trip of the block takes the messages waiting
// on a pipe (16 at first, twice as many after a full trip, at most 500), and the receiver's
// receive, unpack and typed item statements are answered from them. A trip that fails after
// it may have taken messages says so; only a server that cannot run the block at all puts the
// session on one statement per step, silently. The block and its reply are in OciBlock.cpp.
#include "OciConnection.h"

#include "Oci.h"

#include <algorithm>
#include <cstdint>

namespace ocidrv::ora {
namespace {

// What the server reports for a PL/SQL block that does not compile.
constexpr int kCompilationError = 6550;

} // namespace

// The hold pipe's number for a pipe: one per pipe, so that each pipe's held message waits on
// a pipe of its own.
int Connection::HoldId(const std::string& pipe) {
    const auto [it, added] = m_holdIds.emplace(pipe, int(m_holdIds.size()) + 1);
    return it->second;
}

// One round trip of the read-ahead block, asking for most messages. Refused when the server
// did not run the block at all (it does not compile there: nothing was taken); Failed when it
// may have run, with the error to report.
Connection::Trip Connection::RunBlock(const std::string& pipe, int most, Batch& batch,
                                      Error& error) {
    std::string name = pipe;
    std::string hold = std::to_string(HoldId(pipe));
    std::int32_t max = most, room = kReceiveRoom, cap = kReplyCapBytes;
    std::vector<char> reply(kReplyBufferBytes, '\0');
    short indicator = -1;
    const std::vector<Bind> binds = {
        {":tm_pipe", name.data(), int(name.size()) + 1, SQLT_STR, nullptr},
        {":tm_hold", hold.data(), int(hold.size()) + 1, SQLT_STR, nullptr},
        {":tm_max", &max, sizeof max, SQLT_INT, nullptr},
        {":tm_room", &room, sizeof room, SQLT_INT, nullptr},
        {":tm_cap", &cap, sizeof cap, SQLT_INT, nullptr},
        {":tm_buf", reply.data(), int(reply.size()), SQLT_STR, &indicator},
    };
    if (!RunStatement(*this, ReadAheadBlock(), binds, error)) {
        // PL/SQL compilation errors all come as ORA-06550.
        if (error.code == kCompilationError)
            return Trip::Refused;
    } else if (indicator != 0) {
        error = Numbered(OCI_RC_PROTOCOL_ERROR, "the read-ahead block returned no reply");
    } else {
        reply.back() = '\0';
        if (ParseReply(reply.data(), batch))
            return Trip::Ran;
        error =
            Numbered(OCI_RC_PROTOCOL_ERROR, "the reply of the read-ahead block could not be read");
    }
    error.message += " " + LostMessages(std::size_t(most), pipe);
    return Trip::Failed;
}

// Runs the block for an empty pipe of read-ahead and answers the receive from its reply.
bool Connection::ReadAheadOnce(const std::string& pipe, const std::string& statement,
                               const std::vector<Bind>& binds, Error& error) {
    const int most = m_trips.Next(pipe);
    Batch batch;
    switch (RunBlock(pipe, most, batch, error)) {
    case Trip::Refused: {
        // The server cannot run the block: when its own receive works, this session goes on
        // one statement per step.
        const bool received = RunStatement(*this, statement, binds, error);
        if (received)
            m_readAhead = false;
        return received;
    }
    case Trip::Failed:
        m_trips.Forget(pipe);
        return false;
    case Trip::Ran:
        break;
    }
    if (batch.failure)
        m_trips.Forget(pipe);
    else
        m_trips.Came(pipe, most, int(batch.held.size()), int(batch.held.size()) >= most);
    if (batch.failure) {
        Error failure = *batch.failure;
        if (batch.lost > 0)
            failure.message += " " + LostMessages(std::size_t(batch.lost), pipe);
        m_failed[pipe] = std::move(failure);
    }
    if (!batch.held.empty()) {
        std::deque<Held>& held = m_held[pipe];
        for (Held& entry : batch.held)
            held.push_back(std::move(entry));
        return Receive(pipe, false, statement, binds, error);
    }
    if (batch.failure)
        return Receive(pipe, false, statement, binds, error);
    if (batch.finalStatus) {
        error = {};
        return AnswerStatus(*batch.finalStatus, binds);
    }
    // A trip that took nothing and saw no status (asked for none): the server answers.
    return RunStatement(*this, statement, binds, error);
}

bool Connection::Receive(const std::string& pipe, bool wait, const std::string& statement,
                         const std::vector<Bind>& binds, Error& error) {
    m_current.reset();
    const auto found = m_held.find(pipe);
    if (found == m_held.end()) {
        if (const auto failed = m_failed.find(pipe); failed != m_failed.end()) {
            error = std::move(failed->second);
            m_failed.erase(failed);
            return false;
        }
        // A receive that waits, or on a name longer than the block's variable, is the
        // server's own; so is every receive once read-ahead is off.
        if (!m_readAhead || wait || pipe.size() > kLongestPipeName)
            return RunStatement(*this, statement, binds, error);
        return ReadAheadOnce(pipe, statement, binds, error);
    }
    std::deque<Held>& held = found->second;
    Held next = std::move(held.front());
    held.pop_front();
    if (held.empty())
        m_held.erase(found);
    if (!next.message) {
        // The message waits on the session's own pipe: received from there, its unpacks go to
        // the server.
        std::vector<char> name(next.holdPipe.begin(), next.holdPipe.end());
        name.push_back('\0');
        std::vector<Bind> redirected = binds;
        redirected.push_back({":tm_pipe", name.data(), int(name.size()), SQLT_STR, nullptr});
        if (!RunStatement(*this, "begin :sta := dbms_pipe.receive_message(:tm_pipe, 0); end;",
                          redirected, error)) {
            m_held[pipe].push_front(std::move(next));
            return false;
        }
        return true;
    }
    m_current = std::move(next.message);
    m_plainSteps = m_typedSteps = 0;
    error = {};
    return AnswerStatus(0, binds);
}

bool Connection::Unpack(ReceiverStatement kind, const std::string& statement,
                        const std::vector<Bind>& binds, Error& error) {
    // A statement the message in memory cannot answer goes to the server, as without
    // read-ahead; the receiver never sends one.
    if (!m_current)
        return RunStatement(*this, statement, binds, error);
    error = {};
    if (kind == ReceiverStatement::TypedItem) {
        if (m_plainSteps > 0)
            return RunStatement(*this, statement, binds, error);
        const std::vector<TypedStep>& steps = m_current->typed;
        const TypedStep step = m_typedSteps < steps.size() ? steps[m_typedSteps] : TypedStep{};
        ++m_typedSteps;
        return AnswerTyped(step, binds, error);
    }
    const std::size_t expected = kind == ReceiverStatement::UnpackLength ? 0 : 1;
    if (m_typedSteps > 0 || m_plainSteps != expected)
        return RunStatement(*this, statement, binds, error);
    ++m_plainSteps;
    return AnswerUnpack(expected == 0 ? m_current->length : m_current->text, binds, error);
}

bool Connection::Purge(const std::string& pipe, const std::string& statement,
                       const std::vector<Bind>& binds, Error& error) {
    if (!RunStatement(*this, statement, binds, error))
        return false;
    // What was read ahead from the pipe goes with it, and so does a message on its hold pipe.
    const auto found = m_held.find(pipe);
    if (found != m_held.end()) {
        for (const Held& entry : found->second) {
            if (entry.message)
                continue;
            std::vector<char> name(entry.holdPipe.begin(), entry.holdPipe.end());
            name.push_back('\0');
            Error ignored;
            RunStatement(*this, "begin dbms_pipe.purge(:tm_pipe); end;",
                         {{":tm_pipe", name.data(), int(name.size()), SQLT_STR, nullptr}}, ignored);
        }
        m_held.erase(found);
    }
    m_failed.erase(pipe);
    m_trips.Forget(pipe);
    return true;
}

} // namespace ocidrv::ora
