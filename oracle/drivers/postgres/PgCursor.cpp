// A cursor of the PostgreSQL driver: the statement the caller parsed, recognised and run as its
// SQL equivalent, or sent to the server as it stands.
#include "PgCursor.h"

#include "Oci.h"
#include "PgDriver.h"
#include "PgReadAhead.h"
#include "PgValues.h"

#include <optional>
#include <string>
#include <vector>

namespace ocidrv::pg {
namespace {

class PgCursor final : public Cursor {
public:
    PgCursor(std::shared_ptr<PgConnection> connection, std::shared_ptr<PgReadAhead> readAhead)
        : m_connection(std::move(connection)), m_readAhead(std::move(readAhead)) {}

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
            if (!m_connection->PrepareOnly(m_statement.text, error))
                return false;
            error = OwnError(OCI_RC_BAD_VARIABLE,
                             " (" + binds.front().name +
                                 "): this driver binds variables only in the pipe blocks it "
                                 "knows; other statements go to the server as they stand");
            return false;
        }
        return m_connection->RunText(m_statement.text, error);
    }

    bool Close(Error&) override { return true; }
    std::size_t HeldMessages(const std::string& pipe) const override {
        return m_readAhead->HeldMessages(pipe);
    }

private:
    static std::string firstValue(const PGresult* r, int column, bool& isNull) {
        isNull = PQntuples(r) < 1 || PQgetisnull(r, 0, column);
        return isNull ? std::string() : std::string(PQgetvalue(r, 0, column));
    }

    // The result's first value into the statement's one placeholder.
    bool writeFirstValue(PGresult* r, const std::vector<Bind>& binds, Error& error) {
        bool isNull = false;
        std::string value = firstValue(r, 0, isNull);
        return WriteOut(binds, {{m_statement.placeholder, isNull, std::move(value)}}, error);
    }

    bool receive(const std::vector<Bind>& binds, Error& error) {
        if (!CheckBinds(binds, {m_statement.placeholder}, error))
            return false;
        if (const std::optional<bool> answered = m_readAhead->Receive(m_statement, binds, error))
            return *answered;
        const std::string timeout = std::to_string(m_statement.timeout);
        Result r =
            m_connection->RunPrepared(kReceive, {m_statement.pipe.c_str(), timeout.c_str()}, error);
        return r && writeFirstValue(r.get(), binds, error);
    }

    bool unpack(const std::vector<Bind>& binds, Error& error) {
        if (!CheckBinds(binds, {m_statement.placeholder}, error))
            return false;
        // The variable's type says which item type is wanted, as the overloads do in PL/SQL.
        const bool number = FindBind(binds, m_statement.placeholder)->type == SQLT_INT;
        if (const std::optional<bool> answered =
                m_readAhead->Unpack(number, m_statement.placeholder, binds, error))
            return *answered;
        Result r = m_connection->RunPrepared(number ? kUnpackNumber : kUnpackText, {}, error);
        return r && writeFirstValue(r.get(), binds, error);
    }

    bool typedItem(const std::vector<Bind>& binds, Error& error) {
        if (!CheckBinds(binds, {kTypedType, kTypedValue}, error))
            return false;
        if (const std::optional<bool> answered = m_readAhead->TypedItem(binds, error))
            return *answered;
        Result r = m_connection->RunPrepared(kTypedItem, {}, error);
        if (!r)
            return false;
        bool typeNull = false, valueNull = false;
        const std::string orafceType = firstValue(r.get(), 0, typeNull);
        std::string value = firstValue(r.get(), 1, valueNull);
        long long code = 0;
        bool overflow = false;
        if (typeNull || !ParseInteger(orafceType, code, overflow) || overflow) {
            error = OwnError(OCI_RC_PROTOCOL_ERROR,
                             ": dbms_pipe.next_item_type() gave \"" + orafceType + "\"");
            return false;
        }
        return WriteOut(binds, TypedItemValues(int(code), valueNull, std::move(value)), error);
    }

    bool purge(const std::vector<Bind>& binds, Error& error) {
        if (!CheckBinds(binds, {}, error))
            return false;
        if (!m_connection->RunPrepared(kPurge, {m_statement.pipe.c_str()}, error))
            return false;
        m_readAhead->Purge(m_statement.pipe);
        return true;
    }

    bool fixed(const std::vector<Bind>& binds, const char* sql, Error& error) {
        if (!CheckBinds(binds, {}, error))
            return false;
        return m_connection->RunText(sql, error);
    }

    std::shared_ptr<PgConnection> m_connection; // shared with the session and its other cursors
    std::shared_ptr<PgReadAhead> m_readAhead;   // likewise
    Statement m_statement;
};

} // namespace

std::unique_ptr<Cursor> OpenPgCursor(std::shared_ptr<PgConnection> connection,
                                     std::shared_ptr<PgReadAhead> readAhead) {
    return std::make_unique<PgCursor>(std::move(connection), std::move(readAhead));
}

} // namespace ocidrv::pg
