#pragma once
// The statements the Oracle check sends of its own, beside the program's fixed texts: the
// second session's senders, the look-ups of the server and of the procedures, the clean-up.
// The grammar check of the test suite parses them as it parses the program's.
#include <string>

namespace oraclecheck {

// The sender gives up after 10 seconds instead of waiting for room in a full pipe for ever.
inline constexpr char kSendBlock[] =
    "declare s integer; begin dbms_pipe.reset_buffer; dbms_pipe.pack_message(length(:t)); "
    "dbms_pipe.pack_message(:t); s := dbms_pipe.send_message(:p, 10); if s != 0 then "
    "raise_application_error(-20002, 'send_message returned ' || s); end if; end;";

// One message of one item of each kind the typed item block names, so that each shows (or
// fails) on its own.
#define TM_SEND_ONE                                                                                \
    "declare procedure send(p varchar2) is s integer; begin s := dbms_pipe.send_message(p, 10); "  \
    "if s != 0 then raise_application_error(-20002, 'send_message returned ' || s); end if; "      \
    "end; begin dbms_pipe.reset_buffer; "
struct TypedItem {
    const char* kind;
    const char* block;
};
inline constexpr TypedItem kTypedItems[] = {
    {"DATE", TM_SEND_ONE "dbms_pipe.pack_message(TO_DATE('2026-12-07 13:45:10', "
                         "'YYYY-MM-DD HH24:MI:SS')); send(:p); end;"},
    {"RAW", TM_SEND_ONE "dbms_pipe.pack_message_raw(HEXTORAW('0102A0FF')); send(:p); end;"},
    {"ROWID", TM_SEND_ONE "dbms_pipe.pack_message_rowid(CHARTOROWID('AAAAAAAAAAAAAAAAAA')); "
                          "send(:p); end;"},
};
#undef TM_SEND_ONE

// Every kind of message the receiver meets, each sent as one message: the program's own, an
// empty one, wrong types, extra and missing items, NULLs, texts up to and past the receiver's
// 2000-byte buffer, numbers no integer holds, DATE, RAW and ROWID, and the separators of the
// read-ahead reply. The pipe is made large enough for all of them at once.
inline constexpr char kCorpusBlock[] =
    "declare procedure send(p varchar2) is s integer; begin s := dbms_pipe.send_message(p, 10, "
    "65536); if s != 0 then raise_application_error(-20002, 'send_message returned ' || s); "
    "end if; end; begin dbms_pipe.reset_buffer; "
    "dbms_pipe.pack_message(5); dbms_pipe.pack_message('hello'); send(:p); "
    "send(:p); "
    "dbms_pipe.pack_message('text first'); dbms_pipe.pack_message(3); send(:p); "
    "dbms_pipe.pack_message(4); dbms_pipe.pack_message(7); send(:p); "
    "dbms_pipe.pack_message(1); send(:p); "
    "dbms_pipe.pack_message(TO_NUMBER(NULL)); dbms_pipe.pack_message(TO_CHAR(NULL)); send(:p); "
    "dbms_pipe.pack_message(3); dbms_pipe.pack_message('abc'); "
    "dbms_pipe.pack_message(TO_DATE('2026-12-07 13:45:10', 'YYYY-MM-DD HH24:MI:SS')); "
    "dbms_pipe.pack_message('extra'); send(:p); "
    "dbms_pipe.pack_message(1999); dbms_pipe.pack_message(RPAD('a', 1999, 'a')); send(:p); "
    "dbms_pipe.pack_message(2000); dbms_pipe.pack_message(RPAD('b', 2000, 'b')); send(:p); "
    "dbms_pipe.pack_message(2001); dbms_pipe.pack_message(RPAD('c', 2001, 'c')); send(:p); "
    "dbms_pipe.pack_message(1.5); dbms_pipe.pack_message('fraction'); send(:p); "
    "dbms_pipe.pack_message(3000000000); dbms_pipe.pack_message('big'); send(:p); "
    "dbms_pipe.pack_message(TO_DATE('2026-12-07', 'YYYY-MM-DD')); "
    "dbms_pipe.pack_message_raw(HEXTORAW('0102A0FF')); "
    "dbms_pipe.pack_message_rowid(CHARTOROWID('AAAAAAAAAAAAAAAAAA')); send(:p); "
    "dbms_pipe.pack_message(9); dbms_pipe.pack_message('pipe|back\\slash\\!'); send(:p); "
    "dbms_pipe.pack_message(6); dbms_pipe.pack_message('last'); send(:p); end;";

inline constexpr char kServerBlock[] =
    "begin begin execute immediate 'select banner_full from v$version where rownum = 1' into :b; "
    "exception when others then begin "
    "execute immediate 'select banner from v$version where rownum = 1' into :b; "
    "exception when others then :b := 'Oracle ' || dbms_db_version.version || '.' || "
    "dbms_db_version.release || ' (v$version is not readable)'; end; end; "
    "begin execute immediate 'select value from nls_database_parameters where parameter = "
    "''NLS_CHARACTERSET''' into :c; exception when others then :c := 'not readable'; end; end;";

// What exists before the check creates anything: the two procedures, whether they are the
// program's own (they pack the length and then the text), and the public synonyms.
inline constexpr char kExistingBlock[] =
    "begin "
    "select count(*) into :dp from user_objects where object_type = 'PROCEDURE' and object_name "
    "= 'SENDDEBUGMESSAGE'; "
    "select count(*) into :tp from user_objects where object_type = 'PROCEDURE' and object_name "
    "= 'SENDTRACEMESSAGE'; "
    "select count(*) into :dm from user_source where type = 'PROCEDURE' and name = "
    "'SENDDEBUGMESSAGE' and instr(text, 'dbms_pipe.pack_message(LENGTH(theMessage))') > 0; "
    "select count(*) into :tm from user_source where type = 'PROCEDURE' and name = "
    "'SENDTRACEMESSAGE' and instr(text, 'SendDebugMessage(aMessage, thePipe)') > 0; "
    "select count(*) into :ds from all_synonyms where owner = 'PUBLIC' and synonym_name = "
    "'SENDDEBUGMESSAGE'; "
    "select count(*) into :ts from all_synonyms where owner = 'PUBLIC' and synonym_name = "
    "'SENDTRACEMESSAGE'; "
    "end;";

inline constexpr char kValidBlock[] =
    "begin select count(*) into :n from user_objects where object_type = 'PROCEDURE' and "
    "object_name in ('SENDDEBUGMESSAGE', 'SENDTRACEMESSAGE') and status = 'VALID'; end;";

// The date as TO_CHAR gives it on the receiving session, whose defaults the typed block uses.
inline constexpr char kDateBlock[] =
    "begin :d := TO_CHAR(TO_DATE('2026-12-07 13:45:10', 'YYYY-MM-DD HH24:MI:SS')); end;";

// The name of the database the other connect form reached.
inline constexpr char kDbNameBlock[] = "begin :n := sys_context('USERENV', 'DB_NAME'); end;";

// The second session's call of the program's own sending procedure.
inline constexpr char kSendHelloBlock[] = "begin SendDebugMessage(:t, :p); end;";

// Raises an application error with the given text (quoted by the caller's choice of text).
inline std::string RaiseBlock(const std::string& text) {
    return "begin raise_application_error(-20001, '" + text + "'); end;";
}

// What the check drops again, in this order, when it created it.
inline constexpr const char* kDrops[] = {
    "DROP PUBLIC SYNONYM SendTraceMessage",
    "DROP PUBLIC SYNONYM SendDebugMessage",
    "DROP PROCEDURE SendTraceMessage",
    "DROP PROCEDURE SendDebugMessage",
};

} // namespace oraclecheck
