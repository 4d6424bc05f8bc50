// The read-ahead block's text and the grammar of its reply (ParseReply: a batch of messages,
// each with its plain and typed outcomes, and how the trip ended).
#include "OciReadAhead.h"

#include <cctype>
#include <charconv>

namespace ocidrv::ora {
namespace {

// Records the error being handled: its code, then the stack and the backtrace, which together
// are what the client library reports for the same error left unhandled.
#define TM_ERROR_FIELDS                                                                            \
    "f(TO_CHAR(-SQLCODE)) || f(DBMS_UTILITY.FORMAT_ERROR_STACK || "                                \
    "DBMS_UTILITY.FORMAT_ERROR_BACKTRACE)"
#define TM_ERROR "'E' || " TM_ERROR_FIELDS

// The reply: "TM1|", then per message 'M', the outcome of :len, of :chr, the typed block's
// steps, '.'; or 'H' and the pipe a message waits on; 'S' and the status of the receive that
// ended the trip; 'X', the code and the text of an error that ended the block early, and '1'
// when a message it had taken was lost with it ('0' otherwise); 'Z' at the end. A message
// that could not go on the hold pipe, or does not fit in the reply, is such an error: it is
// reported, never answered with a made-up outcome. The error handler keeps what the reply
// holds so far, since those messages have left the pipe. An outcome is
// 'V' and a field, 'N' (NULL), 'U' (:v_res not assigned), 'Q' (not known here), or 'E' with
// the code and the text. A field ends with '|'; '\' escapes '\', '|' (as '\!') and NUL ('\0').
// Each unpack the receiver runs is run here the same way: the wrong-type ones first, since
// they leave the item, then the one that takes it.
const char kBlock[] =
    "DECLARE TYPE nt IS TABLE OF NUMBER INDEX BY PLS_INTEGER; "
    "TYPE vt IS TABLE OF VARCHAR2(32767) INDEX BY PLS_INTEGER; "
    "TYPE dt IS TABLE OF DATE INDEX BY PLS_INTEGER; "
    "TYPE rt IS TABLE OF RAW(32767) INDEX BY PLS_INTEGER; "
    "TYPE it IS TABLE OF ROWID INDEX BY PLS_INTEGER; "
    "TYPE tt IS TABLE OF PLS_INTEGER INDEX BY PLS_INTEGER; "
    "pnum nt; pvc vt; pdat dt; praw rt; prid it; ptyp tt; "
    "pipe_name VARCHAR2(128) := :tm_pipe; hold_pipe VARCHAR2(128); "
    "max_msgs PLS_INTEGER := :tm_max; room PLS_INTEGER := :tm_room; cap PLS_INTEGER := :tm_cap; "
    "buf VARCHAR2(32767) := 'TM1|'; msg VARCHAR2(32767); used PLS_INTEGER := 4; "
    "cnt PLS_INTEGER := 0; sta INTEGER; typ INTEGER; t1 INTEGER; k PLS_INTEGER; "
    "num NUMBER; s VARCHAR2(32767); chr_data VARCHAR2(2000); num_data NUMBER; dat_data DATE; "
    "raw_data RAW(30000); row_data ROWID; lo VARCHAR2(32767); co VARCHAR2(32767); "
    "ty VARCHAR2(32767); hold BOOLEAN; alive BOOLEAN; whole BOOLEAN; taken BOOLEAN := FALSE; "
    "FUNCTION f(x VARCHAR2) RETURN VARCHAR2 IS BEGIN "
    "RETURN REPLACE(REPLACE(REPLACE(x, '\\', '\\\\'), '|', '\\!'), CHR(0), '\\0') || '|'; END; "
    "FUNCTION u8(x VARCHAR2) RETURN PLS_INTEGER IS BEGIN "
    "RETURN NVL(LENGTHB(CONVERT(x, 'AL32UTF8')), 0); END; "
    "BEGIN hold_pipe := 'TM$HOLD$' || SUBSTR(dbms_pipe.unique_session_name, 1, 100) || '$' || "
    ":tm_hold; "
    "LOOP EXIT WHEN cnt >= max_msgs OR used > room; "
    "sta := dbms_pipe.receive_message(pipe_name, 0); "
    "IF sta <> 0 THEN buf := buf || 'S' || f(TO_CHAR(sta)); EXIT; END IF; "
    "cnt := cnt + 1; taken := TRUE; pnum.DELETE; pvc.DELETE; pdat.DELETE; praw.DELETE; "
    "prid.DELETE; "
    "ptyp.DELETE; lo := NULL; co := NULL; ty := NULL; hold := FALSE; alive := TRUE; "
    "whole := TRUE; k := 0; t1 := NULL; "
    "LOOP typ := dbms_pipe.next_item_type; k := k + 1; "
    "IF k = 1 THEN t1 := typ; "
    "IF typ <> 6 THEN BEGIN dbms_pipe.unpack_message(num); "
    "EXCEPTION WHEN OTHERS THEN lo := " TM_ERROR "; END; END IF; "
    "IF typ NOT IN (6, 9) THEN BEGIN dbms_pipe.unpack_message(s); "
    "EXCEPTION WHEN OTHERS THEN co := " TM_ERROR "; END; END IF; "
    "ELSIF k = 2 AND t1 = 6 AND typ <> 9 THEN BEGIN dbms_pipe.unpack_message(s); "
    "EXCEPTION WHEN OTHERS THEN co := " TM_ERROR "; END; END IF; "
    "IF typ = 0 THEN IF alive THEN ty := ty || 'T' || f('0') || 'N'; END IF; EXIT; END IF; "
    "ptyp(k) := typ; "
    "IF typ = 6 THEN BEGIN dbms_pipe.unpack_message(num); pnum(k) := num; "
    "IF k = 1 THEN IF num IS NULL THEN lo := 'N'; "
    "ELSIF num = TRUNC(num) AND num BETWEEN -2147483648 AND 2147483647 THEN "
    "lo := 'V' || f(TO_CHAR(num)); ELSE hold := TRUE; END IF; END IF; "
    "IF alive THEN num_data := num; ty := ty || 'T' || f('6') || CASE WHEN TO_CHAR(num_data) "
    "IS NULL THEN 'N' ELSE 'V' || f(TO_CHAR(num_data)) END; END IF; "
    "EXCEPTION WHEN OTHERS THEN IF k = 1 THEN lo := " TM_ERROR "; END IF; "
    "IF alive THEN ty := ty || " TM_ERROR "; END IF; alive := FALSE; whole := FALSE; END; "
    "ELSIF typ = 9 THEN BEGIN dbms_pipe.unpack_message(s); pvc(k) := s; "
    "IF k = 1 OR (k = 2 AND t1 = 6) THEN IF s IS NULL THEN co := 'N'; "
    "ELSIF u8(s) <= 1999 THEN co := 'V' || f(s); ELSE hold := TRUE; END IF; END IF; "
    "EXCEPTION WHEN OTHERS THEN IF k = 1 OR (k = 2 AND t1 = 6) THEN co := " TM_ERROR "; "
    "END IF; IF alive THEN ty := ty || " TM_ERROR "; END IF; alive := FALSE; whole := FALSE; "
    "END; "
    "IF alive THEN BEGIN chr_data := s; ty := ty || 'T' || f('9') || CASE WHEN chr_data IS "
    "NULL THEN 'N' ELSE 'V' || f(chr_data) END; "
    "EXCEPTION WHEN VALUE_ERROR THEN hold := TRUE; alive := FALSE; END; END IF; "
    "ELSIF typ = 12 THEN BEGIN dbms_pipe.unpack_message(dat_data); pdat(k) := dat_data; "
    "IF alive THEN ty := ty || 'T' || f('12') || CASE WHEN TO_CHAR(dat_data) IS NULL THEN 'N' "
    "ELSE 'V' || f(TO_CHAR(dat_data)) END; END IF; "
    "EXCEPTION WHEN OTHERS THEN IF alive THEN ty := ty || " TM_ERROR "; END IF; "
    "alive := FALSE; whole := FALSE; END; "
    "ELSIF typ = 11 THEN BEGIN dbms_pipe.unpack_message(row_data); prid(k) := row_data; "
    "IF alive THEN ty := ty || 'T' || f('11') || 'V' || f('UNKNOWN'); END IF; "
    "EXCEPTION WHEN OTHERS THEN IF alive THEN ty := ty || " TM_ERROR "; END IF; "
    "alive := FALSE; whole := FALSE; END; "
    "ELSIF typ = 23 THEN BEGIN dbms_pipe.unpack_message(raw_data); praw(k) := raw_data; "
    "IF alive THEN ty := ty || 'T' || f('23') || 'V' || f('UNKNOWN'); END IF; "
    "EXCEPTION WHEN OTHERS THEN IF alive THEN ty := ty || " TM_ERROR "; END IF; "
    "alive := FALSE; whole := FALSE; END; "
    "ELSE IF alive THEN ty := ty || 'T' || f(TO_CHAR(typ)) || 'U'; END IF; "
    "alive := FALSE; whole := FALSE; END IF; "
    "EXIT WHEN NOT whole; END LOOP; "
    "msg := 'M' || NVL(lo, 'Q') || NVL(co, 'Q') || ty || '.'; "
    "IF hold OR used + u8(msg) > cap THEN IF whole THEN dbms_pipe.reset_buffer; "
    "FOR j IN 1 .. k - 1 LOOP IF ptyp(j) = 6 THEN dbms_pipe.pack_message(pnum(j)); "
    "ELSIF ptyp(j) = 9 THEN dbms_pipe.pack_message(pvc(j)); "
    "ELSIF ptyp(j) = 12 THEN dbms_pipe.pack_message(pdat(j)); "
    "ELSIF ptyp(j) = 23 THEN dbms_pipe.pack_message_raw(praw(j)); "
    "ELSE dbms_pipe.pack_message_rowid(prid(j)); END IF; END LOOP; "
    "sta := dbms_pipe.send_message(hold_pipe, 0); "
    "IF sta <> 0 THEN raise_application_error(-20001, 'the message could not be put on the "
    "pipe ' || hold_pipe || ': dbms_pipe.send_message returned ' || sta); END IF; "
    "buf := buf || 'H' || f(hold_pipe); taken := FALSE; EXIT; END IF; "
    "IF used + u8(msg) > cap THEN raise_application_error(-20002, 'a message of ' || "
    "u8(msg) || ' bytes does not fit in the reply of ' || cap || ' bytes'); END IF; END IF; "
    "buf := buf || msg; used := used + u8(msg); taken := FALSE; END LOOP; "
    ":tm_buf := buf || 'Z'; "
    "EXCEPTION WHEN OTHERS THEN :tm_buf := buf || 'X' || " TM_ERROR_FIELDS " || "
    "f(CASE WHEN taken THEN '1' ELSE '0' END) || 'Z'; END;";
#undef TM_ERROR
#undef TM_ERROR_FIELDS

// Reads the reply token by token.
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    bool Tag(char& tag) {
        if (m_at >= m_text.size())
            return false;
        tag = m_text[m_at++];
        return true;
    }
    bool Field(std::string& out) {
        out.clear();
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '|')
                return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size())
                return false;
            const char e = m_text[m_at++];
            if (e == '\\')
                out += '\\';
            else if (e == '!')
                out += '|';
            else if (e == '0')
                out += '\0';
            else
                return false;
        }
        return false;
    }
    bool Number(int& out) {
        std::string field;
        if (!Field(field))
            return false;
        const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), out);
        return ec == std::errc() && end == field.data() + field.size();
    }
    bool Prefix(std::string_view prefix) {
        if (m_text.substr(m_at, prefix.size()) != prefix)
            return false;
        m_at += prefix.size();
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_at = 0;
};

// The server's error as the client library would report it: without its closing line feed.
bool ReadFailure(Reader& in, Outcome& out) {
    int code = 0;
    std::string text;
    if (!in.Number(code) || !in.Field(text) || code == 0)
        return false;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    out.kind = Outcome::Failure;
    out.error = text.empty() ? Numbered(code, "(no message text)") : Error{code, text};
    return true;
}

// One outcome after its tag.
bool ReadOutcome(Reader& in, char tag, Outcome& out) {
    out = {};
    switch (tag) {
    case 'V':
        out.kind = Outcome::Value;
        return in.Field(out.value);
    case 'N':
        out.kind = Outcome::Null;
        return true;
    case 'U':
        out.kind = Outcome::Unassigned;
        return true;
    case 'Q':
        out.kind = Outcome::Unknown;
        return true;
    case 'E':
        return ReadFailure(in, out);
    default:
        return false;
    }
}

bool ReadMessage(Reader& in, HeldMessage& message) {
    char tag = 0;
    if (!in.Tag(tag) || !ReadOutcome(in, tag, message.length) || !in.Tag(tag) ||
        !ReadOutcome(in, tag, message.text))
        return false;
    for (;;) {
        if (!in.Tag(tag))
            return false;
        if (tag == '.')
            return true;
        TypedStep step;
        if (tag == 'T') {
            if (!in.Number(step.type) || !in.Tag(tag) || tag == 'E' || tag == 'Q' ||
                !ReadOutcome(in, tag, step.result))
                return false;
        } else if (tag != 'E' || !ReadFailure(in, step.result)) {
            return false;
        }
        message.typed.push_back(std::move(step));
    }
}

} // namespace

std::string LostMessages(std::size_t most, const std::string& pipe) {
    return "up to " + std::to_string(most) + " messages taken from pipe " + pipe +
           " could not be shown";
}

const std::string& ReadAheadBlock() {
    static const std::string block = kBlock;
    return block;
}

bool ParseReply(std::string_view reply, Batch& batch) {
    batch = {};
    Reader in(reply);
    if (!in.Prefix("TM1|"))
        return false;
    for (;;) {
        char tag = 0;
        if (!in.Tag(tag))
            return false;
        switch (tag) {
        case 'M': {
            HeldMessage message;
            if (!ReadMessage(in, message))
                return false;
            batch.held.push_back({std::move(message), {}});
            break;
        }
        case 'H': {
            Held held;
            if (!in.Field(held.holdPipe) || held.holdPipe.empty())
                return false;
            batch.held.push_back(std::move(held));
            break;
        }
        case 'S': {
            int status = 0;
            if (!in.Number(status))
                return false;
            batch.finalStatus = status;
            break;
        }
        case 'X': {
            Outcome failure;
            std::string lost;
            if (!ReadFailure(in, failure) || !in.Field(lost) || (lost != "0" && lost != "1"))
                return false;
            batch.failure = failure.error;
            batch.lost = lost == "1" ? 1 : 0;
            break;
        }
        case 'Z':
            return !in.Tag(tag);
        default:
            return false;
        }
    }
}

} // namespace ocidrv::ora
