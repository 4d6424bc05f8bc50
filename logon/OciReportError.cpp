// The one report of a failed call: the failing function's name, the server's message, and
// Abort/Retry/Ignore. Abort ends the process on the spot.
#include "Logon.h"
#include "MessageBox.h"

#include <array>
#include <cstdlib>

namespace {
// Names of the call interface's functions by function code; every gap is "not used".
constexpr std::array<const char*, 63> kFunctionNames = [] {
    std::array<const char*, 63> names{};
    names.fill("not used");
    names[2] = "OSQL";
    names[4] = "OEXEC, OEXN";
    names[6] = "OBIND";
    names[8] = "ODEFIN";
    names[10] = "ODSRBN";
    names[12] = "OFETCH, OFEN";
    names[14] = "OOPEN";
    names[16] = "OCLOSE";
    names[22] = "ODSC";
    names[24] = "ONAME";
    names[26] = "OSQL3";
    names[28] = "OBNDRV";
    names[30] = "OBNDRN";
    names[34] = "OOPT";
    names[52] = "OCAN";
    names[54] = "OPARSE";
    names[56] = "OEXFET";
    names[58] = "OFLNG";
    names[60] = "ODESCR";
    names[62] = "OBNDRA";
    return names;
}();
} // namespace

void OciReportError(Cda_Def* pArea, const std::function<void()>& beforeAbort) {
    if (!pArea)
        return;
    QString text = QStringLiteral("ORACLE Error");
    // Code 0 names no function; codes past the table name none either.
    const unsigned fc = pArea->fc;
    if (fc != 0 && fc < kFunctionNames.size())
        text +=
            QStringLiteral(" when processing OCI function ") + QLatin1String(kFunctionNames[fc]);

    char message[512] = {};
    oerhms(&g_lda, pArea->rc, message, sizeof message);
    text += QLatin1Char('\n');
    text += QString::fromUtf8(message);

    const int answer = AfxMessageBox(text, MB_ABORTRETRYIGNORE, 0);
    if (answer != IDABORT && answer != IDCANCEL)
        return;
    if (beforeAbort)
        beforeAbort();
    std::_Exit(1); // no exit handlers, no destructors, no log-off
}
