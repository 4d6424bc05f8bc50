#pragma once
// The receiver's statements: built here, and recognised here for the drivers, which answer them
// from what they read ahead (and, on a server without PL/SQL, run an equivalent of each). One
// home for both, so that a change to a text cannot quietly stop a driver recognising it.
#include <string>
#include <string_view>

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
// The time-out may also be given as the PL/SQL expression it is written as (dbms_pipe.maxwait).
inline std::string ReceiveBlock(std::string_view pipe, std::string_view timeout) {
    return "begin :sta := dbms_pipe.receive_message('" + QuotedPipeName(pipe) + "', " +
           std::string(timeout) + "); end;";
}
inline std::string ReceiveBlock(std::string_view pipe, int timeoutSeconds = 0) {
    return ReceiveBlock(pipe, std::to_string(timeoutSeconds));
}

inline std::string PurgeBlock(std::string_view pipe) {
    return "begin dbms_pipe.purge('" + QuotedPipeName(pipe) + "'); end;";
}

// Plain mode: the message's first item (the text's length, not used) and its text.
inline constexpr char kUnpackLengthBlock[] = "begin dbms_pipe.unpack_message(:len); end;";
inline constexpr char kUnpackTextBlock[] = "begin dbms_pipe.unpack_message(:chr); end;";

// What a statement text is to the receiver.
enum class ReceiverStatement {
    Other,        // none of the receiver's statements
    Receive,      // begin :sta := dbms_pipe.receive_message('P', T); end;
    UnpackLength, // begin dbms_pipe.unpack_message(:len); end;
    UnpackText,   // begin dbms_pipe.unpack_message(:chr); end;
    TypedItem,    // kTypedItemBlock, character for character
    Purge,        // begin dbms_pipe.purge('P'); end;
};

struct RecognisedStatement {
    ReceiverStatement kind = ReceiverStatement::Other;
    std::string pipe;        // Receive, Purge: the name, doubled apostrophes undone
    std::string timeout;     // Receive: the time-out expression as written, blanks trimmed
    std::string placeholder; // Receive, unpacks: the variable as written, colon included
    // The text is exactly what the builders above write for that kind, pipe and time-out.
    // Otherwise it was recognised across differences of letter case and blanks only.
    bool exact = false;
};

// Keywords match in any letter case and blanks may stand between any two tokens; nothing may
// follow the block's final "end;". The receive's status variable may have any name; the unpacks
// take :len and :chr only; the typed item block is recognised only exactly as written.
RecognisedStatement Recognise(std::string_view text);
