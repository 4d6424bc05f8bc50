#pragma once
// The PostgreSQL driver's pure parts, kept apart so they can be checked without a server:
// reading the connect string, and what the PL/SQL texts the program sends are to this driver.
#include <optional>
#include <string>
#include <string_view>

namespace ocidrv::pg {

// "pg:[host][:port][/database]". An empty part is left to libpq's defaults and environment.
// A host with ':' or '/' in it (an IPv6 address, a socket directory) is written in brackets.
struct ConnectTarget {
    std::string host;
    std::string port;
    std::string database;
};
// Returns nothing and explains why in `why` when the text is not of that form.
std::optional<ConnectTarget> ParseConnectString(std::string_view connect, std::string* why);

// What a statement text is to the driver.
enum class StatementKind {
    Other,        // sent to the server unchanged
    Receive,      // begin :x := dbms_pipe.receive_message('P', T); end;
    Unpack,       // begin dbms_pipe.unpack_message(:len); end; or (:chr)
    TypedItem,    // the typed-item block
    Purge,        // begin dbms_pipe.purge('P'); end;
    CreateDebug,  // CREATE OR REPLACE PROCEDURE SendDebugMessage ...
    CreateTrace,  // CREATE OR REPLACE PROCEDURE SendTraceMessage ...
    SynonymDebug, // CREATE PUBLIC SYNONYM SendDebugMessage FOR SendDebugMessage;
    SynonymTrace, // CREATE PUBLIC SYNONYM SendTraceMessage FOR SendTraceMessage;
};

struct Statement {
    StatementKind kind = StatementKind::Other;
    std::string text;        // as the caller wrote it
    std::string pipe;        // Receive, Purge: the pipe name, apostrophes undoubled
    int timeout = 0;         // Receive
    std::string placeholder; // Receive, Unpack: the one placeholder, colon included
};

Statement Classify(std::string_view text);

} // namespace ocidrv::pg
