// Read-ahead of the PostgreSQL driver: one round trip takes the waiting messages of a pipe with
// all their items, and the receiver's statements are answered from them as orafce would answer
// them one by one.
#include "PgReadAhead.h"

#include "PgSql.h"
#include "PgValues.h"

#include "Oci.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace ocidrv::pg {

std::optional<bool> PgReadAhead::Receive(const Statement& statement, const std::vector<Bind>& binds,
                                         Error& error) {
    auto held = m_held.find(statement.pipe);
    if (held == m_held.end()) {
        // With a message held the time-out does not matter; an empty pipe waits the old way.
        if (statement.timeout != 0 || !ReadAheadEnabled() || m_function == Function::Unavailable) {
            leaveToServer();
            return std::nullopt;
        }
        switch (fetch(statement.pipe, error)) {
        case Fetched::Failed:
            leaveToServer();
            return false;
        case Fetched::NotHere:
            leaveToServer();
            return std::nullopt;
        case Fetched::Nothing:
            // The server's buffer is empty now, as after a receive that found nothing.
            m_current = Message{};
            m_next = 0;
            return WriteOut(binds, {{statement.placeholder, false, "1"}}, error);
        case Fetched::Messages:
            held = m_held.find(statement.pipe);
            break;
        }
    }
    m_current = std::move(held->second.front());
    m_next = 0;
    held->second.pop_front();
    if (held->second.empty())
        m_held.erase(held);
    return WriteOut(binds, {{statement.placeholder, false, "0"}}, error);
}

std::optional<bool> PgReadAhead::Unpack(bool number, std::string_view placeholder,
                                        const std::vector<Bind>& binds, Error& error) {
    const Item* item = nullptr;
    switch (nextItem(item, error)) {
    case Next::OnServer:
        return std::nullopt;
    case Next::Failed:
        return false;
    case Next::End: // an empty buffer gives NULL
        return WriteOut(binds, {{placeholder, true, {}}}, error);
    case Next::Item:
        break;
    }
    if (item->type != (number ? kOrafceNumber : kOrafceText)) {
        // orafce's refusal, word for word; the item stays where it is.
        error = ServerError("42804", "datatype mismatch",
                            "unpack unexpected type: " + std::to_string(item->type), {}, true);
        return false;
    }
    ++m_next;
    return WriteOut(binds, {{placeholder, item->isNull, item->value}}, error);
}

std::optional<bool> PgReadAhead::TypedItem(const std::vector<Bind>& binds, Error& error) {
    const Item* item = nullptr;
    switch (nextItem(item, error)) {
    case Next::OnServer:
        return std::nullopt;
    case Next::Failed:
        return false;
    case Next::End:
        return WriteOut(binds, TypedItemValues(kOrafceNone, true, {}), error);
    case Next::Item:
        break;
    }
    if (TypedBlockUnpacks(item->type))
        ++m_next;
    return WriteOut(binds, TypedItemValues(item->type, item->isNull, item->value), error);
}

namespace {

// The failure the read-ahead function caught, "SQLSTATE:text", as the server would report it.
Error cutError(const std::string& caught) {
    const std::size_t colon = caught.find(':');
    if (colon == std::string::npos)
        return ServerError({}, caught, {}, {}, true);
    return ServerError(caught.substr(0, colon), caught.substr(colon + 1), {}, {}, true);
}

// Added to the report of a fetch that failed once it may have taken messages off the pipe.
void addNotShown(Error& error, int asked, const std::string& pipe) {
    if (!error.message.empty() && error.message.back() != '.')
        error.message += '.';
    error.message += " up to " + std::to_string(asked) + " messages taken from pipe " + pipe +
                     " could not be shown";
}

bool functionMissing(const Error& error) {
    constexpr std::string_view kUndefinedFunction = "SQLSTATE 42883";
    return std::string_view(error.message).ends_with(kUndefinedFunction);
}

} // namespace

PgReadAhead::Fetched PgReadAhead::fetch(const std::string& pipe, Error& error) {
    if (!ensureFunction(error))
        return m_connection->Lost() ? Fetched::Failed : Fetched::NotHere;
    const int asked = m_trips.Next(pipe);
    const std::string most = std::to_string(asked);
    const std::string bytes = std::to_string(kReadAheadBytes);
    // Once the call has gone out, a failure cannot tell whether the function ran.
    const bool mayTake = !m_connection->Lost();
    Result r =
        m_connection->RunPrepared(kReadAhead, {pipe.c_str(), most.c_str(), bytes.c_str()}, error);
    if (!r) {
        m_trips.Forget(pipe);
        if (!m_connection->Lost() && functionMissing(error)) {
            // Dropped by a DISCARD, say: made again for the next receive; this one goes the old
            // way.
            m_function = Function::Unknown;
            return Fetched::NotHere;
        }
        serverBufferReplaced();
        if (mayTake)
            addNotShown(error, asked, pipe);
        return Fetched::Failed;
    }
    serverBufferReplaced();

    std::deque<Message> messages;
    int last = 0;
    bool ended = true; // the last message's items are all there
    std::optional<Error> failure;
    long long size = 0; // as the function counts it
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        const int number = std::atoi(PQgetvalue(r.get(), row, 0));
        const int type = std::atoi(PQgetvalue(r.get(), row, 1));
        if (number != last) {
            messages.emplace_back();
            last = number;
            ended = false;
        }
        if (type == -1) {
            failure = cutError(PQgetvalue(r.get(), row, 2));
            break;
        }
        const bool isNull = PQgetisnull(r.get(), row, 2) != 0;
        size += 16 + (isNull ? 0 : PQgetlength(r.get(), row, 2));
        ended = type == kOrafceNone || !TypedBlockUnpacks(type);
        if (type != kOrafceNone)
            messages.back().items.push_back({type, isNull, PQgetvalue(r.get(), row, 2)});
    }
    if (failure)
        m_trips.Forget(pipe);
    else
        m_trips.Came(pipe, asked, int(messages.size()),
                     int(messages.size()) >= asked || size >= kReadAheadBytes);
    if (!messages.empty() && !ended) {
        messages.back().rest = Rest::OnServer;
        messages.back().cutBy = std::move(failure);
    }
    if (messages.empty())
        return failure ? Fetched::NotHere : Fetched::Nothing;
    m_held[pipe] = std::move(messages);
    return Fetched::Messages;
}

bool PgReadAhead::ensureFunction(Error& error) {
    if (m_function == Function::Ready)
        return true;
    if (m_connection->RunText(kCreateReadAheadSql, error)) {
        m_function = Function::Ready;
        return true;
    }
    // No right to a temporary function, say: this session receives one statement at a time.
    if (!m_connection->Lost())
        m_function = Function::Unavailable;
    return false;
}

void PgReadAhead::Purge(const std::string& pipe) {
    m_held.erase(pipe);
    m_trips.Forget(pipe);
}

void PgReadAhead::leaveToServer() {
    m_current.reset();
    serverBufferReplaced();
}

void PgReadAhead::serverBufferReplaced() {
    auto replaced = [](Message& m) {
        if (m.rest == Rest::OnServer)
            m.rest = Rest::Lost;
    };
    for (auto& [name, messages] : m_held)
        for (Message& m : messages)
            replaced(m);
    if (m_current)
        replaced(*m_current);
}

PgReadAhead::Next PgReadAhead::nextItem(const Item*& item, Error& error) {
    if (!m_current)
        return Next::OnServer;
    if (m_next < m_current->items.size()) {
        item = &m_current->items[m_next];
        return Next::Item;
    }
    switch (m_current->rest) {
    case Rest::None:
        return Next::End;
    case Rest::OnServer:
        if (!m_current->cutBy)
            return Next::OnServer;
        error = std::move(*m_current->cutBy);
        m_current->cutBy.reset();
        return Next::Failed;
    case Rest::Lost:
        break;
    }
    // Answering from the server now would give another message's items, or NULL as if the
    // message had ended: neither may pass for the rest of this one.
    std::string text = "the rest of this message cannot be unpacked: reading it ahead failed "
                       "part way, and a receive on another pipe has since replaced the server's "
                       "message buffer that held its remaining items";
    if (m_current->cutBy)
        text += "\nThe failure that cut it: " + m_current->cutBy->message;
    error = Numbered(OCI_RC_PROTOCOL_ERROR, text);
    return Next::Failed;
}

} // namespace ocidrv::pg
