// The connection of a PostgreSQL session: statements out, answers in within a deadline, the
// server's errors phrased for the call layer.
#include "PgConnection.h"

#include "Oci.h"

#include <poll.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ocidrv::pg {

namespace {

std::uint32_t fnv1a(std::string_view s) {
    std::uint32_t h = 2166136261u;
    for (char c : s) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

// A return code per SQLSTATE, the same for the same cause. A few causes keep the number Oracle
// gives them; the rest are spread over 40000..59999.
int codeFor(std::string_view sqlstate) {
    struct Known {
        const char* state;
        int code;
    };
    static constexpr Known kKnown[] = {
        {"23505", 1},    {"42P01", 942},  {"42703", 904},  {"42710", 955},
        {"42501", 1031}, {"22012", 1476}, {"57014", 1013}, {"42601", 900},
    };
    for (const Known& k : kKnown)
        if (sqlstate == k.state)
            return k.code;
    if (sqlstate.empty())
        return OCI_RC_PROTOCOL_ERROR;
    return 40000 + static_cast<int>(fnv1a(sqlstate) % 20000u);
}

} // namespace

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Runs one of the prepared statements, preparing it first on this session if need be.
Result PgConnection::RunPrepared(Prepared which, const std::vector<const char*>& params,
                                 Error& error) {
    if (!Usable(error))
        return nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const PreparedText& p = kPrepared[which];
        if (!m_prepared[which]) {
            Result r = Answer(PQsendPrepare(m_conn.get(), p.name, p.sql, p.params, nullptr), error);
            if (!Succeeded(r.get(), error, true))
                return nullptr;
            m_prepared[which] = true;
        }
        Result r = Answer(
            PQsendQueryPrepared(m_conn.get(), p.name, p.params, params.data(), nullptr, nullptr, 0),
            error);
        // Somebody deallocated it (DEALLOCATE ALL, DISCARD ALL): prepare it again, once.
        const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
        if (attempt == 0 && state && std::strcmp(state, "26000") == 0) {
            m_prepared[which] = false;
            continue;
        }
        if (!Succeeded(r.get(), error, true))
            return nullptr;
        return r;
    }
    return nullptr;
}

// Runs a text as it stands.
bool PgConnection::RunText(const std::string& sql, Error& error) {
    if (!Usable(error))
        return false;
    Result r = Answer(PQsendQuery(m_conn.get(), sql.c_str()), error);
    if (r &&
        (PQresultStatus(r.get()) == PGRES_COPY_IN || PQresultStatus(r.get()) == PGRES_COPY_OUT)) {
        EndCopy(PQresultStatus(r.get()));
        error = OwnError(OCI_RC_BAD_DATATYPE,
                         ": COPY with the client is not supported through this call layer");
        return false;
    }
    return Succeeded(r.get(), error, false);
}

// Has the server parse a text without running it.
bool PgConnection::PrepareOnly(const std::string& sql, Error& error) {
    if (!Usable(error))
        return false;
    Result r = Answer(PQsendPrepare(m_conn.get(), "", sql.c_str(), 0, nullptr), error);
    return Succeeded(r.get(), error, false);
}

// Collects the answer to what was just sent, as PQexec would: the last result, an error
// in preference to what came before it, or a COPY at once. Unlike PQexec it waits at
// most kAnswerDeadline: a server process that has stopped (frozen, or its machine
// suspended) still has its socket acknowledged by the kernel, so no TCP timeout fires,
// and the window would freeze for good. After the deadline the connection is closed and
// reported lost; a cancel request is not tried, as it would hang on a frozen server too.
Result PgConnection::Answer(int sent, Error& error) {
    if (!sent)
        return nullptr;
    PGconn* c = m_conn.get();
    const auto deadline = std::chrono::steady_clock::now() + kAnswerDeadline;
    Result last;
    for (;;) {
        const int flushed = PQflush(c);
        if (flushed < 0)
            return last;
        while (flushed == 0 && !PQisBusy(c)) {
            Result r(PQgetResult(c));
            if (!r)
                return last;
            const ExecStatusType status = PQresultStatus(r.get());
            if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH)
                return r;
            if (!last || PQresultStatus(last.get()) != PGRES_FATAL_ERROR)
                last = std::move(r);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fd{PQsocket(c), short(POLLIN | (flushed == 1 ? POLLOUT : 0)), 0};
        const int ready = ::poll(&fd, 1, int(left.count()));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && !PQconsumeInput(c) && PQstatus(c) != CONNECTION_OK)
            return last;
    }
    closeLost(error, "the database server did not answer within " +
                         std::to_string(kAnswerDeadline.count()) +
                         " seconds, so the connection was closed");
    return nullptr;
}

void PgConnection::closeLost(Error& error, const std::string& why) {
    m_conn.reset();
    m_lost = true;
    error = OwnError(OCI_RC_LOST_CONNECTION, ": " + why);
}

bool PgConnection::Usable(Error& error) {
    if (!m_lost && PQstatus(m_conn.get()) == CONNECTION_OK)
        return true;
    m_lost = true;
    error = Numbered(OCI_RC_NOT_CONNECTED, "not connected to the database: the connection was "
                                           "lost and this program does not reconnect");
    return false;
}

// Leaves the connection usable after a COPY it did not ask for.
void PgConnection::EndCopy(ExecStatusType status) {
    if (status == PGRES_COPY_IN) {
        PQputCopyEnd(m_conn.get(), "COPY is not supported here");
    } else {
        char* buffer = nullptr;
        while (PQgetCopyData(m_conn.get(), &buffer, 0) > 0) {
            PQfreemem(buffer);
            buffer = nullptr;
        }
    }
    while (PGresult* r = PQgetResult(m_conn.get()))
        PQclear(r);
}

// True for a good result; otherwise phrases the error: the server's message, its detail
// and hint, and the SQLSTATE, or the loss of the connection.
bool PgConnection::Succeeded(PGresult* r, Error& error, bool adapted) {
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY)
        return true;
    if (!m_conn)
        return false; // closed for want of an answer, and phrased so already

    auto field = [&](int code) -> std::string {
        const char* v = r ? PQresultErrorField(r, code) : nullptr;
        return v ? v : "";
    };
    const std::string sqlstate = field(PG_DIAG_SQLSTATE);
    const std::string primary = field(PG_DIAG_MESSAGE_PRIMARY);
    const std::string detail = field(PG_DIAG_MESSAGE_DETAIL);
    const std::string hint = field(PG_DIAG_MESSAGE_HINT);

    if (PQstatus(m_conn.get()) != CONNECTION_OK) {
        m_lost = true;
        error = OwnError(OCI_RC_LOST_CONNECTION, ": the connection to the database was lost\n" +
                                                     Trimmed(PQerrorMessage(m_conn.get())));
        return false;
    }
    if (primary.empty()) {
        error.code = codeFor(sqlstate);
        error.message = Trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(m_conn.get()));
        if (error.message.empty())
            error.message = "the database client library reported a failure without a text";
        return false;
    }
    error = ServerError(sqlstate, primary, detail, hint, adapted);
    return false;
}

Error ServerError(const std::string& sqlstate, const std::string& primary,
                  const std::string& detail, const std::string& hint, bool adapted) {
    Error error;
    error.code = codeFor(sqlstate);
    error.message = primary;
    if (!detail.empty())
        error.message += "\nDetail: " + detail;
    if (!hint.empty())
        error.message += "\nHint: " + hint;
    if (adapted && (sqlstate == "3F000" || sqlstate == "42883") &&
        primary.find("dbms_pipe") != std::string::npos)
        error.message += "\nHint: the pipes need the orafce extension in this database "
                         "(CREATE EXTENSION orafce).";
    error.message += "\nSQLSTATE " + sqlstate;
    return error;
}

} // namespace ocidrv::pg
