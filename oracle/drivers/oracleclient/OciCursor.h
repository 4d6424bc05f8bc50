#pragma once
// The Oracle driver's cursor: the receiver's statements answered from what its session read
// ahead, everything else executed on the server.
#include "Driver.h"

#include <memory>

namespace ocidrv::ora {

class Connection;

std::unique_ptr<Cursor> OpenCursor(std::shared_ptr<Connection> connection);

} // namespace ocidrv::ora
