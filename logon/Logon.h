#pragma once
// The process's one log-on and the cursor that every database operation uses.
#include "AfxTypes.h"
#include "Oci.h"

#include <QString>

#include <functional>
#include <memory>

extern Lda_Def g_lda;            // log-on data area, filled by olog
extern unsigned char g_hda[256]; // host data area, passed to olog and never read
extern int g_bConnected;         // 1 after a successful log-on, 0 after a failed one

// Logs on; 1 on success, 0 on failure (reported through OciReportError).
int OciLogon(const char* user, const char* password, const char* connect);

// Shows the error of the failed call on this data area with Abort, Retry and Ignore.
// Abort (or Cancel) ends the process at once with status 1.
void OciReportError(Cda_Def* pArea);
// The same box for a report already phrased (CallErrorText); returns Retry or Ignore, since
// Abort does not return: it ends the process after beforeAbort, when given.
int OciReportError(const QString& text, const std::function<void()>& beforeAbort = {});

class COciCursor {
public:
    // beforeReport, when given, runs before each error box of this cursor: a caller that holds
    // back what it received puts it on screen before a modal box covers the rest of its work.
    explicit COciCursor(std::function<void()> beforeReport = {});
    ~COciCursor();
    COciCursor(const COciCursor&) = delete;
    COciCursor& operator=(const COciCursor&) = delete;

    void Parse(const char* statement);
    void Bind(const char* name, void* buffer, int length, int type, short* indicator);
    BOOL Execute(BOOL reportErrors);
    void ReportError();
    // Messages of pipe this log-on took from the server ahead of the receives that will be
    // answered with them (oheld): a receiver must not stop while this is above 0.
    int HeldMessages(const char* pipe) const;

private:
    // The cursor data area: allocated and zeroed by the constructor, freed by the destructor.
    std::unique_ptr<Cda_Def> m_pCda;
    std::function<void()> m_beforeReport;
};

// Installs the two sending procedures and their public synonyms on a cursor of its own. Each
// statement is sent whatever became of the one before (an existing synonym, missing
// privileges); nothing is reported about their execution.
void InstallSendingProcedures();
