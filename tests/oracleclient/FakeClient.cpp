// A stand-in for Oracle's client library: exports the OCI calls the driver resolves, records every
// call it receives as one line of text, checks the handles it is given, and plays back scripted
// results, OUT values and errors. Steered by the test through the fakeoci_* functions.
//
// Built twice: as a current client (both the modern calls and their older forms) and, with
// FAKEOCI_OLD_CLIENT, as a client from before OCIEnvNlsCreate and OCILogon2.
//
// Parts: the recorded state (handles, binds, scripted failures and OUT values) and its helpers;
// the fake server's pipes and the read-ahead block it runs on them; the control functions the
// test steers it with (fakeoci_*); the client interface itself, from the environment and handles
// through the log-on forms to prepare, bind and execute.
#include "PlsqlTexts.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <strings.h>
#include <utility>
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
    std::vector<std::string> attributes; // OCIAttrSet on a service context: "attr=value"
    // Every execution from now on fails with this error (a server gone away), when set.
    std::optional<Failure> broken;
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

// ---- a stand-in for the server's pipes ----
//
// Once a test sends a message, the receiver's statements are answered from these pipes as the
// fake's model of the server answers them: a wrong-type unpack fails and leaves the item, an
// unpack past the last item fails, and an error's text is its stack and then its backtrace,
// ending at "line 1" of the one-line block. The read-ahead block (recognised by its :tm_buf
// bind) is run by the same unpacks, as the server runs it.
//
// Some of these answers are guesses no real server has confirmed, kept only so that the
// driver's two paths can be compared with each other here; `make oracle-check` records what a
// real server says instead:
// * RAW and ROWID items: the typed item block's value 'UNKNOWN'. DBMS_PIPE.UNPACK_MESSAGE has
//   no RAW or ROWID overload (those are UNPACK_MESSAGE_RAW and _ROWID), so a real server may
//   refuse to compile the block (PLS-00307) or raise ORA-06559 for those items.
// * The error texts: the FORMAT_ERROR_STACK and FORMAT_ERROR_BACKTRACE lines, their order
//   and their line numbers are modelled, not copied from a server.
// * A wrong-type unpack leaving the item in place for the next unpack.

struct Item {
    int type; // Oracle's codes: 6, 9, 11, 12, 23, or any other
    std::optional<std::string> value;
};
using PipeMessage = std::vector<Item>;

// A fault of the read-ahead block, set by the test for its next run.
struct BlockFault {
    enum Kind { None, Raise, Resend, Garbled, NullReply } kind = None;
    int after = 0; // Raise: after this many messages were taken
    int code = 0;
    std::string text;
};

struct Pipes {
    bool on = false;
    BlockFault fault;
    std::map<std::string, std::deque<PipeMessage>> queues;
    PipeMessage buffer; // the session's message buffer
    std::size_t next = 0;
    int blocks = 0;     // read-ahead blocks run
    int statements = 0; // receiver statements answered per statement
};

Pipes& pipes() {
    static Pipes p;
    return p;
}

struct Result {
    bool ok = true;
    int code = 0;
    std::string text;
    std::optional<std::string> value; // null when the item is NULL
};

Result Fail(int code, const std::string& stack, int line) {
    return {false,
            code,
            stack + "\nORA-06512: at \"SYS.DBMS_PIPE\", line " + std::to_string(line) +
                "\nORA-06512: at line 1",
            {}};
}

const Result kTooSmall{false,
                       6502,
                       "ORA-06502: PL/SQL: numeric or value error: character string buffer too "
                       "small\nORA-06512: at line 1",
                       {}};

int NextType() {
    const Pipes& p = pipes();
    return p.next < p.buffer.size() ? p.buffer[p.next].type : 0;
}

// dbms_pipe.unpack_message into a variable of the given type.
Result Unpack(int wanted) {
    Pipes& p = pipes();
    if (p.next >= p.buffer.size())
        return Fail(6556, "ORA-06556: the pipe is empty, cannot fulfill the unpack_message request",
                    70 + wanted);
    if (p.buffer[p.next].type != wanted)
        return Fail(6559,
                    "ORA-06559: wrong datatype requested, " + std::to_string(wanted) +
                        ", actual datatype is " + std::to_string(p.buffer[p.next].type),
                    70 + wanted);
    return {true, 0, {}, p.buffer[p.next++].value};
}

bool IsInteger(const std::string& text) {
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && v >= INT32_MIN && v <= INT32_MAX;
}

// The typed item block: the type, then the item as text; a type it does not know leaves :v_res.
struct Typed {
    Result result;
    int type = 0;
    bool assigned = true;
};
Typed TypedItem() {
    Typed t{{}, NextType(), true};
    if (t.type == kItemNumber || t.type == kItemVarchar2 || t.type == kItemRowid ||
        t.type == kItemDate || t.type == kItemRaw)
        t.result = Unpack(t.type);
    else
        t.assigned = t.type == 0;
    if (t.result.ok && t.result.value && t.result.value->size() > 2000)
        t.result = Fail(6502, kTooSmall.text.substr(0, kTooSmall.text.find('\n')), 79);
    if (t.result.ok && (t.type == kItemRowid || t.type == kItemRaw))
        t.result.value = "UNKNOWN";
    return t;
}

int Receive(const std::string& name) {
    std::deque<PipeMessage>& queue = pipes().queues[name];
    if (queue.empty())
        return 1;
    pipes().buffer = std::move(queue.front());
    pipes().next = 0;
    queue.pop_front();
    return 0;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '\\' ? "\\\\" : c == '|' ? "\\!" : c == '\0' ? "\\0" : std::string(1, c);
    return out + '|';
}

std::string Outcome(const Result& r) {
    if (!r.ok)
        return "E" + Escaped(std::to_string(r.code)) + Escaped(r.text + "\n");
    return r.value ? "V" + Escaped(*r.value) : std::string("N");
}

// The block's error handler: what the reply holds so far, the error, and whether a message in
// hand went with it.
std::string Raised(const std::string& out, int code, const std::string& text, bool taken) {
    return out + "X" + Escaped(std::to_string(code)) + Escaped(text + "\n") +
           (taken ? "1|" : "0|") + "Z";
}

// The read-ahead block, step by step as the server runs it.
std::string ReadAhead(const std::string& pipe, const std::string& holdPipe, int most, int room,
                      int cap) {
    Pipes& p = pipes();
    ++p.blocks;
    const BlockFault fault = std::exchange(p.fault, BlockFault{});
    std::string out = "TM1|";
    for (int count = 0; count < most && int(out.size()) <= room; ++count) {
        if (const int status = Receive(pipe); status != 0) {
            out += "S" + Escaped(std::to_string(status));
            break;
        }
        if (fault.kind == BlockFault::Raise && count == fault.after)
            return Raised(out, fault.code, fault.text, true);
        const int first = NextType();
        std::string length = first != kItemNumber ? Outcome(Unpack(kItemNumber)) : "Q";
        std::string text =
            first != kItemNumber && first != kItemVarchar2 ? Outcome(Unpack(kItemVarchar2)) : "Q";
        std::string typed;
        bool hold = false, alive = true, whole = true;
        for (int k = 1; whole; ++k) {
            const int type = NextType();
            if (k == 2 && first == kItemNumber && type != kItemVarchar2)
                text = Outcome(Unpack(kItemVarchar2));
            if (type == 0) {
                typed += alive ? "T0|N" : "";
                break;
            }
            const std::optional<std::string> value = p.buffer[p.next].value;
            if (k == 1 && type == kItemNumber && !(hold = value && !IsInteger(*value)))
                length = Outcome({true, 0, {}, value});
            if (type == kItemVarchar2 && (k == 1 || (k == 2 && first == kItemNumber))) {
                if (!value || value->size() <= 1999)
                    text = Outcome({true, 0, {}, value});
                else
                    hold = true;
            }
            const Typed t = TypedItem();
            whole = t.assigned;
            if (type == kItemVarchar2 && !t.result.ok)
                hold = true, alive = false;
            typed += alive ? "T" + Escaped(std::to_string(type)) +
                                 (t.assigned ? Outcome(t.result) : std::string("U"))
                           : "";
            alive = alive && whole;
        }
        const std::string message = "M" + length + text + typed + ".";
        const bool over = int(out.size() + message.size()) > cap;
        if ((hold || over) && whole) {
            if (fault.kind == BlockFault::Resend)
                return Raised(out, fault.code, fault.text, true);
            p.queues[holdPipe].push_back(p.buffer);
            out += "H" + Escaped(holdPipe);
            break;
        }
        if (over)
            return Raised(out, 20002,
                          "ORA-20002: a message of " + std::to_string(message.size()) +
                              " bytes does not fit in the reply of " + std::to_string(cap) +
                              " bytes\nORA-06512: at line 1",
                          true);
        out += message;
    }
    if (fault.kind == BlockFault::Garbled)
        return out.substr(0, out.size() / 2);
    if (fault.kind == BlockFault::NullReply)
        return "~";
    return out + "Z";
}

BindRecord* BindNamed(Handle* stmt, const char* name) {
    for (BindRecord& bind : stmt->binds)
        if (strcasecmp(bind.name.c_str(), name) == 0)
            return &bind;
    return nullptr;
}

std::string StringIn(const BindRecord* bind) {
    return bind == nullptr
               ? std::string()
               : std::string(static_cast<const char*>(bind->value),
                             strnlen(static_cast<const char*>(bind->value), bind->size));
}

int IntIn(const BindRecord* bind) {
    std::int32_t v = 0;
    std::memcpy(&v, bind->value, sizeof v);
    return v;
}

void Write(BindRecord* bind, const std::optional<std::string>& value) {
    if (bind->indicator != nullptr)
        *bind->indicator = value ? 0 : -1;
    if (value && bind->dty == 3) {
        const std::int32_t v = std::stoi(*value);
        std::memcpy(bind->value, &v, sizeof v);
    } else if (value) {
        std::memcpy(bind->value, value->c_str(), value->size() + 1);
    }
}

// The pipe a receive or purge names: bound, or the quoted literal in the text.
std::string PipeOf(Handle* stmt) {
    if (BindRecord* bound = BindNamed(stmt, ":tm_pipe"))
        return StringIn(bound);
    return Recognise(stmt->text).pipe;
}

// What a statement is on the pipes: the receiver's statements, as the server would take them in
// any spacing, and the read-ahead block's receive and purge of a hold pipe bound by name.
ReceiverStatement PipeStatement(Handle* stmt) {
    const ReceiverStatement kind = Recognise(stmt->text).kind;
    if (kind != ReceiverStatement::Other || BindNamed(stmt, ":tm_pipe") == nullptr)
        return kind;
    if (stmt->text.find("dbms_pipe.receive_message(:tm_pipe") != std::string::npos)
        return ReceiverStatement::Receive;
    if (stmt->text.find("dbms_pipe.purge(:tm_pipe)") != std::string::npos)
        return ReceiverStatement::Purge;
    return kind;
}

// Runs a receiver statement on the pipes: nullopt when the statement is none of them.
std::optional<Result> RunOnPipes(Handle* stmt) {
    Pipes& p = pipes();
    if (BindRecord* buf = BindNamed(stmt, ":tm_buf")) {
        // The block's variable holds a name of at most 128 bytes; a longer one fails its
        // declaration, which no handler of the block sees.
        if (PipeOf(stmt).size() > 128)
            return kTooSmall;
        const std::string reply = ReadAhead(
            PipeOf(stmt), "TM$HOLD$ORA$PIPE$00FA4E$" + StringIn(BindNamed(stmt, ":tm_hold")),
            IntIn(BindNamed(stmt, ":tm_max")), IntIn(BindNamed(stmt, ":tm_room")),
            IntIn(BindNamed(stmt, ":tm_cap")));
        if (int(reply.size()) >= buf->size)
            return kTooSmall;
        Write(buf, reply == "~" ? std::nullopt : std::optional<std::string>(reply));
        return Result{};
    }
    const ReceiverStatement kind = PipeStatement(stmt);
    if (kind == ReceiverStatement::Purge) {
        p.queues.erase(PipeOf(stmt));
        return Result{};
    }
    Result r;
    ++p.statements;
    if (kind == ReceiverStatement::Receive) {
        // The status goes where the text says; the hold pipe's receive names :sta.
        const std::string status = Recognise(stmt->text).placeholder;
        Write(BindNamed(stmt, status.empty() ? ":sta" : status.c_str()),
              std::to_string(Receive(PipeOf(stmt))));
    } else if (kind == ReceiverStatement::TypedItem) {
        const Typed t = TypedItem();
        if ((r = t.result).ok) {
            Write(BindNamed(stmt, ":v_typ"), std::to_string(t.type));
            BindRecord* res = BindNamed(stmt, ":v_res");
            if (t.assigned)
                Write(res, t.result.value);
            else if (StringIn(res).empty())
                Write(res, std::nullopt);
        }
    } else if (kind == ReceiverStatement::UnpackLength) {
        // The client's conversion into a 4-byte integer.
        if ((r = Unpack(kItemNumber)).ok && r.value && !IsInteger(*r.value))
            r = {false, 1455, "ORA-01455: converting column overflows integer datatype", {}};
        if (r.ok)
            Write(BindNamed(stmt, ":len"), r.value);
    } else if (kind == ReceiverStatement::UnpackText) {
        BindRecord* chr = BindNamed(stmt, ":chr");
        if ((r = Unpack(kItemVarchar2)).ok && r.value && int(r.value->size()) >= chr->size)
            r = kTooSmall;
        if (r.ok)
            Write(chr, r.value);
    } else {
        --p.statements;
        return std::nullopt;
    }
    return r;
}

} // namespace

// A message of items "type:value" (value "~" for NULL) separated by '\x1f', onto the pipe.
FAKEOCI_EXPORT void fakeoci_pipe_send(const char* pipe, const char* items) {
    pipes().on = true;
    PipeMessage message;
    const std::string all = items;
    for (std::size_t at = 0; !all.empty() && at <= all.size();) {
        const std::size_t end = std::min(all.find('\x1f', at), all.size());
        const std::string item = all.substr(at, end - at);
        const std::string value = item.substr(item.find(':') + 1);
        message.push_back(
            {std::stoi(item), value == "~" ? std::nullopt : std::optional<std::string>(value)});
        at = end + 1;
    }
    pipes().queues[pipe].push_back(std::move(message));
}

// The messages waiting on a pipe, the read-ahead blocks run, and the receiver statements run.
FAKEOCI_EXPORT int fakeoci_pipe_count(const char* pipe) {
    return int(pipes().queues[pipe].size());
}
FAKEOCI_EXPORT int fakeoci_pipe_blocks() {
    return pipes().blocks;
}
FAKEOCI_EXPORT int fakeoci_pipe_statements() {
    return pipes().statements;
}

// The next read-ahead block meets a fault: "raise" (an error inside it while it holds the
// message after the first `after`), "resend" (the hold pipe refuses a message with this
// error, as the block raises it too when send_message returns 1), "garbled" (its reply comes back
// cut), "null" (its reply comes back NULL).
FAKEOCI_EXPORT void fakeoci_block_fault(const char* kind, int after, int code, const char* text) {
    static const std::map<std::string, BlockFault::Kind> kinds = {{"raise", BlockFault::Raise},
                                                                  {"resend", BlockFault::Resend},
                                                                  {"garbled", BlockFault::Garbled},
                                                                  {"null", BlockFault::NullReply}};
    pipes().fault = {kinds.at(kind), after, code, text != nullptr ? text : ""};
}

// Every execution from now on fails with this error, as on a connection that is gone.
FAKEOCI_EXPORT void fakeoci_break(int code, const char* text) {
    state().broken = Failure{kError, code, text};
}

// The attributes set on service contexts, "attr=value" each, separated by spaces.
FAKEOCI_EXPORT const char* fakeoci_attributes() {
    static std::string text;
    text.clear();
    for (const std::string& a : state().attributes)
        text += (text.empty() ? "" : " ") + a;
    return text.c_str();
}

// ---- control functions for the test ----

FAKEOCI_EXPORT void fakeoci_reset() {
    State& s = state();
    s.live.clear();
    s.calls.clear();
    s.failures.clear();
    s.outs.clear();
    s.attributes.clear();
    s.broken.reset();
    s.nextId = 1;
    pipes() = Pipes{};
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

FAKEOCI_EXPORT sword OCIAttrSet(void* target, ub4 targetType, void* attribute, ub4 size,
                                ub4 attributeType, void* err) {
    Record("OCIAttrSet " + Name(target) + " type=" + std::to_string(targetType) +
           " attr=" + std::to_string(attributeType) + " size=" + std::to_string(size));
    if (Find(target, Svc) == nullptr || targetType != Svc || Find(err, Err) == nullptr)
        return kInvalidHandle;
#ifdef FAKEOCI_OLD_CLIENT
    // A client before release 18 does not know the call time-out.
    Find(err, Err)->errorCode = 24315;
    Find(err, Err)->errorText = "ORA-24315: illegal attribute type";
    (void)attribute;
    return kError;
#else
    ub4 value = 0;
    std::memcpy(&value, attribute, sizeof value);
    state().attributes.push_back(std::to_string(attributeType) + "=" + std::to_string(value));
    return kSuccess;
#endif
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
    if (state().broken) {
        Find(err, Err)->errorCode = state().broken->code;
        Find(err, Err)->errorText = state().broken->text;
        return kError;
    }
    if (!pipes().on && BindNamed(stmt, ":tm_buf") != nullptr) {
        // Until a test sends a message the fake plays a server without the pipe package.
        Find(err, Err)->errorCode = 6550;
        Find(err, Err)->errorText = "ORA-06550: line 1, column 60:\nPLS-00201: identifier "
                                    "'DBMS_PIPE' must be declared";
        return kError;
    }
    if (pipes().on) {
        if (auto status = Scripted("OCIStmtExecute", Find(err, Err)))
            return *status;
        if (std::optional<Result> r = RunOnPipes(stmt)) {
            if (r->ok)
                return kSuccess;
            Find(err, Err)->errorCode = r->code;
            Find(err, Err)->errorText = r->text;
            return kError;
        }
    }
    // Writes first, as a client may before the server's error arrives: the driver must keep
    // such values from the caller when the execution fails.
    WriteOuts(stmt);
    if (auto status = Scripted("OCIStmtExecute", Find(err, Err)))
        return *status;
    return kSuccess;
}
