// The process's one log-on and the cursor every database operation uses. Every failed call is
// reported at once; the operation then goes on with its next step.
#include "Logon.h"

#include "PlsqlTexts.h"

Lda_Def g_lda;
unsigned char g_hda[256];
int g_bConnected;

int OciLogon(const char* user, const char* password, const char* connect) {
    if (olog(&g_lda, g_hda, user, -1, password, -1, connect, -1, 0) == 0) {
        g_bConnected = 1;
        return 1;
    }
    g_bConnected = 0;
    OciReportError(&g_lda);
    return 0;
}

COciCursor::COciCursor(std::function<void()> beforeReport)
    : m_pCda(std::make_unique<Cda_Def>()), m_beforeReport(std::move(beforeReport)) {
    if (oopen(m_pCda.get(), &g_lda, nullptr, -1, -1, nullptr, -1) != 0)
        ReportError();
}

COciCursor::~COciCursor() {
    if (oclose(m_pCda.get()) != 0)
        ReportError();
}

void COciCursor::Parse(const char* statement) {
    if (oparse(m_pCda.get(), statement, -1, 1, 2) != 0)
        ReportError();
}

void COciCursor::Bind(const char* name, void* buffer, int length, int type, short* indicator) {
    if (obndrv(m_pCda.get(), name, -1, buffer, length, type, -1, indicator, nullptr, -1, -1) != 0)
        ReportError();
}

BOOL COciCursor::Execute(BOOL reportErrors) {
    if (oexec(m_pCda.get()) == 0)
        return 1;
    if (reportErrors)
        ReportError();
    return 0;
}

int COciCursor::HeldMessages(const char* pipe) const {
    return oheld(m_pCda.get(), pipe, -1);
}

void COciCursor::ReportError() {
    if (m_beforeReport)
        m_beforeReport();
    OciReportError(m_pCda.get());
}

void InstallSendingProcedures() {
    COciCursor cursor;
    for (const char* statement : {kCreateSendDebugMessage, kCreateSendTraceMessage,
                                  kCreateSynonymSendDebugMessage, kCreateSynonymSendTraceMessage}) {
        cursor.Parse(statement);
        cursor.Execute(FALSE); // no report of the execution
    }
}
