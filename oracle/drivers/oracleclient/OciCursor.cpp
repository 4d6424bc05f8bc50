// The Oracle driver's cursor. It shares its session's connection, so it stays usable after the
// session object is gone.
#include "OciCursor.h"

#include "Oci.h"
#include "OciConnection.h"

#include <optional>
#include <string>
#include <vector>

namespace ocidrv::ora {
namespace {

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
        return m_connection ? m_connection->HeldMessages(pipe) : 0;
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
        // Only the receiver's texts exactly as it builds them: any other text, however
        // close, is the server's to run or refuse.
        const RecognisedStatement fixed = Recognise(*m_statement);
        if (fixed.exact && ReceiverBinds(fixed.kind, binds)) {
            switch (fixed.kind) {
            case ReceiverStatement::Receive:
                return connection.Receive(fixed.pipe, fixed.timeout != "0", *m_statement, binds,
                                          error);
            case ReceiverStatement::Purge:
                return connection.Purge(fixed.pipe, *m_statement, binds, error);
            case ReceiverStatement::UnpackLength:
            case ReceiverStatement::UnpackText:
            case ReceiverStatement::TypedItem:
                return connection.Unpack(fixed.kind, *m_statement, binds, error);
            case ReceiverStatement::Other:
                break;
            }
        }
    }
    return RunStatement(connection, *m_statement, binds, error);
}

} // namespace

std::unique_ptr<Cursor> OpenCursor(std::shared_ptr<Connection> connection) {
    return std::make_unique<OracleCursor>(std::move(connection));
}

} // namespace ocidrv::ora
