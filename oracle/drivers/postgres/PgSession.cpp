// The PostgreSQL driver: libpq underneath, orafce's dbms_pipe for the pipes. The PL/SQL the
// program sends is recognised and run as its SQL equivalent, with the pipe name passed as a
// parameter; any other text goes to the server as it stands. This file connects; the
// connection, the cursor, the values and the statement texts have files of their own.
#include "Oci.h"
#include "PgConnection.h"
#include "PgCursor.h"
#include "PgDriver.h"

#include <libpq-fe.h>

#include <string>
#include <vector>

namespace ocidrv {

namespace pg {
namespace {

// A session holds its connection only as long as it lives: every cursor shares it.
class PgSession final : public Session {
public:
    explicit PgSession(std::shared_ptr<PgConnection> connection)
        : m_connection(std::move(connection)),
          m_readAhead(std::make_shared<PgReadAhead>(m_connection)) {}

    std::unique_ptr<Cursor> OpenCursor(Error&) override {
        return OpenPgCursor(m_connection, m_readAhead);
    }

private:
    std::shared_ptr<PgConnection> m_connection;
    std::shared_ptr<PgReadAhead> m_readAhead; // the messages read ahead belong to the session
};

void ignoreNotice(void*, const char*) {}

} // namespace
} // namespace pg

std::unique_ptr<Session> ConnectPostgres(const std::string& user, const std::string& password,
                                         const std::string& connect, Error& error) {
    std::string why;
    const std::optional<pg::ConnectTarget> target = pg::ParseConnectString(connect, &why);
    if (!target) {
        error = Numbered(OCI_RC_NO_DRIVER, "cannot read the connect string \"" + connect + "\": " +
                                               why + ". The form is pg:[host][:port][/database].");
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
        error = Numbered(OCI_RC_CONNECT_FAILED, "out of memory while connecting");
        return nullptr;
    }
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        const std::string text = pg::Trimmed(PQerrorMessage(conn.get()));
        const bool denied = text.find("authentication failed") != std::string::npos ||
                            text.find("password") != std::string::npos;
        error = Numbered(denied ? OCI_RC_LOGON_DENIED : OCI_RC_CONNECT_FAILED,
                         std::string(denied ? "log-on denied by " : "cannot connect to ") +
                             (target->host.empty() ? "the default PostgreSQL server"
                                                   : "the PostgreSQL server at " + target->host) +
                             "\n" + text);
        return nullptr;
    }
    PQsetNoticeProcessor(conn.get(), pg::ignoreNotice, nullptr);
    auto connection = std::make_shared<pg::PgConnection>(std::move(conn));
    // A statement that is merely slow (waiting for another session's lock, say) is cancelled
    // by the server itself before the driver's own deadline gives the connection up: the
    // statement fails, the session stays.
    if (!connection->RunText("SET statement_timeout = '" +
                                 std::to_string(pg::kServerStatementTimeout.count()) + "s'",
                             error))
        return nullptr;
    return std::make_unique<pg::PgSession>(std::move(connection));
}

} // namespace ocidrv
