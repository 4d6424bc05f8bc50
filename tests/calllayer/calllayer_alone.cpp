// Links the call layer alone, without Qt or the program's framework: it logs on, fails and
// phrases its errors by itself. Exits 0 when it behaves, 1 with a line on stderr otherwise.
#include "Oci.h"

#include <cstdio>
#include <cstring>

namespace {
int failed(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    return 1;
}
} // namespace

int main() {
    // A log-on area lives as long as the process, as the program's own does.
    static Lda_Def lda{};
    unsigned char hda[256] = {};
    // A connect string that the PostgreSQL driver cannot read fails before any server is asked.
    if (olog(&lda, hda, "user", -1, "password", -1, "pg:[", -1, 0) == 0)
        return failed("a log-on with an unreadable connect string succeeded");
    char text[512] = {};
    oerhms(&lda, lda.rc, text, sizeof text);
    if (lda.rc != OCI_RC_NO_DRIVER || lda.fc != 0 || std::strncmp(text, "ORA-12154: ", 11) != 0)
        return failed(text);

    Cda_Def cursor{};
    if (oopen(&cursor, &lda, nullptr, -1, -1, nullptr, -1) == 0)
        return failed("a cursor opened without a log-on");
    if (cursor.rc != OCI_RC_NOT_LOGGED_ON || cursor.fc != OCI_FC_OOPEN)
        return failed("a cursor without a log-on left the wrong codes");
    oerhms(&lda, cursor.rc, text, sizeof text);
    if (std::strcmp(text, "ORA-01012: not logged on") != 0)
        return failed(text);
    return 0;
}
