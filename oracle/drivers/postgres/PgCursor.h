#pragma once
// The PostgreSQL driver's cursor.
#include "Driver.h"
#include "PgConnection.h"

#include <memory>

namespace ocidrv::pg {

// A cursor on the connection, which it keeps alive for as long as it lives.
std::unique_ptr<Cursor> OpenPgCursor(std::shared_ptr<PgConnection> connection);

} // namespace ocidrv::pg
