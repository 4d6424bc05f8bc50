#pragma once
// One libpq connection of a PostgreSQL session, shared by the session and its cursors: runs
// statements, waits for their answers no longer than a deadline, and phrases the server's
// errors for the call layer.
#include "Driver.h"
#include "PgSql.h"

#include <libpq-fe.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace ocidrv::pg {

// How long a statement may go without an answer before the server is taken for lost, and
// the shorter time after which the server cancels a statement of ours that still runs. A
// statement that is merely slow must be cancelled, and its cancel reach us, well before the
// deadline gives the connection up: were the two close, a slow statement would cost the
// connection whenever the deadline won the race.
inline constexpr std::chrono::seconds kAnswerDeadline{20};
inline constexpr std::chrono::seconds kServerStatementTimeout{15};
inline constexpr std::chrono::seconds kCancelMargin{5};
static_assert(kServerStatementTimeout + kCancelMargin <= kAnswerDeadline,
              "the server's statement time-out must end a slow statement before the deadline");

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct ConnDeleter {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnDeleter>;

std::string Trimmed(std::string text);

// A report of the server in the call layer's terms: its message, detail and hint, and the
// SQLSTATE. `adapted` is set for the statements the driver runs in place of the program's.
Error ServerError(const std::string& sqlstate, const std::string& primary,
                  const std::string& detail, const std::string& hint, bool adapted);

class PgConnection {
public:
    explicit PgConnection(Conn conn) : m_conn(std::move(conn)) {}

    // Runs one of the prepared statements, preparing it first on this connection if need be.
    Result RunPrepared(Prepared which, const std::vector<const char*>& params, Error& error);
    // Runs a text as it stands.
    bool RunText(const std::string& sql, Error& error);
    // Has the server parse a text without running it.
    bool PrepareOnly(const std::string& sql, Error& error);
    // The connection is gone (lost, or closed for want of an answer): every call fails.
    bool Lost() const { return m_lost || PQstatus(m_conn.get()) != CONNECTION_OK; }

private:
    Result Answer(int sent, Error& error);
    // Closes the connection for good and reports why: every later call fails at once.
    void closeLost(Error& error, const std::string& why);
    bool Usable(Error& error);
    void EndCopy(ExecStatusType status);
    bool Succeeded(PGresult* r, Error& error, bool adapted);

    Conn m_conn;
    std::array<bool, kPreparedCount> m_prepared{};
    bool m_lost = false;
};

} // namespace ocidrv::pg
