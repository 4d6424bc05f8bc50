// The Oracle driver: the call layer's log-on and cursors on Oracle's own client library, loaded at
// the first log-on. One environment, error handle and service context per log-on; one statement
// handle per cursor, prepared when the statement is executed and released right after, so that
// the server sees each statement, and reports its errors, at execution as the deferred parse of
// the old call set did.
//
// Parts: small helpers of the client's calls; Connection (the log-on's handles, the call
// time-out, the messages read ahead per pipe and the block that reads them, HoldId/RunBlock);
// PreparedStatement; how a statement text is handed to the server (ForServer); OracleCursor
// (the receiver's statements answered from what was read ahead, everything else executed);
// OracleSession and ConnectOracle.
#include "Oci.h"
#include "OciApi.h"
#include "OciReadAhead.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace ocidrv {
namespace {

using namespace oci;

// The longest one round trip may take, as the PostgreSQL driver allows: a server that has
// stopped answering must not hold the window for good.
constexpr std::chrono::milliseconds kCallTimeout{20000};

// What the server reports for a PL/SQL block that does not compile.
constexpr int kCompilationError = 6550;

bool Succeeded(sword status) {
    return status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO;
}

const OraText* Text(const std::string& text) {
    return reinterpret_cast<const OraText*>(text.c_str());
}

// Reads Oracle's own error (number and text) for a call that returned status. When the library
// left no error record, fallbackCode and a description of the call stand in for it.
void ReadError(const Api& api, void* handle, ub4 handleType, sword status, const char* call,
               int fallbackCode, Error& error) {
    sb4 code = 0;
    std::vector<OraText> text(kErrorTextSize, 0);
    if (handle != nullptr && status != OCI_INVALID_HANDLE &&
        api.ErrorGet(handle, 1, nullptr, &code, text.data(), ub4(text.size()), handleType) ==
            OCI_SUCCESS &&
        code != 0) {
        text.back() = 0;
        std::string message(reinterpret_cast<const char*>(text.data()));
        while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
            message.pop_back();
        // Oracle's own text comes with its number in front; only a missing one is phrased here.
        error = message.empty() ? Numbered(code, "(no message text)") : Error{code, message};
        return;
    }
    error = Numbered(fallbackCode, call + std::string(" failed with status ") +
                                       std::to_string(status) + " and left no error record");
}

// The log-on: its handles live as long as the session or any of its cursors.
class Connection {
public:
    static std::shared_ptr<Connection> LogOn(const std::string& user, const std::string& password,
                                             const std::string& connect, Error& error);
    explicit Connection(std::shared_ptr<const Library> library) : m_library(std::move(library)) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const Api& api() const { return m_library->api(); }
    OCIError* err() const { return m_err; }
    OCISvcCtx* svc() const { return m_svc; }
    void Fail(sword status, const char* call, int fallbackCode, Error& error) const {
        ReadError(api(), m_err, OCI_HTYPE_ERROR, status, call, fallbackCode, error);
    }

    // The receiver's statements, answered from the messages read ahead where it can be.
    // Also after the server refused the block: what was read ahead before is still delivered.
    bool ReadAhead() const {
        return m_readAhead || !m_held.empty() || !m_failed.empty() || m_current;
    }
    bool Receive(const ora::Fixed& fixed, const std::string& statement,
                 const std::vector<Bind>& binds, Error& error);
    bool Unpack(ora::Fixed::Kind kind, const std::string& statement, const std::vector<Bind>& binds,
                Error& error);
    bool Purge(const std::string& pipe, const std::string& statement,
               const std::vector<Bind>& binds, Error& error);
    // Messages of the pipe read ahead, or waiting on its hold pipe, that no receive has taken.
    std::size_t Held(const std::string& pipe) const {
        const auto found = m_held.find(pipe);
        return found == m_held.end() ? 0 : found->second.size();
    }

private:
    enum class Trip { Ran, Refused, Failed };
    Trip RunBlock(const std::string& pipe, int most, ora::Batch& batch, Error& error);
    bool ReadAheadOnce(const std::string& pipe, const std::string& statement,
                       const std::vector<Bind>& binds, Error& error);
    int HoldId(const std::string& pipe);

    std::shared_ptr<const Library> m_library;
    OCIEnv* m_env = nullptr;
    OCIError* m_err = nullptr;
    OCISvcCtx* m_svc = nullptr;

    bool m_readAhead = ReadAheadEnabled();
    // Per pipe, the messages read ahead and not yet received by the program, in pipe order.
    std::map<std::string, std::deque<ora::Held>> m_held;
    std::map<std::string, int> m_holdIds; // the pipe's number in its hold pipe's name
    // Per pipe, how many messages the next round trip asks for (kFirstTrip when absent).
    std::map<std::string, int> m_tripSize;
    // Per pipe, the error that ended its last round trip early: the receive after the messages
    // that trip delivered reports it.
    std::map<std::string, Error> m_failed;
    // The message the program received last, while it is answered from memory.
    std::optional<ora::HeldMessage> m_current;
    std::size_t m_plainSteps = 0;
    std::size_t m_typedSteps = 0;
};

Connection::~Connection() {
    const Api& oci = api();
    if (m_svc != nullptr)
        oci.Logoff(m_svc, m_err);
    if (m_err != nullptr)
        oci.HandleFree(m_err, OCI_HTYPE_ERROR);
    if (m_env != nullptr)
        oci.HandleFree(m_env, OCI_HTYPE_ENV);
}

std::shared_ptr<Connection> Connection::LogOn(const std::string& user, const std::string& password,
                                              const std::string& connect, Error& error) {
    std::shared_ptr<const Library> library = Library::Load(error);
    if (!library)
        return nullptr;
    auto connection = std::make_shared<Connection>(library);
    const Api& oci = library->api();

    // Texts go to the server as UTF-8 whatever NLS_LANG says; only a client too old to choose
    // its character set falls back to the environment's.
    const sword created =
        oci.EnvNlsCreate != nullptr
            ? oci.EnvNlsCreate(&connection->m_env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr,
                               0, nullptr, OCI_CHARSET_AL32UTF8, OCI_CHARSET_AL32UTF8)
            : oci.EnvCreate(&connection->m_env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0,
                            nullptr);
    if (!Succeeded(created)) {
        if (connection->m_env != nullptr) {
            ReadError(oci, connection->m_env, OCI_HTYPE_ENV, created, "OCIEnvNlsCreate",
                      OCI_RC_LIBRARY_MISSING, error);
        } else {
            error = Numbered(OCI_RC_LIBRARY_MISSING,
                             "the Oracle client library " + library->path() +
                                 " could not create its environment (status " +
                                 std::to_string(created) +
                                 "); check the installation of the client and the ORACLE_HOME and "
                                 "NLS_LANG variables.");
        }
        return nullptr;
    }

    void* err = nullptr;
    const sword allocated = oci.HandleAlloc(connection->m_env, &err, OCI_HTYPE_ERROR, 0, nullptr);
    if (!Succeeded(allocated) || err == nullptr) {
        ReadError(oci, connection->m_env, OCI_HTYPE_ENV, allocated, "OCIHandleAlloc",
                  OCI_RC_NOT_LOGGED_ON, error);
        return nullptr;
    }
    connection->m_err = static_cast<OCIError*>(err);

    OCISvcCtx* svc = nullptr;
    const sword logged =
        oci.Logon2 != nullptr
            ? oci.Logon2(connection->m_env, connection->m_err, &svc, Text(user), ub4(user.size()),
                         Text(password), ub4(password.size()), Text(connect), ub4(connect.size()),
                         OCI_DEFAULT)
            : oci.Logon(connection->m_env, connection->m_err, &svc, Text(user), ub4(user.size()),
                        Text(password), ub4(password.size()), Text(connect), ub4(connect.size()));
    // A warning such as an expiring password still logs on.
    if (!Succeeded(logged) || svc == nullptr) {
        connection->Fail(logged, oci.Logon2 != nullptr ? "OCILogon2" : "OCILogon",
                         OCI_RC_NOT_LOGGED_ON, error);
        return nullptr;
    }
    connection->m_svc = svc;
    // Clients before release 18 do not know the attribute and refuse it: they wait as long as
    // the server takes, as before.
    ub4 timeout = ub4(kCallTimeout.count());
    oci.AttrSet(svc, OCI_HTYPE_SVCCTX, &timeout, 0, OCI_ATTR_CALL_TIMEOUT, connection->m_err);
    error = {};
    return connection;
}

// A statement handle from OCIStmtPrepare2, released when the execution is over.
class PreparedStatement {
public:
    explicit PreparedStatement(const Connection& connection) : m_connection(connection) {}
    ~PreparedStatement() {
        if (m_stmt != nullptr)
            m_connection.api().StmtRelease(m_stmt, m_connection.err(), nullptr, 0, OCI_DEFAULT);
    }
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    OCIStmt** out() { return &m_stmt; }
    OCIStmt* get() const { return m_stmt; }

private:
    const Connection& m_connection;
    OCIStmt* m_stmt = nullptr;
};

// Where the client library reads and writes a bound variable during one execution. The
// caller's variable is copied in before and back only after a successful execution, so that a
// failed one leaves the caller's buffers and indicators as they were.
struct Shadow {
    const Bind* bind;
    std::vector<unsigned char> data;
    sb2 indicator;
};

// The words a statement starts with, comments and blanks skipped, upper-cased.
std::vector<std::string> LeadingWords(std::string_view text, std::size_t count) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size() && words.size() < count) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (text.substr(i, 2) == "--") {
            const std::size_t end = text.find('\n', i);
            i = end == std::string_view::npos ? text.size() : end + 1;
        } else if (text.substr(i, 2) == "/*") {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 2;
        } else if (std::isalpha(c)) {
            std::string word;
            while (i < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
                word += char(std::toupper(static_cast<unsigned char>(text[i])));
                ++i;
            }
            words.push_back(std::move(word));
        } else {
            break;
        }
    }
    return words;
}

// The server runs PL/SQL blocks and the creation of stored PL/SQL units with their closing
// semicolon, but rejects a plain SQL statement that ends in one (ORA-00911), as a
// statement typed for a command-line tool such as "CREATE PUBLIC SYNONYM X FOR X;" does. The
// old call set's users relied on such statements working, so the one terminating semicolon of a
// plain SQL statement is left out; everything else reaches the server unchanged.
std::string ForServer(const std::string& statement) {
    std::size_t end = statement.size();
    while (end > 0 && std::isspace(static_cast<unsigned char>(statement[end - 1])))
        --end;
    if (end == 0 || statement[end - 1] != ';')
        return statement;
    const std::vector<std::string> words = LeadingWords(statement, 6);
    if (words.empty())
        return statement;
    if (words[0] == "BEGIN" || words[0] == "DECLARE")
        return statement;
    if (words[0] == "CREATE") {
        for (std::size_t i = 1; i < words.size(); ++i) {
            const std::string& word = words[i];
            if (word == "OR" || word == "REPLACE" || word == "EDITIONABLE" ||
                word == "NONEDITIONABLE" || word == "AND" || word == "COMPILE" || word == "RESOLVE")
                continue;
            if (word == "PROCEDURE" || word == "FUNCTION" || word == "PACKAGE" ||
                word == "TRIGGER" || word == "TYPE" || word == "JAVA" || word == "LIBRARY")
                return statement;
            break;
        }
    }
    return statement.substr(0, end - 1);
}

// Runs one statement on the server: prepared, bound, executed, released.
bool RunStatement(const Connection& connection, const std::string& statement,
                  const std::vector<Bind>& binds, Error& error) {
    const Api& oci = connection.api();

    PreparedStatement stmt(connection);
    sword status = oci.StmtPrepare2(connection.svc(), stmt.out(), connection.err(), Text(statement),
                                    ub4(statement.size()), nullptr, 0, OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (!Succeeded(status) || stmt.get() == nullptr) {
        connection.Fail(status, "OCIStmtPrepare2", OCI_RC_INVALID_CURSOR, error);
        return false;
    }

    // A query is only opened, as the old call set's execution did; everything else runs once.
    ub2 type = 0;
    status = oci.AttrGet(stmt.get(), OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE,
                         connection.err());
    if (!Succeeded(status)) {
        connection.Fail(status, "OCIAttrGet", OCI_RC_INVALID_CURSOR, error);
        return false;
    }

    // Each name comes once: the call layer has replaced a repeated bind.
    std::vector<Shadow> shadows;
    shadows.reserve(binds.size()); // the library keeps the addresses until the execution
    for (const Bind& bind : binds) {
        Shadow& shadow = shadows.emplace_back(Shadow{&bind, {}, 0});
        if (bind.buffer != nullptr && bind.length > 0) {
            const auto* bytes = static_cast<const unsigned char*>(bind.buffer);
            shadow.data.assign(bytes, bytes + bind.length);
        }
        if (bind.indicator != nullptr)
            shadow.indicator = *bind.indicator;
        OCIBind* handle = nullptr;
        status = oci.BindByName(
            stmt.get(), &handle, connection.err(), Text(bind.name), sb4(bind.name.size()),
            shadow.data.empty() ? nullptr : shadow.data.data(), sb4(shadow.data.size()),
            ub2(bind.type), bind.indicator != nullptr ? &shadow.indicator : nullptr, nullptr,
            nullptr, 0, nullptr, OCI_DEFAULT);
        if (!Succeeded(status)) {
            connection.Fail(status, "OCIBindByName", OCI_RC_BAD_VARIABLE, error);
            return false;
        }
    }

    status = oci.StmtExecute(connection.svc(), stmt.get(), connection.err(),
                             type == OCI_STMT_SELECT ? 0 : 1, 0, nullptr, nullptr, OCI_DEFAULT);
    // With information (such as a stored unit created with compilation errors) it has run;
    // no data is not a failure of a statement that fetches nothing.
    if (!Succeeded(status) && status != OCI_NO_DATA) {
        connection.Fail(status, "OCIStmtExecute", OCI_RC_INVALID_CURSOR, error);
        return false;
    }
    for (const Shadow& shadow : shadows) {
        if (shadow.bind->buffer != nullptr && !shadow.data.empty())
            std::memcpy(shadow.bind->buffer, shadow.data.data(), shadow.data.size());
        if (shadow.bind->indicator != nullptr)
            *shadow.bind->indicator = shadow.indicator;
    }
    error = {};
    return true;
}

// The hold pipe's number for a pipe: one per pipe, so that each pipe's held message waits on
// a pipe of its own.
int Connection::HoldId(const std::string& pipe) {
    const auto [it, added] = m_holdIds.emplace(pipe, int(m_holdIds.size()) + 1);
    return it->second;
}

// One round trip of the read-ahead block, asking for most messages. Refused when the server
// did not run the block at all (it does not compile there: nothing was taken); Failed when it
// may have run, with the error to report.
Connection::Trip Connection::RunBlock(const std::string& pipe, int most, ora::Batch& batch,
                                      Error& error) {
    std::string name = pipe;
    std::string hold = std::to_string(HoldId(pipe));
    std::int32_t max = most, room = ora::kReceiveRoom, cap = ora::kReplyCapBytes;
    std::vector<char> reply(ora::kReplyBufferBytes, '\0');
    short indicator = -1;
    const std::vector<Bind> binds = {
        {":tm_pipe", name.data(), int(name.size()) + 1, SQLT_STR, nullptr},
        {":tm_hold", hold.data(), int(hold.size()) + 1, SQLT_STR, nullptr},
        {":tm_max", &max, sizeof max, SQLT_INT, nullptr},
        {":tm_room", &room, sizeof room, SQLT_INT, nullptr},
        {":tm_cap", &cap, sizeof cap, SQLT_INT, nullptr},
        {":tm_buf", reply.data(), int(reply.size()), SQLT_STR, &indicator},
    };
    if (!RunStatement(*this, ora::ReadAheadBlock(), binds, error)) {
        // PL/SQL compilation errors all come as ORA-06550.
        if (error.code == kCompilationError)
            return Trip::Refused;
    } else if (indicator != 0) {
        error = Numbered(OCI_RC_PROTOCOL_ERROR, "the read-ahead block returned no reply");
    } else {
        reply.back() = '\0';
        if (ora::ParseReply(reply.data(), batch))
            return Trip::Ran;
        error =
            Numbered(OCI_RC_PROTOCOL_ERROR, "the reply of the read-ahead block could not be read");
    }
    error.message += " " + ora::LostMessages(std::size_t(most), pipe);
    return Trip::Failed;
}

// Runs the block for an empty pipe of read-ahead and answers the receive from its reply.
bool Connection::ReadAheadOnce(const std::string& pipe, const std::string& statement,
                               const std::vector<Bind>& binds, Error& error) {
    const auto size = m_tripSize.find(pipe);
    const int most = size == m_tripSize.end() ? ora::kFirstTrip : size->second;
    ora::Batch batch;
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
        m_tripSize.erase(pipe);
        return false;
    case Trip::Ran:
        break;
    }
    if (!batch.failure && int(batch.held.size()) >= most)
        m_tripSize[pipe] = std::min(most * 2, ora::kMessagesPerTrip);
    else
        m_tripSize.erase(pipe);
    if (batch.failure) {
        Error failure = *batch.failure;
        if (batch.lost > 0)
            failure.message += " " + ora::LostMessages(std::size_t(batch.lost), pipe);
        m_failed[pipe] = std::move(failure);
    }
    if (!batch.held.empty()) {
        std::deque<ora::Held>& held = m_held[pipe];
        for (ora::Held& entry : batch.held)
            held.push_back(std::move(entry));
        return Receive(ora::Fixed{ora::Fixed::Receive, pipe, false}, statement, binds, error);
    }
    if (batch.failure)
        return Receive(ora::Fixed{ora::Fixed::Receive, pipe, false}, statement, binds, error);
    if (batch.finalStatus) {
        error = {};
        return ora::AnswerStatus(*batch.finalStatus, binds);
    }
    // A trip that took nothing and saw no status (asked for none): the server answers.
    return RunStatement(*this, statement, binds, error);
}

bool Connection::Receive(const ora::Fixed& fixed, const std::string& statement,
                         const std::vector<Bind>& binds, Error& error) {
    const std::string& pipe = fixed.pipe;
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
        if (!m_readAhead || fixed.wait || pipe.size() > ora::kLongestPipeName)
            return RunStatement(*this, statement, binds, error);
        return ReadAheadOnce(pipe, statement, binds, error);
    }
    std::deque<ora::Held>& held = found->second;
    ora::Held next = std::move(held.front());
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
    return ora::AnswerStatus(0, binds);
}

bool Connection::Unpack(ora::Fixed::Kind kind, const std::string& statement,
                        const std::vector<Bind>& binds, Error& error) {
    // A statement the message in memory cannot answer goes to the server, as without
    // read-ahead; the receiver never sends one.
    if (!m_current)
        return RunStatement(*this, statement, binds, error);
    error = {};
    if (kind == ora::Fixed::TypedItem) {
        if (m_plainSteps > 0)
            return RunStatement(*this, statement, binds, error);
        const std::vector<ora::TypedStep>& steps = m_current->typed;
        const ora::TypedStep step =
            m_typedSteps < steps.size() ? steps[m_typedSteps] : ora::TypedStep{};
        ++m_typedSteps;
        return ora::AnswerTyped(step, binds, error);
    }
    const std::size_t expected = kind == ora::Fixed::UnpackLength ? 0 : 1;
    if (m_typedSteps > 0 || m_plainSteps != expected)
        return RunStatement(*this, statement, binds, error);
    ++m_plainSteps;
    return ora::AnswerUnpack(expected == 0 ? m_current->length : m_current->text, binds, error);
}

bool Connection::Purge(const std::string& pipe, const std::string& statement,
                       const std::vector<Bind>& binds, Error& error) {
    if (!RunStatement(*this, statement, binds, error))
        return false;
    // What was read ahead from the pipe goes with it, and so does a message on its hold pipe.
    const auto found = m_held.find(pipe);
    if (found != m_held.end()) {
        for (const ora::Held& entry : found->second) {
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
    m_tripSize.erase(pipe);
    return true;
}

class OracleCursor final : public Cursor {
public:
    explicit OracleCursor(std::shared_ptr<Connection> connection)
        : m_connection(std::move(connection)) {}

    bool Parse(const std::string& statement, Error& error) override {
        if (!Usable(error))
            return false;
        m_statement = ForServer(statement);
        error = {};
        return true;
    }

    bool Execute(const std::vector<Bind>& binds, Error& error) override;

    std::size_t HeldMessages(const std::string& pipe) const override {
        return m_connection ? m_connection->Held(pipe) : 0;
    }

    bool Close(Error& error) override {
        if (!Usable(error))
            return false;
        m_statement.reset();
        m_connection.reset();
        error = {};
        return true;
    }

private:
    bool Usable(Error& error) const {
        if (m_connection)
            return true;
        error = OwnError(OCI_RC_INVALID_CURSOR);
        return false;
    }

    std::shared_ptr<Connection> m_connection; // null once closed
    std::optional<std::string> m_statement;
};

bool OracleCursor::Execute(const std::vector<Bind>& binds, Error& error) {
    if (!Usable(error))
        return false;
    if (!m_statement) {
        error = OwnError(OCI_RC_NO_STATEMENT);
        return false;
    }
    Connection& connection = *m_connection;
    if (connection.ReadAhead()) {
        const ora::Fixed fixed = ora::Recognise(*m_statement);
        if (fixed.kind != ora::Fixed::Other && ora::ReceiverBinds(fixed.kind, binds)) {
            switch (fixed.kind) {
            case ora::Fixed::Receive:
                return connection.Receive(fixed, *m_statement, binds, error);
            case ora::Fixed::Purge:
                return connection.Purge(fixed.pipe, *m_statement, binds, error);
            default:
                return connection.Unpack(fixed.kind, *m_statement, binds, error);
            }
        }
    }
    return RunStatement(connection, *m_statement, binds, error);
}

class OracleSession final : public Session {
public:
    explicit OracleSession(std::shared_ptr<Connection> connection)
        : m_connection(std::move(connection)) {}

    std::unique_ptr<Cursor> OpenCursor(Error& error) override {
        error = {};
        return std::make_unique<OracleCursor>(m_connection);
    }

private:
    std::shared_ptr<Connection> m_connection;
};

} // namespace

std::unique_ptr<Session> ConnectOracle(const std::string& user, const std::string& password,
                                       const std::string& connect, Error& error) {
    std::shared_ptr<Connection> connection = Connection::LogOn(user, password, connect, error);
    if (!connection)
        return nullptr;
    return std::make_unique<OracleSession>(std::move(connection));
}

} // namespace ocidrv
