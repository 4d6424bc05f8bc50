#pragma once
// The call interface: the seven calls of the Oracle 7 call set and their data area. Every call
// returns 0 on success; on failure it returns non-zero and leaves the return code and the code
// of the failing function in the data area. The log-on's connect string picks the driver that
// serves all calls on that log-on and its cursors.
#include <cstddef>
#include <cstdint>

// The 64-byte log-on and cursor data area. Callers read only fc and rc, and only after a
// failed call; the rest belongs to the call layer.
struct Cda_Def {
    std::uint16_t v2_rc;   // 0: reserved
    std::uint16_t ft;      // 2: statement type
    std::uint32_t rpc;     // 4: rows processed
    std::uint16_t peo;     // 8: parse error offset
    std::uint8_t fc;       // 10: function code of the call that set rc
    std::uint8_t rcs1;     // 11
    std::uint16_t rc;      // 12: return code (0 after success)
    std::uint8_t wrn;      // 14
    std::uint8_t rcs2;     // 15
    void* handle;          // 16: the driver's state for this area (session or cursor)
    std::uint8_t rest[40]; // 24
};
using Lda_Def = Cda_Def;

static_assert(sizeof(Cda_Def) == 64, "the data area is 64 bytes");
static_assert(offsetof(Cda_Def, fc) == 10, "the function code is the byte at offset 10");
static_assert(offsetof(Cda_Def, rc) == 12, "the return code is the 2 bytes at offset 12");

// Function codes the layer leaves in fc on failure (olog leaves 0).
enum : std::uint8_t {
    OCI_FC_OEXEC = 4,
    OCI_FC_OOPEN = 14,
    OCI_FC_OCLOSE = 16,
    OCI_FC_OBNDRV = 28,
    OCI_FC_OPARSE = 54,
};

// External datatypes the program binds.
enum : short {
    SQLT_INT = 3, // signed integer of the bound length
    SQLT_STR = 5, // zero-terminated string; the bound length includes the terminator
};

// Return codes of the layer's own errors (Oracle's numbers for the same causes).
enum : int {
    OCI_RC_INVALID_CURSOR = 1001,
    OCI_RC_NO_STATEMENT = 1003, // no statement parsed
    OCI_RC_NOT_ALL_BOUND = 1008,
    OCI_RC_NOT_LOGGED_ON = 1012,
    OCI_RC_LOGON_DENIED = 1017, // invalid user name or password
    OCI_RC_BAD_VARIABLE = 1036,
    OCI_RC_INT_OVERFLOW = 1455,    // value overflows the integer variable
    OCI_RC_INVALID_NUMBER = 1722,  // text where a number was wanted
    OCI_RC_PROTOCOL_ERROR = 3106,  // the client library failed without a server error
    OCI_RC_LOST_CONNECTION = 3113, // end-of-file on communication channel
    OCI_RC_NOT_CONNECTED = 3114,
    OCI_RC_BAD_DATATYPE = 3115,     // external datatype the layer does not bind
    OCI_RC_VALUE_ERROR = 6502,      // character string buffer too small
    OCI_RC_CONNECT_FAILED = 12541,  // the server could not be reached
    OCI_RC_NO_DRIVER = 12154,       // connect string cannot be resolved
    OCI_RC_LIBRARY_MISSING = 12705, // reused for "client library not found"
};

int olog(Lda_Def* lda, unsigned char* hda, const char* uid, int uidl, const char* pswd, int pswdl,
         const char* conn, int connl, unsigned int mode);
int oopen(Cda_Def* cursor, Lda_Def* lda, const char* dbn, int dbnl, int arsize, const char* uid,
          int uidl);
int oparse(Cda_Def* cursor, const char* sqlstm, long sqllen, int defflg, unsigned int lngflg);
int obndrv(Cda_Def* cursor, const char* sqlvar, int sqlvl, void* progv, int progvl, int ftype,
           int scale, short* indp, const char* fmt, int fmtl, int fmtt);
int oexec(Cda_Def* cursor);
int oclose(Cda_Def* cursor);
int oerhms(Lda_Def* lda, int rcode, char* buf, int bufsiz);

// Ends the log-on and frees what the layer keeps for it; the area may log on again. Cursors
// still open on it keep their connection until they are closed. The window's log-on lasts for
// the process and never calls it; a program that logs on again and again (the terminal) does.
int ologof(Lda_Def* lda);

// Not one of the seven: how many messages of pipe (as the receive block's literal names it,
// apostrophes single) the log-on of this open cursor has taken from the server ahead of the
// receives that will be answered with them (read-ahead). Asks no server; 0 with no read-ahead,
// and for an area that is not an open cursor. A receiver that stops while this is above 0 would
// leave messages that are neither in the pipe nor shown.
int oheld(Cda_Def* cursor, const char* pipe, int pipel);
