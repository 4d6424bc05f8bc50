// A stand-in for Oracle's client library: exports the OCI calls the driver resolves, records every
// call it receives as one line of text, checks the handles it is given, and plays back scripted
// results, OUT values and errors. Steered by the test through the fakeoci_* functions.
//
// Built twice: as a current client (both the modern calls and their older forms) and, with
// FAKEOCI_OLD_CLIENT, as a client from before OCIEnvNlsCreate and OCILogon2.
//
// Parts: the recorded state (handles, binds, scripted failures and OUT values) and its helpers;
// the control functions the test steers it with (fakeoci_*); the client interface itself, from
// the environment and handles through the log-on forms to prepare, bind and execute.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <strings.h>
#include <vector>

#define FAKEOCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using sword = int;
using ub2 = unsigned short;
using sb2 = short;
using ub4 = unsigned int;
using sb4 = int;
using OraText = unsigned char;

constexpr sword kSuccess = 0;
constexpr sword kError = -1;
constexpr sword kInvalidHandle = -2;
constexpr sword kNoData = 100;

enum Kind : ub4 { Env = 1, Err = 2, Svc = 3, Stmt = 4, BindKind = 5 };

struct BindRecord {
    std::string name;
    void* value;
    sb4 size;
    ub2 dty;
    sb2* indicator;
};

struct Handle {
    Kind kind;
    int id;
    int errorCode = 0; // the error record, on error and environment handles
    std::string errorText;
    std::string text;              // statement text
    std::vector<BindRecord> binds; // statement binds
    std::vector<std::unique_ptr<Handle>> bindHandles;
};

struct Failure {
    sword status;
    int code;
    std::string text;
};

struct State {
    int nextId = 1;
    std::map<void*, std::unique_ptr<Handle>> live;
    std::string calls;
    std::map<std::string, Failure> failures;                              // by call name, used once
    std::vector<std::pair<std::string, std::optional<std::string>>> outs; // placeholder, value
    std::string lastCallsCopy;
};

State& state() {
    static State s;
    return s;
}

const char* KindName(Kind kind) {
    switch (kind) {
    case Env:
        return "env";
    case Err:
        return "err";
    case Svc:
        return "svc";
    case Stmt:
        return "stmt";
    case BindKind:
        return "bind";
    }
    return "?";
}

std::string Name(const void* p) {
    if (p == nullptr)
        return "null";
    auto it = state().live.find(const_cast<void*>(p));
    if (it == state().live.end())
        return "invalid";
    return KindName(it->second->kind) + std::to_string(it->second->id);
}

void Record(const std::string& line) {
    state().calls += line;
    state().calls += '\n';
}

Handle* Find(const void* p, Kind kind) {
    auto it = state().live.find(const_cast<void*>(p));
    if (it == state().live.end() || it->second->kind != kind)
        return nullptr;
    return it->second.get();
}

void* Create(Kind kind) {
    auto handle = std::make_unique<Handle>();
    handle->kind = kind;
    handle->id = state().nextId++;
    void* key = handle.get();
    state().live.emplace(key, std::move(handle));
    return key;
}

std::string Text(const OraText* text, ub4 length) {
    if (text == nullptr)
        return "-";
    return std::string(reinterpret_cast<const char*>(text), length);
}

// The scripted failure of this call, if any: leaves its error record on the handle.
std::optional<sword> Scripted(const char* call, Handle* errorHandle) {
    auto it = state().failures.find(call);
    if (it == state().failures.end())
        return std::nullopt;
    const Failure failure = it->second;
    state().failures.erase(it);
    if (errorHandle != nullptr) {
        errorHandle->errorCode = failure.code;
        errorHandle->errorText = failure.text;
    }
    return failure.status;
}

std::string ValueText(const BindRecord& bind) {
    std::string out = bind.name + "=";
    if (bind.value == nullptr) {
        out += "none";
    } else if (bind.dty == 3 && bind.size == 4) {
        std::int32_t v;
        std::memcpy(&v, bind.value, sizeof v);
        out += "int:" + std::to_string(v);
    } else if (bind.dty == 5) {
        out += "str:'" +
               std::string(static_cast<const char*>(bind.value),
                           strnlen(static_cast<const char*>(bind.value), bind.size)) +
               "'";
    } else {
        out += "dty" + std::to_string(bind.dty) + "/" + std::to_string(bind.size);
    }
    out += bind.indicator != nullptr ? " ind=" + std::to_string(*bind.indicator) : " ind=none";
    return out;
}

// Writes the scripted OUT values into the buffers bound on the statement.
void WriteOuts(Handle* stmt) {
    for (const auto& [placeholder, value] : state().outs) {
        for (const BindRecord& bind : stmt->binds) {
            if (strcasecmp(bind.name.c_str(), placeholder.c_str()) != 0)
                continue;
            if (!value) {
                if (bind.indicator != nullptr)
                    *bind.indicator = -1;
                continue;
            }
            if (bind.indicator != nullptr)
                *bind.indicator = 0;
            if (bind.value == nullptr)
                continue;
            if (bind.dty == 3 && bind.size == 4) {
                const std::int32_t v = std::int32_t(std::stol(*value));
                std::memcpy(bind.value, &v, sizeof v);
            } else if (bind.dty == 5 && bind.size > 0) {
                const std::size_t n = std::min<std::size_t>(value->size(), bind.size - 1);
                std::memcpy(bind.value, value->data(), n);
                static_cast<char*>(bind.value)[n] = '\0';
            }
        }
    }
}

} // namespace

// ---- control functions for the test ----

FAKEOCI_EXPORT void fakeoci_reset() {
    State& s = state();
    s.live.clear();
    s.calls.clear();
    s.failures.clear();
    s.outs.clear();
    s.nextId = 1;
}

FAKEOCI_EXPORT const char* fakeoci_calls() {
    state().lastCallsCopy = state().calls;
    return state().lastCallsCopy.c_str();
}

FAKEOCI_EXPORT int fakeoci_live_handles() {
    int count = 0;
    for (const auto& [key, handle] : state().live)
        count += handle->kind != BindKind ? 1 : 0;
    return count;
}

// The next call of that name returns status, leaving code and text as its error record.
FAKEOCI_EXPORT void fakeoci_fail(const char* call, int status, int code, const char* text) {
    state().failures[call] = Failure{status, code, text != nullptr ? text : ""};
}

// Every execution writes value (null: a NULL) into the variable bound to placeholder.
FAKEOCI_EXPORT void fakeoci_set_out(const char* placeholder, const char* value) {
    state().outs.emplace_back(placeholder,
                              value != nullptr ? std::optional<std::string>(value) : std::nullopt);
}

// ---- the client interface ----

FAKEOCI_EXPORT sword OCIEnvCreate(void** envp, ub4 mode, void*, void* (*)(void*, std::size_t),
                                  void* (*)(void*, void*, std::size_t), void (*)(void*, void*),
                                  std::size_t, void**) {
    *envp = nullptr;
    if (auto status = Scripted("OCIEnvCreate", nullptr))
        return *status;
    *envp = Create(Env);
    Record("OCIEnvCreate mode=" + std::to_string(mode) + " -> " + Name(*envp));
    return kSuccess;
}

#ifndef FAKEOCI_OLD_CLIENT
FAKEOCI_EXPORT sword OCIEnvNlsCreate(void** envp, ub4 mode, void*, void* (*)(void*, std::size_t),
                                     void* (*)(void*, void*, std::size_t), void (*)(void*, void*),
                                     std::size_t, void**, ub2 charset, ub2 ncharset) {
    *envp = nullptr;
    std::string line = "OCIEnvNlsCreate mode=" + std::to_string(mode) +
                       " charset=" + std::to_string(charset) +
                       " ncharset=" + std::to_string(ncharset);
    auto it = state().failures.find("OCIEnvNlsCreate");
    if (it != state().failures.end()) {
        // With an error number the environment exists to carry the record; without, it does not.
        const Failure failure = it->second;
        state().failures.erase(it);
        if (failure.code != 0) {
            *envp = Create(Env);
            Find(*envp, Env)->errorCode = failure.code;
            Find(*envp, Env)->errorText = failure.text;
        }
        Record(line + " -> " + Name(*envp) + " status=" + std::to_string(failure.status));
        return failure.status;
    }
    *envp = Create(Env);
    Record(line + " -> " + Name(*envp));
    return kSuccess;
}
#endif

FAKEOCI_EXPORT sword OCIHandleAlloc(const void* parent, void** hndlpp, ub4 type, std::size_t,
                                    void**) {
    *hndlpp = nullptr;
    if (Find(parent, Env) == nullptr || type != Err) {
        Record("OCIHandleAlloc parent=" + Name(parent) + " type=" + std::to_string(type) +
               " REJECTED");
        return kInvalidHandle;
    }
    if (auto status = Scripted("OCIHandleAlloc", Find(parent, Env)))
        return *status;
    *hndlpp = Create(Kind(type));
    Record("OCIHandleAlloc parent=" + Name(parent) + " type=" + std::to_string(type) + " -> " +
           Name(*hndlpp));
    return kSuccess;
}

FAKEOCI_EXPORT sword OCIHandleFree(void* hndlp, ub4 type) {
    auto it = state().live.find(hndlp);
    if (it == state().live.end() || it->second->kind != Kind(type)) {
        Record("OCIHandleFree " + Name(hndlp) + " type=" + std::to_string(type) + " REJECTED");
        return kInvalidHandle;
    }
    Record("OCIHandleFree " + Name(hndlp) + " type=" + std::to_string(type));
    state().live.erase(it);
    return kSuccess;
}

FAKEOCI_EXPORT sword OCIErrorGet(void* hndlp, ub4 recordno, OraText*, sb4* errcodep, OraText* bufp,
                                 ub4 bufsiz, ub4 type) {
    Handle* handle = Find(hndlp, Kind(type));
    Record("OCIErrorGet " + Name(hndlp) + " record=" + std::to_string(recordno) +
           " type=" + std::to_string(type));
    if (handle == nullptr)
        return kInvalidHandle;
    if (recordno != 1 || handle->errorCode == 0)
        return kNoData;
    *errcodep = handle->errorCode;
    // Oracle's texts end with a line feed.
    std::snprintf(reinterpret_cast<char*>(bufp), bufsiz, "%s\n", handle->errorText.c_str());
    return kSuccess;
}

namespace {
sword Logon(const char* call, void* env, void* err, void** svchp, const OraText* user,
            ub4 userLength, const OraText* password, ub4 passwordLength, const OraText* db,
            ub4 dbLength, const std::string& mode) {
    *svchp = nullptr;
    Record(std::string(call) + " env=" + Name(env) + " err=" + Name(err) +
           " user=" + Text(user, userLength) + " password=" + Text(password, passwordLength) +
           " db=" + Text(db, dbLength) + mode);
    if (Find(env, Env) == nullptr || Find(err, Err) == nullptr)
        return kInvalidHandle;
    if (auto status = Scripted(call, Find(err, Err)))
        return *status;
    *svchp = Create(Svc);
    return kSuccess;
}
} // namespace

#ifndef FAKEOCI_OLD_CLIENT
FAKEOCI_EXPORT sword OCILogon2(void* env, void* err, void** svchp, const OraText* user,
                               ub4 userLength, const OraText* password, ub4 passwordLength,
                               const OraText* db, ub4 dbLength, ub4 mode) {
    return Logon("OCILogon2", env, err, svchp, user, userLength, password, passwordLength, db,
                 dbLength, " mode=" + std::to_string(mode));
}
#endif

FAKEOCI_EXPORT sword OCILogon(void* env, void* err, void** svchp, const OraText* user,
                              ub4 userLength, const OraText* password, ub4 passwordLength,
                              const OraText* db, ub4 dbLength) {
    return Logon("OCILogon", env, err, svchp, user, userLength, password, passwordLength, db,
                 dbLength, "");
}

FAKEOCI_EXPORT sword OCILogoff(void* svc, void* err) {
    Record("OCILogoff " + Name(svc) + " " + Name(err));
    if (Find(svc, Svc) == nullptr || Find(err, Err) == nullptr)
        return kInvalidHandle;
    state().live.erase(svc);
    return kSuccess;
}

FAKEOCI_EXPORT sword OCIStmtPrepare2(void* svc, void** stmthp, void* err, const OraText* text,
                                     ub4 textLength, const OraText* key, ub4 keyLength,
                                     ub4 language, ub4 mode) {
    *stmthp = nullptr;
    std::string shown; // one line per call: control characters escaped
    for (char c : Text(text, textLength))
        shown += c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
    std::string line = "OCIStmtPrepare2 " + Name(svc) + " " + Name(err) + " text=[" + shown +
                       "] key=" + Text(key, keyLength) + " language=" + std::to_string(language) +
                       " mode=" + std::to_string(mode);
    if (Find(svc, Svc) == nullptr || Find(err, Err) == nullptr) {
        Record(line + " REJECTED");
        return kInvalidHandle;
    }
    if (auto status = Scripted("OCIStmtPrepare2", Find(err, Err))) {
        Record(line);
        return *status;
    }
    *stmthp = Create(Stmt);
    Find(*stmthp, Stmt)->text = Text(text, textLength);
    Record(line + " -> " + Name(*stmthp));
    return kSuccess;
}

FAKEOCI_EXPORT sword OCIStmtRelease(void* stmt, void* err, const OraText* key, ub4 keyLength,
                                    ub4 mode) {
    Record("OCIStmtRelease " + Name(stmt) + " " + Name(err) + " key=" + Text(key, keyLength) +
           " mode=" + std::to_string(mode));
    if (Find(stmt, Stmt) == nullptr || Find(err, Err) == nullptr)
        return kInvalidHandle;
    state().live.erase(stmt);
    return kSuccess;
}

FAKEOCI_EXPORT sword OCIAttrGet(const void* target, ub4 targetType, void* attribute, ub4* size,
                                ub4 attributeType, void* err) {
    Record("OCIAttrGet " + Name(target) + " type=" + std::to_string(targetType) +
           " attr=" + std::to_string(attributeType));
    Handle* stmt = Find(target, Stmt);
    if (stmt == nullptr || targetType != Stmt || attributeType != 24 || Find(err, Err) == nullptr)
        return kInvalidHandle;
    // Statement types: 1 for a query, 8 for a block, 5 for anything else here.
    const std::string& text = stmt->text;
    const ub2 type = strncasecmp(text.c_str(), "select", 6) == 0  ? 1
                     : strncasecmp(text.c_str(), "begin", 5) == 0 ? 8
                                                                  : 5;
    std::memcpy(attribute, &type, sizeof type);
    if (size != nullptr)
        *size = sizeof type;
    return kSuccess;
}

FAKEOCI_EXPORT sword OCIBindByName(void* stmtp, void** bindp, void* err, const OraText* name,
                                   sb4 nameLength, void* value, sb4 size, ub2 dty, void* indp,
                                   ub2* alenp, ub2* rcodep, ub4 maxarr, ub4* curelep, ub4 mode) {
    const std::string placeholder =
        nameLength < 0 ? std::string(reinterpret_cast<const char*>(name))
                       : std::string(reinterpret_cast<const char*>(name), nameLength);
    Record("OCIBindByName " + Name(stmtp) + " " + Name(err) + " name=" + placeholder +
           " size=" + std::to_string(size) + " dty=" + std::to_string(dty) + " ind=" +
           (indp != nullptr ? "yes" : "no") + " alen=" + (alenp != nullptr ? "yes" : "no") +
           " rcode=" + (rcodep != nullptr ? "yes" : "no") + " maxarr=" + std::to_string(maxarr) +
           " curele=" + (curelep != nullptr ? "yes" : "no") + " mode=" + std::to_string(mode));
    Handle* stmt = Find(stmtp, Stmt);
    if (stmt == nullptr || Find(err, Err) == nullptr || bindp == nullptr)
        return kInvalidHandle;
    if (auto status = Scripted("OCIBindByName", Find(err, Err)))
        return *status;
    // A second binding of a placeholder replaces the first.
    for (auto it = stmt->binds.begin(); it != stmt->binds.end(); ++it) {
        if (strcasecmp(it->name.c_str(), placeholder.c_str()) == 0) {
            stmt->binds.erase(it);
            break;
        }
    }
    stmt->binds.push_back({placeholder, value, size, dty, static_cast<sb2*>(indp)});
    auto handle = std::make_unique<Handle>();
    handle->kind = BindKind;
    handle->id = state().nextId++;
    *bindp = handle.get();
    stmt->bindHandles.push_back(std::move(handle));
    return kSuccess;
}

FAKEOCI_EXPORT sword OCIStmtExecute(void* svc, void* stmtp, void* err, ub4 iters, ub4 rowoff,
                                    const void* snapIn, void* snapOut, ub4 mode) {
    Handle* stmt = Find(stmtp, Stmt);
    std::string line = "OCIStmtExecute " + Name(svc) + " " + Name(stmtp) + " " + Name(err) +
                       " iters=" + std::to_string(iters) + " rowoff=" + std::to_string(rowoff) +
                       " snap=" + (snapIn != nullptr || snapOut != nullptr ? "yes" : "no") +
                       " mode=" + std::to_string(mode);
    if (stmt == nullptr || Find(svc, Svc) == nullptr || Find(err, Err) == nullptr) {
        Record(line + " REJECTED");
        return kInvalidHandle;
    }
    line += " in[";
    for (std::size_t i = 0; i < stmt->binds.size(); ++i)
        line += (i > 0 ? ", " : "") + ValueText(stmt->binds[i]);
    Record(line + "]");
    // Writes first, as a client may before the server's error arrives: the driver must keep
    // such values from the caller when the execution fails.
    WriteOuts(stmt);
    if (auto status = Scripted("OCIStmtExecute", Find(err, Err)))
        return *status;
    return kSuccess;
}
