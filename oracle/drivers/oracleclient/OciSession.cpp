// The Oracle driver: the call layer's log-on and cursors on Oracle's own client library, loaded
// at the first log-on. This file connects; the connection, the cursor and read-ahead have files
// of their own.
#include "OciConnection.h"
#include "OciCursor.h"

#include <memory>
#include <string>

namespace ocidrv {
namespace {

class OracleSession final : public Session {
public:
    explicit OracleSession(std::shared_ptr<ora::Connection> connection)
        : m_connection(std::move(connection)) {}

    std::unique_ptr<Cursor> OpenCursor(Error& error) override {
        error = {};
        return ora::OpenCursor(m_connection);
    }

private:
    std::shared_ptr<ora::Connection> m_connection;
};

} // namespace

std::unique_ptr<Session> ConnectOracle(const std::string& user, const std::string& password,
                                       const std::string& connect, Error& error) {
    std::shared_ptr<ora::Connection> connection =
        ora::Connection::LogOn(user, password, connect, error);
    if (!connection)
        return nullptr;
    return std::make_unique<OracleSession>(std::move(connection));
}

} // namespace ocidrv
