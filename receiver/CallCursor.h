#pragma once
// A cursor of the call layer on a given log-on that reports every failed call through a
// CErrorReporter: the receiver's cursor, whichever front end it runs in.
#include "Oci.h"
#include "Received.h"

#include <memory>

class CCallCursor {
public:
    // Opens the cursor on lda; a failure is reported, and every later call on it fails.
    CCallCursor(Lda_Def& lda, CErrorReporter& errors);
    // Closes the cursor; a failure is reported.
    ~CCallCursor();
    CCallCursor(const CCallCursor&) = delete;
    CCallCursor& operator=(const CCallCursor&) = delete;

    // Each returns true on success; a failure is reported before it returns.
    bool Parse(const char* statement);
    bool Bind(const char* name, void* buffer, int length, int type, short* indicator);
    bool Execute();
    // Messages of pipe the log-on took from the server ahead of the receives that will be
    // answered with them (oheld): a receiver must not stop while this is above 0.
    int HeldMessages(const char* pipe) const;
    // True once a call failed because the connection is gone.
    bool Lost() const { return m_bLost; }

private:
    void ReportFailure();
    Lda_Def& m_lda;
    CErrorReporter& m_errors;
    std::unique_ptr<Cda_Def> m_pCda; // allocated and zeroed with the cursor
    bool m_bLost = false;
};
