#pragma once
// The part of Oracle's client interface (OCI) the Oracle driver uses, declared from its published
// description: handles are opaque pointers, the constants are the documented numbers. The client
// library is loaded at run time, so nothing Oracle is needed to build or to run against
// PostgreSQL.
#include "Driver.h"

#include <cstddef>
#include <memory>
#include <string>

namespace ocidrv::oci {

using ub2 = unsigned short;
using sb2 = short;
using ub4 = unsigned int;
using sb4 = int;
using sword = int;
using OraText = unsigned char;

struct OCIEnv;
struct OCIError;
struct OCISvcCtx;
struct OCIStmt;
struct OCIBind;
struct OCISnapshot;

// Results of every call.
constexpr sword OCI_SUCCESS = 0;
constexpr sword OCI_SUCCESS_WITH_INFO = 1;
constexpr sword OCI_NO_DATA = 100;
constexpr sword OCI_ERROR = -1;
constexpr sword OCI_INVALID_HANDLE = -2;

constexpr ub4 OCI_DEFAULT = 0;

// Handle types.
constexpr ub4 OCI_HTYPE_ENV = 1;
constexpr ub4 OCI_HTYPE_ERROR = 2;
constexpr ub4 OCI_HTYPE_SVCCTX = 3;
constexpr ub4 OCI_HTYPE_STMT = 4;

constexpr ub4 OCI_NTV_SYNTAX = 1;      // statement language: the server's own
constexpr ub4 OCI_ATTR_STMT_TYPE = 24; // ub2 attribute of a statement handle
constexpr ub2 OCI_STMT_SELECT = 1;     // its value for a query
constexpr ub2 OCI_CHARSET_AL32UTF8 = 873;
// ub4 attribute of a service context (clients from release 18): the longest a round trip may
// take, in milliseconds, before the call gives up with an error.
constexpr ub4 OCI_ATTR_CALL_TIMEOUT = 531;
constexpr std::size_t kErrorTextSize = 3072; // room for the longest message text

using OCIEnvNlsCreateFn = sword (*)(OCIEnv** envp, ub4 mode, void* ctxp,
                                    void* (*malocfp)(void*, std::size_t),
                                    void* (*ralocfp)(void*, void*, std::size_t),
                                    void (*mfreefp)(void*, void*), std::size_t xtramem_sz,
                                    void** usrmempp, ub2 charset, ub2 ncharset);
using OCIEnvCreateFn = sword (*)(OCIEnv** envp, ub4 mode, void* ctxp,
                                 void* (*malocfp)(void*, std::size_t),
                                 void* (*ralocfp)(void*, void*, std::size_t),
                                 void (*mfreefp)(void*, void*), std::size_t xtramem_sz,
                                 void** usrmempp);
using OCIHandleAllocFn = sword (*)(const void* parenth, void** hndlpp, ub4 type,
                                   std::size_t xtramem_sz, void** usrmempp);
using OCIHandleFreeFn = sword (*)(void* hndlp, ub4 type);
using OCIErrorGetFn = sword (*)(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep,
                                OraText* bufp, ub4 bufsiz, ub4 type);
using OCILogon2Fn = sword (*)(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp,
                              const OraText* username, ub4 uname_len, const OraText* password,
                              ub4 passwd_len, const OraText* dbname, ub4 dbname_len, ub4 mode);
using OCILogonFn = sword (*)(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp,
                             const OraText* username, ub4 uname_len, const OraText* password,
                             ub4 passwd_len, const OraText* dbname, ub4 dbname_len);
using OCILogoffFn = sword (*)(OCISvcCtx* svchp, OCIError* errhp);
using OCIStmtPrepare2Fn = sword (*)(OCISvcCtx* svchp, OCIStmt** stmthp, OCIError* errhp,
                                    const OraText* stmttext, ub4 stmt_len, const OraText* key,
                                    ub4 keylen, ub4 language, ub4 mode);
using OCIStmtReleaseFn = sword (*)(OCIStmt* stmthp, OCIError* errhp, const OraText* key, ub4 keylen,
                                   ub4 mode);
using OCIBindByNameFn = sword (*)(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp,
                                  const OraText* placeholder, sb4 placeh_len, void* valuep,
                                  sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
                                  ub4 maxarr_len, ub4* curelep, ub4 mode);
using OCIStmtExecuteFn = sword (*)(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                   ub4 rowoff, const OCISnapshot* snap_in, OCISnapshot* snap_out,
                                   ub4 mode);
using OCIAttrGetFn = sword (*)(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                               ub4 attrtype, OCIError* errhp);
using OCIAttrSetFn = sword (*)(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                               ub4 attrtype, OCIError* errhp);

// Every call the driver resolves, each named once: OCI<name> in the library, OCI<name>Fn its
// type above, <name> its member of Api. The second column names the newer call that an older
// one stands in for on clients before 9.2 (the newer one is used when the library has it); such
// a call is not required by itself. Every other call is.
#define TIDEMARK_OCI_CALLS(X)                                                                      \
    X(EnvNlsCreate, nullptr)                                                                       \
    X(EnvCreate, "OCIEnvNlsCreate")                                                                \
    X(Logon2, nullptr)                                                                             \
    X(Logon, "OCILogon2")                                                                          \
    X(HandleAlloc, nullptr)                                                                        \
    X(HandleFree, nullptr)                                                                         \
    X(ErrorGet, nullptr)                                                                           \
    X(Logoff, nullptr)                                                                             \
    X(StmtPrepare2, nullptr)                                                                       \
    X(StmtRelease, nullptr)                                                                        \
    X(BindByName, nullptr)                                                                         \
    X(StmtExecute, nullptr)                                                                        \
    X(AttrGet, nullptr)                                                                            \
    X(AttrSet, nullptr)

// The calls resolved from the loaded library.
struct Api {
#define TIDEMARK_OCI_MEMBER(name, standsInFor) OCI##name##Fn name = nullptr;
    TIDEMARK_OCI_CALLS(TIDEMARK_OCI_MEMBER)
#undef TIDEMARK_OCI_MEMBER
};

// The environment variable that names the client library to load instead of searching for it.
inline constexpr const char* kLibraryVariable = "TIDEMARK_OCI_LIBRARY";

// A loaded client library. A library is loaded once per process and kept (a client library
// cannot be safely unloaded); a failed load is tried again at the next log-on.
class Library {
public:
    // The library named by TIDEMARK_OCI_LIBRARY, or else the first of the platform's names
    // found in $ORACLE_HOME/lib or by the system's loader. Returns null and fills error on
    // failure.
    static std::shared_ptr<const Library> Load(Error& error);

    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const Api& api() const { return m_api; }
    const std::string& path() const { return m_path; }

private:
    Library(void* handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}

    void* m_handle;
    std::string m_path;
    Api m_api;
};

} // namespace ocidrv::oci
