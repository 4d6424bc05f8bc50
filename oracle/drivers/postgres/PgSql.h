#pragma once
// The SQL the PostgreSQL driver runs in place of the PL/SQL the program sends: the pipe
// statements, prepared once per session, and the sending procedures with their grants.
#include <array>

namespace ocidrv::pg {

// The item types as orafce's next_item_type() reports them; 0 is "no further item".
enum OrafceItem : int {
    kOrafceNone = 0,
    kOrafceNumber = 9,
    kOrafceText = 11,
    kOrafceDate = 12,
    kOrafceTimestampTz = 13,
    kOrafceBytea = 23,
    kOrafceRecord = 24,
};

// Statements prepared once per session and run for every message.
enum Prepared {
    kReceive,
    kUnpackNumber,
    kUnpackText,
    kTypedItem,
    kPurge,
    kReadAhead,
    kPreparedCount
};

struct PreparedText {
    const char* name;
    const char* sql;
    int params;
};

// The typed item: next_item_type() in a subquery that is fenced off with OFFSET 0, so it is
// evaluated before the CASE of the outer query unpacks (at most) the one matching item.
// orafce's codes are mapped to Oracle's afterwards.
inline constexpr std::array<PreparedText, kPreparedCount> kPrepared = {{
    {"tidemark_receive", "SELECT dbms_pipe.receive_message($1::text, $2::integer)", 2},
    {"tidemark_unpack_number", "SELECT trim_scale(dbms_pipe.unpack_message_number())::text", 0},
    {"tidemark_unpack_text", "SELECT dbms_pipe.unpack_message_text()", 0},
    {"tidemark_typed_item",
     "SELECT t.typ, CASE t.typ"
     " WHEN 9 THEN trim_scale(dbms_pipe.unpack_message_number())::text"
     " WHEN 11 THEN dbms_pipe.unpack_message_text()"
     " WHEN 12 THEN dbms_pipe.unpack_message_date()::text"
     " WHEN 13 THEN dbms_pipe.unpack_message_timestamp()::text"
     " WHEN 24 THEN dbms_pipe.unpack_message_record()::text"
     " WHEN 23 THEN CASE WHEN dbms_pipe.unpack_message_bytea() IS NULL"
     " THEN 'UNKNOWN' ELSE 'UNKNOWN' END END"
     " FROM (SELECT dbms_pipe.next_item_type() AS typ OFFSET 0) AS t",
     0},
    {"tidemark_purge", "SELECT dbms_pipe.purge($1::text)", 1},
    {"tidemark_read_ahead",
     "SELECT msg, typ, val FROM pg_temp.tidemark_read_ahead($1::text, $2::integer, $3::integer)",
     3},
}};

// Takes in one call the messages waiting on a pipe, at most so many of them and about so many
// bytes, and hands back one row per item: the message's number, orafce's item type and the item
// as the statements above give it (the NUMBER trimmed, the DATE, timestamp and row as text,
// bytea unpacked and left out). Each message ends with a row of type 0, or with the first item
// of a type none of those statements unpacks: the program can never get past such an item, so
// the rest of its message is left behind. The messages have left the pipe once received, so a
// failure part way must not throw away the rows already made: it adds a row of type -1 whose
// value is the failure's SQLSTATE, a colon and its text, and ends the call; the message it came
// in (if any) keeps the rest of its items in the server's buffer. An item whose unpack failed
// has left that buffer already (a row whose type no longer exists, say).
// A temporary function: it needs no rights beyond a temporary table's and ends with the session.
inline constexpr char kCreateReadAheadSql[] = R"SQL(CREATE OR REPLACE FUNCTION
pg_temp.tidemark_read_ahead(pipe text, most_messages integer, most_bytes integer)
RETURNS TABLE (msg integer, typ integer, val text)
LANGUAGE plpgsql VOLATILE AS $fn$
DECLARE
    bytes integer := 0;
BEGIN
    msg := 0;
    BEGIN
        WHILE msg < most_messages AND bytes < most_bytes LOOP
            IF dbms_pipe.receive_message(pipe, 0) <> 0 THEN
                EXIT;
            END IF;
            msg := msg + 1;
            LOOP
                typ := dbms_pipe.next_item_type();
                val := NULL;
                IF typ = 9 THEN
                    val := trim_scale(dbms_pipe.unpack_message_number())::text;
                ELSIF typ = 11 THEN
                    val := dbms_pipe.unpack_message_text();
                ELSIF typ = 12 THEN
                    val := dbms_pipe.unpack_message_date()::text;
                ELSIF typ = 13 THEN
                    val := dbms_pipe.unpack_message_timestamp()::text;
                ELSIF typ = 24 THEN
                    val := dbms_pipe.unpack_message_record()::text;
                ELSIF typ = 23 THEN
                    PERFORM dbms_pipe.unpack_message_bytea();
                END IF;
                RETURN NEXT;
                bytes := bytes + 16 + coalesce(octet_length(val), 0);
                EXIT WHEN typ IS NULL OR typ NOT IN (9, 11, 12, 13, 23, 24);
            END LOOP;
        END LOOP;
    EXCEPTION WHEN OTHERS OR query_canceled THEN
        typ := -1;
        val := SQLSTATE || ':' || SQLERRM;
        RETURN NEXT;
    END;
END
$fn$)SQL";

// The sending procedures in PL/pgSQL: same parameters, same message (the length as a number,
// then the text), same error. They run with their owner's rights and a fixed search_path, as
// stored procedures do on Oracle, and live in the installer's current schema.
inline constexpr char kCreateDebugSql[] = R"SQL(DO $tidemark$
BEGIN
    EXECUTE format($ddl$
CREATE OR REPLACE PROCEDURE %1$I.senddebugmessage(themessage varchar, thepipe varchar DEFAULT 'tidemark')
LANGUAGE plpgsql SECURITY DEFINER SET search_path = %1$I, pg_temp
AS $body$
DECLARE
    status integer;
BEGIN
    PERFORM dbms_pipe.pack_message(length(themessage));
    PERFORM dbms_pipe.pack_message(themessage::text);
    status := dbms_pipe.send_message(thepipe::text);
    IF status <> 0 THEN
        RAISE EXCEPTION 'Debug error';
    END IF;
END
$body$$ddl$, current_schema());
END
$tidemark$)SQL";

inline constexpr char kCreateTraceSql[] = R"SQL(DO $tidemark$
BEGIN
    EXECUTE format($ddl$
CREATE OR REPLACE PROCEDURE %1$I.sendtracemessage(themessage varchar, thepipe varchar DEFAULT 'tidemark')
LANGUAGE plpgsql SECURITY DEFINER SET search_path = %1$I, pg_temp
AS $body$
DECLARE
    amessage varchar(2000);
BEGIN
    amessage := localtimestamp(0)::text || ': ' || themessage;
    CALL %1$I.senddebugmessage(amessage, thepipe);
END
$body$$ddl$, current_schema());
END
$tidemark$)SQL";

// A public synonym makes the procedure callable by everyone.
inline constexpr char kGrantDebugSql[] =
    "GRANT EXECUTE ON PROCEDURE senddebugmessage(varchar, varchar) TO PUBLIC";
inline constexpr char kGrantTraceSql[] =
    "GRANT EXECUTE ON PROCEDURE sendtracemessage(varchar, varchar) TO PUBLIC";

} // namespace ocidrv::pg
