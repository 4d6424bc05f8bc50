// The one report of a failed call: the failing function's name, the server's message, and
// Abort/Retry/Ignore. Abort ends the process on the spot.
#include "CallErrorText.h"
#include "Logon.h"
#include "MessageBox.h"

#include <cstdlib>

void OciReportError(Cda_Def* pArea) {
    if (!pArea)
        return;
    OciReportError(CallErrorText(g_lda, *pArea));
}

int OciReportError(const QString& text, const std::function<void()>& beforeAbort) {
    const int answer = AfxMessageBox(text, MB_ABORTRETRYIGNORE, 0);
    if (answer != IDABORT && answer != IDCANCEL)
        return answer;
    if (beforeAbort)
        beforeAbort();
    std::_Exit(1); // no exit handlers, no destructors, no log-off
}
