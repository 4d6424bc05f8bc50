#pragma once
// The fixed PL/SQL texts the program sends, and the item type codes. The receiver's statements
// and their recogniser are in ReceiverStatements.h; the sending procedures are here. A driver for
// a server without PL/SQL runs its own equivalent of each.
#include "ReceiverStatements.h"

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
