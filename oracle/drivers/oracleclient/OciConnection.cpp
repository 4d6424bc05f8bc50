// The Oracle driver's log-on and the statements it runs: the client library's environment, error
// handle and service context per log-on; one statement handle per execution, prepared when the
// statement is executed and released right after, so that the server sees each statement, and
// reports its errors, at execution as the deferred parse of the old call set did.
#include "OciConnection.h"

#include "Oci.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <string_view>

namespace ocidrv::ora {
namespace {

using namespace oci;

// The longest one round trip may take, as the PostgreSQL driver allows: a server that has
// stopped answering must not hold the window for good.
constexpr std::chrono::milliseconds kCallTimeout{20000};

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

} // namespace

void Connection::Fail(sword status, const char* call, int fallbackCode, Error& error) const {
    ReadError(api(), m_err, OCI_HTYPE_ERROR, status, call, fallbackCode, error);
}

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

} // namespace ocidrv::ora
