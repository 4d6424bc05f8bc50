#pragma once
// What a driver gives the call layer. CallLayer.cpp keeps the data areas and the function codes;
// a driver only connects, runs statements with their binds, and phrases its errors.
#include <memory>
#include <string>
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

class Cursor {
public:
    virtual ~Cursor() = default;
    // Remembers the statement; parsing is deferred, errors come from execute.
    virtual bool Parse(const std::string& statement, Error& error) = 0;
    // Runs the last parsed statement. On success the OUT values are in the bound buffers; on
    // failure no bound buffer or indicator is written.
    virtual bool Execute(const std::vector<Bind>& binds, Error& error) = 0;
    virtual bool Close(Error& error) = 0;
};

class Session {
public:
    virtual ~Session() = default;
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
