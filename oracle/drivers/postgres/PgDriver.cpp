// The PostgreSQL driver: libpq underneath, orafce's dbms_pipe for the pipes. The PL/SQL the
// program sends is recognised and run as its SQL equivalent, with the pipe name passed as a
// parameter; any other text goes to the server as it stands.
#include "PgDriver.h"
#include "Driver.h"
#include "Oci.h"

#include <libpq-fe.h>

#include <poll.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace ocidrv {

namespace pg {
namespace {

// How long a statement may go without an answer before the server is taken for lost, and
// the shorter time after which the server cancels a statement of ours that still runs.
constexpr std::chrono::seconds kAnswerDeadline{20};
constexpr std::chrono::seconds kServerStatementTimeout{15};

// Statements prepared once per session and run for every message.
enum Prepared { kReceive, kUnpackNumber, kUnpackText, kTypedItem, kPurge, kPreparedCount };

struct PreparedText {
    const char* name;
    const char* sql;
    int params;
};

// The typed item: next_item_type() in a subquery that is fenced off with OFFSET 0, so it is
// evaluated before the CASE of the outer query unpacks (at most) the one matching item.
// orafce's codes are mapped to Oracle's afterwards.
constexpr std::array<PreparedText, kPreparedCount> kPrepared = {{
    {"tidemark_receive", "SELECT dbms_pipe.receive_message($1::text, $2::integer)", 2},
    {"tidemark_unpack_number", "SELECT trim_scale(dbms_pipe.unpack_message_number())::text", 0},
    {"tidemark_unpack_text", "SELECT dbms_pipe.unpack_message_text()", 0},
    {"tidemark_typed_item",
     "SELECT t.typ, CASE t.typ"
     " WHEN 9 THEN trim_scale(dbms_pipe.unpack_message_number())::text"
     " WHEN 11 THEN dbms_pipe.unpack_message_text()"
     " WHEN 12 THEN dbms_pipe.unpack_message_date()::text"
     " WHEN 23 THEN CASE WHEN dbms_pipe.unpack_message_bytea() IS NULL"
     " THEN 'UNKNOWN' ELSE 'UNKNOWN' END END"
     " FROM (SELECT dbms_pipe.next_item_type() AS typ OFFSET 0) AS t",
     0},
    {"tidemark_purge", "SELECT dbms_pipe.purge($1::text)", 1},
}};

// The sending procedures in PL/pgSQL: same parameters, same message (the length as a number,
// then the text), same error. They run with their owner's rights and a fixed search_path, as
// stored procedures do on Oracle, and live in the installer's current schema.
constexpr char kCreateDebugSql[] = R"SQL(DO $tidemark$
BEGIN
    EXECUTE format($ddl$
CREATE OR REPLACE PROCEDURE %1$I.senddebugmessage(themessage varchar, thepipe varchar DEFAULT 'tidemark')
LANGUAGE plpgsql SECURITY DEFINER SET search_path = %1$I, pg_temp
AS $body$
DECLARE
    status integer;
BEGIN
    PERFORM dbms_pipe.pack_message(length(themessage));
    PERFORM dbms_pipe.pack_message(themessage::text);
    status := dbms_pipe.send_message(thepipe::text);
    IF status <> 0 THEN
        RAISE EXCEPTION 'Debug error';
    END IF;
END
$body$$ddl$, current_schema());
END
$tidemark$)SQL";

constexpr char kCreateTraceSql[] = R"SQL(DO $tidemark$
BEGIN
    EXECUTE format($ddl$
CREATE OR REPLACE PROCEDURE %1$I.sendtracemessage(themessage varchar, thepipe varchar DEFAULT 'tidemark')
LANGUAGE plpgsql SECURITY DEFINER SET search_path = %1$I, pg_temp
AS $body$
DECLARE
    amessage varchar(2000);
BEGIN
    amessage := localtimestamp(0)::text || ': ' || themessage;
    CALL %1$I.senddebugmessage(amessage, thepipe);
END
$body$$ddl$, current_schema());
END
$tidemark$)SQL";

// A public synonym makes the procedure callable by everyone.
constexpr char kGrantDebugSql[] =
    "GRANT EXECUTE ON PROCEDURE senddebugmessage(varchar, varchar) TO PUBLIC";
constexpr char kGrantTraceSql[] =
    "GRANT EXECUTE ON PROCEDURE sendtracemessage(varchar, varchar) TO PUBLIC";

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct ConnDeleter {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnDeleter>;

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

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

// One value the statement hands back, for the placeholder of that name.
struct OutValue {
    const std::string* name;
    bool isNull;
    std::string text;
};

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

const Bind* findBind(const std::vector<Bind>& binds, std::string_view name) {
    for (const Bind& b : binds)
        if (sameName(b.name, name))
            return &b;
    return nullptr;
}

// Every placeholder of the statement is bound, and nothing else is.
bool checkBinds(const std::vector<Bind>& binds, std::initializer_list<std::string_view> wanted,
                Error& error) {
    for (std::string_view name : wanted) {
        if (!findBind(binds, name)) {
            error.code = OCI_RC_NOT_ALL_BOUND;
            error.message = "ORA-01008: not all variables bound (" + std::string(name) + ")";
            return false;
        }
    }
    for (const Bind& b : binds) {
        bool known = false;
        for (std::string_view name : wanted)
            known = known || sameName(b.name, name);
        if (!known) {
            error.code = OCI_RC_BAD_VARIABLE;
            error.message = "ORA-01036: illegal variable name/number (" + b.name +
                            " is not a placeholder of the statement)";
            return false;
        }
    }
    return true;
}

// A number's text (optional sign, digits, optional fraction) as an integer, the fraction cut off.
bool parseInteger(const std::string& text, long long& value, bool& overflow) {
    overflow = false;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    const std::size_t digits = i;
    unsigned long long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (v > (std::numeric_limits<unsigned long long>::max() - 9) / 10)
            overflow = true;
        else
            v = v * 10 + unsigned(text[i] - '0');
        ++i;
    }
    if (i == digits)
        return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
    }
    if (i != text.size())
        return false;
    // The negative side reaches one further than the positive side.
    const auto most = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    if (overflow || v > most + (negative ? 1 : 0)) {
        overflow = true;
        value = 0;
    } else if (negative) {
        value = v == most + 1 ? std::numeric_limits<long long>::min() : -static_cast<long long>(v);
    } else {
        value = static_cast<long long>(v);
    }
    return true;
}

// Writes the values into the caller's variables: all of them or, when one does not fit, none.
bool writeOut(const std::vector<Bind>& binds, const std::vector<OutValue>& values, Error& error) {
    struct Staged {
        const Bind* bind;
        bool isNull;
        long long integer;
        const std::string* text;
    };
    std::vector<Staged> staged;
    staged.reserve(values.size());
    for (const OutValue& v : values) {
        const Bind* b = findBind(binds, *v.name);
        if (!b)
            continue; // checked before the statement ran
        Staged s{b, v.isNull, 0, &v.text};
        if (b->type == SQLT_INT && !v.isNull) {
            bool overflow = false;
            if (!parseInteger(v.text, s.integer, overflow)) {
                error.code = OCI_RC_INVALID_NUMBER;
                error.message =
                    "ORA-01722: invalid number (\"" + v.text + "\" for " + b->name + ")";
                return false;
            }
            const int bits = b->length * 8;
            const long long lo =
                bits >= 64 ? std::numeric_limits<long long>::min() : -(1LL << (bits - 1));
            const long long hi =
                bits >= 64 ? std::numeric_limits<long long>::max() : (1LL << (bits - 1)) - 1;
            if (overflow || s.integer < lo || s.integer > hi) {
                error.code = OCI_RC_INT_OVERFLOW;
                error.message = "ORA-01455: converting column overflows integer datatype (" +
                                v.text + " does not fit the " + std::to_string(b->length) +
                                "-byte variable " + b->name + ")";
                return false;
            }
        } else if (b->type == SQLT_STR && !v.isNull) {
            if (v.text.size() + 1 > static_cast<std::size_t>(b->length)) {
                error.code = OCI_RC_VALUE_ERROR;
                error.message = "ORA-06502: PL/SQL: numeric or value error: character string "
                                "buffer too small (the value has " +
                                std::to_string(v.text.size()) + " bytes, " + b->name + " holds " +
                                std::to_string(b->length - 1) + " and its terminator)";
                return false;
            }
        }
        staged.push_back(s);
    }
    for (const Staged& s : staged) {
        const Bind& b = *s.bind;
        if (b.type == SQLT_INT) {
            const long long v = s.isNull ? 0 : s.integer;
            switch (b.length) {
            case 1: {
                const auto x = static_cast<std::int8_t>(v);
                std::memcpy(b.buffer, &x, 1);
                break;
            }
            case 2: {
                const auto x = static_cast<std::int16_t>(v);
                std::memcpy(b.buffer, &x, 2);
                break;
            }
            case 4: {
                const auto x = static_cast<std::int32_t>(v);
                std::memcpy(b.buffer, &x, 4);
                break;
            }
            default: {
                const auto x = static_cast<std::int64_t>(v);
                std::memcpy(b.buffer, &x, 8);
                break;
            }
            }
        } else {
            char* out = static_cast<char*>(b.buffer);
            const std::size_t n = s.isNull ? 0 : s.text->size();
            std::memcpy(out, s.text->data(), n);
            out[n] = '\0';
        }
        if (b.indicator)
            *b.indicator = s.isNull ? -1 : 0;
    }
    return true;
}

class PgSession final : public Session {
public:
    explicit PgSession(Conn conn) : m_conn(std::move(conn)) {}

    std::unique_ptr<Cursor> OpenCursor(Error& error) override;

    // Runs one of the prepared statements, preparing it first on this session if need be.
    Result runPrepared(Prepared which, const std::vector<const char*>& params, Error& error) {
        if (!usable(error))
            return nullptr;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const PreparedText& p = kPrepared[which];
            if (!m_prepared[which]) {
                Result r =
                    answer(PQsendPrepare(m_conn.get(), p.name, p.sql, p.params, nullptr), error);
                if (!succeeded(r.get(), error, true))
                    return nullptr;
                m_prepared[which] = true;
            }
            Result r = answer(PQsendQueryPrepared(m_conn.get(), p.name, p.params, params.data(),
                                                  nullptr, nullptr, 0),
                              error);
            // Somebody deallocated it (DEALLOCATE ALL, DISCARD ALL): prepare it again, once.
            const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
            if (attempt == 0 && state && std::strcmp(state, "26000") == 0) {
                m_prepared[which] = false;
                continue;
            }
            if (!succeeded(r.get(), error, true))
                return nullptr;
            return r;
        }
        return nullptr;
    }

    // Runs a text as it stands.
    bool runText(const std::string& sql, Error& error) {
        if (!usable(error))
            return false;
        Result r = answer(PQsendQuery(m_conn.get(), sql.c_str()), error);
        if (r && (PQresultStatus(r.get()) == PGRES_COPY_IN ||
                  PQresultStatus(r.get()) == PGRES_COPY_OUT)) {
            endCopy(PQresultStatus(r.get()));
            error.code = OCI_RC_BAD_DATATYPE;
            error.message = "COPY with the client is not supported through this call layer";
            return false;
        }
        return succeeded(r.get(), error, false);
    }

    // Has the server parse a text without running it.
    bool prepareOnly(const std::string& sql, Error& error) {
        if (!usable(error))
            return false;
        Result r = answer(PQsendPrepare(m_conn.get(), "", sql.c_str(), 0, nullptr), error);
        return succeeded(r.get(), error, false);
    }

private:
    // Collects the answer to what was just sent, as PQexec would: the last result, an error
    // in preference to what came before it, or a COPY at once. Unlike PQexec it waits at
    // most kAnswerDeadline: a server process that has stopped (frozen, or its machine
    // suspended) still has its socket acknowledged by the kernel, so no TCP timeout fires,
    // and the window would freeze for good. After the deadline the connection is closed and
    // reported lost; a cancel request is not tried, as it would hang on a frozen server too.
    Result answer(int sent, Error& error) {
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
                if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT ||
                    status == PGRES_COPY_BOTH)
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
        m_conn.reset();
        m_lost = true;
        error.code = OCI_RC_LOST_CONNECTION;
        error.message = "ORA-03113: end-of-file on communication channel: the database server "
                        "did not answer within " +
                        std::to_string(kAnswerDeadline.count()) +
                        " seconds, so the connection was closed";
        return nullptr;
    }

    bool usable(Error& error) {
        if (!m_lost && PQstatus(m_conn.get()) == CONNECTION_OK)
            return true;
        m_lost = true;
        error.code = OCI_RC_NOT_CONNECTED;
        error.message = "ORA-03114: not connected to the database: the connection was lost "
                        "and this program does not reconnect";
        return false;
    }

    // Leaves the connection usable after a COPY it did not ask for.
    void endCopy(ExecStatusType status) {
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
    bool succeeded(PGresult* r, Error& error, bool adapted) {
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
            error.code = OCI_RC_LOST_CONNECTION;
            error.message = "ORA-03113: end-of-file on communication channel: the connection "
                            "to the database was lost\n" +
                            trimmed(PQerrorMessage(m_conn.get()));
            return false;
        }
        if (primary.empty()) {
            error.code = codeFor(sqlstate);
            error.message = trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(m_conn.get()));
            if (error.message.empty())
                error.message = "the database client library reported a failure without a text";
            return false;
        }
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
        return false;
    }

    Conn m_conn;
    std::array<bool, kPreparedCount> m_prepared{};
    bool m_lost = false;
};

class PgCursor final : public Cursor {
public:
    explicit PgCursor(PgSession& session) : m_session(session) {}

    bool Parse(const std::string& statement, Error&) override {
        m_statement = Classify(statement);
        return true;
    }

    bool Execute(const std::vector<Bind>& binds, Error& error) override {
        switch (m_statement.kind) {
        case StatementKind::Receive:
            return receive(binds, error);
        case StatementKind::Unpack:
            return unpack(binds, error);
        case StatementKind::TypedItem:
            return typedItem(binds, error);
        case StatementKind::Purge:
            return purge(binds, error);
        case StatementKind::CreateDebug:
            return fixed(binds, kCreateDebugSql, error);
        case StatementKind::CreateTrace:
            return fixed(binds, kCreateTraceSql, error);
        case StatementKind::SynonymDebug:
            return fixed(binds, kGrantDebugSql, error);
        case StatementKind::SynonymTrace:
            return fixed(binds, kGrantTraceSql, error);
        case StatementKind::Other:
            break;
        }
        if (!binds.empty()) {
            // Let the server say what it makes of the text first (a pipe block broken by a
            // stray apostrophe gets its syntax error), without running it.
            if (!m_session.prepareOnly(m_statement.text, error))
                return false;
            error.code = OCI_RC_BAD_VARIABLE;
            error.message = "ORA-01036: illegal variable name/number (" + binds.front().name +
                            "): this driver binds variables only in the pipe blocks it knows; "
                            "other statements go to the server as they stand";
            return false;
        }
        return m_session.runText(m_statement.text, error);
    }

    bool Close(Error&) override { return true; }

private:
    static std::string firstValue(const PGresult* r, int column, bool& isNull) {
        isNull = PQntuples(r) < 1 || PQgetisnull(r, 0, column);
        return isNull ? std::string() : std::string(PQgetvalue(r, 0, column));
    }

    bool receive(const std::vector<Bind>& binds, Error& error) {
        if (!checkBinds(binds, {m_statement.placeholder}, error))
            return false;
        const std::string timeout = std::to_string(m_statement.timeout);
        Result r =
            m_session.runPrepared(kReceive, {m_statement.pipe.c_str(), timeout.c_str()}, error);
        if (!r)
            return false;
        bool isNull = false;
        std::string status = firstValue(r.get(), 0, isNull);
        return writeOut(binds, {{&m_statement.placeholder, isNull, std::move(status)}}, error);
    }

    bool unpack(const std::vector<Bind>& binds, Error& error) {
        if (!checkBinds(binds, {m_statement.placeholder}, error))
            return false;
        // The variable's type says which item type is wanted, as the overloads do in PL/SQL.
        const Bind* b = findBind(binds, m_statement.placeholder);
        Result r =
            m_session.runPrepared(b->type == SQLT_INT ? kUnpackNumber : kUnpackText, {}, error);
        if (!r)
            return false;
        bool isNull = false;
        std::string value = firstValue(r.get(), 0, isNull);
        return writeOut(binds, {{&m_statement.placeholder, isNull, std::move(value)}}, error);
    }

    bool typedItem(const std::vector<Bind>& binds, Error& error) {
        static const std::string kType = ":v_typ";
        static const std::string kValue = ":v_res";
        if (!checkBinds(binds, {kType, kValue}, error))
            return false;
        Result r = m_session.runPrepared(kTypedItem, {}, error);
        if (!r)
            return false;
        bool typeNull = false, valueNull = false;
        const std::string orafceType = firstValue(r.get(), 0, typeNull);
        std::string value = firstValue(r.get(), 1, valueNull);
        long long code = 0;
        bool overflow = false;
        if (typeNull || !parseInteger(orafceType, code, overflow) || overflow) {
            error.code = OCI_RC_PROTOCOL_ERROR;
            error.message = "dbms_pipe.next_item_type() gave \"" + orafceType + "\"";
            return false;
        }
        std::vector<OutValue> out;
        switch (code) {
        case 0: // no further item: the block assigns '', which is NULL
            out = {{&kType, false, "0"}, {&kValue, true, {}}};
            break;
        case 9: // NUMBER
            out = {{&kType, false, "6"}, {&kValue, valueNull, std::move(value)}};
            break;
        case 11: // text
            out = {{&kType, false, "9"}, {&kValue, valueNull, std::move(value)}};
            break;
        case 12: // DATE
            out = {{&kType, false, "12"}, {&kValue, valueNull, std::move(value)}};
            break;
        case 23: // bytea, Oracle's RAW
            out = {{&kType, false, "23"}, {&kValue, false, "UNKNOWN"}};
            break;
        default: // a type the block does not unpack: the value is left as it was
            out = {{&kType, false, std::to_string(code)}};
            break;
        }
        return writeOut(binds, out, error);
    }

    bool purge(const std::vector<Bind>& binds, Error& error) {
        if (!checkBinds(binds, {}, error))
            return false;
        return static_cast<bool>(m_session.runPrepared(kPurge, {m_statement.pipe.c_str()}, error));
    }

    bool fixed(const std::vector<Bind>& binds, const char* sql, Error& error) {
        if (!checkBinds(binds, {}, error))
            return false;
        return m_session.runText(sql, error);
    }

    PgSession& m_session;
    Statement m_statement;
};

std::unique_ptr<Cursor> PgSession::OpenCursor(Error&) {
    return std::make_unique<PgCursor>(*this);
}

void ignoreNotice(void*, const char*) {}

} // namespace
} // namespace pg

std::unique_ptr<Session> ConnectPostgres(const std::string& user, const std::string& password,
                                         const std::string& connect, Error& error) {
    std::string why;
    const std::optional<pg::ConnectTarget> target = pg::ParseConnectString(connect, &why);
    if (!target) {
        error.code = OCI_RC_NO_DRIVER;
        error.message = "ORA-12154: cannot read the connect string \"" + connect + "\": " + why +
                        ". The form is pg:[host][:port][/database].";
        return nullptr;
    }
    // Keyword/value pairs, never a conninfo text: nothing in the connect string or the log-on
    // can add options of its own. Empty parts are left to libpq's defaults and environment.
    std::vector<const char*> keys, values;
    auto add = [&](const char* key, const std::string& value) {
        if (!value.empty()) {
            keys.push_back(key);
            values.push_back(value.c_str());
        }
    };
    add("host", target->host);
    add("port", target->port);
    add("dbname", target->database);
    add("user", user);
    add("password", password);
    static const std::string kFixed[][2] = {
        {"client_encoding", "UTF8"}, {"application_name", "Tidemark"},
        {"connect_timeout", "10"},   {"keepalives", "1"},
        {"keepalives_idle", "30"},   {"keepalives_interval", "10"},
        {"keepalives_count", "3"},   {"tcp_user_timeout", "30000"},
    };
    for (const auto& kv : kFixed)
        add(kv[0].c_str(), kv[1]);
    keys.push_back(nullptr);
    values.push_back(nullptr);

    pg::Conn conn(PQconnectdbParams(keys.data(), values.data(), 0));
    if (!conn) {
        error.code = OCI_RC_CONNECT_FAILED;
        error.message = "ORA-12541: out of memory while connecting";
        return nullptr;
    }
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        const std::string text = pg::trimmed(PQerrorMessage(conn.get()));
        const bool denied = text.find("authentication failed") != std::string::npos ||
                            text.find("password") != std::string::npos;
        error.code = denied ? OCI_RC_LOGON_DENIED : OCI_RC_CONNECT_FAILED;
        error.message =
            std::string(denied ? "ORA-01017: log-on denied by " : "ORA-12541: cannot connect to ") +
            (target->host.empty() ? "the default PostgreSQL server"
                                  : "the PostgreSQL server at " + target->host) +
            "\n" + text;
        return nullptr;
    }
    PQsetNoticeProcessor(conn.get(), pg::ignoreNotice, nullptr);
    auto session = std::make_unique<pg::PgSession>(std::move(conn));
    // A statement that is merely slow (waiting for another session's lock, say) is cancelled
    // by the server itself before the driver's own deadline gives the connection up: the
    // statement fails, the session stays.
    if (!session->runText("SET statement_timeout = '" +
                              std::to_string(pg::kServerStatementTimeout.count()) + "s'",
                          error))
        return nullptr;
    return session;
}

} // namespace ocidrv
