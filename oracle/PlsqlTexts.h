#pragma once
// The fixed PL/SQL texts the monitor sends. They live here because the drivers recognise them
// word for word: a driver for a server without PL/SQL runs its own equivalent of each.
#include <string>
#include <string_view>

// The item types that dbms_pipe.next_item_type reports, in Oracle's codes; 0 is "no further item".
// The typed item block below tests them by these numbers, and the drivers map their server's own
// codes onto them. A timestamp and a row have no counterpart in Oracle's pipes: the PostgreSQL
// driver reports them with orafce's own codes, which Oracle never gives, and their text.
enum ItemType : int {
    kItemNone = 0,
    kItemNumber = 6,
    kItemVarchar2 = 9,
    kItemRowid = 11,
    kItemDate = 12,
    kItemTimestamp = 13,
    kItemRaw = 23,
    kItemRecord = 24,
};

// Asks for the type of the next item of the received message (:v_typ) and hands back the item
// as text (:v_res); 0 when the message has no further item.
inline constexpr char kTypedItemBlock[] =
    "BEGIN DECLARE \tsta\t\t\tINTEGER; \ttyp\t\t\tINTEGER; \tchr_data\tVARCHAR2(2000); "
    "\tnum_data\tNUMBER; \tdat_data\tDATE; \traw_data\tRAW(30000); \trow_data\tROWID; BEGIN "
    "\ttyp := dbms_pipe.next_item_type; \t:v_typ := typ; \tIF typ = 0 THEN \t\t:v_res := ''; "
    "\tELSE IF typ = 9 THEN \t\tdbms_pipe.unpack_message(chr_data); \t\t:v_res := chr_data; "
    "\tELSE IF typ = 6 THEN \t\tdbms_pipe.unpack_message(num_data); \t\t:v_res := "
    "TO_CHAR(num_data); \tELSE IF typ = 11 THEN \t\tdbms_pipe.unpack_message(row_data); "
    "\t\t:v_res := 'UNKNOWN'; \tELSE IF typ = 12 THEN \t\tdbms_pipe.unpack_message(dat_data); "
    "\t\t:v_res := TO_CHAR(dat_data); \tELSE IF typ = 23 THEN "
    "\t\tdbms_pipe.unpack_message(raw_data); "
    "\t\t:v_res := 'UNKNOWN'; \tEND IF; \tEND IF; \tEND IF; \tEND IF; \tEND IF; \tEND IF; END; "
    "END;";
static_assert(std::string_view(kTypedItemBlock).size() == 730, "the typed block is 730 characters");

// The receiver's statements. A pipe name goes into its literal with every apostrophe doubled,
// so that no name can end the literal early or change the statement.
inline std::string QuotedPipeName(std::string_view pipe) {
    std::string quoted;
    quoted.reserve(pipe.size());
    for (const char c : pipe) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted;
}

// Receives the pipe's next message into the connection's buffer; :sta is 0 when one came. A
// time-out of 0 answers at once.
inline std::string ReceiveBlock(std::string_view pipe, int timeoutSeconds = 0) {
    return "begin :sta := dbms_pipe.receive_message('" + QuotedPipeName(pipe) + "', " +
           std::to_string(timeoutSeconds) + "); end;";
}

inline std::string PurgeBlock(std::string_view pipe) {
    return "begin dbms_pipe.purge('" + QuotedPipeName(pipe) + "'); end;";
}

// Plain mode: the message's first item (the text's length, not used) and its text.
inline constexpr char kUnpackLengthBlock[] = "begin dbms_pipe.unpack_message(:len); end;";
inline constexpr char kUnpackTextBlock[] = "begin dbms_pipe.unpack_message(:chr); end;";

// The sending procedures: a message is the text's length as a number, then the text.
inline constexpr char kCreateSendDebugMessage[] =
    "CREATE OR REPLACE PROCEDURE SendDebugMessage (theMessage IN VARCHAR2, thePipe IN VARCHAR2 "
    "DEFAULT 'tidemark') "
    "AS\n\tstatus\tNUMBER;\n\tBEGIN\n\t\tdbms_pipe.pack_message(LENGTH(theMessage));"
    "\n\t\tdbms_pipe.pack_message(theMessage);\n\t\tstatus := "
    "dbms_pipe.send_message(thePipe);\n\t\tIF "
    "status != 0 THEN\n\t\t\traise_application_error(20099, 'Debug error');\n\t\tEND IF;\n\tEND "
    "SendDebugMessage;\n";

inline constexpr char kCreateSendTraceMessage[] =
    "CREATE OR REPLACE PROCEDURE SendTraceMessage (theMessage IN VARCHAR2, thePipe IN VARCHAR2 "
    "DEFAULT 'tidemark') AS\n\taMessage\tVARCHAR2(2000);\n\tBEGIN\n\t\taMessage := "
    "TO_CHAR(SYSDATE) || "
    "': ' || theMessage;\n\t\tSendDebugMessage(aMessage, thePipe);\n\tEND SendTraceMessage;\n";

inline constexpr char kCreateSynonymSendDebugMessage[] =
    "CREATE PUBLIC SYNONYM SendDebugMessage FOR SendDebugMessage;";

inline constexpr char kCreateSynonymSendTraceMessage[] =
    "CREATE PUBLIC SYNONYM SendTraceMessage FOR SendTraceMessage;";
