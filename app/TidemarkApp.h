#pragma once
// The application object: start-up with its one log-on, and the application's own commands.
#include "WinApp.h"

class CTidemarkApp : public CWinApp {
    Q_OBJECT
public:
    CTidemarkApp();
    ~CTidemarkApp() override;

    bool InitInstance() override;
    bool OnCmdMsg(UINT nID) override;

    void OnAppAbout();
    // Open, in the folder where every run keeps its session journal.
    void OnFileSessionLogs();

protected:
    // The start-up log-on: the Connect dialog. IDOK only after a successful log-on.
    virtual int RunLogon();
};
