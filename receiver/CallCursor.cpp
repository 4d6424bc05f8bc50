#include "CallCursor.h"

#include "CallErrorText.h"

CCallCursor::CCallCursor(Lda_Def& lda, CErrorReporter& errors)
    : m_lda(lda), m_errors(errors), m_pCda(std::make_unique<Cda_Def>()) {
    if (oopen(m_pCda.get(), &m_lda, nullptr, -1, -1, nullptr, -1) != 0)
        ReportFailure();
}

CCallCursor::~CCallCursor() {
    if (oclose(m_pCda.get()) != 0)
        ReportFailure();
}

bool CCallCursor::Parse(const char* statement) {
    if (oparse(m_pCda.get(), statement, -1, 1, 2) == 0)
        return true;
    ReportFailure();
    return false;
}

bool CCallCursor::Bind(const char* name, void* buffer, int length, int type, short* indicator) {
    if (obndrv(m_pCda.get(), name, -1, buffer, length, type, -1, indicator, nullptr, -1, -1) == 0)
        return true;
    ReportFailure();
    return false;
}

bool CCallCursor::Execute() {
    if (oexec(m_pCda.get()) == 0)
        return true;
    ReportFailure();
    return false;
}

int CCallCursor::HeldMessages(const char* pipe) const {
    return oheld(m_pCda.get(), pipe, -1);
}

void CCallCursor::ReportFailure() {
    if (m_pCda->rc == OCI_RC_LOST_CONNECTION || m_pCda->rc == OCI_RC_NOT_CONNECTED)
        m_bLost = true;
    m_errors.ReportError(CallErrorText(m_lda, *m_pCda));
}
