#pragma once
// The PostgreSQL driver's cursor.
#include "Driver.h"
#include "PgConnection.h"
#include "PgReadAhead.h"

#include <memory>

namespace ocidrv::pg {

// A cursor on the connection, which it keeps alive for as long as it lives, with the session's
// read-ahead.
std::unique_ptr<Cursor> OpenPgCursor(std::shared_ptr<PgConnection> connection,
                                     std::shared_ptr<PgReadAhead> readAhead);

} // namespace ocidrv::pg
