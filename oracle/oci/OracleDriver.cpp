// Placeholder until the Oracle client driver lands: every non-"pg:" connect string fails.
#include "../Driver.h"
#include "../Oci.h"

namespace ocidrv {
std::unique_ptr<Session> ConnectOracle(const std::string&, const std::string&,
                                       const std::string& connect, Error& error) {
    error.code = OCI_RC_NO_DRIVER;
    error.message = "ORA-12154: cannot connect to \"" + connect +
                    "\": this build serves only PostgreSQL connect strings of the form "
                    "pg:[host][:port][/database]";
    return nullptr;
}
} // namespace ocidrv
