// The seven calls. They keep the data areas (function code, return code, the driver state behind
// `handle`), check what can be checked without a server, and hand the rest to the driver that
// the log-on chose. The message text of every failure is kept with the log-on, so that oerhms
// on the log-on area can phrase the error that a cursor call produced.
#include "Driver.h"
#include "Oci.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// The last text seen for each return code on one log-on and its cursors.
struct ErrorBook {
    std::map<int, std::string> texts;
};

// What a log-on area's handle points to. Created by the first olog on the area and kept for the
// life of the process (there is no log-off); a later olog replaces only the session.
struct LogonState {
    std::shared_ptr<ErrorBook> book = std::make_shared<ErrorBook>();
    std::shared_ptr<ocidrv::Session> session;
};

// What an open cursor area's handle points to, from oopen to oclose. The driver cursor keeps
// its connection alive by itself.
struct CursorState {
    std::shared_ptr<ErrorBook> book;
    std::unique_ptr<ocidrv::Cursor> cursor;
    bool parsed = false;
    std::vector<ocidrv::Bind> binds;
};

LogonState* logonOf(const Lda_Def* lda) {
    return lda ? static_cast<LogonState*>(lda->handle) : nullptr;
}
CursorState* cursorOf(const Cda_Def* cda) {
    return cda ? static_cast<CursorState*>(cda->handle) : nullptr;
}

// The text for a return code: the layer's own, or a stand-in naming the code.
std::string textOf(int code) {
    return ocidrv::OwnError(code).message;
}

// A text of zero-terminated (length < 0) or counted input; null reads as empty.
std::string argText(const char* text, long length) {
    if (!text)
        return {};
    if (length < 0)
        return std::string(text);
    return std::string(text, static_cast<std::size_t>(length));
}

// Records a failure on the area and returns its code (never 0).
int fail(Cda_Def* area, std::uint8_t fc, int code, const std::string& message, ErrorBook* book) {
    if (code <= 0 || code > 0xFFFF)
        code = OCI_RC_PROTOCOL_ERROR;
    if (area) {
        area->fc = fc;
        area->rc = static_cast<std::uint16_t>(code);
    }
    if (book)
        book->texts[code] = message.empty() ? textOf(code) : message;
    return code;
}

int fail(Cda_Def* area, std::uint8_t fc, const ocidrv::Error& error, ErrorBook* book) {
    return fail(area, fc, error.code, error.message, book);
}

int failOwn(Cda_Def* area, std::uint8_t fc, int code, ErrorBook* book,
            const std::string& detail = {}) {
    return fail(area, fc, ocidrv::OwnError(code, detail.empty() ? detail : " (" + detail + ")"),
                book);
}

int succeed(Cda_Def* area, std::uint8_t fc) {
    area->fc = fc;
    area->rc = 0;
    return 0;
}

} // namespace

namespace ocidrv {
std::unique_ptr<Session> Connect(const std::string& user, const std::string& password,
                                 const std::string& connect, Error& error) {
    if (connect.size() >= 3 && (connect[0] == 'p' || connect[0] == 'P') &&
        (connect[1] == 'g' || connect[1] == 'G') && connect[2] == ':')
        return ConnectPostgres(user, password, connect, error);
    return ConnectOracle(user, password, connect, error);
}
} // namespace ocidrv

int olog(Lda_Def* lda, unsigned char* /*hda*/, const char* uid, int uidl, const char* pswd,
         int pswdl, const char* conn, int connl, unsigned int /*mode*/) {
    if (!lda)
        return OCI_RC_NOT_LOGGED_ON;
    if (!lda->handle) {
        // Owned by the log-on area from here on; the log-on lives as long as the process.
        lda->handle = std::make_unique<LogonState>().release();
    }
    LogonState* state = logonOf(lda);
    state->session.reset();
    ocidrv::Error error;
    std::unique_ptr<ocidrv::Session> session =
        ocidrv::Connect(argText(uid, uidl), argText(pswd, pswdl), argText(conn, connl), error);
    if (!session) {
        if (error.code == 0)
            error.code = OCI_RC_CONNECT_FAILED;
        return fail(lda, 0, error, state->book.get()); // a failed log-on leaves no function code
    }
    state->session = std::move(session);
    return succeed(lda, 0);
}

int oopen(Cda_Def* cursor, Lda_Def* lda, const char* /*dbn*/, int /*dbnl*/, int /*arsize*/,
          const char* /*uid*/, int /*uidl*/) {
    if (!cursor)
        return OCI_RC_INVALID_CURSOR;
    // Opening an open area again starts it afresh.
    std::unique_ptr<CursorState> previous(cursorOf(cursor));
    cursor->handle = nullptr;
    previous.reset();

    LogonState* logon = logonOf(lda);
    if (!logon || !logon->session)
        return failOwn(cursor, OCI_FC_OOPEN, OCI_RC_NOT_LOGGED_ON,
                       logon ? logon->book.get() : nullptr);
    ocidrv::Error error;
    std::unique_ptr<ocidrv::Cursor> driverCursor = logon->session->OpenCursor(error);
    if (!driverCursor)
        return fail(cursor, OCI_FC_OOPEN, error, logon->book.get());
    auto state = std::make_unique<CursorState>();
    state->book = logon->book;
    state->cursor = std::move(driverCursor);
    cursor->handle = state.release(); // owned by the area until oclose
    return succeed(cursor, OCI_FC_OOPEN);
}

int oparse(Cda_Def* cursor, const char* sqlstm, long sqllen, int /*defflg*/,
           unsigned int /*lngflg*/) {
    CursorState* state = cursorOf(cursor);
    if (!state)
        return failOwn(cursor, OCI_FC_OPARSE, OCI_RC_INVALID_CURSOR, nullptr);
    // A new statement needs its own binds; the old ones are gone even if the parse fails.
    state->binds.clear();
    state->parsed = false;
    if (!sqlstm)
        return failOwn(cursor, OCI_FC_OPARSE, OCI_RC_NO_STATEMENT, state->book.get(),
                       "the statement text is missing");
    ocidrv::Error error;
    if (!state->cursor->Parse(argText(sqlstm, sqllen), error))
        return fail(cursor, OCI_FC_OPARSE, error, state->book.get());
    state->parsed = true;
    return succeed(cursor, OCI_FC_OPARSE);
}

int obndrv(Cda_Def* cursor, const char* sqlvar, int sqlvl, void* progv, int progvl, int ftype,
           int /*scale*/, short* indp, const char* /*fmt*/, int /*fmtl*/, int /*fmtt*/) {
    CursorState* state = cursorOf(cursor);
    if (!state)
        return failOwn(cursor, OCI_FC_OBNDRV, OCI_RC_INVALID_CURSOR, nullptr);
    ErrorBook* book = state->book.get();
    if (!state->parsed)
        return failOwn(cursor, OCI_FC_OBNDRV, OCI_RC_NO_STATEMENT, book);
    const std::string name = argText(sqlvar, sqlvl);
    if (name.size() < 2 || name[0] != ':')
        return failOwn(cursor, OCI_FC_OBNDRV, OCI_RC_BAD_VARIABLE, book,
                       "placeholder \"" + name + "\" does not start with a colon and a name");
    if (!progv)
        return failOwn(cursor, OCI_FC_OBNDRV, OCI_RC_BAD_VARIABLE, book,
                       "no variable given for " + name);
    if (ftype == SQLT_INT) {
        if (progvl != 1 && progvl != 2 && progvl != 4 && progvl != 8)
            return failOwn(cursor, OCI_FC_OBNDRV, OCI_RC_BAD_VARIABLE, book,
                           "an integer variable is 1, 2, 4 or 8 bytes long, " + name + " has " +
                               std::to_string(progvl));
    } else if (ftype == SQLT_STR) {
        if (progvl < 1)
            return failOwn(cursor, OCI_FC_OBNDRV, OCI_RC_BAD_VARIABLE, book,
                           "a string variable needs room for its terminator, " + name + " has " +
                               std::to_string(progvl) + " bytes");
    } else {
        return failOwn(cursor, OCI_FC_OBNDRV, OCI_RC_BAD_DATATYPE, book,
                       "external type " + std::to_string(ftype) + " for " + name);
    }
    // The driver sees each name once: a name bound again takes its new variable.
    ocidrv::Bind bind{name, progv, progvl, ftype, indp};
    auto same = std::find_if(state->binds.begin(), state->binds.end(),
                             [&](const ocidrv::Bind& b) { return ocidrv::SameName(b.name, name); });
    if (same != state->binds.end())
        *same = std::move(bind);
    else
        state->binds.push_back(std::move(bind));
    return succeed(cursor, OCI_FC_OBNDRV);
}

int oexec(Cda_Def* cursor) {
    CursorState* state = cursorOf(cursor);
    if (!state)
        return failOwn(cursor, OCI_FC_OEXEC, OCI_RC_INVALID_CURSOR, nullptr);
    if (!state->parsed)
        return failOwn(cursor, OCI_FC_OEXEC, OCI_RC_NO_STATEMENT, state->book.get());
    ocidrv::Error error;
    if (!state->cursor->Execute(state->binds, error))
        return fail(cursor, OCI_FC_OEXEC, error, state->book.get());
    return succeed(cursor, OCI_FC_OEXEC);
}

int oclose(Cda_Def* cursor) {
    std::unique_ptr<CursorState> state(cursorOf(cursor));
    if (!state)
        return failOwn(cursor, OCI_FC_OCLOSE, OCI_RC_INVALID_CURSOR, nullptr);
    cursor->handle = nullptr;
    ocidrv::Error error;
    const bool closed = state->cursor->Close(error);
    std::shared_ptr<ErrorBook> book = state->book;
    state.reset(); // the area is closed whatever the driver said
    if (!closed)
        return fail(cursor, OCI_FC_OCLOSE, error, book.get());
    return succeed(cursor, OCI_FC_OCLOSE);
}

int ologof(Lda_Def* lda) {
    std::unique_ptr<LogonState> state(logonOf(lda));
    if (!state)
        return failOwn(lda, 0, OCI_RC_NOT_LOGGED_ON, nullptr);
    lda->handle = nullptr;
    return succeed(lda, 0);
}

int oheld(Cda_Def* cursor, const char* pipe, int pipel) {
    CursorState* state = cursorOf(cursor);
    if (!state || !pipe)
        return 0;
    const std::size_t held = state->cursor->HeldMessages(argText(pipe, pipel));
    return static_cast<int>(std::min<std::size_t>(held, 0x7fffffff));
}

int oerhms(Lda_Def* lda, int rcode, char* buf, int bufsiz) {
    if (!buf || bufsiz <= 0)
        return 0;
    std::string text;
    if (LogonState* logon = logonOf(lda)) {
        auto found = logon->book->texts.find(rcode);
        if (found != logon->book->texts.end())
            text = found->second;
    }
    if (text.empty())
        text = textOf(rcode);
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(bufsiz - 1));
    // Never cut a UTF-8 sequence in two: drop the continuation bytes of a cut character.
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return static_cast<int>(n);
}
