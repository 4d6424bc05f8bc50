// Read-ahead of the PostgreSQL driver: one round trip takes the waiting messages of a pipe with
// all their items, and the receiver's statements are answered from them as orafce would answer
// them one by one.
#include "PgReadAhead.h"

#include "PgSql.h"
#include "PgValues.h"

#include <cstdlib>

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
    const std::optional<const Item*> item = nextItem();
    if (!item)
        return std::nullopt;
    if (!*item) // an empty buffer gives NULL
        return WriteOut(binds, {{placeholder, true, {}}}, error);
    const Item& next = **item;
    if (next.type != (number ? kOrafceNumber : kOrafceText)) {
        // orafce's refusal, word for word; the item stays where it is.
        error = ServerError("42804", "datatype mismatch",
                            "unpack unexpected type: " + std::to_string(next.type), {}, true);
        return false;
    }
    ++m_next;
    return WriteOut(binds, {{placeholder, next.isNull, next.value}}, error);
}

std::optional<bool> PgReadAhead::TypedItem(const std::vector<Bind>& binds, Error& error) {
    const std::optional<const Item*> item = nextItem();
    if (!item)
        return std::nullopt;
    if (!*item)
        return WriteOut(binds, TypedItemValues(kOrafceNone, true, {}), error);
    const Item& next = **item;
    if (TypedBlockUnpacks(next.type))
        ++m_next;
    return WriteOut(binds, TypedItemValues(next.type, next.isNull, next.value), error);
}

PgReadAhead::Fetched PgReadAhead::fetch(const std::string& pipe, Error& error) {
    if (!ensureFunction(error))
        return m_connection->Lost() ? Fetched::Failed : Fetched::NotHere;
    const std::string most = std::to_string(kReadAheadMessages);
    const std::string bytes = std::to_string(kReadAheadBytes);
    Result r =
        m_connection->RunPrepared(kReadAhead, {pipe.c_str(), most.c_str(), bytes.c_str()}, error);
    if (!r) {
        if (m_connection->Lost())
            return Fetched::Failed;
        // Dropped by a DISCARD, say: made again for the next receive; this one goes the old way.
        m_function = Function::Unknown;
        return Fetched::NotHere;
    }
    serverBufferReplaced();

    std::deque<Message> messages;
    int last = 0;
    bool ended = true; // the last message's items are all there
    bool failed = false;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        const int number = std::atoi(PQgetvalue(r.get(), row, 0));
        const int type = std::atoi(PQgetvalue(r.get(), row, 1));
        if (number != last) {
            messages.emplace_back();
            last = number;
            ended = false;
        }
        if (type == -1) {
            failed = true;
            break;
        }
        ended = type == kOrafceNone || !TypedBlockUnpacks(type);
        if (type != kOrafceNone)
            messages.back().items.push_back(
                {type, PQgetisnull(r.get(), row, 2) != 0, PQgetvalue(r.get(), row, 2)});
    }
    if (!messages.empty() && !ended)
        messages.back().restOnServer = true;
    if (messages.empty())
        return failed ? Fetched::NotHere : Fetched::Nothing;
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

void PgReadAhead::leaveToServer() {
    m_current.reset();
    serverBufferReplaced();
}

void PgReadAhead::serverBufferReplaced() {
    for (auto& [name, messages] : m_held)
        for (Message& m : messages)
            m.restOnServer = false;
    if (m_current)
        m_current->restOnServer = false;
}

std::optional<const PgReadAhead::Item*> PgReadAhead::nextItem() const {
    if (!m_current)
        return std::nullopt;
    if (m_next < m_current->items.size())
        return &m_current->items[m_next];
    if (m_current->restOnServer)
        return std::nullopt;
    return nullptr;
}

} // namespace ocidrv::pg
