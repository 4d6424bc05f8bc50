#pragma once
// What a driver gives the call layer. CallLayer.cpp keeps the data areas and the function codes;
// a driver only connects, runs statements with their binds, and phrases its errors.
//
// The contract, which both drivers follow:
// * Ownership. A cursor keeps alive whatever of its session it needs: it stays usable after
//   the Session object that opened it is destroyed, and the connection ends when the session
//   and its last cursor are gone. Nothing depends on the order in which a caller declares or
//   destroys them.
// * Binds. Execute receives each placeholder name once (names compare ignoring case): the call
//   layer replaces a repeated bind of a name with the later one before it calls the driver.
// * Error text. Error::message is the whole text that oerhms gives for the failure. A text the
//   program phrases itself (the layer's or a driver's) begins with "ORA-nnnnn: ", the code in
//   five digits, and is built with OwnError or Numbered below, never written by hand. A
//   server's own report is passed on as the server phrased it: Oracle's begins with its
//   "ORA-nnnnn: " already; PostgreSQL's (and libpq's) has none, its code is derived from the
//   SQLSTATE, and the message ends with that SQLSTATE.
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ocidrv {

// One placeholder bound by obndrv: the caller's buffer, read before and written after execute.
struct Bind {
    std::string name; // as written in the statement, colon included, compared ignoring case
    void* buffer = nullptr;
    int length = 0; // bytes, terminator included for strings
    int type = 0;   // SQLT_INT or SQLT_STR
    short* indicator = nullptr;
};

// A failure: the return code for the data area and the message text for oerhms.
struct Error {
    int code = 0; // never 0 for a failure
    std::string message;
};

// The layer's own text for one of its return codes (the OCI_RC_* of Oci.h), or null.
const char* OwnErrorText(int code);
// code and "ORA-nnnnn: " followed by text.
Error Numbered(int code, std::string_view text);
// code and its own text, with detail (which brings its own separator) after it.
Error OwnError(int code, std::string_view detail = {});

// Read-ahead: a driver may answer the receiver's fixed statements (receive, unpack, the typed
// item block) from messages it took in one round trip. It is on unless the environment sets
// TIDEMARK_READ_AHEAD=off, so that one corpus can be run both ways.
inline bool ReadAheadEnabled() {
    const char* value = std::getenv("TIDEMARK_READ_AHEAD");
    return value == nullptr || std::string_view(value) != "off";
}

// Placeholder names compare ignoring case, as the server compares them.
bool SameName(std::string_view a, std::string_view b);

class Cursor {
public:
    virtual ~Cursor() = default;
    // Remembers the statement; parsing is deferred, errors come from execute.
    virtual bool Parse(const std::string& statement, Error& error) = 0;
    // Runs the last parsed statement with binds of distinct names. On success the OUT values
    // are in the bound buffers; on failure no bound buffer or indicator is written.
    virtual bool Execute(const std::vector<Bind>& binds, Error& error) = 0;
    virtual bool Close(Error& error) = 0;
    // Messages of this pipe the cursor's session took ahead and has not yet answered a receive
    // with (oheld). Never a round trip.
    virtual std::size_t HeldMessages(const std::string& /*pipe*/) const { return 0; }
};

class Session {
public:
    virtual ~Session() = default;
    // The cursor shares ownership of the connection: it may outlive this object.
    virtual std::unique_ptr<Cursor> OpenCursor(Error& error) = 0;
};

// Connects with the connect string's driver: "pg:..." for PostgreSQL with orafce, anything
// else for Oracle. Returns null and fills error on failure.
std::unique_ptr<Session> Connect(const std::string& user, const std::string& password,
                                 const std::string& connect, Error& error);

// The drivers, reached through Connect.
std::unique_ptr<Session> ConnectPostgres(const std::string& user, const std::string& password,
                                         const std::string& connect, Error& error);
std::unique_ptr<Session> ConnectOracle(const std::string& user, const std::string& password,
                                       const std::string& connect, Error& error);

} // namespace ocidrv
