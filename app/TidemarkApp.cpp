#include "TidemarkApp.h"

#include "AboutDlg.h"
#include "ConnectDlg.h"
#include "DocTemplate.h"
#include "FrameWnd.h"
#include "MainFrm.h"
#include "MessageBox.h"
#include "Profile.h"
#include "Resource.h"
#include "SessionJournal.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include <QCoreApplication>

CTidemarkApp::CTidemarkApp() {
    // No name is given to the framework: it takes the application's title.
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral(TIDEMARK_VERSION ".0"));
}

CTidemarkApp::~CTidemarkApp() = default;

bool CTidemarkApp::InitInstance() {
    Enable3dControlsStatic();

    // All settings live under Quellmoor\Tidemark in the user's profile.
    SetRegistryKey(QStringLiteral("Quellmoor"));
    LoadStdProfileSettings(4);

    AddDocTemplate(std::make_unique<CSingleDocTemplate>(
        IDR_MAINFRAME, [] { return std::make_unique<CTidemarkDoc>(); },
        [] { return std::make_unique<CMainFrame>(); },
        [] { return std::make_unique<CTidemarkView>(); }));

    // The one log-on of the process, before any window of the program exists.
    if (RunLogon() != IDOK)
        return false;

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (!ProcessShellCommand(cmdInfo))
        return false;

    CFrameWnd* frame = GetMainWnd();
    if (!frame)
        return false;
    frame->show();
    frame->update();
    return true;
}

int CTidemarkApp::RunLogon() {
    return RunConnectDialog();
}

bool CTidemarkApp::OnCmdMsg(UINT nID) {
    switch (nID) {
    case ID_APP_ABOUT:
        OnAppAbout();
        return true;
    case ID_FILE_NEW:
        OnFileNew();
        return true;
    case ID_FILE_OPEN:
        OnFileOpen();
        return true;
    case ID_FILE_SESSION_LOGS:
        OnFileSessionLogs();
        return true;
    case ID_FILE_PRINT_SETUP:
        OnFilePrintSetup();
        return true;
    default:
        return CWinApp::OnCmdMsg(nID);
    }
}

void CTidemarkApp::OnFileSessionLogs() {
    OnFileOpen(CSessionJournal::GetFolder());
}

void CTidemarkApp::OnAppAbout() {
    ShowAboutBox(QStringLiteral("Tidemark - The PL/SQL Tracer\nVersion " TIDEMARK_VERSION
                                "\nSaturday, Mai 01, 1999"));
}
