#pragma once
// The Oracle driver's log-on: the client library's handles for one session, the statements run
// on it, and what the session keeps for read-ahead (the messages taken per pipe, the size of
// the next round trip, the error a round trip ended with). OciConnection.cpp logs on and runs
// statements; OciReadAhead.cpp answers the receiver's statements from what was taken.
#include "Driver.h"
#include "OciApi.h"
#include "OciReadAhead.h"
#include "ReadAheadTrips.h"

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ocidrv::ora {

// The log-on: its handles live as long as the session or any of its cursors.
class Connection {
public:
    static std::shared_ptr<Connection> LogOn(const std::string& user, const std::string& password,
                                             const std::string& connect, Error& error);
    explicit Connection(std::shared_ptr<const oci::Library> library)
        : m_library(std::move(library)) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const oci::Api& api() const { return m_library->api(); }
    oci::OCIError* err() const { return m_err; }
    oci::OCISvcCtx* svc() const { return m_svc; }
    // Reads the error of a call on this log-on that returned status into error.
    void Fail(oci::sword status, const char* call, int fallbackCode, Error& error) const;

    // The receiver's statements, answered from the messages read ahead where it can be.
    // Also after the server refused the block: what was read ahead before is still delivered.
    bool ReadAhead() const {
        return m_readAhead || !m_held.empty() || !m_failed.empty() || m_current;
    }
    // wait: the receive has a time-out other than 0.
    bool Receive(const std::string& pipe, bool wait, const std::string& statement,
                 const std::vector<Bind>& binds, Error& error);
    bool Unpack(ReceiverStatement kind, const std::string& statement,
                const std::vector<Bind>& binds, Error& error);
    bool Purge(const std::string& pipe, const std::string& statement,
               const std::vector<Bind>& binds, Error& error);
    // Messages of the pipe read ahead, or waiting on its hold pipe, that no receive has taken.
    std::size_t HeldMessages(const std::string& pipe) const {
        const auto found = m_held.find(pipe);
        return found == m_held.end() ? 0 : found->second.size();
    }

private:
    enum class Trip { Ran, Refused, Failed };
    Trip RunBlock(const std::string& pipe, int most, Batch& batch, Error& error);
    bool ReadAheadOnce(const std::string& pipe, const std::string& statement,
                       const std::vector<Bind>& binds, Error& error);
    int HoldId(const std::string& pipe);

    std::shared_ptr<const oci::Library> m_library;
    oci::OCIEnv* m_env = nullptr;
    oci::OCIError* m_err = nullptr;
    oci::OCISvcCtx* m_svc = nullptr;

    bool m_readAhead = ReadAheadEnabled();
    // Per pipe, the messages read ahead and not yet received by the program, in pipe order.
    std::map<std::string, std::deque<Held>> m_held;
    std::map<std::string, int> m_holdIds; // the pipe's number in its hold pipe's name
    ReadAheadTrips m_trips{kFirstTrip, kMessagesPerTrip};
    // Per pipe, the error that ended its last round trip early: the receive after the messages
    // that trip delivered reports it.
    std::map<std::string, Error> m_failed;
    // The message the program received last, while it is answered from memory.
    std::optional<HeldMessage> m_current;
    std::size_t m_plainSteps = 0;
    std::size_t m_typedSteps = 0;
};

// Runs one statement on the server: prepared, bound, executed, released. On failure no bound
// buffer or indicator is written.
bool RunStatement(const Connection& connection, const std::string& statement,
                  const std::vector<Bind>& binds, Error& error);

// The statement as the server is to receive it (see OciConnection.cpp).
std::string ForServer(const std::string& statement);

} // namespace ocidrv::ora
