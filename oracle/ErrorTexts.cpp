// The one table of the layer's own error texts, and the one place where "ORA-nnnnn: " is
// written: the call layer and both drivers phrase their own errors through it.
#include "Driver.h"
#include "Oci.h"

#include <algorithm>
#include <cstdio>

namespace ocidrv {

const char* OwnErrorText(int code) {
    switch (code) {
    case 0:
        return "normal, successful completion";
    case OCI_RC_INVALID_CURSOR:
        return "invalid cursor";
    case OCI_RC_NO_STATEMENT:
        return "no statement parsed";
    case OCI_RC_NOT_ALL_BOUND:
        return "not all variables bound";
    case OCI_RC_NOT_LOGGED_ON:
        return "not logged on";
    case OCI_RC_LOGON_DENIED:
        return "invalid username/password; logon denied";
    case OCI_RC_BAD_VARIABLE:
        return "illegal variable name/number";
    case OCI_RC_INT_OVERFLOW:
        return "converting column overflows integer datatype";
    case OCI_RC_INVALID_NUMBER:
        return "invalid number";
    case OCI_RC_PROTOCOL_ERROR:
        return "fatal two-task communication protocol error";
    case OCI_RC_LOST_CONNECTION:
        return "end-of-file on communication channel";
    case OCI_RC_NOT_CONNECTED:
        return "not connected to ORACLE";
    case OCI_RC_BAD_DATATYPE:
        return "unsupported network datatype or representation";
    case OCI_RC_VALUE_ERROR:
        return "PL/SQL: numeric or value error: character string buffer too small";
    case OCI_RC_NO_DRIVER:
        return "TNS:could not resolve the connect identifier specified";
    case OCI_RC_CONNECT_FAILED:
        return "could not connect to the database server";
    case OCI_RC_LIBRARY_MISSING:
        return "the database client library was not found";
    default:
        return nullptr;
    }
}

Error Numbered(int code, std::string_view text) {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", code);
    return {code, prefix + std::string(text)};
}

Error OwnError(int code, std::string_view detail) {
    const char* own = OwnErrorText(code);
    return Numbered(code, (own ? std::string(own) : "no message text is known for this code") +
                              std::string(detail));
}

bool SameName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace ocidrv
