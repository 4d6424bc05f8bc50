-- The two sending procedures as the program's PostgreSQL driver installs them (Options,
-- "generate"), for the demo database of `make run`: the text's length as a number, then the
-- text, sent to the pipe. Run as their owner; they land in the current schema.
DO $tidemark$
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
$tidemark$;

DO $tidemark$
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
$tidemark$;

GRANT EXECUTE ON PROCEDURE senddebugmessage(varchar, varchar) TO PUBLIC;
GRANT EXECUTE ON PROCEDURE sendtracemessage(varchar, varchar) TO PUBLIC;
